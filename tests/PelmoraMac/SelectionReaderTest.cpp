#include "PelmoraMac/Capture/AXSelectionReader.h"

#include "CaptureTesting.h"
#include "ScriptedAccessibilityBus.h"
#include "SelectionTesting.h"

#include <gtest/gtest.h>

namespace tavrine {
namespace {
using namespace Qt::StringLiterals;
using namespace std::chrono_literals;
using test::applicationWith;
using test::failureOf;
using test::pageAt;
using test::ScriptedAccessibilityBus;
using test::ScriptedAccessibleTree;
using test::ScriptedNode;
using test::statesOf;
using Operation = CaptureWorkerRequest::Operation;

const QString kPage = u"https://example.org/news/1"_s;

ScriptedNode textArea(const QString& text, QList<AccessibleTextRange> selections = {}) {
    return {.path = u"/area"_s,
            .role = AccessibleRole::text,
            .states = statesOf({AccessibleState::multiLine}),
            .text = text,
            .selections = selections};
}

ScriptedNode textField(const QString& text, QList<AccessibleTextRange> selections = {}) {
    return {.path = u"/field"_s, .role = AccessibleRole::entry, .text = text, .selections = selections};
}

// One capture of the scripted application, with the rest of the desktop played by the test.
struct SelectionCapture {
    explicit SelectionCapture(ScriptedAccessibleTree tree, QString pageURL = kPage)
        : bus(std::move(tree)), desktop{.pageURL = std::move(pageURL)} {}

    ScriptedAccessibilityBus bus;
    test::FakeCaptureDesktop desktop;
    // The primary selection, owned by the application when set.
    std::optional<QString> primary{};
    CancellationToken cancellation{};

