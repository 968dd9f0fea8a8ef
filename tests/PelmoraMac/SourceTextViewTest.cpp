// The source text views as a person uses them: highlights, reveals, keys, clicks, the wheel, the
// scroll bars, selection and copy, on both the ordinary and the bounded view.
#include "PelmoraMac/Source/BoundedTextView.h"
#include "PelmoraMac/Source/InteractionTextEdit.h"
#include "PelmoraMac/Source/ReaderTextHighlight.h"
#include "PelmoraMac/Source/internal/DragAutoScroll.h"

#include "ReaderUI/ReaderPalette.h"
#include "ReaderWidgets/Style/ToQColor.h"
#include "support/EventLoop.h"
#include "support/QtPrinters.h"

#include "SourceTesting.h"

#include <gtest/gtest.h>
#include <QAccessible>
#include <QApplication>
#include <QClipboard>
#include <QKeyEvent>
#include <QMimeData>
#include <QMouseEvent>
#include <QScrollBar>
#include <QThread>
#include <QWheelEvent>

namespace tavrine {
namespace {
using namespace Qt::StringLiterals;
using Highlight = InteractionTextView::Highlight;

ReadingDocument plainDocument(QString text) {
    return {.sections = std::nullopt, .text = std::move(text), .spans = {}};
}

// Many short paragraphs: enough to scroll a 600 × 400 view many times over.
QString manyParagraphs(int count = 400) {
    QString text;
    for (int i = 0; i < count; ++i) text += u"段落"_s + QString::number(i) + u"。吾輩は猫である。名前はまだ無い。\n"_s;
    return text;
}

// A window that counts the keys its view lets through.
class Window : public QWidget {
public:
    int keysReceived = 0;

protected:
    void keyPressEvent(QKeyEvent* event) override {
        ++keysReceived;
        event->accept();
    }
};

template <typename View>
struct Pane {
    Window window;
    View* view = new View(&window);
    int interactions = 0;

    explicit Pane(const QString& text, QSize size = {600, 400}) : Pane(plainDocument(text), size) {}
    explicit Pane(const ReadingDocument& document, QSize size = {600, 400}) {
        view->setOnInteraction([this] { ++interactions; });
        view->load(document, 15);
        window.resize(size);
        view->resize(size);
        window.show();
        EXPECT_TRUE(test::processEventsUntil([this] { return view->hasContentHeight(); }));
        QCoreApplication::processEvents();
    }

