#include "ReaderUI/ReaderCommandShortcuts.h"
#include "ReaderUI/ReaderPalette.h"
#include "ReaderWidgets/Style/PhraseLineBreaks.h"
#include "ReaderWidgets/Style/ReaderSymbol.h"
#include "ReaderWidgets/Style/ReaderSymbolNames.h"
#include "ReaderWidgets/Style/ReaderTextStyle.h"
#include "ReaderWidgets/Style/ReaderTheme.h"
#include "ReaderWidgets/Style/ShortcutText.h"
#include "ReaderWidgets/Style/ToQColor.h"

#include "support/GuiTesting.h"
#include "support/QtPrinters.h"

#include <gtest/gtest.h>
#include <QImage>
#include <QLabel>
#include <QPainter>
#include <QSet>
#include <QTextLayout>
#include <QVBoxLayout>

namespace tavrine {
namespace {
using namespace Qt::StringLiterals;

// The brightest pixel of the image: the ink of light text on the dark theme.
QRgb brightest(const QImage& image) {
    QRgb result = image.pixel(0, 0);
    for (int y = 0; y < image.height(); ++y) {
        for (int x = 0; x < image.width(); ++x) {
            if (qGray(image.pixel(x, y)) > qGray(result)) result = image.pixel(x, y);
        }
    }
    return result;
}

void expectColour(QRgb pixel, const ReaderColor& colour, int tolerance = 0) {
    EXPECT_NEAR(qRed(pixel), colour.red, tolerance);
    EXPECT_NEAR(qGreen(pixel), colour.green, tolerance);
    EXPECT_NEAR(qBlue(pixel), colour.blue, tolerance);
}

TEST(ReaderTheme, AThemedWindowIsDarkToItsEdgesWithLightTextAndDimmedDisabledText) {
    QWidget window;
    ReaderTheme::apply(window);
    auto* layout = new QVBoxLayout(&window);
    auto* enabled = new QLabel(u"吾輩は猫である。"_s, &window);
    auto* disabled = new QLabel(u"名前はまだ無い。"_s, &window);
    disabled->setEnabled(false);
    layout->addWidget(enabled);
    layout->addWidget(disabled);
    window.resize(240, 90);

    const QImage image = window.grab().toImage();
    for (const QPoint corner : {QPoint(0, 0), QPoint(239, 0), QPoint(0, 89), QPoint(239, 89)}) {
        expectColour(image.pixel(corner), ReaderPalette::background);
    }
    // Glyph cores reach the text colour itself; anti-aliased edges only blend towards it.
    expectColour(brightest(image.copy(enabled->geometry())), ReaderPalette::text, 2);
    expectColour(brightest(image.copy(disabled->geometry())), ReaderPalette::secondaryText, 2);
    EXPECT_EQ(window.palette().color(QPalette::Highlight), toQColor(ReaderPalette::control));
}

TEST(ReaderSymbol, EveryNameLeadsBackToItsSymbol) {
    QSet<QString> names;
    for (const auto symbol : enumCases<ReaderSymbol>()) {
        const QString name = symbolName(symbol);
        EXPECT_EQ(symbolNamed(name), symbol) << name;
        names.insert(name);
    }
    EXPECT_EQ(names.size(), qsizetype(enumCases<ReaderSymbol>().size()));
    EXPECT_EQ(symbolNamed(u"list.bullet.indent"_s), ReaderSymbol::listBulletIndent);
    EXPECT_EQ(symbolNamed(u"play"_s), std::nullopt);
    EXPECT_EQ(symbolNamed(QString()), std::nullopt);
}

TEST(ReaderSymbol, EverySymbolFillsTheSquareCentredInItsBoxAndNothingOutside) {
    constexpr auto kSymbols = enumCases<ReaderSymbol>();
    constexpr int kCount = static_cast<int>(kSymbols.size());
    const QRectF box(10, 20, 40, 24);  // the square is 24 by 24, centred: x from 18 to 42
    // Every symbol at 16 and at 32 pixels, for a person to look at.
    QImage sheet(kCount * 56, 56, QImage::Format_RGB32);
    sheet.fill(toQColor(ReaderPalette::background));
    QPainter painter(&sheet);
    for (int i = 0; i < kCount; ++i) {
        const auto symbol = kSymbols[static_cast<std::size_t>(i)];
        const QRectF bounds = symbolPath(symbol, box).boundingRect();
        EXPECT_TRUE(QRectF(18, 20, 24, 24).contains(bounds)) << symbolName(symbol);
        // Large enough to read at 16 pixels: at least half the square in one direction.
        EXPECT_GE(std::max(bounds.width(), bounds.height()), 12) << symbolName(symbol);
        paintSymbol(painter, symbol, QRectF(i * 56 + 20, 4, 16, 16), toQColor(ReaderPalette::control));
        paintSymbol(painter, symbol, QRectF(i * 56 + 12, 22, 32, 32), toQColor(ReaderPalette::gold));
    }
    painter.end();
    EXPECT_TRUE(sheet.save(test::testArtifactPath(u"reader-symbols.png"_s)));
}

TEST(ReaderSymbol, TheIconPaintsInItsColourAndDimsWhenDisabled) {
    const QIcon icon = symbolIcon(ReaderSymbol::playFill, toQColor(ReaderPalette::gold));
    const QImage normal = icon.pixmap(QSize(32, 32), 1.0).toImage();
    const QImage disabled = icon.pixmap(QSize(32, 32), 1.0, QIcon::Disabled).toImage();
    ASSERT_EQ(normal.size(), QSize(32, 32));
    // The middle of the triangle is solid; its corner lies outside the symbol.
    expectColour(normal.pixel(16, 16), ReaderPalette::gold);
    EXPECT_EQ(qAlpha(normal.pixel(16, 16)), 255);
    EXPECT_EQ(qAlpha(normal.pixel(31, 1)), 0);
    EXPECT_NEAR(qAlpha(disabled.pixel(16, 16)), 0.45 * 255, 2);
}

TEST(ShortcutText, HelpTextsNameTheKeysAsTheDesktopSpellsThem) {
    EXPECT_EQ(withShortcut(u"再生"_s, ReaderCommandShortcuts::togglePlayback), u"再生（Ctrl+Return）"_s);
    EXPECT_EQ(withShortcut(u"目次を開く"_s, ReaderCommandShortcuts::toggleEPUBNavigation),
              u"目次を開く（Meta+Ctrl+T）"_s);
    EXPECT_EQ(shortcutText(ReaderCommandShortcuts::backChapter), u"Ctrl+Shift+["_s);
}

// Japanese wraps between phrases: the joiners go inside phrases only, never split a Character or touch
// white space, and Qt's line breaking honours them at every width.
TEST(PhraseLineBreaks, WrappedJapaneseBreaksOnlyBetweenPhrases) {
    const QString joiner(kWordJoiner);
    EXPECT_EQ(
        breakingBetweenPhrases(u"ファイルを読み込み中"_s),
        QStringList({u"フ"_s, u"ァ"_s, u"イ"_s, u"ル"_s, u"を読"_s, u"み"_s, u"込"_s, u"み"_s, u"中"_s}).join(joiner));
    EXPECT_EQ(breakingBetweenPhrases(u"Nothing to join here"_s), u"Nothing to join here"_s);
    const QString mixed = u"𠮷野家で か\u3099 食べる"_s;
    const QString joined = breakingBetweenPhrases(mixed);
    EXPECT_EQ(QString(joined).remove(kWordJoiner), mixed);
    EXPECT_FALSE(joined.contains(joiner + u" "_s) || joined.contains(u" "_s + joiner));
    for (qsizetype index = 0; index + 1 < joined.size(); ++index) {
        EXPECT_FALSE(joined.at(index).isHighSurrogate() && joined.at(index + 1) == kWordJoiner);
        EXPECT_FALSE(joined.at(index) == kWordJoiner && joined.at(index + 1).isLowSurrogate());
    }

    const QString text =
        u"再生を始めた文章と位置をこのコンピューターに自動保存します。直近100文書をここから開けます。"_s;
    const QString wrapped = breakingBetweenPhrases(text);
    // Every line of every width ends where a phrase does: after を, に, 。 and so on, never inside
    // "コンピューター".
    for (int width = 90; width <= 330; width += 20) {
        QTextLayout layout(wrapped, readerFont(ReaderTextStyle::caption));
        QTextOption option;
        option.setWrapMode(QTextOption::WordWrap);
        layout.setTextOption(option);
        layout.beginLayout();
        for (QTextLine line = layout.createLine(); line.isValid(); line = layout.createLine()) {
            line.setLineWidth(width);
            const QString shown = wrapped.mid(line.textStart(), line.textLength()).remove(kWordJoiner);
            SCOPED_TRACE(shown.toStdString());
            EXPECT_FALSE(shown.contains(u"コンピュー"_s) && !shown.contains(u"コンピューター"_s));
            EXPECT_FALSE(shown.endsWith(u"自動"_s) || shown.endsWith(u"文書"_s) || shown.endsWith(u"始め"_s));
            EXPECT_LE(QFontMetrics(readerFont(ReaderTextStyle::caption)).horizontalAdvance(shown), width + 1);
        }
        layout.endLayout();
    }

    QLabel label;
    setPhraseWrappedText(label, text);
    EXPECT_EQ(label.text(), wrapped);
    EXPECT_EQ(label.accessibleName(), text);
}

}  // namespace
}  // namespace tavrine
