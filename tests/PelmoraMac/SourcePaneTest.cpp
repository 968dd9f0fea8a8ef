// The source pane as the workspace drives it: which text view a document gets and when the notice
// shows, reloads and rebuilds, following playback, every kind of interaction stopping it before the
// workspace hears of it, reveal requests, the place kept over hiding and a new point size, the focus
// release, and the caret kept in step with the cursor.
#include "PelmoraMac/Source/BoundedTextView.h"
#include "PelmoraMac/Source/InteractionTextEdit.h"
#include "PelmoraMac/Source/ReaderSourcePane.h"
#include "ReaderUI/Source/ReaderSourceNavigation.h"

#include "support/EventLoop.h"
#include "support/QtPrinters.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QKeyEvent>
#include <QLabel>
#include <QMouseEvent>
#include <QScrollBar>
#include <QWheelEvent>

namespace tavrine {
namespace {
using namespace Qt::StringLiterals;
using Kind = ReadingDocument::Span::Kind;

QString japanese(qsizetype units) {
    const QString paragraph =
        u"山路を登りながら、こう考えた。智に働けば角が立つ。情に棹させば流される。意地を通せば窮屈だ。\n"_s;
    QString text;
    while (text.size() < units) text += paragraph;
    text.truncate(units - 1);
    return text + u'\n';
}

// text of units units with one grid table of columns × rows cells of cellUnits units after its first line.
ReadingDocument tabled(qsizetype units, int columns, int rows, qsizetype cellUnits) {
    ReadingDocument document;
    const QString cell = QString(cellUnits - 1, u'表') + u'\n';
    const qsizetype tableUnits = columns * rows * cellUnits;
    const QString body = japanese(units - tableUnits);
    const qsizetype cut = body.indexOf(u'\n') + 1;
    document.text = body.left(cut);
    const qsizetype start = document.text.size();
    for (int i = 0; i < columns * rows; ++i) {
        document.spans.append({.kind = i < columns ? Kind::tableHeader : Kind::tableCell,
                               .start = document.text.size(),
                               .end = document.text.size() + cell.size(),
                               .level = 0});
        document.text += cell;
    }
    document.spans.append({.kind = Kind::table, .start = start, .end = document.text.size(), .level = columns});
    document.text += body.mid(cut);
    return document;
}

ReadingDocument plain(QString text) {
    return {.sections = std::nullopt, .text = std::move(text), .spans = {}};
}

// A shown pane over a navigation, logging what it tells the workspace: "interaction" with whether the
// navigation still followed playback at that moment, and each cursor the user set.
struct Shown {
    ReaderSourceNavigation navigation;
    QWidget window;
    ReaderSourcePane* pane = nullptr;
    QStringList log;
    ReaderSourceViewInput input;

    explicit Shown(ReadingDocument document, double pointSize = 15) {
        input = {.document = std::move(document),
                 .cursor = 0,
                 .focusRelease = {},
                 .highlightedRange = std::nullopt,
                 .pointSize = pointSize};
        navigation.loadDocument(input.document.text, input.document.spans, QUuid::createUuid());
        pane = new ReaderSourcePane(
            navigation, input, [this](qsizetype offset) { log.append(u"cursor %1"_s.arg(offset)); },
            [this] { log.append(navigation.followsPlayback() ? u"interaction following"_s : u"interaction"_s); },
            &window);
        window.resize(500, 400);
        pane->resize(500, 400);
        window.show();
        settle();
    }

    ReaderSourceView& view() const { return pane->sourceView(); }
    InteractionTextView& text() const { return view().textView(); }
    QAbstractScrollArea& widget() const { return view().textWidget(); }