    QScrollBar* vertical() const { return view->verticalScrollBar(); }
    void key(int key, Qt::KeyboardModifiers modifiers = Qt::NoModifier) {
        QKeyEvent press(QEvent::KeyPress, key, modifiers, key == Qt::Key_Space ? u" "_s : QString());
        QApplication::sendEvent(view, &press);
    }
    void mouse(QEvent::Type type, QPointF at, Qt::MouseButtons buttons) {
        QMouseEvent event(type, at, view->viewport()->mapToGlobal(at), Qt::LeftButton, buttons, Qt::NoModifier);
        QApplication::sendEvent(view->viewport(), &event);
    }
    void click(QPointF at = {20, 20}) {
        const QPointF global = view->viewport()->mapToGlobal(at);
        QMouseEvent press(QEvent::MouseButtonPress, at, global, Qt::LeftButton, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(view->viewport(), &press);
        QMouseEvent release(QEvent::MouseButtonRelease, at, global, Qt::LeftButton, Qt::NoButton, Qt::NoModifier);
        QApplication::sendEvent(view->viewport(), &release);
    }
};

template <typename View>
class SourceTextViewTest : public ::testing::Test {};

using Views = ::testing::Types<InteractionTextEdit, BoundedTextView>;
TYPED_TEST_SUITE(SourceTextViewTest, Views);

TYPED_TEST(SourceTextViewTest, HighlightsSkipUnchangedRangesAndTreatRangesOutsideTheTextAsNone) {
    Pane<TypeParam> pane(manyParagraphs(20));
    ReaderTextHighlight playback(Highlight::playback);
    const qsizetype length = pane.view->textLength();

    playback.apply(TextRange{10, 20}, *pane.view, false);
    EXPECT_EQ(playback.range(), (TextRange{10, 20}));
    // The same range again does nothing, not even a reveal.
    pane.vertical()->setValue(pane.vertical()->maximum());
    playback.apply(TextRange{10, 20}, *pane.view, true);
    EXPECT_EQ(pane.vertical()->value(), pane.vertical()->maximum());
    // Forced, it is applied again and revealed.
    playback.apply(TextRange{10, 20}, *pane.view, true, true);
    EXPECT_EQ(pane.vertical()->value(), 0);

    for (const TextRange none : {TextRange{10, 10}, TextRange{length - 5, length + 1}, TextRange{-1, 4}}) {
        playback.apply(TextRange{30, 40}, *pane.view, false);
        playback.apply(none, *pane.view, false);
        EXPECT_EQ(playback.range(), std::nullopt) << none.lowerBound << "..<" << none.upperBound;
    }
    // A range ending at the very end is inside the text.
    playback.apply(TextRange{length - 5, length}, *pane.view, false);
    EXPECT_EQ(playback.range(), (TextRange{length - 5, length}));

    // The two highlights keep each other: removing one leaves the other drawn.
    ReaderTextHighlight search(Highlight::search);
    search.apply(TextRange{0, 3}, *pane.view, false);
    playback.remove(*pane.view);
    EXPECT_EQ(playback.range(), std::nullopt);
    EXPECT_EQ(search.range(), (TextRange{0, 3}));
}

TYPED_TEST(SourceTextViewTest, KeysReportNavigationButNeverTakeSpaceOrTab) {
    Pane<TypeParam> pane(manyParagraphs());
    pane.view->setFocus();
    pane.key(Qt::Key_Space);
    EXPECT_EQ(pane.window.keysReceived, 1);
    EXPECT_EQ(pane.vertical()->value(), 0);
    EXPECT_EQ(pane.interactions, 0);

    // A pending reveal goes on after a key.
    pane.view->scrollRangeToVisible({2000, 2010});
    pane.key(Qt::Key_PageDown);
    EXPECT_EQ(pane.interactions, 1);
    EXPECT_TRUE(pane.view->hasPendingReveal() || pane.vertical()->value() > 0);

    pane.key(Qt::Key_Tab);
    pane.key(Qt::Key_Backtab);
    EXPECT_EQ(pane.interactions, 1);
    EXPECT_EQ(pane.view->selectedRanges().value(0).length(), 0);
}

TYPED_TEST(SourceTextViewTest, AClickOrTheWheelStopsARevealAndIsReportedBeforeTheViewScrolls) {
    Pane<TypeParam> pane(manyParagraphs());
    // Not yet run: the click comes first.
    pane.view->setInitialRevealRange({8000, 8010});
    pane.click();
    QCoreApplication::processEvents();
    QCoreApplication::processEvents();
    EXPECT_EQ(pane.interactions, 1);
    // The initial reveal is a reveal of its own: a click before it runs does not stop it, but a reveal the
    // click interrupts does.
    pane.vertical()->setValue(0);
    pane.view->scrollRangeToVisible({8000, 8010});
    const int afterReveal = pane.vertical()->value();
    pane.vertical()->setValue(0);
    pane.view->resize(600, 300);  // a layout change asks the reveal to run again
    pane.click();
    QCoreApplication::processEvents();
    EXPECT_FALSE(pane.view->hasPendingReveal());
    EXPECT_EQ(pane.vertical()->value(), 0);
    EXPECT_GT(afterReveal, 0);

    int valueWhenReported = -1;
    pane.view->setOnInteraction([&] { valueWhenReported = pane.vertical()->value(); });
    QWheelEvent wheel(QPointF(50, 50), pane.view->viewport()->mapToGlobal(QPointF(50, 50)), {}, QPoint(0, -120),
                      Qt::NoButton, Qt::NoModifier, Qt::NoScrollPhase, false);
    QApplication::sendEvent(pane.view->viewport(), &wheel);
    EXPECT_EQ(valueWhenReported, 0);
    EXPECT_GT(pane.vertical()->value(), 0);

    // The scroll bar moved by hand is interaction; moved by a reveal it is not.
    int reports = 0;
    pane.view->setOnInteraction([&] { ++reports; });
    pane.vertical()->triggerAction(QAbstractSlider::SliderPageStepAdd);
    pane.view->scrollRangeToVisible({100, 110});
    EXPECT_EQ(reports, 1);
}

TYPED_TEST(SourceTextViewTest, OnlyTheLatestInitialRevealInsideTheTextIsRevealed) {
    Pane<TypeParam> pane(manyParagraphs());
    const qsizetype length = pane.view->textLength();
    pane.view->setInitialRevealRange({length - 10, length});
    pane.view->setInitialRevealRange({length / 2, length / 2 + 4});
    ASSERT_TRUE(test::processEventsUntil([&] { return pane.vertical()->value() > 0; }));
    QCoreApplication::processEvents();
    const int middle = pane.vertical()->value();
    EXPECT_LT(middle, pane.vertical()->maximum() * 3 / 4);
    EXPECT_GT(middle, pane.vertical()->maximum() / 4);

    pane.view->setInitialRevealRange({length - 4, length + 1});
    for (int i = 0; i < 5; ++i) QCoreApplication::processEvents();
    EXPECT_EQ(pane.vertical()->value(), middle);
}

TYPED_TEST(SourceTextViewTest, CopyWritesTheSelectedSourceUnitsAndTheCaretStepsOverWholeCharacters) {
    const QString text = u"x\u00A0a\u00A0b\r\nc 😀y\n"_s;
    Pane<TypeParam> pane(text);
    pane.view->setSelectedRange({2, 8});
    EXPECT_EQ(pane.view->selectedRanges(), (QList<TextRange>{{2, 8}}));
    QApplication::clipboard()->clear();
    pane.view->copySelection();
    EXPECT_EQ(QApplication::clipboard()->text(), u"a\u00A0b\r\nc"_s);

    // From before the emoji, Right lands after its two units; Shift+Left selects both back. Only the
    // user's moves are reported as selection changes.
    int changes = 0;
    pane.view->setOnSelectionChanged([&] { ++changes; });
    pane.view->setSelectedRange({9, 9});
    EXPECT_EQ(changes, 0);
    pane.key(Qt::Key_Right);
    EXPECT_EQ(changes, 1);
    EXPECT_EQ(pane.view->selectedRanges(), (QList<TextRange>{{11, 11}}));
    pane.key(Qt::Key_Left, Qt::ShiftModifier);
    EXPECT_EQ(pane.view->selectedRanges(), (QList<TextRange>{{9, 11}}));
}

TYPED_TEST(SourceTextViewTest, CtrlArrowsMoveByWordAndShiftExtends) {
    // alpha·beta,·gamma: moves stop where a word or punctuation starts (0, 6, 10, 12) and at the line end.
    Pane<TypeParam> pane(u"alpha beta, gamma\n日本語\n"_s);
    pane.view->setSelectedRange({0, 0});
    pane.key(Qt::Key_Left, Qt::ControlModifier);
    EXPECT_EQ(pane.view->selectedRanges(), (QList<TextRange>{{0, 0}}));
    for (const qsizetype stop : {6, 10, 12, 17}) {
        pane.key(Qt::Key_Right, Qt::ControlModifier);
        EXPECT_EQ(pane.view->selectedRanges(), (QList<TextRange>{{stop, stop}}));
    }
    pane.view->setSelectedRange({12, 12});
    pane.key(Qt::Key_Left, Qt::ControlModifier | Qt::ShiftModifier);
    EXPECT_EQ(pane.view->selectedRanges(), (QList<TextRange>{{10, 12}}));
    pane.key(Qt::Key_Left, Qt::ControlModifier | Qt::ShiftModifier);
    EXPECT_EQ(pane.view->selectedRanges(), (QList<TextRange>{{6, 12}}));
    EXPECT_EQ(pane.interactions, 7);
    // From inside a word, back to its start.
    pane.view->setSelectedRange({8, 8});
    pane.key(Qt::Key_Left, Qt::ControlModifier);
    EXPECT_EQ(pane.view->selectedRanges(), (QList<TextRange>{{6, 6}}));
    // At the end there is nowhere further to go.
    const qsizetype length = pane.view->textLength();
    pane.view->setSelectedRange({length, length});
    pane.key(Qt::Key_Right, Qt::ControlModifier);
    EXPECT_EQ(pane.view->selectedRanges(), (QList<TextRange>{{length, length}}));
}

TYPED_TEST(SourceTextViewTest, AWideDocumentScrollsSidewaysOnlyAsFarAsItsWidth) {
    Pane<TypeParam> pane(manyParagraphs(5));
    pane.view->setMinimumDocumentWidth(pane.view->viewport()->width() + 300);
    QCoreApplication::processEvents();
    QScrollBar* horizontal = pane.view->horizontalScrollBar();
    EXPECT_EQ(horizontal->minimum(), 0);
    EXPECT_EQ(horizontal->maximum(), 300);
    horizontal->setValue(1000);
    EXPECT_EQ(horizontal->value(), 300);
}

// Paragraphs whose estimated heights are wrong both ways: after the first (the measure, of mixed width),
// wide Japanese and narrow English of one to a dozen lines, and now and then a long one of several
// blocks.
QString misjudgedParagraphs() {
    QString text = u"段落の幅を測る最初の行 with some narrow letters.\n"_s;
    for (int i = 0; i < 600; ++i) {
        if (i % 50 == 49) {
            text += QString(5'000 + i * 7, u'長') + u'\n';
        } else if (i % 2 == 0) {
            text += QString(15 + i * 37 % 300, u'漢') + u"。\n"_s;
        } else {
            text += u"narrow english words "_s.repeated(2 + i * 13 % 40) + u'\n';
        }
    }
    return text;
}

TEST(BoundedTextViewTest, WheelNotchesMoveTheTextEvenlyThroughTextNotLaidOutYet) {
    Pane<BoundedTextView> pane(misjudgedParagraphs());
    BoundedTextView& view = *pane.view;
    QScrollBar* bar = pane.vertical();
    const int step = QApplication::wheelScrollLines() * bar->singleStep();
    const QPointF middle(100, view.viewport()->height() / 2.0);
    // One notch at the middle of the view; how far the character there moved, once painted.
    const auto notch = [&](int delta) {
        const qsizetype shown = view.offsetAtViewportPoint(middle);
        const double before = view.characterRect(shown).top();
        QWheelEvent wheel(middle, view.viewport()->mapToGlobal(middle), {}, QPoint(0, delta), Qt::NoButton,
                          Qt::NoModifier, Qt::NoScrollPhase, false);
        QApplication::sendEvent(view.viewport(), &wheel);
        view.viewport()->repaint();
        QCoreApplication::processEvents();
        return view.characterRect(shown).top() - before;
    };

    // Dragged to the last fifth: nothing above the view is laid out.
    for (const int from : {bar->maximum() * 4 / 5, bar->maximum() / 3}) {
        bar->setValue(from);
        view.viewport()->repaint();
        QCoreApplication::processEvents();
        const qsizetype first = view.offsetAtViewportPoint(middle);
        const double firstTop = view.characterRect(first).top();
        const int maximum = bar->maximum();
        for (int i = 0; i < 20; ++i) EXPECT_NEAR(notch(120), step, 1) << "notch " << i << " up from " << from;
        EXPECT_NEAR(view.characterRect(first).top() - firstTop, 20 * step, 1);
        EXPECT_NE(bar->maximum(), maximum) << "the estimates above were corrected on the way";
    }
    // Down from a new place, too.
    bar->setValue(bar->maximum() / 2);
    view.viewport()->repaint();
    for (int i = 0; i < 20; ++i) EXPECT_NEAR(notch(-120), -step, 1) << "notch " << i << " down";
}

// Where the text above is partly laid out, the corrections of what enters from above move the view by
// fractions of a pixel: every notch still moves the text by the same whole pixels, and as many notches
// back return it to the very place.
TEST(BoundedTextViewTest, NotchesUpAndAsManyDownReturnTheTextToItsPlace) {
    Pane<BoundedTextView> pane(misjudgedParagraphs());
    BoundedTextView& view = *pane.view;
    QScrollBar* bar = pane.vertical();
    const int step = QApplication::wheelScrollLines() * bar->singleStep();
    const QPointF middle(100, view.viewport()->height() / 2.0);
    const auto settle = [&] {
        view.viewport()->repaint();
        QCoreApplication::processEvents();
    };
    const auto wheel = [&](int delta) {
        QWheelEvent event(middle, view.viewport()->mapToGlobal(middle), {}, QPoint(0, delta), Qt::NoButton,
                          Qt::NoModifier, Qt::NoScrollPhase, false);
        QApplication::sendEvent(view.viewport(), &event);
        settle();
    };
    for (const int notches : {20, 60}) {
        SCOPED_TRACE(notches);
        // Halfway down, then a little further: the blocks around are laid out, those far above are not.
        bar->setValue(bar->maximum() / 2);
        settle();
        for (int i = 0; i < 3; ++i) wheel(-120);
        const qsizetype shown = view.offsetAtViewportPoint(middle);
        const double start = view.characterRect(shown).top();
        for (int i = 0; i < notches; ++i) {
            const double before = view.characterRect(shown).top();
            wheel(120);
            EXPECT_NEAR(view.characterRect(shown).top() - before, step, 0.01) << "notch " << i << " up";
        }
        for (int i = 0; i < notches; ++i) wheel(-120);
        EXPECT_NEAR(view.characterRect(shown).top(), start, 0.01);
        EXPECT_EQ(view.offsetAtViewportPoint(middle), shown);
    }
}

TEST(BoundedTextViewTest, APiecesEdgeIsNoLineEndAndTheCaretCrossesItByCharacters) {
    // One paragraph of 1,000 units cut into 256-unit pieces: an emoji sits across the first edge.
    QString text = QString(255, u'あ') + u"😀"_s + QString(743, u'い') + u'\n';
    Pane<BoundedTextView> pane(text);
    const auto line = pane.view->lineRange(256);
    ASSERT_TRUE(line);
    EXPECT_LT(line->lowerBound, 255);
    EXPECT_GT(line->upperBound, 257);

    pane.view->setSelectedRange({255, 255});
    pane.key(Qt::Key_Right);
    EXPECT_EQ(pane.view->selectedRanges(), (QList<TextRange>{{257, 257}}));
    pane.key(Qt::Key_Left);
    EXPECT_EQ(pane.view->selectedRanges(), (QList<TextRange>{{255, 255}}));
    // Down keeps the caret's x: it lands one line on, the same distance into its line.
    const qsizetype column = 255 - line->lowerBound;
    pane.key(Qt::Key_Down);
    const auto next = pane.view->lineRange(pane.view->selectedRanges()[0].lowerBound);
    ASSERT_TRUE(next);
    EXPECT_EQ(next->lowerBound, line->upperBound);
    EXPECT_NEAR(pane.view->selectedRanges()[0].lowerBound - next->lowerBound, column, 1);
}

TEST(BoundedTextViewTest, AssistiveTechnologyReadsTheTextCaretAndSelection) {
    Pane<BoundedTextView> pane(u"一行目の本文。\n😀二行目\n"_s);
    QAccessibleInterface* accessible = QAccessible::queryAccessibleInterface(pane.view);
    ASSERT_NE(accessible, nullptr);
    QAccessibleTextInterface* text = accessible->textInterface();
    ASSERT_NE(text, nullptr);
    EXPECT_TRUE(accessible->state().readOnly);
    EXPECT_EQ(text->characterCount(), 14);
    EXPECT_EQ(text->text(8, 10), u"😀"_s);
    text->setSelection(0, 10, 8);
    EXPECT_EQ(pane.view->selectedRanges(), (QList<TextRange>{{8, 10}}));
    int start = -1;
    int end = -1;
    text->selection(0, &start, &end);
    EXPECT_EQ(std::pair(start, end), std::pair(8, 10));
    text->setCursorPosition(12);
    EXPECT_EQ(text->cursorPosition(), 12);
    EXPECT_EQ(text->selectionCount(), 0);
    // The character's rectangle and the offset at its point agree.
    EXPECT_EQ(text->offsetAtPoint(text->characterRect(12).center() - QPoint(1, 0)), 12);
}

TEST(BoundedTextViewTest, TheHighlightIsAStorageDecorationDrawnInView) {
    Pane<BoundedTextView> pane(manyParagraphs());
    ReaderTextHighlight playback(Highlight::playback);
    playback.apply(TextRange{100, 110}, *pane.view, false);
    const auto& decorations = pane.view->storage()->decorations();
    ASSERT_EQ(decorations.size(), 1U);
    EXPECT_EQ(decorations.begin()->second.range, (TextRange{100, 110}));
    playback.apply(std::nullopt, *pane.view, false);
    EXPECT_TRUE(pane.view->storage()->decorations().empty());

    // A phrase far down is revealed and painted in the amber band.
    const qsizetype length = pane.view->textLength();
    playback.apply(TextRange{length / 2, length / 2 + 6}, *pane.view, true);
    QCoreApplication::processEvents();
    const QImage image = pane.view->viewport()->grab().toImage();
    bool amber = false;
    for (int y = 0; y < image.height() && !amber; ++y) {
        for (int x = 0; x < image.width() && !amber; ++x) amber = image.pixelColor(x, y) == QColor(255, 208, 56);
    }
    EXPECT_TRUE(amber);
    // Only layouts near the view are kept.
    EXPECT_LT(pane.view->layoutCount(), 60);
}

TEST(BoundedTextViewTest, ADragHeldBeyondAnEdgeScrollsAndExtendsTheSelectionUntilReleased) {
    Pane<BoundedTextView> pane(manyParagraphs());
    const int height = pane.view->viewport()->height();
    pane.mouse(QEvent::MouseButtonPress, {20, 20}, Qt::LeftButton);
    const qsizetype anchor = pane.view->caretPosition();
    // Above the top of a view at the top: nothing to scroll, the selection runs to the start.
    pane.mouse(QEvent::MouseMove, {20, -30}, Qt::LeftButton);
    for (int i = 0; i < 3; ++i) QThread::msleep(20), QCoreApplication::processEvents();
    EXPECT_EQ(pane.vertical()->value(), 0);
    EXPECT_EQ(pane.view->selectedRanges(), (QList<TextRange>{{0, anchor}}));

    pane.mouse(QEvent::MouseMove, {20, height + 30.0}, Qt::LeftButton);
    ASSERT_TRUE(test::processEventsUntil([&] { return pane.vertical()->value() > height; }));
    const TextRange selection = pane.view->selectedRanges().value(0);
    EXPECT_EQ(selection.lowerBound, anchor);
    EXPECT_GT(selection.upperBound, pane.view->offsetAtViewportPoint({20, height / 2.0}));
    // Back inside, the scrolling stops; so it does once released outside.
    pane.mouse(QEvent::MouseMove, {20, height - 10.0}, Qt::LeftButton);
    int value = pane.vertical()->value();
    QThread::msleep(120);
    QCoreApplication::processEvents();
    EXPECT_EQ(pane.vertical()->value(), value);
    pane.mouse(QEvent::MouseMove, {20, height + 30.0}, Qt::LeftButton);
    pane.mouse(QEvent::MouseButtonRelease, {20, height + 30.0}, Qt::NoButton);
    value = pane.vertical()->value();
    QThread::msleep(120);
    QCoreApplication::processEvents();
    EXPECT_EQ(pane.vertical()->value(), value);
}

TEST(DragAutoScrollStep, EachAxisScrollsFromALineAtTheEdgeToAPageByTheDistanceBeyondIt) {
    const QSizeF viewport(600, 400);
    const double line = 20;
    struct Case {
        QPointF point;
        QPoint step;
    };
    for (const auto& [point, step] : {
             // Inside, up to the last pixel of each edge: nothing.
             Case{{0, 0}, {0, 0}},
             Case{{599.5, 399.5}, {0, 0}},
             // One pixel beyond: a line.
             Case{{600, 200}, {20, 0}},
             Case{{-1, 200}, {-20, 0}},
             Case{{300, 400}, {0, 20}},
             Case{{300, -1}, {0, -20}},
             // Further: the distance itself.
             Case{{600 + 99, 200}, {100, 0}},
             Case{{-100, 200}, {-100, 0}},
             // Never more than a page along each axis: the viewport's width sideways, its height down.
             Case{{600 + 5'000, 200}, {600, 0}},
             Case{{300, 400 + 5'000}, {0, 400}},
             // Beyond a corner: both axes, each by its own rule.
             Case{{-50, 400 + 5'000}, {-50, 400}},
             Case{{610, -3}, {20, -20}},
         }) {
        EXPECT_EQ(dragAutoScrollStep(point, viewport, line), step) << point.x() << "," << point.y();
        EXPECT_EQ(isBeyondViewport(point, viewport), !step.isNull()) << point.x() << "," << point.y();
    }
    // A line longer than the view is cut to a page; a view with no extent never scrolls.
    EXPECT_EQ(dragAutoScrollStep({15, 5}, QSizeF(10, 10), 20), QPoint(10, 0));
    EXPECT_EQ(dragAutoScrollStep({15, -5}, QSizeF(0, 0), 20), QPoint(0, 0));
}

TEST(BoundedTextViewTest, ADragHeldBeyondASideOfAWideTableScrollsSidewaysUntilBackInside) {
    const ReadingDocument document = test::wideTableDocument();
    Pane<BoundedTextView> pane(document);
    pane.view->setMinimumDocumentWidth(test::kWideTableWidth);
    QScrollBar* horizontal = pane.view->horizontalScrollBar();
    ASSERT_GT(horizontal->maximum(), 600) << "the table is wider than the view";
    const int width = pane.view->viewport()->width();
    const qsizetype firstCell = document.text.indexOf(u"行1列1"_s);
    const double row = pane.view->characterRect(firstCell).center().y();

    pane.mouse(QEvent::MouseButtonPress, {20, row}, Qt::LeftButton);
    const qsizetype anchor = pane.view->caretPosition();
    pane.mouse(QEvent::MouseMove, {width + 40.0, row}, Qt::LeftButton);
    ASSERT_TRUE(test::processEventsUntil([&] { return horizontal->value() > width; }));
    EXPECT_EQ(pane.vertical()->value(), 0);
    // The selection runs from the press to a cell that was beyond the right edge when the drag began.
    const TextRange selection = pane.view->selectedRanges().value(0);
    EXPECT_EQ(selection.lowerBound, anchor);
    EXPECT_GT(selection.upperBound, document.text.indexOf(u"行1列8"_s));

    // Back inside, the view stands still; beyond the left edge it scrolls back.
    pane.mouse(QEvent::MouseMove, {width - 10.0, row}, Qt::LeftButton);
    const int value = horizontal->value();
    QThread::msleep(120);
    QCoreApplication::processEvents();
    EXPECT_EQ(horizontal->value(), value);
    pane.mouse(QEvent::MouseMove, {-40, row}, Qt::LeftButton);
    ASSERT_TRUE(test::processEventsUntil([&] { return horizontal->value() == 0; }));
    pane.mouse(QEvent::MouseButtonRelease, {-40, row}, Qt::NoButton);

    // Text that wraps has nothing beyond its sides: a drag there scrolls neither way.
    Pane<BoundedTextView> wrapped(manyParagraphs());
    wrapped.mouse(QEvent::MouseButtonPress, {20, 100}, Qt::LeftButton);
    wrapped.mouse(QEvent::MouseMove, {width + 200.0, 100}, Qt::LeftButton);
    QThread::msleep(120);
    QCoreApplication::processEvents();
    EXPECT_EQ(wrapped.view->horizontalScrollBar()->value(), 0);
    EXPECT_EQ(wrapped.vertical()->value(), 0);
    wrapped.mouse(QEvent::MouseButtonRelease, {width + 200.0, 100}, Qt::NoButton);
}

TEST(BoundedTextViewTest, AGridTableIsDrawnInRowsOfEqualColumns) {
    // Before\n | 見出しA | 見出しB | / | 短い | a cell long enough to wrap onto several lines | After
    const QString before = u"前の段落。\n"_s;
    const QStringList cells{u"見出しA\n"_s, u"見出しB\n"_s, u"短い\n"_s, QString(60, u'長') + u"\n二つ目の段落\n"_s};
    QList<qsizetype> starts;
    const ReadingDocument document = test::twoColumnTableDocument(before, cells, u"後の段落。\n"_s, starts);
    const qsizetype at = starts.back() + cells.back().size();  // where the table ends
    Pane<BoundedTextView> pane(document);
    BoundedTextView& view = *pane.view;
    ASSERT_TRUE(view.storage()->drawsGridTables());

    const auto rect = [&](qsizetype offset) { return view.characterRect(offset); };
    // One row shares its top; the second column starts halfway across.
    EXPECT_EQ(rect(starts[0]).top(), rect(starts[1]).top());
    EXPECT_EQ(rect(starts[2]).top(), rect(starts[3]).top());
    EXPECT_NEAR(rect(starts[1]).left() - rect(starts[0]).left(), (view.viewport()->width() - 16) / 2.0, 1);
    // The long cell wraps inside its column, its second paragraph below it, and the row is as tall as it:
    // the text after the table starts below its last line.
    const QRectF second = rect(at - 3);
    EXPECT_GT(second.top(), rect(starts[3]).bottom() + rect(starts[3]).height());
    EXPECT_GT(second.left(), rect(starts[1]).left() - 1);
    EXPECT_GT(rect(at).top(), second.bottom());
    EXPECT_EQ(rect(at).left(), rect(0).left());
    // Points map to the cell under them, and Down keeps the column.
    EXPECT_EQ(view.offsetAtViewportPoint(rect(starts[3] + 2).center()), starts[3] + 2);
    EXPECT_EQ(view.offsetAtViewportPoint({rect(starts[3]).left() - 10, second.center().y()}), starts[2] + 2);
    view.setCaretPosition(starts[1] + 1);
    pane.key(Qt::Key_Down);
    EXPECT_EQ(view.caretPosition(), starts[3] + 1);
    // The header cells have the pane background behind their text.
    const QImage image = view.viewport()->grab().toImage();
    const QPoint inHeader = rect(starts[0] + 4).topRight().toPoint() + QPoint(4, 2);
    EXPECT_EQ(image.pixelColor(inHeader), toQColor(ReaderPalette::sidebar));
}

}  // namespace
}  // namespace tavrine
