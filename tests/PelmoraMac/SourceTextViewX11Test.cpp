// The source text views as a person sees them on a real X server: a styled Japanese document with a grid
// table, the phrase being played, the current match and a selection in the ordinary view
// (test-artifacts/source-ordinary-ja.png), and 草枕 from the shared sample book in the bounded view,
// revealed at offset 50,000 (test-artifacts/source-bounded-ja.png); a drag held beyond the right edge of
// a wide table in the bounded view, with the real pointer (test-artifacts/source-bounded-drag-right.png).
#include "PelmoraMac/Source/BoundedTextView.h"
#include "PelmoraMac/Source/InteractionTextEdit.h"
#include "PelmoraMac/Source/ReaderTextHighlight.h"
#include "ReaderEPUB/EPUBReader.h"
#include "ReaderWidgets/Style/ReaderTheme.h"

#include "support/EPUBRealBookSupport.h"
#include "support/GuiTesting.h"
#include "support/QtPrinters.h"
#include "support/ReceivedPresses.h"
#include "support/SharedData.h"

#include "SourceTesting.h"

#include <gtest/gtest.h>
#include <QProcess>
#include <QScreen>
#include <QScrollBar>
#include <QWindow>

namespace tavrine {
namespace {
using namespace Qt::StringLiterals;
using test::processEventsUntil;
using Kind = ReadingDocument::Span::Kind;

// What the X server shows of the window a moment after its last paint; with `paints`, made before the change the
// test looks for, once that change has been painted, however late a loaded machine paints it.
QImage shown(QWidget& window, const test::ReceivedPaints* paints = nullptr) {
    if (paints) {
        EXPECT_TRUE(processEventsUntil([&] { return paints->count() > 0; })) << "nothing was painted";
    }
    processEventsUntil([] { return false; }, std::chrono::milliseconds(200));
    return window.screen()->grabWindow(window.winId()).toImage();
}

// Whether the playback highlight's amber is painted inside rect.
bool hasAmber(const QImage& image, QRect rect) {
    for (int y = rect.top(); y <= rect.bottom(); ++y) {
        for (int x = rect.left(); x <= rect.right(); ++x) {
            if (image.pixelColor(x, y) == QColor(255, 208, 56)) return true;
        }
    }
    return false;
}

TEST(SourceTextViewX11, TheOrdinaryViewShowsStylesATableBothHighlightsAndTheSelection) {
    ReadingDocument document;
    QString& text = document.text;
    const auto add = [&](const QString& part, Kind kind, qint64 level = 0) {
        document.spans.append(
            {.kind = kind, .start = text.size(), .end = text.size() + part.size() + 1, .level = level});
        text += part + u'\n';
    };
    add(u"草枕"_s, Kind::heading, 1);
    add(u"山路を登りながら、こう考えた。智に働けば角が立つ。情に棹させば流される。意地を通せば窮屈だ。"
        u"とかくに人の世は住みにくい。"_s,
        Kind::paragraph);
    document.spans.append({.kind = Kind::emphasis, .start = 12, .end = 20, .level = 0});
    const qsizetype table = text.size();
    const QStringList cells{u"章"_s, u"場所"_s, u"季節"_s, u"一"_s, u"山路"_s, u"春"_s, u"二"_s, u"茶店"_s, u"春"_s};
    for (qsizetype i = 0; i < cells.size(); ++i) {
        document.spans.append({.kind = i < 3 ? Kind::tableHeader : Kind::tableCell,
                               .start = text.size(),
                               .end = text.size() + cells[i].size() + 1,
                               .level = 0});
        text += cells[i] + u'\n';
    }
    document.spans.append({.kind = Kind::table, .start = table, .end = text.size(), .level = 3});
    add(u"住みにくさが高じると、安い所へ引き越したくなる。どこへ越しても住みにくいと悟った時、詩が生れて、画が出来る。"_s,
        Kind::paragraph);

    QWidget window;
    window.setWindowTitle(u"Tavrine"_s);
    ReaderTheme::apply(window);
    auto* view = new InteractionTextEdit(&window);
    view->load(document, 15);
    window.resize(600, 420);
    view->resize(600, 420);
    window.show();
    ASSERT_TRUE(test::effectWithin([&] { return view->hasContentHeight(); }));

    const test::ReceivedPaints paints(window);
    ReaderTextHighlight playback(InteractionTextView::Highlight::playback);
    ReaderTextHighlight search(InteractionTextView::Highlight::search);
    playback.apply(TextRange{3, 10}, *view, true);
    search.apply(TextRange{text.indexOf(u"住みにくさ"_s), text.indexOf(u"住みにくさ"_s) + 5}, *view, false);
    view->setSelectedRange({text.indexOf(u"詩が"_s), text.indexOf(u"詩が"_s) + 8});
    const QImage image = shown(window, &paints);
    EXPECT_TRUE(image.save(test::testArtifactPath(u"source-ordinary-ja.png"_s)));
    EXPECT_TRUE(hasAmber(image, view->viewport()->geometry()));
}

TEST(SourceTextViewX11, TheBoundedViewShowsTheSampleBookAtTheRevealedPhrase) {
    const QString relative = u"epub/kusamakura.epub"_s;
    const QString path = test::sharedDataFile(relative);
    TAVRINE_SKIP_WITHOUT(path, relative);
    const auto book = EPUBReader().readSynchronously(test::repackedWithUTF8Names(path), CancellationToken::none());
    ASSERT_TRUE(book.has_value());
    ASSERT_GT(book->document.text.size(), 50'020);

    QWidget window;
    window.setWindowTitle(u"Tavrine"_s);
    ReaderTheme::apply(window);
    auto* view = new BoundedTextView(&window);
    view->load(book->document, 15);
    window.resize(600, 800);
    view->resize(600, 800);
    window.show();
    ASSERT_TRUE(test::effectWithin([&] { return view->hasContentHeight(); }));

    const test::ReceivedPaints paints(window);
    ReaderTextHighlight playback(InteractionTextView::Highlight::playback);
    playback.apply(TextRange{50'000, 50'012}, *view, true);
    const QImage image = shown(window, &paints);
    EXPECT_TRUE(image.save(test::testArtifactPath(u"source-bounded-ja.png"_s)));
    // The whole phrase is in view, clear of the edges: its band shows above the view's last 4 pixels.
    EXPECT_TRUE(hasAmber(image, view->viewport()->geometry().adjusted(0, 0, 0, -4)));
    const std::optional<qsizetype> top = view->visibleOffset();
    ASSERT_TRUE(top);
    EXPECT_LT(*top, 50'000);
    EXPECT_GT(*top, 45'000);
}

void xdotool(const QStringList& arguments) {
    QProcess process;
    process.start(u"xdotool"_s, arguments);
    ASSERT_TRUE(process.waitForFinished(test::patienceMilliseconds()));
    ASSERT_EQ(process.exitCode(), 0) << process.readAllStandardError().toStdString();
}

TEST(SourceTextViewX11, ADragHeldBeyondTheRightEdgeOfAWideTableScrollsRight) {
    const ReadingDocument document = test::wideTableDocument();
    QWidget window;
    window.setWindowTitle(u"Tavrine"_s);
    ReaderTheme::apply(window);
    auto* view = new BoundedTextView(&window);
    view->load(document, 15);
    view->setMinimumDocumentWidth(test::kWideTableWidth);
    window.setGeometry(100, 100, 600, 400);
    view->resize(600, 400);
    window.show();
    ASSERT_TRUE(test::effectWithin([&] { return view->hasContentHeight() && window.windowHandle()->isExposed(); }));
    QScrollBar* horizontal = view->horizontalScrollBar();
    ASSERT_GT(horizontal->maximum(), 0) << "the table is wider than the view";

    const qsizetype firstCell = document.text.indexOf(u"行1列1"_s);
    const QPoint start = view->viewport()->mapToGlobal(view->characterRect(firstCell).center().toPoint());
    const QPoint beyond = view->viewport()->mapToGlobal(QPoint(view->viewport()->width() + 60, 0));
    xdotool({u"mousemove"_s, QString::number(start.x()), QString::number(start.y())});
    xdotool({u"mousedown"_s, u"1"_s});
    xdotool({u"mousemove"_s, QString::number(beyond.x()), QString::number(start.y())});
    EXPECT_TRUE(test::effectWithin([&] { return horizontal->value() >= view->viewport()->width(); }))
        << "scrolled to " << horizontal->value();
    xdotool({u"mouseup"_s, u"1"_s});
    const QImage image = shown(window);
    EXPECT_TRUE(image.save(test::testArtifactPath(u"source-bounded-drag-right.png"_s)));

    // Released, it scrolls no further; the selection runs from the first cell to one far to the right.
    const int value = horizontal->value();
    processEventsUntil([] { return false; }, std::chrono::milliseconds(200));
    EXPECT_EQ(horizontal->value(), value);
    const TextRange selection = view->selectedRanges().value(0);
    EXPECT_LE(selection.lowerBound, firstCell + 3);
    EXPECT_GT(selection.upperBound, document.text.indexOf(u"行1列8"_s));
    EXPECT_EQ(view->verticalScrollBar()->value(), 0);
}

}  // namespace
}  // namespace tavrine
