// Which •, ◦ and ■ of a web page read over the accessibility bus are kept: the page is a scripted tree as
// chromium shows one (each text node a static text without children, its text standing in its block's text
// as it is) or as Firefox does (a block's text its own, only elements as objects), read through a browser
// whose page cannot be asked.
#include "PelmoraMac/Capture/AXSelectionReader.h"

#include "CaptureTesting.h"
#include "ScriptedAccessibilityBus.h"
#include "SelectionTesting.h"

#include <gtest/gtest.h>

namespace tavrine {
namespace {
using namespace Qt::StringLiterals;
using test::ScriptedAccessibilityBus;
using test::ScriptedAccessibleTree;
using test::ScriptedNode;

// A stretch of a block's text: a text node's (`element` empty), or an element's object, whose own text is
// made of `parts` in turn.
struct Part {
    QString text{};
    QString element{};
    std::uint32_t role = test::kParagraphRole;
    QList<Part> parts{};
};

Part element(const QString& path, std::uint32_t role, QList<Part> parts) {
    return {.element = path, .role = role, .parts = std::move(parts)};
}

// A page whose blocks are the elements `blocks`, all selected (or as `selections` says, by path), shown on
// the bus with a text object for each text node when `textObjects` is set, and without them otherwise.
struct MarkedPage {
    QList<Part> blocks;
    bool textObjects = true;
    QMap<QString, AccessibleTextRange> selections{};