    SelectionCaptureEnvironment environment() {
        return {.bus = &bus,
                .primarySelection = [this](pid_t pid, CaptureDeadline) -> CaptureResult<std::optional<QString>> {
                    return pid == ScriptedAccessibilityBus::kProcess ? primary : std::nullopt;
                },
                .article = desktop.environment()};
    }
    CaptureResult<PreparedCapture> run(bool includeWebArticles = false,
                                       std::optional<ArticleBrowser> browser = std::nullopt) {
        return captureSelection(ScriptedAccessibilityBus::kProcess, includeWebArticles, browser, cancellation,
                                environment());
    }
    QList<Operation> operations() const {
        QList<Operation> operations;
        for (const auto& request : desktop.requests) operations.append(request.operation);
        return operations;
    }
};

TEST(SelectionReader, SelectedTextBecomesASelectionAndACaretInATextAreaItsWholeText) {
    SelectionCapture selected(applicationWith(textArea(u"本文の選択です"_s, {{3, 5}})));
    const auto selection = selected.run();
    ASSERT_TRUE(selection) << rawValue(selection.error()).toStdString();
    EXPECT_EQ(selection->document.text, u"選択"_s);
    EXPECT_FALSE(selection->isBody);
    ASSERT_EQ(selected.desktop.requests.size(), 1);
    EXPECT_EQ(selected.desktop.requests[0].text, u"選択"_s);

    SelectionCapture caret(applicationWith(textArea(u"本文です"_s)));
    const auto body = caret.run();
    ASSERT_TRUE(body);
    EXPECT_EQ(body->document.text, u"本文です"_s);
    EXPECT_TRUE(body->isBody);

    // A single-line field gives no body; nor does a text area of a browser, where only pages give one.
    SelectionCapture field(applicationWith(textField(u"一行"_s)));
    EXPECT_EQ(failureOf(field.run()), CaptureFailure::noBodyCandidate);
    SelectionCapture browserArea(applicationWith(textArea(u"本文です"_s)));
    EXPECT_EQ(failureOf(browserArea.run(true, ArticleBrowser::chrome)), CaptureFailure::noBodyCandidate);
    SelectionCapture blank(applicationWith(textArea(u" \n\u3000"_s)));
    EXPECT_EQ(failureOf(blank.run()), CaptureFailure::noBodyCandidate);
    SelectionCapture blankSelection(applicationWith(textArea(u"a \n b"_s, {{1, 4}})));
    EXPECT_EQ(failureOf(blankSelection.run()), CaptureFailure::emptyText);
}

TEST(SelectionReader, LengthsAreBoundedAndTooLongTextsAreNeverSent) {
    const QString limit(20'000, u'あ');
    SelectionCapture atLimit(applicationWith(textArea(limit + u"い"_s, {{0, 20'000}})));
    auto read = atLimit.run();
    ASSERT_TRUE(read) << rawValue(read.error()).toStdString();
    EXPECT_EQ(read->document.text.size(), 20'000);

    // A range of more code points than the limit is refused before its text is asked for.
    SelectionCapture overRange(applicationWith(textArea(limit + u"い"_s, {{0, 20'001}})));
    EXPECT_EQ(failureOf(overRange.run()), CaptureFailure::tooLong);
    EXPECT_EQ(overRange.bus.calls.value(u"GetText"_s), 0);
    SelectionCapture overArea(applicationWith(textArea(limit + u"い"_s)));
    EXPECT_EQ(failureOf(overArea.run()), CaptureFailure::tooLong);
    EXPECT_EQ(overArea.bus.calls.value(u"GetText"_s), 0);

    // Code points outside the Basic Multilingual Plane take two units: within the range, over in units.
    QString wide;
    for (int i = 0; i < 10'001; ++i) wide += u"𠮷"_s;
    SelectionCapture overUnits(applicationWith(textArea(wide, {{0, 10'001}})));
    EXPECT_EQ(failureOf(overUnits.run()), CaptureFailure::tooLong);
    EXPECT_EQ(overUnits.bus.calls.value(u"GetText"_s), 1);
    SelectionCapture wideArea(applicationWith(textArea(wide)));
    EXPECT_EQ(failureOf(wideArea.run()), CaptureFailure::tooLong);
}

TEST(SelectionReader, APasswordFieldIsRefusedBeforeAnyTextCallAndUnreadableSelectionsAreUnknown) {
    SelectionCapture password(applicationWith(
        {.path = u"/secret"_s, .role = AccessibleRole::passwordText, .text = u"hunter2"_s, .selections = {{0, 7}}}));
    EXPECT_EQ(failureOf(password.run()), CaptureFailure::protectedField);
    EXPECT_EQ(password.bus.textCalls(), 0);

    // Three code points selected whose text the application does not give.
    ScriptedNode withheld = textArea(u"本文です"_s, {{0, 3}});
    withheld.withholdsText = true;
    SelectionCapture unknown(applicationWith(withheld));
    EXPECT_EQ(failureOf(unknown.run()), CaptureFailure::selectionUnknown);

    // Nothing focused, nothing that stands in.
    ScriptedAccessibleTree unfocused = applicationWith(textArea(u"本文"_s));
    unfocused.node(u"/area"_s)->states = {};
    SelectionCapture nothing(unfocused);
    EXPECT_EQ(failureOf(nothing.run()), CaptureFailure::selectionUnknown);
}

TEST(SelectionReader, ThePrimarySelectionStandsInWhereNoFocusedTextIsShown) {
    // No focused element at all.
    ScriptedAccessibleTree unfocused = applicationWith(textArea(u"本文"_s));
    unfocused.node(u"/area"_s)->states = {};
    SelectionCapture withoutFocus(unfocused);
    withoutFocus.primary = u"端末の選択"_s;
    auto read = withoutFocus.run();
    ASSERT_TRUE(read);
    EXPECT_EQ(read->document.text, u"端末の選択"_s);

    // A focused element without a text interface.
    SelectionCapture withoutText(applicationWith({.path = u"/view"_s, .role = test::kPushButtonRole}));
    withoutText.primary = u"描画の選択"_s;
    read = withoutText.run();
    ASSERT_TRUE(read);
    EXPECT_EQ(read->document.text, u"描画の選択"_s);
    withoutText.primary.reset();
    EXPECT_EQ(failureOf(withoutText.run()), CaptureFailure::selectionUnknown);

    // A text area that shows its own caret is taken at its word: an old primary selection is not used.
    SelectionCapture caret(applicationWith(textArea(u"本文です"_s)));
    caret.primary = u"古い選択"_s;
    read = caret.run();
    ASSERT_TRUE(read);
    EXPECT_TRUE(read->isBody);
}

TEST(SelectionReader, APageWithNothingSelectedGivesItsArticleInASupportedBrowserOnly) {
    SelectionCapture supported(pageAt(kPage));
    auto read = supported.run(true, ArticleBrowser::chrome);
    ASSERT_TRUE(read) << rawValue(read.error()).toStdString();
    EXPECT_EQ(read->document, test::articleDocument());
    EXPECT_TRUE(read->isBody);
    EXPECT_EQ(supported.operations(), (QList<Operation>{Operation::snapshot, Operation::extract, Operation::verify}));

    // A browser that knows no active window without a window manager: the window of its announced focus.
    ScriptedAccessibleTree inactive = pageAt(kPage);
    inactive.node(u"/frame"_s)->states = statesOf({AccessibleState::showing});
    SelectionCapture withoutManager(inactive);
    withoutManager.bus.announcedFocus = u"/paragraph"_s;
    EXPECT_TRUE(withoutManager.run(true, ArticleBrowser::chrome));

    SelectionCapture unsupported(pageAt(kPage));
    EXPECT_EQ(failureOf(unsupported.run(true, std::nullopt)), CaptureFailure::browserUnsupported);

    // A local file is no web page; in a browser that leaves nothing to read.
    SelectionCapture file(pageAt(u"file:///home/user/page.html"_s));
    EXPECT_EQ(failureOf(file.run(true, ArticleBrowser::chrome)), CaptureFailure::noBodyCandidate);
    EXPECT_TRUE(file.desktop.requests.isEmpty());

    ScriptedAccessibleTree loading = pageAt(kPage);
    loading.node(u"/page"_s)->states = statesOf({AccessibleState::showing, AccessibleState::busy});
    SelectionCapture busy(loading);
    EXPECT_EQ(failureOf(busy.run(true, ArticleBrowser::chrome)), CaptureFailure::unavailable);

    // A selection over several objects of the page comes from the primary selection.
    SelectionCapture spanning(pageAt(kPage));
    spanning.primary = u"段落をまたぐ選択"_s;
    read = spanning.run(true, ArticleBrowser::chrome);
    ASSERT_TRUE(read);
    EXPECT_EQ(read->document.text, u"段落をまたぐ選択"_s);
    EXPECT_FALSE(read->isBody);
}

// Chromium started without forced accessibility shows its frames and nothing in them.
TEST(SelectionReader, ABrowserWhoseTreeShowsNoPageGivesTheArticleOfItsTabInFront) {
    const auto emptyFrame = [] {
        ScriptedAccessibleTree tree = applicationWith({.path = u"/pane"_s, .role = test::kPushButtonRole});
        tree.node(u"/pane"_s)->states = {};
        return tree;
    };
    SelectionCapture bare(emptyFrame());
    auto read = bare.run(true, ArticleBrowser::chrome);
    ASSERT_TRUE(read) << rawValue(read.error()).toStdString();
    EXPECT_EQ(read->document, test::articleDocument());
    EXPECT_TRUE(read->isBody);
    EXPECT_EQ(bare.operations(), (QList<Operation>{Operation::snapshot, Operation::extract, Operation::verify}));
    // The snapshots ask the browser of the window in front.
    EXPECT_EQ(bare.desktop.requests.value(0).process, ScriptedAccessibilityBus::kProcess);

    // Nothing at all shown on the bus: the same.
    SelectionCapture absent(ScriptedAccessibleTree{});
    EXPECT_TRUE(absent.run(true, ArticleBrowser::chrome));

    // The browser's own selection, as the primary selection holds it, comes first.
    SelectionCapture selected(emptyFrame());
    selected.primary = u"ページの選択"_s;
    read = selected.run(true, ArticleBrowser::chrome);
    ASSERT_TRUE(read);
    EXPECT_EQ(read->document.text, u"ページの選択"_s);
    EXPECT_FALSE(read->isBody);

    // The tab in front shows no web page (a local file, the browser's own pages): nothing to read.
    SelectionCapture local(emptyFrame(), u"file:///home/user/page.html"_s);
    EXPECT_EQ(failureOf(local.run(true, ArticleBrowser::chrome)), CaptureFailure::noBodyCandidate);
    EXPECT_EQ(local.operations(), QList<Operation>{Operation::snapshot});

    // A focused text input of the browser (its address bar), a browser that is not supported, or an
    // application that is no browser, stays unknown.
    SelectionCapture field(applicationWith(textField(u"example.org"_s)));
    EXPECT_EQ(failureOf(field.run(true, ArticleBrowser::chrome)), CaptureFailure::noBodyCandidate);
    SelectionCapture unsupported(emptyFrame());
    EXPECT_EQ(failureOf(unsupported.run(true, std::nullopt)), CaptureFailure::selectionUnknown);
    SelectionCapture application(emptyFrame());
    EXPECT_EQ(failureOf(application.run(false, std::nullopt)), CaptureFailure::selectionUnknown);
    EXPECT_TRUE(field.desktop.requests.isEmpty() && unsupported.desktop.requests.isEmpty() &&
                application.desktop.requests.isEmpty());
}

TEST(SelectionReader, TheWayUpToThePageLooksAtFortyElementsEachOnce) {
    // The focused element and a chain of `between` elements under the page.
    auto chainUnderPage = [](int between) {
        ScriptedAccessibleTree tree = pageAt(kPage);
        QString parent = u"/page"_s;
        for (int i = 0; i < between; ++i) {
            const QString path = u"/level/"_s + QString::number(i);
            tree.nodes.append({.path = path, .role = test::kParagraphRole, .parent = parent});
            parent = path;
        }
        tree.node(u"/paragraph"_s)->parent = parent;
        return tree;
    };
    SelectionCapture fortieth(chainUnderPage(38));
    EXPECT_TRUE(fortieth.run(true, ArticleBrowser::chrome));
    SelectionCapture fortyFirst(chainUnderPage(39));
    EXPECT_EQ(failureOf(fortyFirst.run(true, ArticleBrowser::chrome)), CaptureFailure::noBodyCandidate);

    ScriptedAccessibleTree cycle = chainUnderPage(2);
    cycle.node(u"/level/0"_s)->parent = u"/level/1"_s;
    SelectionCapture looped(cycle);
    EXPECT_EQ(failureOf(looped.run(true, ArticleBrowser::chrome)), CaptureFailure::noBodyCandidate);
    EXPECT_LE(looped.bus.calls.value(u"Parent"_s), 3);
}

TEST(SelectionReader, FocusThatMovesWhileAPageIsReadIsASourceChange) {
    ScriptedAccessibleTree moving = pageAt(kPage);
    moving.nodes.append({.path = u"/other"_s, .role = test::kParagraphRole, .parent = u"/page"_s});
    // The page's address is read when it is found and again by each check that it is unchanged: the
    // focus moves between the first check and the next.
    moving.focusMove = ScriptedAccessibleTree::FocusMove{.path = u"/page"_s, .afterAddressReads = 2, .to = u"/other"_s};
    SelectionCapture capture(moving);
    EXPECT_EQ(failureOf(capture.run(true, ArticleBrowser::chrome)), CaptureFailure::sourceChanged);

    // An announced focus that has moved on is searched for instead.
    SelectionCapture announced(applicationWith(textArea(u"本文です"_s), {textField(u"古い"_s)}));
    announced.bus.announcedFocus = u"/field"_s;
    const auto read = announced.run();
    ASSERT_TRUE(read);
    EXPECT_TRUE(read->isBody);
}

TEST(SelectionReader, TheDeadlineAndTheCancellationEndTheCapture) {
    ScriptedNode slow = textArea(u"本文"_s);
    slow.delayMilliseconds = 10'000;
    SelectionCapture late(applicationWith(slow));
    const auto deadline = test::deadlineIn(200ms);
    AXSelectionReader reader(ScriptedAccessibilityBus::kProcess, false, std::nullopt, deadline, late.cancellation,
                             late.environment());
    EXPECT_EQ(failureOf(reader.read()), CaptureFailure::timedOut);
    EXPECT_LT(SystemClock::shared().monotonicNow() - deadline, 50ms);

    SelectionCapture cancelled(applicationWith(textArea(u"本文"_s)));
    cancelled.cancellation.cancel();
    EXPECT_EQ(failureOf(cancelled.run()), CaptureFailure::cancelled);

    SelectionCapture disabled(applicationWith(textArea(u"本文"_s)));
    disabled.bus.enabled = false;
    EXPECT_EQ(failureOf(disabled.run()), CaptureFailure::permissionRequired);
    EXPECT_TRUE(disabled.bus.calls.isEmpty());
}

}  // namespace
}  // namespace tavrine
