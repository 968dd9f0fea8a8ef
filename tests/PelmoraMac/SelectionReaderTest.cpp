#include "PelmoraMac/Capture/AXSelectionReader.h"
#include "PelmoraMac/Capture/CapturedText.h"

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
    // The primary selection, owned by the application when set, and how often it was read.
    std::optional<QString> primary{};
    int primaryReads = 0;
    CancellationToken cancellation{};

    SelectionCaptureEnvironment environment() {
        return {.bus = &bus,
                .primarySelection = [this](pid_t pid, CaptureDeadline) -> CaptureResult<std::optional<QString>> {
                    ++primaryReads;
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

    // Object place holders are no text: alone with white space they are blank, and otherwise left out.
    SelectionCapture objects(applicationWith(textArea(u"\uFFFC \n\uFFFC"_s)));
    EXPECT_EQ(failureOf(objects.run()), CaptureFailure::noBodyCandidate);
    SelectionCapture objectSelection(applicationWith(textArea(u"画像\uFFFCの説明"_s, {{0, 6}})));
    const auto withoutObject = objectSelection.run();
    ASSERT_TRUE(withoutObject);
    EXPECT_EQ(objectSelection.desktop.requests.value(0).text, u"画像の説明"_s);
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

    // Outside a web page the text read is the text selected, marks alone too: in a text field, as a text
    // area's whole text, in an editable element.
    const QList<std::pair<ScriptedNode, QString>> marks{{textField(u"••••••"_s, {{0, 6}}), u"••••••"_s},
                                                        {textArea(u"●●●●\n"_s), u"●●●●"_s},
                                                        {{.path = u"/editor"_s,
                                                          .role = test::kParagraphRole,
                                                          .states = statesOf({AccessibleState::editable}),
                                                          .text = u"■■さん ****"_s,
                                                          .selections = {{0, 9}}},
                                                         u"■■さん ****"_s}};
    for (const auto& [node, text] : marks) {
        SelectionCapture read(applicationWith(node));
        const auto capture = read.run();
        ASSERT_TRUE(capture) << text.toStdString() << ": " << rawValue(capture.error()).toStdString();
        EXPECT_EQ(capture->document.text.trimmed(), text);
    }
    // In a web page (of an application that is no browser too) the bus gives masked text as what the browser
    // draws for it, which is left out: a field of nothing else is refused as a password field.
    ScriptedAccessibleTree page = pageAt(kPage);
    page.node(u"/paragraph"_s)->role = AccessibleRole::entry;
    page.node(u"/paragraph"_s)->text = u"◦◦◦◦"_s;
    page.node(u"/paragraph"_s)->selections = {{0, 4}};
    SelectionCapture maskedInPage(page);
    EXPECT_EQ(failureOf(maskedInPage.run()), CaptureFailure::protectedField);

    // A field in clear that the bus names a password field, by its input type or the name or id the page
    // gave it; a field named otherwise is read.
    for (const auto& [name, value] :
         {std::pair(u"text-input-type"_s, u"password"_s), std::pair(u"html-input-name"_s, u"user_password"_s),
          std::pair(u"id"_s, u"pwd"_s)}) {
        ScriptedNode named = textField(u"hunter2"_s, {{0, 7}});
        named.attributes = {{name, value}};
        SelectionCapture refused(applicationWith(named));
        EXPECT_EQ(failureOf(refused.run()), CaptureFailure::protectedField) << name.toStdString();
    }
    ScriptedNode search = textField(u"検索語"_s, {{0, 3}});
    search.attributes = {{u"id"_s, u"search"_s}, {u"text-input-type"_s, u"search"_s}};
    SelectionCapture searched(applicationWith(search));
    EXPECT_TRUE(searched.run());

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
    const QString localFile = u"file:///home/user/page.html"_s;
    SelectionCapture file(pageAt(localFile), localFile);
    EXPECT_EQ(failureOf(file.run(true, ArticleBrowser::chrome)), CaptureFailure::noBodyCandidate);
    EXPECT_EQ(file.operations(), QList<Operation>{Operation::snapshot});

    ScriptedAccessibleTree loading = pageAt(kPage);
    loading.node(u"/page"_s)->states = statesOf({AccessibleState::showing, AccessibleState::busy});
    SelectionCapture busy(loading);
    EXPECT_EQ(failureOf(busy.run(true, ArticleBrowser::chrome)), CaptureFailure::unavailable);

    // Nor does the primary selection stand in for a browser's page that shows none: the browser may have put
    // there text the page masks.
    SelectionCapture spanning(pageAt(kPage));
    spanning.primary = u"段落をまたぐ選択"_s;
    EXPECT_EQ(failureOf(spanning.run(true, std::nullopt)), CaptureFailure::browserUnsupported);
    EXPECT_EQ(spanning.primaryReads, 0);
}

// Chromium started without forced accessibility shows its frames and nothing in them.
ScriptedAccessibleTree emptyFrame() {
    ScriptedAccessibleTree tree = applicationWith({.path = u"/pane"_s, .role = test::kPushButtonRole});
    tree.node(u"/pane"_s)->states = {};
    return tree;
}

// Text that draws nothing (NULs and other controls, zero-width spaces and joiners, bidi marks, U+FFFD) is
// nothing read, on each road a selection capture takes; no worker converts it.
TEST(SelectionReader, TextThatDrawsNothingIsNothingReadOnEveryRoad) {
    const QString invisible = u"\u200B\u200D\u0000\u202E\u2066\uFEFF\uFFFD\u0007"_s;
    SelectionCapture selection(applicationWith(textArea(u"a"_s + invisible + u"b"_s, {{1, 9}})));
    EXPECT_EQ(failureOf(selection.run()), CaptureFailure::emptyText);
    SelectionCapture body(applicationWith(textArea(invisible + u"\n"_s)));
    EXPECT_EQ(failureOf(body.run()), CaptureFailure::noBodyCandidate);
    SelectionCapture primary(applicationWith({.path = u"/view"_s, .role = test::kPushButtonRole}));
    primary.primary = u"\u200B\u200B\u2060"_s;
    EXPECT_EQ(failureOf(primary.run()), CaptureFailure::emptyText);
    SelectionCapture page(emptyFrame());
    page.desktop.pageSelection = invisible;
    EXPECT_EQ(failureOf(page.run(true, ArticleBrowser::chrome)), CaptureFailure::emptyText);
    for (const SelectionCapture* capture : {&selection, &body, &primary}) {
        EXPECT_TRUE(capture->desktop.requests.isEmpty());
    }
    EXPECT_EQ(page.operations(), QList<Operation>{Operation::snapshot});
}

TEST(SelectionReader, ABrowserWhoseTreeShowsNoPageGivesTheArticleOfItsTabInFront) {
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

    // What the page says is selected comes first.
    SelectionCapture selected(emptyFrame());
    selected.desktop.pageSelection = u"ページの選択"_s;
    read = selected.run(true, ArticleBrowser::chrome);
    ASSERT_TRUE(read);
    EXPECT_EQ(read->document.text, u"ページの選択"_s);
    EXPECT_FALSE(read->isBody);
    EXPECT_EQ(selected.operations(), (QList<Operation>{Operation::snapshot, Operation::markdown}));

    // The tab in front shows no web page (a local file, the browser's own pages): nothing to read.
    SelectionCapture local(emptyFrame(), u"file:///home/user/page.html"_s);
    EXPECT_EQ(failureOf(local.run(true, ArticleBrowser::chrome)), CaptureFailure::noBodyCandidate);
    EXPECT_EQ(local.operations(), QList<Operation>{Operation::snapshot});

    // A focused text input of the browser (its address bar) has nothing to read; a browser that is not
    // supported cannot be read so; an application that is no browser stays unknown.
    SelectionCapture field(applicationWith(textField(u"example.org"_s)));
    EXPECT_EQ(failureOf(field.run(true, ArticleBrowser::chrome)), CaptureFailure::noBodyCandidate);
    SelectionCapture unsupported(emptyFrame());
    EXPECT_EQ(failureOf(unsupported.run(true, std::nullopt)), CaptureFailure::browserUnsupported);
    SelectionCapture application(emptyFrame());
    EXPECT_EQ(failureOf(application.run(false, std::nullopt)), CaptureFailure::selectionUnknown);
    EXPECT_TRUE(field.desktop.requests.isEmpty() && unsupported.desktop.requests.isEmpty() &&
                application.desktop.requests.isEmpty());
}

// The browser takes the primary selection again, with old text (an earlier page's, a password field's),
// whenever its page gets the focus back: in a supported browser only the page's own answer counts.
TEST(SelectionReader, InASupportedBrowserThePageTellsWhatIsSelectedAndThePrimarySelectionIsNeverRead) {
    SelectionCapture stale(emptyFrame());
    stale.primary = u"古い選択"_s;
    auto read = stale.run(true, ArticleBrowser::chrome);
    ASSERT_TRUE(read) << rawValue(read.error()).toStdString();
    EXPECT_TRUE(read->isBody);
    EXPECT_EQ(read->document, test::articleDocument());
    SelectionCapture shown(pageAt(kPage));
    shown.primary = u"古い選択"_s;
    shown.desktop.pageSelection = u"見えている選択"_s;
    read = shown.run(true, ArticleBrowser::chrome);
    ASSERT_TRUE(read);
    EXPECT_EQ(read->document.text, u"見えている選択"_s);
    EXPECT_EQ(stale.primaryReads + shown.primaryReads, 0);
    // Read as Markdown by the snapshot's own worker: no second worker.
    SelectionCapture converted(emptyFrame());
    converted.desktop.pageSelection = u"*強調*された選択"_s;
    converted.desktop.convertsSelection = true;
    read = converted.run(true, ArticleBrowser::chrome);
    ASSERT_TRUE(read);
    EXPECT_EQ(read->document.text, u"強調された選択"_s);
    EXPECT_FALSE(read->isBody);
    EXPECT_EQ(converted.operations(), QList<Operation>{Operation::snapshot});

    // A focused password field: refused, and nothing converted.
    SelectionCapture password(emptyFrame());
    password.desktop.snapshotFailure = CaptureFailure::protectedField;
    password.primary = u"hunter2"_s;
    EXPECT_EQ(failureOf(password.run(true, ArticleBrowser::chrome)), CaptureFailure::protectedField);
    EXPECT_EQ(password.operations(), QList<Operation>{Operation::snapshot});
    EXPECT_EQ(password.primaryReads, 0);

    SelectionCapture blank(emptyFrame());
    blank.desktop.pageSelection = u" \n\u3000"_s;
    EXPECT_EQ(failureOf(blank.run(true, ArticleBrowser::chrome)), CaptureFailure::emptyText);

    // The page the bus shows must be the page that answers.
    SelectionCapture elsewhere(pageAt(kPage), u"https://example.org/news/2"_s);
    elsewhere.desktop.pageSelection = u"別のページ"_s;
    EXPECT_EQ(failureOf(elsewhere.run(true, ArticleBrowser::chrome)), CaptureFailure::sourceChanged);
}

// A page of three blocks on the bus, a heading, a paragraph with a link in it and a form with a password
// field: the page's text holds an object replacement character for each, and each for its own part.
ScriptedAccessibleTree selectedPage(AccessibleTextRange pageSelection) {
    ScriptedAccessibleTree tree = pageAt(kPage);
    ScriptedNode* page = tree.node(u"/page"_s);
    page->text = u"\uFFFC\uFFFC\uFFFC\uFFFC"_s;
    page->selections = {pageSelection};
    page->embedded = {u"/heading"_s, u"/paragraph"_s, u"/unselected"_s, u"/form"_s};
    page->children = {u"/heading"_s, u"/paragraph"_s, u"/unselected"_s, u"/form"_s};
    const QMap<QString, QString> block{{u"display"_s, u"block"_s}};
    ScriptedNode* paragraph = tree.node(u"/paragraph"_s);
    paragraph->text = u"リンク\uFFFCの段落"_s;
    paragraph->selections = {{0, 7}};
    paragraph->embedded = {u"/link"_s};
    paragraph->attributes = block;
    tree.nodes.append({.path = u"/heading"_s,
                       .role = 83,
                       .parent = u"/page"_s,
                       .text = u"見出し"_s,
                       .selections = {{1, 3}},
                       .attributes = block});
    tree.nodes.append({.path = u"/link"_s,
                       .role = 88,
                       .parent = u"/paragraph"_s,
                       .text = u"付き"_s,
                       .selections = {{0, 2}},
                       .attributes = {{u"display"_s, u"inline"_s}}});
    tree.nodes.append({.path = u"/unselected"_s, .role = test::kParagraphRole, .text = u"第二段落"_s});
    tree.nodes.append({.path = u"/form"_s,
                       .role = 87,
                       .text = u"\uFFFC"_s,
                       .selections = {{0, 1}},
                       .embedded = {u"/secret"_s},
                       .attributes = block});
    tree.nodes.append(
        {.path = u"/secret"_s, .role = AccessibleRole::passwordText, .text = u"hunter2"_s, .selections = {{0, 7}}});
    return tree;
}

TEST(SelectionReader, ThePlaceHoldersOfAPagesObjectsAreFollowedToTheTextSelectedInThem) {
    // A browser that is not supported, whose page the bus shows.
    SelectionCapture selected(selectedPage({0, 4}));
    auto read = selected.run(true, std::nullopt);
    ASSERT_TRUE(read) << rawValue(read.error()).toStdString();
    ASSERT_EQ(selected.desktop.requests.size(), 1);
    EXPECT_EQ(selected.desktop.requests[0].text, u"出し\n\nリンク付きの段落"_s);
    EXPECT_FALSE(read->isBody);
    EXPECT_EQ(selected.primaryReads, 0);

    // Only the form selected: its password field is never read, and a place holder is nothing to read.
    SelectionCapture form(selectedPage({3, 4}));
    EXPECT_EQ(failureOf(form.run(true, std::nullopt)), CaptureFailure::emptyText);
    EXPECT_TRUE(form.desktop.requests.isEmpty());

    // Objects nested deeper than the limit are not followed: the reading is not cut, it fails.
    ScriptedAccessibleTree deep = applicationWith(textArea(u"\uFFFC"_s, {{0, 1}}));
    deep.node(u"/area"_s)->embedded = {u"/level/0"_s};
    for (int level = 0; level <= AXSelectionReader::kEmbeddingDepthLimit; ++level) {
        const bool last = level == AXSelectionReader::kEmbeddingDepthLimit;
        deep.nodes.append({.path = u"/level/"_s + QString::number(level),
                           .text = last ? u"深すぎる"_s : u"\uFFFC"_s,
                           .selections = {{0, last ? 4 : 1}},
                           .embedded = {u"/level/"_s + QString::number(level + 1)}});
    }
    SelectionCapture nested(deep);
    EXPECT_EQ(failureOf(nested.run()), CaptureFailure::selectionUnknown);
    deep.nodes.removeLast();
    deep.nodes.last().text = u"深い"_s;
    deep.nodes.last().selections = {{0, 2}};
    SelectionCapture deepest(deep);
    read = deepest.run();
    ASSERT_TRUE(read) << rawValue(read.error()).toStdString();
    EXPECT_EQ(read->document.text, u"深い"_s);

    // Followed text counts toward the limit of a selection.
    ScriptedAccessibleTree large = selectedPage({1, 2});
    large.node(u"/link"_s)->text = QString(20'000, u'あ');
    large.node(u"/link"_s)->selections = {{0, 20'000}};
    SelectionCapture overLimit(large);
    EXPECT_EQ(failureOf(overLimit.run(true, std::nullopt)), CaptureFailure::tooLong);
}

// 200 paragraphs of 100 links each, all selected: the links' place holders alone pass what a selection
// may hold, which is told before any link is followed (following 20,000 objects takes longer than a capture
// has).
TEST(SelectionReader, ObjectsPastTheTextLimitAreTooLongBeforeTheyAreFollowed) {
    ScriptedAccessibleTree tree = pageAt(kPage);
    QStringList blocks;
    for (int block = 0; block < 200; ++block) {
        const QString path = u"/block/"_s + QString::number(block);
        ScriptedNode paragraph{.path = path,
                               .role = test::kParagraphRole,
                               .parent = u"/page"_s,
                               .text = QString(100, QChar(kObjectReplacementCharacter)),
                               .selections = {{0, 100}}};
        for (int link = 0; link < 100; ++link) paragraph.embedded.append(path + u"/"_s + QString::number(link));
        tree.nodes.append(paragraph);
        blocks.append(path);
    }
    ScriptedNode* page = tree.node(u"/page"_s);
    page->embedded = blocks;
    page->text = u"前置き"_s + QString(200, QChar(kObjectReplacementCharacter));
    page->selections = {{0, 203}};
    SelectionCapture links(tree);
    EXPECT_EQ(failureOf(links.run(true, std::nullopt)), CaptureFailure::tooLong);
    // The paragraphs were followed, none of their links.
    EXPECT_EQ(links.bus.calls.value(u"GetLinkIndex"_s), 200);
    EXPECT_TRUE(links.desktop.requests.isEmpty());
}

// A paragraph and the lists after it, whose items' markers the page draws as their text: an item of which
// only the marker is selected adds nothing, a whole item keeps its marker. An item's own text that looks
// like a marker is read: where the bus shows the marker as an object of its own (a browser's "::marker"),
// by where the selection ends; elsewhere, when it is all the item holds.
TEST(SelectionReader, AListItemOfWhichOnlyItsMarkerIsSelectedIsNotRead) {
    ScriptedAccessibleTree tree = pageAt(kPage);
    ScriptedNode* page = tree.node(u"/page"_s);
    page->text = u"\uFFFC\uFFFC\uFFFC"_s;
    page->selections = {{0, 3}};
    page->embedded = {u"/before"_s, u"/ordered"_s, u"/bullets"_s};
    const QMap<QString, QString> block{{u"display"_s, u"block"_s}};
    const QMap<QString, QString> item{{u"display"_s, u"list-item"_s}};
    const auto node = [&](const QString& path, std::uint32_t role, const QString& text, AccessibleTextRange selected,
                          const QMap<QString, QString>& attributes, QStringList embedded = {}) {
        tree.nodes.append({.path = path,
                           .role = role,
                           .parent = u"/page"_s,
                           .text = text,
                           .selections = {selected},
                           .embedded = std::move(embedded),
                           .attributes = attributes});
    };
    node(u"/before"_s, test::kParagraphRole, u"段落"_s, {0, 2}, block);
    node(u"/ordered"_s, 31, u"\uFFFC\uFFFC"_s, {0, 2}, block, {u"/ordered/1"_s, u"/ordered/2"_s});
    node(u"/ordered/1"_s, AccessibleRole::listItem, u"1. 一つ目"_s, {0, 6}, item);
    node(u"/ordered/2"_s, AccessibleRole::listItem, u"2. 二つ目"_s, {0, 2}, item);
    node(u"/bullets"_s, 31, u"\uFFFC"_s, {0, 1}, block, {u"/bullets/1"_s});
    node(u"/bullets/1"_s, AccessibleRole::listItem, u"• 項目"_s, {0, 1}, item);
    SelectionCapture selected(tree);
    const auto read = selected.run(true, std::nullopt);
    ASSERT_TRUE(read) << rawValue(read.error()).toStdString();
    ASSERT_EQ(selected.desktop.requests.size(), 1);
    EXPECT_EQ(selected.desktop.requests[0].text, u"段落\n\n1. 一つ目"_s);

    // Items whose whole text looks like a marker: "1906." after its marker, from where the selection
    // starts; "十、" in a list that draws none; and the next item, of which only its marker is selected.
    tree.node(u"/page"_s)->embedded = {u"/years"_s, u"/plain"_s};
    tree.node(u"/page"_s)->text = u"\uFFFC\uFFFC"_s;
    tree.node(u"/page"_s)->selections = {{0, 2}};
    const QMap<QString, QString> marker{{u"tag"_s, u"::marker"_s}};
    node(u"/years"_s, 31, u"\uFFFC\uFFFC"_s, {0, 2}, block, {u"/years/1"_s, u"/years/2"_s});
    node(u"/years/1"_s, AccessibleRole::listItem, u"1. 1906."_s, {3, 8}, item);
    node(u"/years/2"_s, AccessibleRole::listItem, u"2. 2024."_s, {0, 3}, item);
    node(u"/plain"_s, 31, u"\uFFFC"_s, {0, 1}, block, {u"/plain/1"_s});
    node(u"/plain/1"_s, AccessibleRole::listItem, u"十、"_s, {0, 2}, item);
    for (const QString& path : {u"/years/1"_s, u"/years/2"_s}) {
        tree.node(path)->children = {path + u"/marker"_s};
        tree.nodes.append({.path = path + u"/marker"_s, .role = 116, .text = u"1. "_s, .attributes = marker});
    }
    SelectionCapture years(tree);
    const auto yearsRead = years.run(true, std::nullopt);
    ASSERT_TRUE(yearsRead) << rawValue(yearsRead.error()).toStdString();
    ASSERT_EQ(years.desktop.requests.size(), 1);
    EXPECT_EQ(years.desktop.requests[0].text, u"1906.\n\n十、"_s);
}

// A field of a page shows its text in clear on the bus where the page names it a password field (by its
// autocomplete): the page is asked about it when it can be, and its refusal holds over the bus's text.
TEST(SelectionReader, TheVerdictOfThePageOnAFocusedFieldHoldsOverTheBus) {
    ScriptedAccessibleTree tree = pageAt(kPage);
    tree.nodes.append({.path = u"/field"_s,
                       .role = AccessibleRole::entry,
                       .states = statesOf({AccessibleState::focused, AccessibleState::showing}),
                       .parent = u"/page"_s,
                       .text = u"hunter2"_s,
                       .selections = {{0, 7}}});
    tree.node(u"/paragraph"_s)->states = statesOf({AccessibleState::showing});
    tree.node(u"/page"_s)->children.append(u"/field"_s);
    SelectionCapture askable(tree);
    askable.desktop.snapshotFailure = CaptureFailure::protectedField;
    EXPECT_EQ(failureOf(askable.run(true, ArticleBrowser::chrome)), CaptureFailure::protectedField);
    EXPECT_EQ(askable.operations(), QList<Operation>{Operation::snapshot});

    // Without the page's answer, a one-line field is never read from the bus, which does not carry the
    // autocomplete that may name it a password: the reason the page cannot be asked. A text area is read.
    for (const auto& [permission, failure] : {std::pair{kAutomationUndecided, CaptureFailure::automationRequired},
                                              std::pair{kAutomationDenied, CaptureFailure::automationDenied}}) {
        SelectionCapture busAlone(tree);
        busAlone.desktop.permission = permission;
        EXPECT_EQ(failureOf(busAlone.run(true, ArticleBrowser::chrome)), failure);
        EXPECT_TRUE(busAlone.operations().isEmpty());
    }
    SelectionCapture unreachable(tree);
    unreachable.desktop.snapshotFailure = CaptureFailure::browserJavaScriptDisabled;
    EXPECT_EQ(failureOf(unreachable.run(true, ArticleBrowser::chrome)), CaptureFailure::browserJavaScriptDisabled);

    ScriptedAccessibleTree area = tree;
    area.node(u"/field"_s)->states =
        statesOf({AccessibleState::focused, AccessibleState::showing, AccessibleState::multiLine});
    SelectionCapture areaOnTheBus(area);
    areaOnTheBus.desktop.permission = kAutomationUndecided;
    const auto read = areaOnTheBus.run(true, ArticleBrowser::chrome);
    ASSERT_TRUE(read) << rawValue(read.error()).toStdString();
    EXPECT_EQ(read->document.text, u"hunter2"_s);
    EXPECT_EQ(areaOnTheBus.operations(), QList<Operation>{Operation::markdown});
}

// Where the page cannot be asked, the bus is read if it shows the page; the consent notice or the
// missing remote debugging otherwise.
TEST(SelectionReader, APageThatCannotBeAskedIsReadOnTheBusOrTellsWhy) {
    for (const int permission : {kAutomationUndecided, kAutomationDenied}) {
        SelectionCapture withoutTree(emptyFrame());
        withoutTree.desktop.permission = permission;
        withoutTree.primary = u"古い選択"_s;
        EXPECT_EQ(failureOf(withoutTree.run(true, ArticleBrowser::chrome)), permission == kAutomationDenied
                                                                                ? CaptureFailure::automationDenied
                                                                                : CaptureFailure::automationRequired);
        EXPECT_TRUE(withoutTree.desktop.requests.isEmpty());
        EXPECT_EQ(withoutTree.primaryReads, 0);

        SelectionCapture onTheBus(selectedPage({0, 4}));
        onTheBus.desktop.permission = permission;
        const auto read = onTheBus.run(true, ArticleBrowser::chrome);
        ASSERT_TRUE(read) << rawValue(read.error()).toStdString();
        EXPECT_EQ(read->document.text.left(2), u"出し"_s);
        EXPECT_EQ(onTheBus.operations(), QList<Operation>{Operation::markdown});
    }
    SelectionCapture unreachable(emptyFrame());
    unreachable.desktop.snapshotFailure = CaptureFailure::browserJavaScriptDisabled;
    EXPECT_EQ(failureOf(unreachable.run(true, ArticleBrowser::chrome)), CaptureFailure::browserJavaScriptDisabled);
    SelectionCapture unreachableOnTheBus(selectedPage({0, 4}));
    unreachableOnTheBus.desktop.snapshotFailure = CaptureFailure::browserJavaScriptDisabled;
    EXPECT_TRUE(unreachableOnTheBus.run(true, ArticleBrowser::chrome));
    // Nothing selected on the bus, no consent: the consent notice, as for an article.
    SelectionCapture article(pageAt(kPage));
    article.desktop.permission = kAutomationUndecided;
    EXPECT_EQ(failureOf(article.run(true, ArticleBrowser::chrome)), CaptureFailure::automationRequired);
}

// In a browser whose page cannot be asked at all, a one-line field of the page is never read: the bus does
// not tell one that only its autocomplete names a password field. One the browser shows masked is a
// protected field's. A text area of the page, and a field of the browser's own, are read.
TEST(SelectionReader, AOneLineFieldOfAPageThatCannotBeAskedIsNeverRead) {
    ScriptedAccessibleTree tree = pageAt(kPage);
    tree.nodes.append({.path = u"/field"_s,
                       .role = AccessibleRole::entry,
                       .states = statesOf({AccessibleState::focused, AccessibleState::showing}),
                       .parent = u"/page"_s,
                       .text = u"hunter2"_s,
                       .selections = {{0, 7}}});
    tree.node(u"/paragraph"_s)->states = statesOf({AccessibleState::showing});
    tree.node(u"/page"_s)->children.append(u"/field"_s);
    SelectionCapture field(tree);
    field.primary = u"hunter2"_s;
    EXPECT_EQ(failureOf(field.run(true, std::nullopt)), CaptureFailure::browserUnsupported);
    EXPECT_TRUE(field.desktop.requests.isEmpty());
    EXPECT_EQ(field.primaryReads, 0);

    ScriptedAccessibleTree masked = tree;
    masked.node(u"/field"_s)->text = u"•••••••"_s;
    SelectionCapture maskedField(masked);
    EXPECT_EQ(failureOf(maskedField.run(true, std::nullopt)), CaptureFailure::protectedField);
    // Also in a supported browser that cannot be asked.
    SelectionCapture maskedUnasked(masked);
    maskedUnasked.desktop.permission = kAutomationUndecided;
    EXPECT_EQ(failureOf(maskedUnasked.run(true, ArticleBrowser::chrome)), CaptureFailure::protectedField);

    ScriptedAccessibleTree area = tree;
    area.node(u"/field"_s)->states =
        statesOf({AccessibleState::focused, AccessibleState::showing, AccessibleState::multiLine});
    SelectionCapture areaOnTheBus(area);
    const auto read = areaOnTheBus.run(true, std::nullopt);
    ASSERT_TRUE(read) << rawValue(read.error()).toStdString();
    EXPECT_EQ(read->document.text, u"hunter2"_s);

    // The browser's own address bar, under its window and no page.
    SelectionCapture addressBar(applicationWith(textField(u"example.org"_s, {{0, 11}})));
    const auto address = addressBar.run(true, std::nullopt);
    ASSERT_TRUE(address) << rawValue(address.error()).toStdString();
    EXPECT_EQ(address->document.text, u"example.org"_s);
}

// While the hot key is held, and a moment after, its grab takes the X11 focus from the application in front,
// which tells the bus its window is inactive: the capture waits for the window to be active again and
// reads what the user had in front, never the primary selection in its place.
TEST(SelectionReader, TheHotKeysGrabIsNoChangeOfTheSource) {
    // A heading the page masks whole, selected: the bus gives the browser's marks for it.
    ScriptedAccessibleTree maskedPage = selectedPage({0, 1});
    maskedPage.node(u"/heading"_s)->text = u"•••••"_s;
    for (const std::optional<ArticleBrowser> browser :
         {std::optional<ArticleBrowser>{}, std::optional(ArticleBrowser::chrome)}) {
        SelectionCapture masked(maskedPage);
        masked.bus.grabbedStateReads = 6;
        masked.primary = u"hunter2 in clear"_s;
        masked.desktop.permission = kAutomationUndecided;
        EXPECT_EQ(failureOf(masked.run(true, browser)), CaptureFailure::protectedField);
        EXPECT_EQ(masked.primaryReads, 0);
    }

    SelectionCapture paragraph(selectedPage({1, 2}));
    paragraph.bus.grabbedStateReads = 6;
    paragraph.primary = u"古い選択"_s;
    auto read = paragraph.run(true, std::nullopt);
    ASSERT_TRUE(read) << rawValue(read.error()).toStdString();
    EXPECT_EQ(read->document.text, u"リンク付きの段落"_s);

    // Coming back, the browser shows the focus on the pane that holds its page for a moment, then on the
    // element it was on, which it announces again.
    ScriptedAccessibleTree withPane = selectedPage({1, 2});
    withPane.nodes.append({.path = u"/pane"_s,
                           .role = test::kPushButtonRole,
                           .states = statesOf({AccessibleState::showing}),
                           .parent = u"/frame"_s});
    withPane.node(u"/frame"_s)->children.prepend(u"/pane"_s);
    SelectionCapture detour(withPane);
    detour.bus.announcedFocus = u"/paragraph"_s;
    detour.bus.focusChangedAt = SystemClock::shared().monotonicNow();
    detour.bus.detourFocus = u"/pane"_s;
    detour.bus.detourStateReads = 8;
    detour.primary = u"古い選択"_s;
    read = detour.run(true, std::nullopt);
    ASSERT_TRUE(read) << rawValue(read.error()).toStdString();
    EXPECT_EQ(read->document.text, u"リンク付きの段落"_s);

    // Outside browsers too: a text editor's selection, not the primary selection.
    SelectionCapture editor(applicationWith(textArea(u"本文の選択です"_s, {{3, 5}})));
    editor.bus.grabbedStateReads = 6;
    editor.primary = u"古い選択"_s;
    read = editor.run();
    ASSERT_TRUE(read) << rawValue(read.error()).toStdString();
    EXPECT_EQ(read->document.text, u"選択"_s);
    EXPECT_EQ(editor.primaryReads, 0);

    // A window that stays inactive: the wait ends, and the capture goes on as it finds the application.
    SelectionCapture stillGrabbed(applicationWith(textArea(u"本文の選択です"_s, {{3, 5}})));
    stillGrabbed.bus.grabbedStateReads = 1'000'000;
    stillGrabbed.primary = u"端末の選択"_s;
    read = stillGrabbed.run();
    ASSERT_TRUE(read) << rawValue(read.error()).toStdString();
    EXPECT_EQ(read->document.text, u"端末の選択"_s);
    SelectionCapture browserStillGrabbed(selectedPage({1, 2}));
    browserStillGrabbed.bus.grabbedStateReads = 1'000'000;
    browserStillGrabbed.primary = u"hunter2 in clear"_s;
    EXPECT_EQ(failureOf(browserStillGrabbed.run(true, std::nullopt)), CaptureFailure::browserUnsupported);
    EXPECT_EQ(browserStillGrabbed.primaryReads, 0);
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
