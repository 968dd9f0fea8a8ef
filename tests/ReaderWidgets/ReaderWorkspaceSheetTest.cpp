// The information sheet and the table-of-contents button: what they say, how they close, where the sheet's
// keys are and its ring, what assistive technology reads, and screenshots of the sheet for the shared
// sample book and for a plain text.
#include "ReaderEPUB/EPUBReader.h"
#include "ReaderUI/Workspace/ReaderDocumentContext.h"
#include "ReaderWidgets/Style/ReaderTypography.h"
#include "ReaderWidgets/Workspace/ReaderDocumentInformationSheet.h"
#include "ReaderWidgets/Workspace/ReaderEPUBNavigationButton.h"

#include "support/EPUBRealBookSupport.h"
#include "support/GuiTesting.h"
#include "support/QtPrinters.h"
#include "support/SharedData.h"
#include "support/SheetKeys.h"

#include <gtest/gtest.h>
#include <QAccessible>
#include <QApplication>
#include <QFontInfo>
#include <QKeyEvent>
#include <QLabel>
#include <QMouseEvent>
#include <QPushButton>
#include <QScrollArea>
#include <QScrollBar>
#include <QTextDocument>
#include <QTextEdit>

namespace tavrine {
namespace {
using namespace Qt::StringLiterals;
using test::processEventsUntil;
using test::testArtifactPath;

const QString kSampleBook = u"epub/kusamakura.epub"_s;

// A captured article: its source is a long address, with a token no line breaker may break.
const QString kSource =
    u"https://example.org/articles/2026/12/06/wagahai-wa-neko?token=AbCdEfGhIjKlMnOpQrStUvWxYz0123456789AbCdEfGhIjKlMnOpQrStUvWxYz0123456789"_s;

SavedReading plainText() {
    return SavedReading::create({std::nullopt, u"\n  吾輩は猫である。名前はまだ無い。\n"_s, {}}, std::nullopt,
                                std::nullopt, kSource, Date::fromUnixSeconds(1796558620));
}

// A parent window the sheet is modal to, shown and active, in a Japanese session.
class Presenter {
public:
    Presenter() {
        QLocale::setDefault(QLocale(QLocale::Japanese, QLocale::Japan));
        window.resize(900, 700);
        window.show();
        window.activateWindow();
        processEventsUntil([this] { return window.isActiveWindow(); });
    }
    ~Presenter() { QLocale::setDefault(QLocale::system()); }