    // Runs the pane's update and what it queued (a load can outlast any fixed wait in a slow build).
    void settle() {
        test::processEventsUntil([this] { return text().hasContentHeight(); });
        for (int turn = 0; turn < 4; ++turn) {
            test::processEventsUntil([] { return false; }, std::chrono::milliseconds(10));
        }
    }
    void load(ReadingDocument document) {
        input.document = std::move(document);
        input.highlightedRange.reset();
        input.cursor = 0;
        navigation.loadDocument(input.document.text, input.document.spans, QUuid::createUuid());
        pane->setInput(input);
        settle();
    }
    void highlight(qsizetype from, qsizetype length = 12) {
        input.highlightedRange = TextRange{from, from + length};
        pane->setInput(input);
        settle();
    }
    // The caret's rectangle before offset, in the viewport's coordinates.
    QRectF characterRect(qsizetype offset) const {
        if (auto* bounded = dynamic_cast<BoundedTextView*>(&text())) return bounded->characterRect(offset);
        auto& edit = static_cast<InteractionTextEdit&>(text());
        QTextCursor cursor(edit.document());
        cursor.setPosition(static_cast<int>(edit.offsets().toDocument(offset)));
        return QRectF(edit.cursorRect(cursor));
    }
    // Whether offset lies in the visible area of the text.
    bool isVisible(qsizetype offset) const {
        const qsizetype top = text().visibleOffset().value_or(-1);
        if (offset < top) return false;
        return widget().viewport()->rect().intersects(characterRect(offset).toAlignedRect());
    }
    // Whether the range lies whole within the height of the visible area.
    bool showsWhole(TextRange range) const {
        const int height = widget().viewport()->height();
        return characterRect(range.lowerBound).top() >= 0 && characterRect(range.upperBound - 1).bottom() <= height;
    }
    void resize(int width, int height) {
        window.resize(width, height);
        pane->resize(width, height);
        settle();
    }
    void click(QPoint at = {40, 40}) {
        QWidget* target = widget().viewport();
        const QPointF global = target->mapToGlobal(QPointF(at));
        QMouseEvent press(QEvent::MouseButtonPress, at, global, Qt::LeftButton, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(target, &press);
        QMouseEvent release(QEvent::MouseButtonRelease, at, global, Qt::LeftButton, Qt::NoButton, Qt::NoModifier);
        QApplication::sendEvent(target, &release);
    }
    void key(int key) {
        QKeyEvent press(QEvent::KeyPress, key, Qt::NoModifier);
        QApplication::sendEvent(&widget(), &press);
    }
};

TEST(SourcePaneTest, EachDocumentGetsItsViewAndTheNoticeOnlyWhileTablesReadLinearly) {
    Shown shown(plain(japanese(ReaderSourceView::kOrdinaryViewLimit)));
    EXPECT_NE(dynamic_cast<InteractionTextEdit*>(&shown.text()), nullptr);
    EXPECT_FALSE(shown.view().usesBoundedLayout());
    EXPECT_FALSE(shown.pane->notice().isVisibleTo(shown.pane));
    EXPECT_EQ(shown.view().builds(), 1);

    // One unit more: the bounded view, drawing its small grid table, wide enough for its 4 columns.
    shown.load(tabled(ReaderSourceView::kOrdinaryViewLimit + 1, 4, 3, 20));
    ASSERT_NE(dynamic_cast<BoundedTextView*>(&shown.text()), nullptr);
    EXPECT_TRUE(static_cast<BoundedTextView&>(shown.text()).storage()->drawsGridTables());
    EXPECT_DOUBLE_EQ(shown.view().minimumWidth(), 4 * 96 + 18);
    EXPECT_FALSE(shown.pane->notice().isVisibleTo(shown.pane));
    EXPECT_EQ(shown.view().builds(), 2);

    // A table of more than 4,096 units reads linearly, and the pane says so; the view is loaded in place.
    const int loads = shown.view().loads();
    shown.load(tabled(30'000, 2, 120, 20));
    EXPECT_FALSE(static_cast<BoundedTextView&>(shown.text()).storage()->drawsGridTables());
    EXPECT_DOUBLE_EQ(shown.view().minimumWidth(), 18);
    EXPECT_TRUE(shown.pane->notice().isVisibleTo(shown.pane));
    EXPECT_EQ(shown.pane->notice().text(), u"長い段落や大きな表を含むため、表はセルの本文順に表示しています。"_s);
    EXPECT_EQ(shown.view().builds(), 2);
    EXPECT_EQ(shown.view().loads(), loads + 1);

    // A new point size reloads in place too; the bounded view's table width scales with it.
    shown.load(tabled(30'000, 3, 3, 20));
    shown.input.pointSize = 30;
    shown.pane->setInput(shown.input);
    shown.settle();
    EXPECT_DOUBLE_EQ(shown.view().minimumWidth(), 3 * 96 * 2 + 18);
    EXPECT_EQ(shown.view().builds(), 2);
    EXPECT_EQ(shown.view().loads(), loads + 3);

    // Back to a short text: the ordinary view again, no notice; an empty document is an empty view.
    shown.load(tabled(30'000, 2, 120, 20));
    shown.load(plain({}));
    EXPECT_NE(dynamic_cast<InteractionTextEdit*>(&shown.text()), nullptr);
    EXPECT_FALSE(shown.pane->notice().isVisibleTo(shown.pane));
    EXPECT_EQ(shown.text().textLength(), 0);
    EXPECT_EQ(shown.view().builds(), 3);
    EXPECT_EQ(shown.text().scrollArea()->accessibleName(), u"読む文章"_s);
    EXPECT_EQ(shown.text().scrollArea()->accessibleDescription(), ReaderSourceView::kAccessibleDescription);
    EXPECT_TRUE(shown.log.isEmpty()) << shown.log.join(u", "_s).toStdString();
}

TEST(SourcePaneTest, FollowsThePhraseThroughALongTextUntilTheUserTakesOver) {
    for (const qsizetype units : {qsizetype{12'000}, qsizetype{120'000}}) {
        SCOPED_TRACE(units);
        Shown shown(plain(japanese(units)));
        for (const qsizetype at : {units / 2, units - 20, qsizetype{30}, units / 3}) {
            shown.highlight(at);
            EXPECT_TRUE(shown.isVisible(at)) << at;
        }
        // The updates themselves never write the cursor nor count as interaction.
        EXPECT_TRUE(shown.log.isEmpty()) << shown.log.join(u", "_s).toStdString();

        shown.key(Qt::Key_Down);
        EXPECT_FALSE(shown.navigation.followsPlayback());
        const int top = shown.widget().verticalScrollBar()->value();
        shown.highlight(units - 100);
        EXPECT_EQ(shown.widget().verticalScrollBar()->value(), top);

        // The return to playback brings the phrase back into view.
        shown.navigation.resumeFollowingPlayback();
        shown.settle();
        EXPECT_TRUE(shown.isVisible(units - 100));
    }
}

TEST(SourcePaneTest, EveryInteractionStopsFollowingBeforeTheWorkspaceHears) {
    for (const qsizetype units : {qsizetype{8'000}, qsizetype{60'000}}) {
        SCOPED_TRACE(units);
        Shown shown(plain(japanese(units)));
        const auto expectOne = [&](const char* what, const auto& act) {
            shown.navigation.resumeFollowingPlayback();
            shown.settle();
            shown.log.clear();
            act();
            ASSERT_FALSE(shown.log.isEmpty()) << what;
            EXPECT_EQ(shown.log.first(), u"interaction"_s) << what;
            EXPECT_FALSE(shown.navigation.followsPlayback()) << what;
        };
        expectOne("wheel", [&] {
            QWheelEvent wheel(QPointF(50, 50), shown.widget().viewport()->mapToGlobal(QPointF(50, 50)), QPoint(),
                              QPoint(0, -120), Qt::NoButton, Qt::NoModifier, Qt::NoScrollPhase, false);
            QApplication::sendEvent(shown.widget().viewport(), &wheel);
        });
        expectOne("scroll bar",
                  [&] { shown.widget().verticalScrollBar()->triggerAction(QScrollBar::SliderPageStepAdd); });
        expectOne("navigation key", [&] { shown.key(Qt::Key_PageDown); });
        expectOne("click", [&] { shown.click(); });
        // The click moved the caret: the user's cursor goes to the workspace after the interaction.
        ASSERT_EQ(shown.log.size(), 2);
        EXPECT_TRUE(shown.log[1].startsWith(u"cursor "_s));

        // A second interaction tells the workspace again, but following stays off without a change signal.
        int changes = 0;
        QObject::connect(&shown.navigation, &ReaderSourceNavigation::followsPlaybackChanged, [&] { ++changes; });
        shown.log.clear();
        shown.key(Qt::Key_Up);
        EXPECT_EQ(changes, 0);
        EXPECT_EQ(shown.log.value(0), u"interaction"_s);
    }
}

TEST(SourcePaneTest, RevealRequestsWhileNotFollowingShowTheCurrentMatch) {
    const QString text = japanese(40'000) + u"目印の言葉"_s;
    Shown shown(plain(text));
    shown.highlight(100);
    shown.key(Qt::Key_Down);
    shown.navigation.setQuery(u"目印"_s);
    shown.navigation.startSearch();
    test::settlePool();
    ASSERT_TRUE(test::processEventsUntil([&] { return shown.navigation.matchIndex().has_value(); }));
    shown.settle();
    const qsizetype match = text.indexOf(u"目印"_s);
    EXPECT_TRUE(shown.isVisible(match));
    EXPECT_FALSE(shown.isVisible(100));

    // The phrase moves on without scrolling while not following.
    const int top = shown.widget().verticalScrollBar()->value();
    shown.highlight(20'000);
    EXPECT_EQ(shown.widget().verticalScrollBar()->value(), top);

    // A new request reveals the match again, even though it is already underlined.
    shown.widget().verticalScrollBar()->setValue(0);
    shown.navigation.requestReveal();
    shown.settle();
    EXPECT_TRUE(shown.isVisible(match));
}

TEST(SourcePaneTest, ThePlaceSurvivesHidingAndANewPointSize) {
    for (const qsizetype units : {qsizetype{15'000}, qsizetype{90'000}}) {
        SCOPED_TRACE(units);
        Shown shown(plain(japanese(units)));
        shown.highlight(units / 2);
        // As a user's selection does, it made the workspace's cursor its start.
        shown.text().setSelectedRange({units / 2 + 3, units / 2 + 9});
        shown.input.cursor = units / 2 + 3;
        shown.pane->setInput(shown.input);
        shown.settle();
        const qsizetype top = *shown.text().visibleOffset();

        shown.pane->hide();
        EXPECT_EQ(shown.navigation.visibleOffset(), top);
        EXPECT_EQ(shown.navigation.selectedRanges(), QList<TextRange>{TextRange(units / 2 + 3, units / 2 + 9)});
        shown.text().scrollArea()->verticalScrollBar()->setValue(0);
        shown.pane->show();
        shown.settle();
        EXPECT_EQ(shown.text().selectedRanges(), QList<TextRange>{TextRange(units / 2 + 3, units / 2 + 9)});
        EXPECT_TRUE(shown.isVisible(top));

        // Larger text, with no phrase played that could leave the view: the character that was at the
        // top is in view again.
        const qsizetype before = *shown.text().visibleOffset();
        shown.input.highlightedRange.reset();
        shown.input.pointSize = 24;
        shown.pane->setInput(shown.input);
        shown.settle();
        EXPECT_TRUE(shown.isVisible(before));
        EXPECT_EQ(shown.text().selectedRanges(), QList<TextRange>{TextRange(units / 2 + 3, units / 2 + 9)});
        EXPECT_EQ(shown.view().builds(), 1);
        EXPECT_TRUE(shown.log.isEmpty()) << shown.log.join(u", "_s).toStdString();
    }
}

TEST(SourcePaneTest, TextSizeStepsKeepTheCharacterAtTheTopOnTheTopLine) {
    // Both engines, larger and smaller, each step let run to its end or the next one coming at once.
    for (const qsizetype units : {qsizetype{15'000}, qsizetype{90'000}}) {
        for (const int direction : {1, -1}) {
            for (const bool quick : {false, true}) {
                SCOPED_TRACE(testing::Message()
                             << units << " units, direction " << direction << (quick ? ", quick" : ""));
                Shown shown(plain(japanese(units)));
                QScrollBar* bar = shown.widget().verticalScrollBar();
                bar->setValue(bar->maximum() / 2);
                shown.settle();
                const qsizetype top = *shown.text().visibleOffset();
                ASSERT_GT(top, units / 4);

                for (int step = 1; step <= 5; ++step) {
                    shown.input.pointSize = 15 + direction * step;
                    shown.pane->setInput(shown.input);
                    if (quick) {
                        QCoreApplication::processEvents();
                    } else {
                        shown.settle();
                    }
                }
                shown.settle();
                // Not a line lost over five steps: the character is on the first line in view.
                const QRectF at = shown.characterRect(top);
                EXPECT_GE(at.top(), -1);
                EXPECT_LT(at.top(), at.height());
                EXPECT_EQ(shown.text().visibleOffset(), top);
                EXPECT_TRUE(shown.log.isEmpty()) << shown.log.join(u", "_s).toStdString();
            }
        }
    }
}

// A pane made shorter or narrower (a notice above it, the contents beside it) or a new text size keeps
// the top line, unless the phrase being played would leave the view while following: then the phrase
// comes back into view.
TEST(SourcePaneTest, ARelayoutKeepsTheTopLineUnlessThePhraseWouldLeaveTheView) {
    for (const qsizetype units : {qsizetype{12'000}, qsizetype{120'000}}) {
        SCOPED_TRACE(units);
        Shown shown(plain(japanese(units)));
        // Revealed from the top, the phrase stands on the last line in view.
        const TextRange phrase{units / 2, units / 2 + 12};
        shown.highlight(phrase.lowerBound);
        ASSERT_TRUE(shown.showsWhole(phrase));
        ASSERT_GT(shown.characterRect(phrase.lowerBound).top(), 300);

        // Taller: the phrase stays in view, and so does the top line.
        qsizetype top = *shown.text().visibleOffset();
        shown.resize(500, 450);
        EXPECT_EQ(shown.text().visibleOffset(), top);
        for (const QSize size : {QSize(500, 300), QSize(320, 300), QSize(320, 160)}) {
            shown.resize(size.width(), size.height());
            EXPECT_TRUE(shown.showsWhole(phrase)) << size.width() << "×" << size.height();
        }
        shown.input.pointSize = 22;
        shown.pane->setInput(shown.input);
        shown.settle();
        EXPECT_TRUE(shown.showsWhole(phrase)) << "a larger text";
        EXPECT_TRUE(shown.log.isEmpty()) << shown.log.join(u", "_s).toStdString();

        // Once the user scrolled away, the top line stays whatever happens to the phrase.
        shown.key(Qt::Key_PageUp);
        shown.key(Qt::Key_PageUp);
        ASSERT_FALSE(shown.navigation.followsPlayback());
        shown.settle();
        top = *shown.text().visibleOffset();
        shown.resize(320, 120);
        EXPECT_EQ(shown.text().visibleOffset(), top);
        EXPECT_FALSE(shown.showsWhole(phrase));
    }
}

TEST(SourcePaneTest, ANewReleaseTokenTakesTheFocusAwayOnlyFromTheText) {
    Shown shown(plain(japanese(2'000)));
    shown.window.activateWindow();
    shown.widget().setFocus();
    ASSERT_TRUE(test::processEventsUntil([&] { return shown.widget().hasFocus(); }));
    shown.input.highlightedRange = TextRange{10, 20};
    shown.pane->setInput(shown.input);
    shown.settle();
    EXPECT_TRUE(shown.widget().hasFocus());
    shown.input.focusRelease = QUuid::createUuid();
    shown.pane->setInput(shown.input);
    shown.settle();
    EXPECT_FALSE(shown.widget().hasFocus());
}

TEST(SourcePaneTest, CaretAndCursorStayInStepOverSurrogatesLineEndsAndTables) {
    ReadingDocument document = tabled(3'000, 3, 2, 6);
    const qsizetype tableEnd = document.spans.last().end;
    document.text += u"顔😀文字\r\n次の行"_s;
    const qsizetype emoji = document.text.indexOf(u"😀"_s);
    const qsizetype lineEnd = document.text.indexOf(u"\r\n"_s);
    Shown shown(document);

    // The workspace's cursor puts the caret there, in a table cell and past a surrogate pair alike.
    for (const qsizetype at : {tableEnd - 3, emoji + 2, lineEnd + 2}) {
        shown.input.cursor = at;
        shown.pane->setInput(shown.input);
        shown.settle();
        EXPECT_EQ(shown.text().selectedRanges().value(0), TextRange(at, at));
    }
    // The user's arrow steps over the whole pair and the whole line end, and each step is the cursor.
    shown.log.clear();
    shown.input.cursor = emoji;
    shown.pane->setInput(shown.input);
    shown.settle();
    shown.key(Qt::Key_Right);
    shown.input.cursor = lineEnd;
    shown.pane->setInput(shown.input);
    shown.settle();
    shown.key(Qt::Key_Right);
    EXPECT_EQ(shown.log, QStringList({u"interaction"_s, u"cursor %1"_s.arg(emoji + 2), u"interaction"_s,
                                      u"cursor %1"_s.arg(lineEnd + 2)}));
}

}  // namespace
}  // namespace tavrine