    ScriptedAccessibleTree tree() const {
        ScriptedAccessibleTree tree = test::pageAt(u"https://example.org/marks"_s);
        ScriptedNode* page = tree.node(u"/page"_s);
        page->text = QString(blocks.size(), QChar(kObjectReplacementCharacter));
        page->selections = {{0, int(blocks.size())}};
        for (const Part& block : blocks) {
            add(tree, block, u"/page"_s);
            tree.node(u"/page"_s)->embedded.append(block.element);
            tree.node(u"/page"_s)->children.append(block.element);
        }
        return tree;
    }

private:
    void add(ScriptedAccessibleTree& tree, const Part& object, const QString& parent) const {
        ScriptedNode node{
            .path = object.element,
            .role = object.role,
            .parent = parent,
            .text = QString(),
            .attributes = {{u"display"_s, object.role == 88 || object.role == 116 ? u"inline"_s : u"block"_s}}};
        QList<const Part*> elements;
        int textNode = 0;
        for (const Part& part : object.parts) {
            if (!part.element.isEmpty()) {
                *node.text += QChar(kObjectReplacementCharacter);
                node.embedded.append(part.element);
                node.children.append(part.element);
                elements.append(&part);
                continue;
            }
            *node.text += part.text;
            if (!textObjects) continue;
            const QString path = object.element + u"/text"_s + QString::number(textNode++);
            node.children.append(path);
            tree.nodes.append(
                {.path = path, .role = AccessibleRole::staticText, .parent = object.element, .text = part.text});
        }
        node.selections = {selections.value(object.element, {0, test::codePointCount(*node.text)})};
        tree.nodes.append(node);
        for (const Part* part : elements) add(tree, *part, object.element);
    }
};

struct Outcome {
    CaptureResult<PreparedCapture> capture = tl::unexpected(CaptureFailure::unavailable);
    // The text read, as the worker was asked to convert it.
    QString read;
    QHash<QString, int> calls;
};

Outcome capture(const ScriptedAccessibleTree& tree) {
    ScriptedAccessibilityBus bus(tree);
    bus.announcedFocus = u"/paragraph"_s;
    test::FakeCaptureDesktop desktop{.pageURL = u"https://example.org/marks"_s};
    const SelectionCaptureEnvironment environment{.bus = &bus, .article = desktop.environment()};
    Outcome outcome;
    outcome.capture =
        captureSelection(ScriptedAccessibilityBus::kProcess, true, std::nullopt, CancellationToken{}, environment);
    if (!desktop.requests.isEmpty()) outcome.read = desktop.requests.constLast().text.value_or(QString());
    outcome.calls = bus.calls;
    return outcome;
}

const Part kMarks = element(u"/marks"_s, test::kParagraphRole, {{u"答えは■■■です。評価は•••◦◦の印、●●県の○○さん。"_s}});
const Part kCode = element(u"/code"_s, test::kParagraphRole, {{u"コードは"_s}, {u"••••••••"_s}, {u"です。"_s}});

// A text object that holds anything besides marks keeps every mark; one of nothing but marks, which is what
// a masked text node gives, loses them all, inside a link or a bold element too; an element's own object
// (bold, with a text object inside) is no text object, whatever its role, and neither is the bullet a
// browser draws before a list item.
TEST(WebPageMarks, AMarkIsLeftOutOnlyWhereItsTextObjectHoldsNothingButMarks) {
    const QList<Part> blocks{kMarks,
                             kCode,
                             element(u"/links"_s, test::kParagraphRole,
                                     {element(u"/links/1"_s, 88, {{u"ホーム"_s}}),
                                      {u" • "_s},
                                      element(u"/links/2"_s, 88, {{u"概要"_s}}),
                                      {u" • "_s},
                                      element(u"/links/3"_s, 88, {{u"連絡先"_s}, {u"◦◦"_s}})}),
                             element(u"/heading"_s, 83, {{u"■概要と■手順"_s}}),
                             element(u"/bullet"_s, 83, {{u"■"_s}, {u"概要"_s}}),
                             element(u"/item"_s, AccessibleRole::listItem, {{u"• "_s}, {u"項目•◦"_s}}),
                             element(u"/strong"_s, test::kParagraphRole,
                                     {{u"答えは"_s},
                                      element(u"/strong/b"_s, 116, {{u"■■■"_s}}),
                                      {u"です"_s},
                                      element(u"/strong/c"_s, 116, {{u"重要"_s}, {u"••"_s}})})};
    ScriptedAccessibleTree tree = MarkedPage{.blocks = blocks}.tree();
    tree.node(u"/item/text0"_s)->attributes = {{u"tag"_s, u"::marker"_s}};
    const Outcome page = capture(tree);
    ASSERT_TRUE(page.capture) << rawValue(page.capture.error()).toStdString();
    EXPECT_EQ(page.read,
              u"答えは■■■です。評価は•••◦◦の印、●●県の○○さん。\n\nコードはです。\n\nホーム • 概要 • 連絡先\n\n"
              u"■概要と■手順\n\n概要\n\n項目•◦\n\n答えはです重要"_s);

    // Part of a text object selected, also after a link: its marks alone are kept; the masked node's alone
    // are refused.
    const Outcome part = capture(MarkedPage{.blocks = {kMarks}, .selections = {{u"/marks"_s, {3, 6}}}}.tree());
    ASSERT_TRUE(part.capture) << rawValue(part.capture.error()).toStdString();
    EXPECT_EQ(part.read, u"■■■"_s);
    const Part rated =
        element(u"/rated"_s, test::kParagraphRole, {element(u"/rated/1"_s, 88, {{u"作品"_s}}), {u"：評価■■■"_s}});
    const Outcome afterLink = capture(MarkedPage{.blocks = {rated}, .selections = {{u"/rated"_s, {2, 7}}}}.tree());
    EXPECT_EQ(afterLink.read, u"評価■■■"_s);
    const Outcome masked = capture(MarkedPage{.blocks = {kCode}, .selections = {{u"/code"_s, {4, 12}}}}.tree());
    EXPECT_EQ(test::failureOf(masked.capture), CaptureFailure::protectedField);

    // Without a mark in the text, no object is asked for more than before: the text objects are not asked
    // for at all.
    const Part plain = element(u"/plain"_s, test::kParagraphRole, {{u"答えは"_s}, {u"三つ"_s}, {u"です。"_s}});
    const Outcome withObjects = capture(MarkedPage{.blocks = {plain}}.tree());
    const Outcome withoutObjects = capture(MarkedPage{.blocks = {plain}, .textObjects = false}.tree());
    EXPECT_EQ(withObjects.read, u"答えは三つです。"_s);
    EXPECT_EQ(withObjects.calls, withoutObjects.calls);
    // With one: how many children the paragraph has and which, their roles, whether each has children, and
    // each one's text.
    const Outcome code = capture(MarkedPage{.blocks = {kCode}}.tree());
    EXPECT_EQ(code.read, u"コードはです。"_s);
    EXPECT_EQ(code.calls.value(u"ChildCount"_s) - withObjects.calls.value(u"ChildCount"_s), 1);
    EXPECT_EQ(code.calls.value(u"GetChildren"_s) - withObjects.calls.value(u"GetChildren"_s), 1 + 3);
    EXPECT_EQ(code.calls.value(u"GetRole"_s) - withObjects.calls.value(u"GetRole"_s), 3);
    EXPECT_EQ(code.calls.value(u"GetText"_s) - withObjects.calls.value(u"GetText"_s), 3);
    // Between two links the text read tells the text object alone there: only whether it is one is asked.
    const Part links = element(u"/links"_s, test::kParagraphRole,
                               {element(u"/links/1"_s, 88, {{u"ホーム"_s}}),
                                {u" • "_s},
                                element(u"/links/2"_s, 88, {{u"概要"_s}}),
                                {u" • "_s},
                                element(u"/links/3"_s, 88, {{u"連絡先"_s}})});
    ScriptedAccessibleTree unmarked = MarkedPage{.blocks = {links}}.tree();
    for (const QString& path : {u"/links/text0"_s, u"/links/text1"_s}) unmarked.node(path)->text = u" - "_s;
    unmarked.node(u"/links"_s)->text = u"\uFFFC - \uFFFC - \uFFFC"_s;
    const Outcome line = capture(MarkedPage{.blocks = {links}}.tree());
    const Outcome dashes = capture(unmarked);
    EXPECT_EQ(line.read, u"ホーム • 概要 • 連絡先"_s);
    EXPECT_EQ(line.calls.value(u"GetChildren"_s) - dashes.calls.value(u"GetChildren"_s), 1 + 2);
    EXPECT_EQ(line.calls.value(u"GetRole"_s) - dashes.calls.value(u"GetRole"_s), 2);
    EXPECT_EQ(line.calls.value(u"GetText"_s), dashes.calls.value(u"GetText"_s));
}

// Where the application shows no text objects (Firefox gives each block's text as its own, and bold text
// as an object of its own without children), or the text objects do not make up the text read (the page
// changed meanwhile), every mark is left out, as nothing tells the masked ones; the same page with its text
// objects keeps those it shows in the clear.
TEST(WebPageMarks, WhereTextObjectsDoNotMakeUpTheTextEveryMarkIsLeftOut) {
    const QList<Part> blocks{kMarks, kCode,
                             element(u"/strong"_s, test::kParagraphRole,
                                     {{u"答えは"_s}, element(u"/strong/b"_s, 116, {{u"重要■"_s}}), {u"です"_s}})};
    const Outcome chromium = capture(MarkedPage{.blocks = blocks}.tree());
    EXPECT_EQ(chromium.read, u"答えは■■■です。評価は•••◦◦の印、●●県の○○さん。\n\nコードはです。\n\n答えは重要■です"_s);
    const Outcome firefox = capture(MarkedPage{.blocks = blocks, .textObjects = false}.tree());
    ASSERT_TRUE(firefox.capture) << rawValue(firefox.capture.error()).toStdString();
    EXPECT_EQ(firefox.read, u"答えはです。評価はの印、●●県の○○さん。\n\nコードはです。\n\n答えは重要です"_s);
    const Outcome masked =
        capture(MarkedPage{.blocks = {kCode}, .textObjects = false, .selections = {{u"/code"_s, {4, 12}}}}.tree());
    EXPECT_EQ(test::failureOf(masked.capture), CaptureFailure::protectedField);

    ScriptedAccessibleTree changed = MarkedPage{.blocks = {kMarks}}.tree();
    changed.node(u"/marks/text0"_s)->text = u"答えは■■■でした。"_s;
    const Outcome stale = capture(changed);
    EXPECT_EQ(stale.read, u"答えはです。評価はの印、●●県の○○さん。"_s);
}

}  // namespace
}  // namespace tavrine
