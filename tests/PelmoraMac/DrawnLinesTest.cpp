#include "PelmoraMac/Capture/AXSelectionReader.h"

#include "CaptureTesting.h"
#include "ScriptedAccessibilityBus.h"
#include "SelectionCapture.h"
#include "SelectionTesting.h"

#include <gtest/gtest.h>

namespace tavrine {
namespace {
using namespace Qt::StringLiterals;
using test::failureOf;
using test::kPage;
using test::pageAt;
using test::ScriptedAccessibleTree;
using test::ScriptedNode;
using test::SelectionCapture;

// Where the characters of a text are drawn: each run of `count` characters from (x, y) on, 16 pixels apart
// and 20 high; a run of none is one place holder's character, drawn nowhere (an empty box, as Firefox gives
// it).
struct Drawn {
    int x = 0;
    int y = 0;
    int count = 1;
};

QList<AccessibleBox> boxesOf(const QList<Drawn>& runs) {
    QList<AccessibleBox> boxes;
    for (const Drawn& run : runs) {
        if (run.count == 0) boxes.append(AccessibleBox{});
        for (int index = 0; index < run.count; ++index) boxes.append({run.x + 16 * index, run.y, 16, 20});
    }
    return boxes;
}

// The page's text, all of it selected, with its objects.
ScriptedAccessibleTree pageShowing(const QString& text, QList<Drawn> drawn, QStringList embedded) {
    ScriptedAccessibleTree tree = pageAt(kPage);
    ScriptedNode* page = tree.node(u"/page"_s);
    page->text = text;
    page->selections = {{0, test::codePointCount(text)}};
    page->embedded = std::move(embedded);
    page->boxes = boxesOf(drawn);
    return tree;
}

void addObject(ScriptedAccessibleTree& tree, const QString& path, const QString& text, const QString& tag,
               const QString& display, QList<Drawn> drawn) {
    tree.nodes.append({.path = path,
                       .role = test::kParagraphRole,
                       .parent = u"/page"_s,
                       .text = text,
                       .selections = {{0, test::codePointCount(text)}},
                       .attributes = {{u"tag"_s, tag}, {u"display"_s, display}},
                       .boxes = boxesOf(drawn)});
}

QString readOverTheBus(const ScriptedAccessibleTree& tree) {
    SelectionCapture selected(tree);
    const auto read = selected.run(true, std::nullopt);
    EXPECT_TRUE(read) << rawValue(read.error()).toStdString();
    return selected.desktop.requests.value(0).text.value_or(QString());
}

// A browser that shows the page's items as objects of their own (Firefox: <span>s and links given "block",
// their containers left out): the items of a row take a line each, the rows and blocks a paragraph each, and
// the <b> of a flex paragraph, drawn touching the text around it, stays in its line. A page whose text
// holds its own line feed keeps it as it is, and a bus that tells no boxes leaves the pieces as they come.
TEST(DrawnLines, ObjectsDrawnOnDifferentLinesOrApartInOneRowNeverRunTogether) {
    const QString placeHolders = QString(6, QChar(kObjectReplacementCharacter));
    ScriptedAccessibleTree tree = pageShowing(
        placeHolders + u"吾輩は\uFFFCである。"_s,
        {{0, 0, 0}, {0, 0, 0}, {0, 0, 0}, {0, 0, 0}, {0, 0, 0}, {0, 0, 0}, {8, 300, 3}, {0, 0, 0}, {72, 300, 4}},
        {u"/matcha"_s, u"/600"_s, u"/sencha"_s, u"/400"_s, u"/news"_s, u"/blog"_s, u"/neko"_s});
    addObject(tree, u"/matcha"_s, u"抹茶"_s, u"span"_s, u"block"_s, {{8, 180, 2}});
    addObject(tree, u"/600"_s, u"六百円"_s, u"span"_s, u"block"_s, {{80, 180, 3}});
    addObject(tree, u"/sencha"_s, u"煎茶"_s, u"span"_s, u"block"_s, {{8, 204, 2}});
    addObject(tree, u"/400"_s, u"四百円"_s, u"span"_s, u"block"_s, {{80, 204, 3}});
    addObject(tree, u"/news"_s, u"ニュース"_s, u"a"_s, u"block"_s, {{8, 240, 4}});
    addObject(tree, u"/blog"_s, u"ブログ"_s, u"a"_s, u"block"_s, {{8, 264, 3}});
    addObject(tree, u"/neko"_s, u"猫"_s, u"b"_s, u"block"_s, {{56, 300, 1}});
    EXPECT_EQ(readOverTheBus(tree), u"抹茶\n六百円\n\n煎茶\n四百円\n\nニュース\n\nブログ\n\n吾輩は猫である。"_s);

    // A navigation row known to lay out its links: they stay apart, a line each, and a wrapped row's next
    // line is a line of the same paragraph.
    ScriptedAccessibleTree row = pageShowing(u"\uFFFC"_s, {{0, 0, 0}}, {u"/nav"_s});
    addObject(row, u"/nav"_s, u"\uFFFC\uFFFC\uFFFC"_s, u"nav"_s, u"flex"_s, {{0, 0, 0}, {0, 0, 0}, {0, 0, 0}});
    row.node(u"/nav"_s)->embedded = {u"/home"_s, u"/news"_s, u"/weather"_s};
    addObject(row, u"/home"_s, u"ホーム"_s, u"a"_s, u"block"_s, {{8, 100, 3}});
    addObject(row, u"/news"_s, u"ニュース"_s, u"a"_s, u"block"_s, {{72, 100, 4}});
    addObject(row, u"/weather"_s, u"天気"_s, u"a"_s, u"block"_s, {{8, 124, 2}});
    EXPECT_EQ(readOverTheBus(row), u"ホーム\nニュース\n天気"_s);

    ScriptedAccessibleTree lines = pageShowing(u"一行目\n\uFFFC"_s, {{8, 100, 4}, {0, 0, 0}}, {u"/next"_s});
    addObject(lines, u"/next"_s, u"二行目"_s, u"span"_s, u"block"_s, {{8, 124, 3}});
    EXPECT_EQ(readOverTheBus(lines), u"一行目\n二行目"_s);

    ScriptedAccessibleTree untold = tree;
    for (ScriptedNode& node : untold.nodes) node.boxes.clear();
    EXPECT_EQ(readOverTheBus(untold), u"抹茶六百円煎茶四百円ニュースブログ吾輩は猫である。"_s);
}

// A browser that gives the text of blocks it leaves out as the text of the object above, one text node after
// the other (Chromium), and starts a paragraph of that text wherever the page starts a block or a flex item:
// the pieces are parted where they are drawn apart, and a paragraph that wraps where a text node starts
// stays one line.
TEST(DrawnLines, TextOfBlocksTheBusLeavesOutIsPartedWhereItIsDrawn) {
    ScriptedAccessibleTree tree =
        pageShowing(u"抹茶六百円煎茶四百円見出し右下の段です。"_s,
                    {{8, 180, 2}, {80, 180, 3}, {8, 204, 2}, {80, 204, 3}, {535, 240, 4}, {8, 264, 6}}, {});
    tree.node(u"/page"_s)->paragraphStarts = QList<int>{2, 5, 7, 10, 14};
    EXPECT_EQ(readOverTheBus(tree), u"抹茶\n六百円\n\n煎茶\n四百円\n\n見出し右\n\n下の段です。"_s);

    ScriptedAccessibleTree wrapped = pageShowing(u"あいうえおかきくけこさし"_s, {{8, 100, 8}, {8, 124, 4}}, {});
    wrapped.node(u"/page"_s)->paragraphStarts = QList<int>{};
    EXPECT_EQ(readOverTheBus(wrapped), u"あいうえおかきくけこさし"_s);
}

// A page that rewrites its selected paragraph while the bus reads it: the objects named a moment ago are
// gone. The selection is read again, and gives every word; a page that never holds still is refused as a
// page that changed, never stored with its words missing.
TEST(DrawnLines, ObjectsThatVanishWhileTheyAreReadAreReadAgainOrRefused) {
    // The page with its paragraph and the ruby in it as the page's rewrite number `generation` made them.
    const auto rewrite = [](ScriptedAccessibleTree& tree, int generation) {
        const QString paragraph = u"/rewritten"_s + QString::number(generation);
        const QString ruby = paragraph + u"/ruby"_s;
        tree.nodes.removeIf([](const ScriptedNode& node) { return node.path.startsWith(u"/rewritten"_s); });
        tree.node(u"/page"_s)->embedded = {paragraph};
        tree.nodes.append({.path = paragraph,
                           .role = test::kParagraphRole,
                           .parent = u"/page"_s,
                           .text = u"吾輩は\uFFFCである。"_s,
                           .selections = {{0, 8}},
                           .embedded = {ruby},
                           .attributes = {{u"tag"_s, u"p"_s}, {u"display"_s, u"block"_s}}});
        tree.nodes.append({.path = ruby,
                           .role = test::kParagraphRole,
                           .parent = paragraph,
                           .text = u"猫"_s,
                           .selections = {{0, 1}},
                           .attributes = {{u"tag"_s, u"ruby"_s}, {u"display"_s, u"ruby"_s}}});
    };
    ScriptedAccessibleTree page = pageShowing(u"\uFFFC"_s, {}, {});
    rewrite(page, 1);

    // Rewritten once, as the ruby's selection is asked for: the next read finds the new paragraph.
    SelectionCapture once(page);
    int rewrites = 0;
    once.bus.change = [&](ScriptedAccessibleTree& tree, const QString& method, const QString& path) {
        if (rewrites == 0 && method == u"GetNSelections"_s && path == u"/rewritten1/ruby"_s)
            rewrite(tree, ++rewrites + 1);
    };
    const auto read = once.run(true, std::nullopt);
    ASSERT_TRUE(read) << rawValue(read.error()).toStdString();
    EXPECT_EQ(rewrites, 1);
    EXPECT_EQ(once.desktop.requests.value(0).text, u"吾輩は猫である。"_s);

    // Rewritten whenever a ruby is asked for its selection, or a paragraph for its text: refused.
    for (const QString& asked : {u"GetNSelections"_s, u"GetText"_s}) {
        SelectionCapture always(page);
        int generation = 1;
        always.bus.change = [&](ScriptedAccessibleTree& tree, const QString& method, const QString& path) {
            if (method == asked && path.startsWith(u"/rewritten"_s)) rewrite(tree, ++generation);
        };
        EXPECT_EQ(failureOf(always.run(true, std::nullopt)), CaptureFailure::sourceChanged) << asked.toStdString();
        EXPECT_TRUE(always.desktop.requests.isEmpty());
    }
}

}  // namespace
}  // namespace tavrine