    QWidget window;
};

// Every text the sheet shows: labels, values and notes.
QStringList labelTexts(const QWidget& sheet) {
    QStringList texts;
    for (const QLabel* label : sheet.findChildren<QLabel*>()) texts.append(label->text());
    for (const QTextEdit* value : sheet.findChildren<QTextEdit*>()) texts.append(value->toPlainText());
    return texts;
}

void press(QWidget& target, QKeyCombination keys) {
    QKeyEvent event(QEvent::KeyPress, keys.key(), keys.keyboardModifiers());
    QApplication::sendEvent(&target, &event);
}

// Saves the sheet's screenshot and checks that no text of it is cut off: every text lies within the
// visible width of the form and is as tall as its lines at that width, and the form needs no scrolling.
void saveAndCheckLayout(ReaderDocumentInformationSheet& sheet, const QString& artifact) {
    processEventsUntil([] { return false; }, std::chrono::milliseconds(30));
    EXPECT_TRUE(sheet.grab().save(testArtifactPath(artifact)));
    const auto* scroll = sheet.findChild<QScrollArea*>();
    ASSERT_NE(scroll, nullptr);
    EXPECT_FALSE(scroll->verticalScrollBar()->isVisible());
    const QRect visible = scroll->viewport()->rect();
    const auto expectInside = [&](const QWidget* text, const QString& name) {
        const QRect area(text->mapTo(scroll->viewport(), QPoint(0, 0)), text->size());
        EXPECT_GE(area.left(), visible.left()) << name;
        EXPECT_LE(area.right(), visible.right()) << name;
    };
    for (const QLabel* label : scroll->widget()->findChildren<QLabel*>()) {
        expectInside(label, label->text());
        EXPECT_GE(label->height(), label->heightForWidth(label->width())) << label->text();
        EXPECT_GE(label->width(), label->minimumSizeHint().width()) << label->text();
    }
    for (const QTextEdit* value : scroll->widget()->findChildren<QTextEdit*>()) {
        expectInside(value, value->toPlainText());
        EXPECT_GE(value->viewport()->height(), value->document()->size().height()) << value->toPlainText();
        EXPECT_LE(value->document()->size().width(), value->viewport()->width()) << value->toPlainText();
    }
}

TEST(ReaderDocumentInformationSheet, APlainTextGetsTheSmallSheetWithItsRowsAndClosesOnEitherKey) {
    Presenter presenter;
    auto* sheet = new ReaderDocumentInformationSheet(plainText(), std::nullopt, &presenter.window);
    sheet->setAttribute(Qt::WA_DeleteOnClose);
    QPointer<ReaderDocumentInformationSheet> alive(sheet);
    sheet->open();
    ASSERT_TRUE(processEventsUntil([&] { return sheet->isVisible(); }));

    EXPECT_EQ(sheet->size(), QSize(480, 360));
    EXPECT_EQ(sheet->windowTitle(), u"文書の情報"_s);
    EXPECT_EQ(sheet->windowModality(), Qt::WindowModal);
    const QStringList texts = labelTexts(*sheet);
    EXPECT_TRUE(texts.contains(u"吾輩は猫である。名前はまだ無い。"_s));
    EXPECT_TRUE(texts.contains(kSource));
    EXPECT_FALSE(texts.contains(u"元のファイル"_s));
    EXPECT_FALSE(texts.contains(u"この本の取り込みについて"_s));
    // Written in the reading family, so Japanese is drawn with the CJK font where it is installed.
    EXPECT_EQ(QFontInfo(sheet->font()).family(), ReaderTypography::readingFontFamily());
    saveAndCheckLayout(*sheet, u"information-sheet-text.png"_s);
    // It opens with the keys on 閉じる; its heading is no stop of Tab.
    EXPECT_EQ(sheet->focusWidget(), sheet->closeButton());
    for (const QLabel* label : sheet->findChildren<QLabel*>()) {
        EXPECT_EQ(label->focusPolicy() & Qt::TabFocus, 0) << label->text().toStdString();
    }

    // Ctrl+Period closes it as Escape does.
    press(*sheet->closeButton(), Qt::ControlModifier | Qt::Key_Period);
    EXPECT_TRUE(processEventsUntil([&] { return !alive; }));

    auto* second = new ReaderDocumentInformationSheet(plainText(), u""_s, &presenter.window);
    second->open();
    ASSERT_TRUE(processEventsUntil([&] { return second->isVisible(); }));
    EXPECT_TRUE(labelTexts(*second).contains(u"元のファイル"_s));  // an empty file name keeps its row
    press(*second, QKeyCombination(Qt::Key_Escape));
    EXPECT_TRUE(processEventsUntil([&] { return !second->isVisible(); }));
    EXPECT_EQ(second->result(), QDialog::Rejected);
}

// The sheet shows where its keys are: 閉じる ringed as it opens, and every stop of Tab ringed in turn, none
// of them the area that scrolls the texts; a click and a drag on a value select its text and leave the
// keys on 閉じる, where Space closes the sheet.
TEST(ReaderDocumentInformationSheet, TheKeysAreRingedWhereverTheyAreAndAClickOnAValueLeavesThem) {
    Presenter presenter;
    ReaderDocumentInformationSheet sheet(plainText(), std::nullopt, &presenter.window);
    sheet.open();
    sheet.activateWindow();
    ASSERT_TRUE(processEventsUntil([&] { return sheet.isActiveWindow(); }));
    QPushButton& close = *sheet.closeButton();
    EXPECT_TRUE(processEventsUntil([&] { return test::ringedAt(sheet, close); }));
    sheet.grab().save(testArtifactPath(u"information-sheet-keys-on-close.png"_s));

    const QList<test::TabStop> stops = test::tabStops(sheet);
    const QList<QTextEdit*> values = sheet.findChildren<QTextEdit*>();
    EXPECT_EQ(stops.size(), values.size()) << "each value, then 閉じる again";
    for (const test::TabStop& stop : stops) {
        EXPECT_NE(qobject_cast<QTextEdit*>(stop.widget), nullptr) << stop.widget->metaObject()->className();
        EXPECT_TRUE(stop.ringed) << stop.widget->metaObject()->className();
    }
    ASSERT_EQ(sheet.focusWidget(), &close);

    const auto source = std::find_if(values.begin(), values.end(),
                                     [](const QTextEdit* value) { return value->toPlainText() == kSource; });
    ASSERT_NE(source, values.end());
    QWidget* viewport = (*source)->viewport();
    const auto mouse = [&](QEvent::Type type, QPoint at) {
        QMouseEvent event(type, QPointF(at), viewport->mapToGlobal(QPointF(at)), Qt::LeftButton,
                          type == QEvent::MouseButtonRelease ? Qt::NoButton : Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(viewport, &event);
    };
    const int line = viewport->fontMetrics().height() / 2;
    mouse(QEvent::MouseButtonPress, QPoint(viewport->width() - 4, line));
    mouse(QEvent::MouseMove, QPoint(viewport->width() / 2, line));
    mouse(QEvent::MouseButtonRelease, QPoint(viewport->width() / 2, line));
    EXPECT_TRUE((*source)->textCursor().hasSelection());
    EXPECT_EQ(sheet.focusWidget(), &close);
    EXPECT_TRUE(test::ringedAt(sheet, close));

    press(close, QKeyCombination(Qt::Key_Space));
    QKeyEvent release(QEvent::KeyRelease, Qt::Key_Space, Qt::NoModifier);
    QApplication::sendEvent(&close, &release);
    EXPECT_TRUE(processEventsUntil([&] { return !sheet.isVisible(); }));
}

TEST(ReaderDocumentInformationSheet, TheSampleBookShowsItsMetadataAndImportNotes) {
    const QString path = test::sharedDataFile(kSampleBook);
    TAVRINE_SKIP_WITHOUT(path, kSampleBook);
    const auto book = EPUBReader().readSynchronously(test::repackedWithUTF8Names(path), CancellationToken::none());
    ASSERT_TRUE(book.has_value());
    const SavedReading reading = SavedReading::create(book->document, book->metadata.title(), book->information(),
                                                      std::nullopt, Date::fromUnixSeconds(1796558620));

    Presenter presenter;
    ReaderDocumentInformationSheet sheet(reading, u"kusamakura.epub"_s, &presenter.window);
    sheet.open();
    ASSERT_TRUE(processEventsUntil([&] { return sheet.isVisible(); }));
    EXPECT_EQ(sheet.size(), QSize(480, 540));
    EXPECT_EQ(sheet.windowTitle(), u"本の情報"_s);
    const QStringList texts = labelTexts(sheet);
    for (const QString& expected :
         {u"草枕"_s, u"kusamakura.epub"_s, u"夏目 漱石"_s, u"この本の取り込みについて"_s,
          u"画像・縦組み・元のページ配置は再現しません。保存した本文を再生します。外部リンクは開きません。"_s}) {
        EXPECT_TRUE(texts.contains(expected)) << expected;
    }
    saveAndCheckLayout(sheet, u"information-sheet-epub.png"_s);

    // What assistive technology reads of the way out.
    QAccessibleInterface* close = QAccessible::queryAccessibleInterface(sheet.closeButton());
    ASSERT_NE(close, nullptr);
    EXPECT_EQ(close->text(QAccessible::Name), u"閉じる"_s);
    EXPECT_EQ(sheet.closeButton()->objectName(), u"readerInformationClose"_s);
    close->actionInterface()->doAction(QAccessibleActionInterface::pressAction());
    EXPECT_TRUE(processEventsUntil([&] { return !sheet.isVisible(); }));
}

TEST(ReaderEPUBNavigationButton, NamesThePaneStateAndTheCurrentChapterInItsHelpAndAccessibleTexts) {
    ReaderEPUBNavigationButton button;
    EXPECT_EQ(button.objectName(), u"readerToggleEPUBNavigation"_s);
    EXPECT_EQ(button.iconSize(), QSize(16, 16));
    QAccessibleInterface* accessible = QAccessible::queryAccessibleInterface(&button);
    ASSERT_NE(accessible, nullptr);
    EXPECT_EQ(accessible->role(), QAccessible::Button);

    ReaderDocumentContext context;
    button.apply(context, false);
    EXPECT_EQ(button.toolTip(), u"目次を開く（Meta+Ctrl+T）"_s);
    EXPECT_EQ(accessible->text(QAccessible::Name), u"目次を開く"_s);
    EXPECT_EQ(accessible->text(QAccessible::Value), u"非表示"_s);

    context.chapter = u"第一章"_s;
    button.apply(context, true);
    EXPECT_EQ(button.toolTip(), u"現在の章：第一章。目次を閉じる（Meta+Ctrl+T）"_s);
    EXPECT_EQ(accessible->text(QAccessible::Name), u"第一章。目次を閉じる"_s);
    EXPECT_EQ(accessible->text(QAccessible::Value), u"表示中"_s);
    EXPECT_EQ(accessible->text(QAccessible::Description), button.toolTip());

    // Disabled, it does nothing, through assistive technology either, and still names the chapter.
    int toggles = 0;
    QObject::connect(&button, &QToolButton::clicked, [&] { ++toggles; });
    accessible->actionInterface()->doAction(QAccessibleActionInterface::pressAction());
    EXPECT_EQ(toggles, 1);
    button.setEnabled(false);
    button.click();
    accessible->actionInterface()->doAction(QAccessibleActionInterface::pressAction());
    EXPECT_EQ(toggles, 1);
    EXPECT_TRUE(accessible->state().disabled);
    EXPECT_TRUE(button.toolTip().startsWith(u"現在の章：第一章。"_s));
}

}  // namespace
}  // namespace tavrine
