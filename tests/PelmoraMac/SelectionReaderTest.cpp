#include "PelmoraMac/Capture/AXSelectionReader.h"
#include "PelmoraMac/Capture/CapturedText.h"

#include "CaptureTesting.h"
#include "ScriptedAccessibilityBus.h"
#include "SelectionCapture.h"
#include "SelectionTesting.h"

#include <gtest/gtest.h>

namespace tavrine {
namespace {
using namespace Qt::StringLiterals;
using namespace std::chrono_literals;
using test::applicationWith;
using test::emptyFrame;
using test::failureOf;
using test::kPage;
using test::pageAt;
using test::ScriptedAccessibilityBus;
using test::ScriptedAccessibleTree;
using test::ScriptedNode;
using test::selectedPage;
using test::SelectionCapture;
using test::statesOf;
using test::textArea;
using test::textField;
using Operation = CaptureWorkerRequest::Operation;

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

// Another application's text may wrap a paragraph at a fixed width (a mail, a PDF viewer, a terminal): it
// is read whole, whether selected, a text area's or the primary selection. A web page's line ends are its
// blocks and <br>s, kept on both of a browser's roads and in a page another application shows, however long
// its lines.
TEST(SelectionReader, AnApplicationsWrappedParagraphReadsWholeAndAPagesLinesStay) {
    const QString wrapped =
        u"吾輩は猫である。名前はまだ無い。どこで生れたかとんと見当がつか\n"
        u"ぬ。何でも薄暗いじめじめした所でニャーニャー泣いていた事だけは記\n憶している。"_s;
    const QString whole = QString(wrapped).remove(u'\n');
    using LineEnds = MarkdownReader::LineEnds;

    SelectionCapture selected(applicationWith(textArea(wrapped, {{0, int(wrapped.size())}})));
    auto read = selected.run();
    ASSERT_TRUE(read) << rawValue(read.error()).toStdString();
    EXPECT_EQ(read->document.text, whole);
    EXPECT_EQ(selected.desktop.requests.value(0).lineEnds, LineEnds::unwrapped);
    SelectionCapture area(applicationWith(textArea(u"第一章\n"_s + wrapped)));
    read = area.run();
    ASSERT_TRUE(read);
    EXPECT_EQ(read->document.text, u"第一章\n"_s + whole);
    SelectionCapture terminal(applicationWith({.path = u"/view"_s, .role = test::kPushButtonRole}));
    terminal.primary = wrapped;
    read = terminal.run();
    ASSERT_TRUE(read);
    EXPECT_EQ(read->document.text, whole);

    // A page's text area, in an application that is no browser, and a supported browser's page on the bus.
    ScriptedAccessibleTree page = pageAt(kPage);
    page.nodes.append(textArea(wrapped, {{0, int(wrapped.size())}}));
    page.node(u"/area"_s)->parent = u"/page"_s;
    page.node(u"/area"_s)->states =
        statesOf({AccessibleState::focused, AccessibleState::showing, AccessibleState::multiLine});
    page.node(u"/paragraph"_s)->states = statesOf({AccessibleState::showing});
    page.node(u"/page"_s)->children.append(u"/area"_s);
    for (const auto browser : {std::optional<ArticleBrowser>(), std::optional(ArticleBrowser::chrome)}) {
        SelectionCapture onTheBus(page);
        onTheBus.desktop.permission = kAutomationDenied;
        read = onTheBus.run(browser.has_value(), browser);
        ASSERT_TRUE(read) << rawValue(read.error()).toStdString();
        EXPECT_EQ(read->document.text, wrapped);
        EXPECT_EQ(onTheBus.desktop.requests.value(0).lineEnds, LineEnds::kept);
    }
    // The page's own answer.
    SelectionCapture answered(emptyFrame());
    answered.desktop.pageSelection = wrapped;
    read = answered.run(true, ArticleBrowser::chrome);
    ASSERT_TRUE(read) << rawValue(read.error()).toStdString();
    EXPECT_EQ(read->document.text, wrapped);
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
    // The paragraphs were followed, none of their links: the last paragraph's first and last were named alone,
    // for what of it is selected.
    EXPECT_EQ(links.bus.calls.value(u"GetLinkIndex"_s), 200 + 2);
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

// Ruby in two paragraphs selected together: each annotation stays in its line, whatever display the bus
// gives it or its parts (a reading laid out as a block above its base included), and a reading the bus does
// give stays right after its base. The two paragraphs stay two.
TEST(SelectionReader, RubyStaysInTheLineItAnnotates) {
    ScriptedAccessibleTree tree = pageAt(kPage);
    ScriptedNode* page = tree.node(u"/page"_s);
    page->text = u"\uFFFC\uFFFC"_s;
    page->selections = {{0, 2}};
    page->embedded = {u"/first"_s, u"/second"_s};
    const auto node = [&](const QString& path, const QString& parent, const QString& text,
                          QMap<QString, QString> attributes, QStringList embedded = {}) {
        tree.nodes.append({.path = path,
                           .role = embedded.isEmpty() ? AccessibleRole::staticText : test::kParagraphRole,
                           .parent = parent,
                           .text = text,
                           .selections = {{0, int(text.size())}},
                           .embedded = std::move(embedded),
                           .attributes = std::move(attributes)});
    };
    const auto shown = [](const QString& tag, const QString& display) {
        return QMap<QString, QString>{{u"tag"_s, tag}, {u"display"_s, display}};
    };
    node(u"/first"_s, u"/page"_s, u"吾輩は\uFFFCである。\uFFFCはまだ無い。"_s, shown(u"p"_s, u"block"_s),
         {u"/first/neko"_s, u"/first/namae"_s});
    node(u"/first/neko"_s, u"/first"_s, u"猫\uFFFC"_s, shown(u"ruby"_s, u"block"_s), {u"/first/neko/rt"_s});
    node(u"/first/neko/rt"_s, u"/first/neko"_s, u"ねこ"_s, shown(u"rt"_s, u"block"_s));
    node(u"/first/namae"_s, u"/first"_s, u"名前"_s, shown(u"ruby"_s, u"ruby"_s));
    node(u"/second"_s, u"/page"_s, u"\uFFFCは猫である。"_s, shown(u"p"_s, u"block"_s), {u"/second/wagahai"_s});
    node(u"/second/wagahai"_s, u"/second"_s, u"吾輩"_s, shown(u"span"_s, u"ruby-base"_s));
    SelectionCapture selected(tree);
    const auto read = selected.run(true, std::nullopt);
    ASSERT_TRUE(read) << rawValue(read.error()).toStdString();
    ASSERT_EQ(selected.desktop.requests.size(), 1);
    EXPECT_EQ(selected.desktop.requests[0].text, u"吾輩は猫ねこである。名前はまだ無い。\n\n吾輩は猫である。"_s);
}

// Items that a flex or grid container lays out in its line stay in that line, though the bus gives them
// "block" as the browser does: a <b> in a flex paragraph, a link and a <span> in a grid, and a <b> in the
// page's own text, where the bus left its flex paragraph out. Blocks of the page stay blocks: a paragraph
// and a <div> in a flex container, and <span>s that a paragraph shows as blocks.
TEST(SelectionReader, TheItemsOfAFlexOrGridLineStayInIt) {
    ScriptedAccessibleTree tree = pageAt(kPage);
    ScriptedNode* page = tree.node(u"/page"_s);
    page->text = u"\uFFFC\uFFFC\uFFFC\uFFFCここで\uFFFC見た。"_s;
    page->selections = {{0, int(page->text->size())}};
    page->embedded = {u"/flex"_s, u"/grid"_s, u"/cards"_s, u"/lines"_s, u"/loose"_s};
    const auto node = [&](const QString& path, const QString& text, const QString& tag, const QString& display,
                          QStringList embedded = {}) {
        tree.nodes.append({.path = path,
                           .role = embedded.isEmpty() ? AccessibleRole::staticText : test::kParagraphRole,
                           .parent = path.section(u'/', 0, -2).isEmpty() ? u"/page"_s : path.section(u'/', 0, -2),
                           .text = text,
                           .selections = {{0, int(text.size())}},
                           .embedded = std::move(embedded),
                           .attributes = {{u"tag"_s, tag}, {u"display"_s, display}}});
    };
    node(u"/flex"_s, u"吾輩は\uFFFCである。"_s, u"p"_s, u"flex"_s, {u"/flex/b"_s});
    node(u"/flex/b"_s, u"猫"_s, u"b"_s, u"block"_s);
    node(u"/grid"_s, u"\uFFFC\uFFFC"_s, u"div"_s, u"grid"_s, {u"/grid/a"_s, u"/grid/span"_s});
    node(u"/grid/a"_s, u"名前："_s, u"a"_s, u"block"_s);
    node(u"/grid/span"_s, u"まだ無い"_s, u"span"_s, u"block"_s);
    node(u"/cards"_s, u"\uFFFC\uFFFC"_s, u"div"_s, u"inline-flex"_s, {u"/cards/p"_s, u"/cards/div"_s});
    node(u"/cards/p"_s, u"一段落目。"_s, u"p"_s, u"block"_s);
    node(u"/cards/div"_s, u"二段落目。"_s, u"div"_s, u"block"_s);
    node(u"/lines"_s, u"\uFFFC\uFFFC"_s, u"p"_s, u"block"_s, {u"/lines/1"_s, u"/lines/2"_s});
    node(u"/lines/1"_s, u"一行目。"_s, u"span"_s, u"block"_s);
    node(u"/lines/2"_s, u"二行目。"_s, u"span"_s, u"block"_s);
    node(u"/loose"_s, u"始めて"_s, u"b"_s, u"block"_s);
    SelectionCapture selected(tree);
    const auto read = selected.run(true, std::nullopt);
    ASSERT_TRUE(read) << rawValue(read.error()).toStdString();
    ASSERT_EQ(selected.desktop.requests.size(), 1);
    EXPECT_EQ(
        selected.desktop.requests[0].text,
        u"吾輩は猫である。\n\n名前：まだ無い\n\n一段落目。\n\n二段落目。\n\n一行目。\n\n二行目。\n\nここで始めて見た。"_s);
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

TEST(SelectionReader, TheDeadlineAndTheCancellationEndTheCapture) {
    ScriptedNode slow = textArea(u"本文"_s);
    slow.delayMilliseconds = 10'000;
    SelectionCapture late(applicationWith(slow));
    const auto deadline = test::deadlineIn(200ms);
    AXSelectionReader reader(ScriptedAccessibilityBus::kProcess, false, std::nullopt, deadline, late.cancellation,
                             late.environment());
    EXPECT_EQ(failureOf(reader.read()), CaptureFailure::timedOut);
    // Ends at its deadline rather than with the answer 10 s later; a busy machine may be late by a tick or two.
    EXPECT_LT(SystemClock::shared().monotonicNow() - deadline, 2'000ms);

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
