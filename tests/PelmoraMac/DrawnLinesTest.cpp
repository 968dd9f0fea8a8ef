#include "PelmoraMac/Capture/AXSelectionReader.h"
#include "PelmoraMac/Capture/CaptureDeadline.h"

#include "CaptureTesting.h"
#include "ScriptedAccessibilityBus.h"
#include "SelectionCapture.h"
#include "SelectionTesting.h"

#include <gtest/gtest.h>

#include <chrono>
#include <thread>

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

// The page's text made of `count` text nodes, each a child of its own (Chromium).
void addTextNodes(ScriptedAccessibleTree& tree, int count) {
    for (int node = 0; node < count; ++node)
        tree.node(u"/page"_s)->children.append(u"/page/text"_s + QString::number(node));
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
    addTextNodes(tree, 6);
    EXPECT_EQ(readOverTheBus(tree), u"抹茶\n六百円\n\n煎茶\n四百円\n\n見出し右\n\n下の段です。"_s);

    ScriptedAccessibleTree wrapped = pageShowing(u"あいうえおかきくけこさし"_s, {{8, 100, 8}, {8, 124, 4}}, {});
    wrapped.node(u"/page"_s)->paragraphStarts = QList<int>{};
    addTextNodes(wrapped, 2);
    EXPECT_EQ(readOverTheBus(wrapped), u"あいうえおかきくけこさし"_s);
}

// A wrapping row of `items` pieces of two or three characters drawn touching, `perRow` to a row: the text
// of each piece, and where its characters are drawn.
struct Row {
    QStringList pieces;
    QList<Drawn> drawn;
    // The lines the row is read into: each drawn row's pieces together.
    QStringList lines;
};

Row wrappingRow(int items, int perRow) {
    Row row;
    int x = 8;
    for (int item = 0; item < items; ++item) {
        if (item % perRow == 0) {
            x = 8;
            row.lines.append(QString());
        }
        const QString piece = (item % 2 ? u"猫"_s : u"吾輩"_s) + QChar(u'〇' + item % 10);
        row.pieces.append(piece);
        row.drawn.append({x, 100 + 24 * (item / perRow), int(piece.size())});
        row.lines.last() += piece;
        x += 16 * int(piece.size());
    }
    return row;
}

// The first pieces of a row as objects of their own at these paths, each made of one text node (Chromium).
void addPieces(ScriptedAccessibleTree& tree, const QStringList& paths, const Row& row) {
    for (qsizetype item = 0; item < paths.size(); ++item) {
        addObject(tree, paths[item], row.pieces[item], u"b"_s, u"block"_s, {row.drawn[item]});
        tree.node(paths[item])->children = {paths[item] + u"/text"_s};
    }
}

// ROW as a flex container "/row" (Firefox): its items objects of their own, at "/item0" on, drawn where ROW
// draws them; the page shows "/row" where its text holds a U+FFFC.
void addFlexRow(ScriptedAccessibleTree& tree, const Row& row) {
    QStringList paths;
    for (qsizetype item = 0; item < row.pieces.size(); ++item) paths.append(u"/item"_s + QString::number(item));
    addObject(tree, u"/row"_s, QString(paths.size(), QChar(kObjectReplacementCharacter)), u"div"_s, u"flex"_s,
              QList<Drawn>(paths.size(), {0, 0, 0}));
    tree.node(u"/row"_s)->embedded = paths;
    for (qsizetype item = 0; item < paths.size(); ++item)
        addObject(tree, paths[item], row.pieces[item], u"b"_s, u"block"_s, {row.drawn[item]});
}

// However many rows a page draws, each stays apart and its pieces together, and the boxes asked for are
// about a few for each row, not one or two for each piece: where the bus divides one object's text into a
// paragraph for each piece (Chromium) and where each piece is an object of its own (Firefox).
TEST(DrawnLines, EveryRowOfAManyRowedPageStaysApartAskedForRowByRow) {
    for (const int items : {2'200, 5'000}) {
        SCOPED_TRACE(items);
        const Row row = wrappingRow(items, 22);
        const qsizetype rows = row.lines.size();

        ScriptedAccessibleTree chromium = pageShowing(row.pieces.join(QString()), row.drawn, {});
        QList<int> starts;
        int start = 0;
        for (const QString& piece : row.pieces) {
            if (start > 0) starts.append(start);
            start += int(piece.size());
        }
        chromium.node(u"/page"_s)->paragraphStarts = starts;
        addTextNodes(chromium, items);
        SelectionCapture paragraphs(chromium);
        ASSERT_TRUE(paragraphs.run(true, std::nullopt));
        EXPECT_EQ(paragraphs.desktop.requests.value(0).text.value_or(QString()).split(u'\n', Qt::SkipEmptyParts),
                  row.lines);
        EXPECT_LT(paragraphs.bus.calls.value(u"GetCharacterExtents"_s), 3 * rows);
        // A text of thousands of text nodes, whose every paragraph would cost the browser a walk over all of
        // them, is asked for none.
        EXPECT_EQ(paragraphs.bus.calls.value(u"GetStringAtOffset"_s), 0);

        // Each piece an object of its own, its text in one text node (Chromium) or its own (Firefox): a piece
        // drawn in a row of one line is asked neither its text nodes nor its paragraphs. The rows' starts tell
        // that every row but the first and the last, whose boxes are asked, is one line.
        QStringList paths;
        for (int item = 0; item < items; ++item) paths.append(u"/item"_s + QString::number(item));
        ScriptedAccessibleTree firefox =
            pageShowing(QString(items, QChar(kObjectReplacementCharacter)), QList<Drawn>(items, {0, 0, 0}), paths);
        for (int item = 0; item < items; ++item)
            addObject(firefox, paths[item], row.pieces[item], u"b"_s, u"block"_s, {row.drawn[item]});
        ScriptedAccessibleTree textNodes = firefox;
        for (int item = 0; item < items; ++item) textNodes.node(paths[item])->children = {paths[item] + u"/text"_s};
        for (const bool inTextNodes : {false, true}) {
            SelectionCapture objects(inTextNodes ? textNodes : firefox);
            ASSERT_TRUE(objects.run(true, std::nullopt));
            EXPECT_EQ(objects.desktop.requests.value(0).text.value_or(QString()).split(u'\n', Qt::SkipEmptyParts),
                      row.lines);
            EXPECT_LT(objects.bus.calls.value(u"GetCharacterExtents"_s), 3 * rows);
            EXPECT_EQ(objects.bus.calls.value(u"GetRangeExtents"_s), 2);
            EXPECT_EQ(objects.bus.calls.value(u"ChildCount"_s) + objects.bus.calls.value(u"GetStringAtOffset"_s), 0);
        }
    }
}

// A wrapping row of 440 items, one of them a card of two blocks the bus leaves out of its one object (its two
// text nodes, the second line in smaller print, as Chromium shows them): the card's lines are parted, every
// other row stays one line, and only the items of the card's row are asked how many text nodes they hold. Only
// the rows that the starts around them do not tell are measured: the first, the last, the card's and, where the
// card's row's items stand at its top, the one below it; where the bus tells no range's box, their items are
// asked what they hold.
TEST(DrawnLines, OnlyTheItemsOfARowHigherThanALineAreAskedWhatTheyHold) {
    const int items = 440;
    const int card = 30;
    QStringList paths;
    for (int item = 0; item < items; ++item) paths.append(u"/item"_s + QString::number(item));
    // The card's row's other items at its top, or centred in its height.
    for (const int centred : {0, 8}) {
        SCOPED_TRACE(centred);
        ScriptedAccessibleTree tree =
            pageShowing(QString(items, QChar(kObjectReplacementCharacter)), QList<Drawn>(items, {0, 0, 0}), paths);
        QStringList lines;
        for (int item = 0; item < items; ++item) {
            const int row = item / 22;
            // The card's row is a line and a small one higher.
            const int y = 100 + 24 * row + (row > card / 22 ? 16 : 0);
            const int x = 8 + 32 * (item % 22);
            if (item % 22 == 0) lines.append(QString());
            if (item == card) {
                addObject(tree, paths[item], u"題名価格"_s, u"b"_s, u"block"_s, {});
                ScriptedNode* node = tree.node(paths[item]);
                node->boxes = {{x, y, 16, 20}, {x + 16, y, 16, 20}, {x, y + 24, 10, 12}, {x + 10, y + 24, 10, 12}};
                node->children = {paths[item] + u"/title"_s, paths[item] + u"/price"_s};
                node->paragraphStarts = QList<int>{2};
                lines.last() += u"題名"_s;
                lines.append(u"価格"_s);
                continue;
            }
            const QString piece = u"語"_s + QChar(u'0' + item % 10);
            addObject(tree, paths[item], piece, u"b"_s, u"block"_s, {{x, y + (row == card / 22 ? centred : 0), 2}});
            tree.node(paths[item])->children = {paths[item] + u"/text"_s};
            lines.last() += piece;
        }
        SelectionCapture read(tree);
        ASSERT_TRUE(read.run(true, std::nullopt));
        EXPECT_EQ(read.desktop.requests.value(0).text.value_or(QString()).split(u'\n', Qt::SkipEmptyParts), lines);
        EXPECT_EQ(read.bus.calls.value(u"ChildCount"_s), 22);
        const int measured = centred ? 3 : 4;
        EXPECT_EQ(read.bus.calls.value(u"GetRangeExtents"_s), measured);

        SelectionCapture untold(tree);
        untold.bus.tellsRangeBoxes = false;
        ASSERT_TRUE(untold.run(true, std::nullopt));
        EXPECT_EQ(untold.desktop.requests.value(0).text, read.desktop.requests.value(0).text);
        EXPECT_EQ(untold.bus.calls.value(u"ChildCount"_s), measured * 22);
    }
}

// A grid of sixty cells drawn apart, six to a row, as Chromium shows it (its own object, its cells its text
// nodes, a paragraph each): read alone, each cell takes a line and each row a paragraph. Above a wrapping row of
// 440 items, where only the rows of so many pieces are found, it reads the same, the first cell no more apart
// than the others, and the items of each drawn row, which touch, stay together.
TEST(DrawnLines, AGridsCellsStandApartHoweverManyPiecesThePageHolds) {
    QString text;
    QList<Drawn> drawn;
    QList<int> starts;
    QStringList rows(10);
    for (int cell = 0; cell < 60; ++cell) {
        const QString name = u"升"_s + QString::number(cell + 1);
        if (cell > 0) starts.append(test::codePointCount(text));
        text += name;
        drawn.append({8 + 150 * (cell % 6), 100 + 24 * (cell / 6), int(name.size())});
        rows[cell / 6] += (cell % 6 ? u"\n"_s : QString()) + name;
    }
    const auto addGrid = [&](ScriptedAccessibleTree& tree) {
        addObject(tree, u"/grid"_s, text, u"div"_s, u"grid"_s, drawn);
        tree.node(u"/grid"_s)->paragraphStarts = starts;
        for (int cell = 0; cell < 60; ++cell)
            tree.node(u"/grid"_s)->children.append(u"/grid/text"_s + QString::number(cell));
    };
    ScriptedAccessibleTree alone = pageShowing(u"\uFFFC"_s, {{0, 0, 0}}, {u"/grid"_s});
    addGrid(alone);
    const QString grid = rows.join(u"\n\n"_s);
    EXPECT_EQ(readOverTheBus(alone), grid);

    Row row = wrappingRow(440, 22);
    for (Drawn& piece : row.drawn) piece.y += 400;
    QStringList paths{u"/grid"_s};
    for (qsizetype item = 0; item < row.pieces.size(); ++item) paths.append(u"/item"_s + QString::number(item));
    ScriptedAccessibleTree many = pageShowing(QString(paths.size(), QChar(kObjectReplacementCharacter)),
                                              QList<Drawn>(paths.size(), {0, 0, 0}), paths);
    addGrid(many);
    addPieces(many, paths.mid(1), row);
    const QString read = readOverTheBus(many);
    EXPECT_EQ(read.left(grid.size()), grid);
    EXPECT_EQ(read.mid(grid.size()).split(u'\n', Qt::SkipEmptyParts), row.lines);

    // The grid's container left out too, its cells the page's own text nodes, the items straight after them with
    // no block between: the cells are parted all the same.
    QList<Drawn> together = drawn;
    for (qsizetype item = 0; item < row.pieces.size(); ++item) together.append({0, 0, 0});
    ScriptedAccessibleTree direct =
        pageShowing(text + QString(row.pieces.size(), QChar(kObjectReplacementCharacter)), together, paths.mid(1));
    direct.node(u"/page"_s)->paragraphStarts = starts;
    addTextNodes(direct, 60);
    addPieces(direct, paths.mid(1), row);
    const QString directRead = readOverTheBus(direct);
    EXPECT_EQ(directRead.left(grid.size()), grid);
    EXPECT_EQ(directRead.mid(grid.size()).split(u'\n', Qt::SkipEmptyParts), row.lines);
}

// A grid of thousands of cells whose container the bus leaves out, so that one object's text holds them all, each
// a text node: where its rows are alike, each row's start alone is asked where it is drawn; a row drawn unlike
// the others (shorter, or two lines) is still found exactly, each row one line.
TEST(DrawnLines, TheRowsOfALargeGridAreFoundByTheirStarts) {
    for (const int odd : {-1, 40, 41}) {
        SCOPED_TRACE(odd);
        QString text;
        QList<Drawn> drawn;
        QStringList rows;
        int y = 100;
        for (int row = 0; row < 300; ++row) {
            // Row `odd` has one cell less (40) or takes two lines (41).
            const int cells = row == 40 && odd == 40 ? 19 : 20;
            QString line;
            for (int cell = 0; cell < cells; ++cell) {
                if (row == 41 && odd == 41 && cell == 10) {
                    rows.append(line);
                    line.clear();
                    y += 24;
                }
                const QString name = u"語"_s + QString::number(cell % 10);
                drawn.append({8 + 40 * cell, y, 2});
                line += name;
                text += name;
            }
            rows.append(line);
            y += 24;
        }
        ScriptedAccessibleTree tree = pageShowing(u"\uFFFC"_s, {{0, 0, 0}}, {u"/grid"_s});
        addObject(tree, u"/grid"_s, text, u"div"_s, u"grid"_s, drawn);
        for (int node = 0; node < 6'000; ++node)
            tree.node(u"/grid"_s)->children.append(u"/grid/text"_s + QString::number(node));
        SelectionCapture capture(tree);
        const auto read = capture.run(true, std::nullopt);
        ASSERT_TRUE(read) << rawValue(read.error()).toStdString();
        EXPECT_EQ(capture.desktop.requests.value(0).text.value_or(QString()).split(u'\n'), rows);
        // About one a row where the rows are alike.
        if (odd < 0) {
            EXPECT_LT(capture.bus.calls.value(u"GetCharacterExtents"_s), 400);
        }
    }
}

// A browser that takes long to tell each paragraph of a page's text (Chromium 55 to 100 ms a question where the
// page holds hundreds of objects): once the questions left would end the capture at its deadline, the rows of
// the grid whose cells the page's text holds are found where they are drawn instead, each row apart, and the
// capture ends in time; so too where a wrapping row of items follows the cells with no block between.
TEST(DrawnLines, AGridOfAPageThatTellsItsParagraphsSlowlyIsReadInTimeItsRowsApart) {
    QString text;
    QList<Drawn> drawn;
    QList<int> starts;
    for (int cell = 0; cell < 60; ++cell) {
        const QString name = u"升"_s + QString::number(cell + 1);
        if (cell > 0) starts.append(test::codePointCount(text));
        text += name;
        drawn.append({8 + 150 * (cell % 6), 100 + 24 * (cell / 6), int(name.size())});
    }
    Row row = wrappingRow(88, 22);
    for (Drawn& piece : row.drawn) piece.y += 400;
    for (const bool rowAfter : {false, true}) {
        SCOPED_TRACE(rowAfter);
        QStringList items;
        QList<Drawn> page = drawn;
        for (qsizetype item = 0; rowAfter && item < row.pieces.size(); ++item) {
            items.append(u"/item"_s + QString::number(item));
            page.append({0, 0, 0});
        }
        ScriptedAccessibleTree tree =
            pageShowing(text + QString(items.size(), QChar(kObjectReplacementCharacter)), page, items);
        tree.node(u"/page"_s)->paragraphStarts = starts;
        addTextNodes(tree, 60);
        addPieces(tree, items, row);
        SelectionCapture capture(tree);
        capture.bus.change = [](ScriptedAccessibleTree&, const QString& method, const QString&) {
            // Slow in proportion to the time the capture is given, so that what it finds it has time for is the
            // same in every build.
            if (method == u"GetStringAtOffset"_s)
                std::this_thread::sleep_for(std::chrono::milliseconds(100) * (kCaptureTimeGiven / kCaptureTimeLimit));
        };
        const auto read = capture.run(true, std::nullopt);
        ASSERT_TRUE(read) << rawValue(read.error()).toStdString();
        QStringList lines = read->document.text.split(u'\n', Qt::SkipEmptyParts);
        if (rowAfter) {
            ASSERT_GE(lines.size(), row.lines.size());
            EXPECT_EQ(lines.mid(lines.size() - row.lines.size()), row.lines);
            lines.resize(lines.size() - row.lines.size());
        }
        QStringList cells;
        for (const QString& line : std::as_const(lines)) {
            // Every line holds cells of one row, in order.
            const QStringList numbers = line.split(u'升', Qt::SkipEmptyParts);
            ASSERT_FALSE(numbers.isEmpty());
            EXPECT_EQ((numbers.constFirst().toInt() - 1) / 6, (numbers.constLast().toInt() - 1) / 6)
                << line.toStdString();
            for (const QString& number : numbers) cells.append(number);
        }
        EXPECT_EQ(cells.size(), 60);
        EXPECT_EQ(cells.value(59), u"60"_s);
        EXPECT_LT(capture.bus.calls.value(u"GetStringAtOffset"_s), 30);
    }
}

// A flex row of thousands of items, selected from its first item to its last or with the whole page: the items
// between the ends of the selected stretch, or in a row selected whole, are selected whole, so that none of
// them is asked for its selection (a browser takes long to tell each in a page of thousands of objects), and
// the rows stay apart as before.
TEST(DrawnLines, ItemsInsideTheSelectedStretchAreNotAskedForTheirSelection) {
    const Row row = wrappingRow(2'200, 22);
    const auto selectionQuestions = [](const SelectionCapture& capture) {
        return capture.bus.calls.value(u"GetNSelections"_s) + capture.bus.calls.value(u"GetSelection"_s);
    };
    for (const bool wholePage : {false, true}) {
        SCOPED_TRACE(wholePage);
        const QString page = wholePage ? u"前書き。\uFFFC後書き。"_s : u"\uFFFC"_s;
        ScriptedAccessibleTree tree = pageShowing(
            page, wholePage ? QList<Drawn>{{8, 50, 4}, {0, 0, 0}, {8, 900, 4}} : QList<Drawn>{{0, 0, 0}}, {u"/row"_s});
        addFlexRow(tree, row);
        SelectionCapture capture(tree);
        int pageAsked = 0;
        capture.bus.change = [&](ScriptedAccessibleTree&, const QString& method, const QString& path) {
            if (path == u"/page"_s && (method == u"GetSelection"_s || method == u"GetNSelections"_s)) ++pageAsked;
        };
        const auto read = capture.run(true, std::nullopt);
        ASSERT_TRUE(read) << rawValue(read.error()).toStdString();
        const QStringList lines =
            wholePage ? QStringList{u"前書き。"_s} + row.lines + QStringList{u"後書き。"_s} : row.lines;
        EXPECT_EQ(capture.desktop.requests.value(0).text.value_or(QString()).split(u'\n', Qt::SkipEmptyParts), lines);
        // The page's, where its text holds more than objects; else its row's first and last items' (two questions
        // each here), which tell both the page's selection and the row's (the row, made of items alone, is
        // selected whole where both are): once to read the page, once to find its selection still where it was.
        EXPECT_LE(selectionQuestions(capture), wholePage ? 2 : 8);
        EXPECT_EQ(pageAsked, wholePage ? 2 : 0);
        // Nor for its role: each item's tag tells what it is.
        EXPECT_LE(capture.bus.calls.value(u"GetRole"_s), 16);
    }
}

// The elements of a page whose tag tells what they are (a <b>, a link, a ruby) are not asked for their role. A
// field (a password field, a one-line field) and an element the page gave a role of its own are, and nothing of
// a field's text or selection is asked: the reading leaves them out.
TEST(DrawnLines, OnlyElementsWhoseTagCannotTellWhatTheyAreAreAskedTheirRole) {
    const QStringList objects{u"/bold"_s, u"/password"_s, u"/field"_s, u"/box"_s, u"/link"_s};
    ScriptedAccessibleTree tree = pageShowing(u"前\uFFFC\uFFFC\uFFFC\uFFFC\uFFFC後"_s, {}, objects);
    addObject(tree, u"/bold"_s, u"太字"_s, u"b"_s, u"inline"_s, {});
    addObject(tree, u"/password"_s, u"合言葉"_s, u"input"_s, u"inline-block"_s, {});
    addObject(tree, u"/field"_s, u"欄の値"_s, u"input"_s, u"inline-block"_s, {});
    addObject(tree, u"/box"_s, u"役の値"_s, u"span"_s, u"inline-block"_s, {});
    addObject(tree, u"/link"_s, u"リンク"_s, u"a"_s, u"inline"_s, {});
    tree.node(u"/password"_s)->role = AccessibleRole::passwordText;
    tree.node(u"/field"_s)->role = AccessibleRole::entry;
    tree.node(u"/box"_s)->role = AccessibleRole::entry;
    tree.node(u"/box"_s)->attributes.insert(u"xml-roles"_s, u"textbox"_s);
    SelectionCapture capture(tree);
    QSet<QString> rolesAsked;
    QSet<QString> fieldsRead;
    capture.bus.change = [&](ScriptedAccessibleTree&, const QString& method, const QString& path) {
        if (method == u"GetRole"_s && objects.contains(path)) rolesAsked.insert(path);
        const bool field = path == u"/password"_s || path == u"/field"_s || path == u"/box"_s;
        if (field && method != u"GetRole"_s && method != u"GetAttributes"_s) fieldsRead.insert(path + method);
    };
    const auto read = capture.run(true, std::nullopt);
    ASSERT_TRUE(read) << rawValue(read.error()).toStdString();
    EXPECT_EQ(capture.desktop.requests.value(0).text, u"前太字リンク後"_s);
    EXPECT_EQ(rolesAsked, (QSet<QString>{u"/password"_s, u"/field"_s, u"/box"_s}));
    EXPECT_TRUE(fieldsRead.isEmpty()) << fieldsRead.values().join(u' ').toStdString();
}

// Firefox answers the first questions about a page's object attributes after it starts with none at all, and
// the next ones whole: the items of a wrapping flex row read so are placed where they are drawn, as in every
// later capture, never each taken for a block of its own for want of its container's display, even where the
// container's attributes never come. It answers the first questions about where characters are drawn with empty
// boxes, and its box of a range takes in the character at the range's end: a row of 2,200 items read so is read
// into its rows, and no item of a row of one line is asked what it holds, nor has its own characters looked at.
TEST(DrawnLines, TheFirstCaptureAfterTheBrowserStartsReadsTheRowsAsTheNextOne) {
    const Row row = wrappingRow(12, 4);
    ScriptedAccessibleTree page = pageShowing(u"\uFFFC"_s, {{0, 0, 0}}, {u"/row"_s});
    addFlexRow(page, row);
    const QString later = readOverTheBus(page);
    EXPECT_EQ(later.split(u'\n'), row.lines);

    ScriptedAccessibleTree starting = page;
    for (ScriptedNode& node : starting.nodes) node.attributes.clear();
    SelectionCapture first(starting);
    bool asked = false;
    first.bus.change = [&](ScriptedAccessibleTree& tree, const QString& method, const QString& path) {
        if (method != u"GetAttributes"_s || path == u"/page"_s || !std::exchange(asked, true)) return;
        for (ScriptedNode& node : tree.nodes) node.attributes = page.node(node.path)->attributes;
    };
    const auto read = first.run(true, std::nullopt);
    ASSERT_TRUE(read) << rawValue(read.error()).toStdString();
    EXPECT_EQ(first.desktop.requests.value(0).text, later);

    // A container whose attributes never come in time: its items are still placed where they are drawn, each
    // row apart, its items together.
    ScriptedAccessibleTree untold = page;
    untold.node(u"/row"_s)->attributes.clear();
    EXPECT_EQ(readOverTheBus(untold).split(u'\n', Qt::SkipEmptyParts), row.lines);

    const Row many = wrappingRow(2'200, 22);
    ScriptedAccessibleTree firefox = pageShowing(u"\uFFFC"_s, {{0, 0, 0}}, {u"/row"_s});
    addFlexRow(firefox, many);
    SelectionCapture fresh(firefox);
    fresh.bus.rangesTakeTheirEnd = true;
    // Empty boxes until the second batch of questions about where characters are drawn.
    int boxes = 0;
    for (ScriptedNode& node : fresh.bus.tree.nodes) node.boxes = QList<AccessibleBox>(node.boxes.size());
    fresh.bus.change = [&](ScriptedAccessibleTree& tree, const QString& method, const QString&) {
        if (method == u"GetCharacterExtents"_s && ++boxes == 4)
            for (ScriptedNode& node : tree.nodes) node.boxes = firefox.node(node.path)->boxes;
    };
    const auto rows = fresh.run(true, std::nullopt);
    ASSERT_TRUE(rows) << rawValue(rows.error()).toStdString();
    EXPECT_EQ(fresh.desktop.requests.value(0).text.value_or(QString()).split(u'\n', Qt::SkipEmptyParts), many.lines);
    EXPECT_EQ(fresh.bus.calls.value(u"ChildCount"_s) + fresh.bus.calls.value(u"GetStringAtOffset"_s), 0);
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

    // Rewritten once, as the ruby's attributes are asked for: the next read finds the new paragraph.
    SelectionCapture once(page);
    int rewrites = 0;
    once.bus.change = [&](ScriptedAccessibleTree& tree, const QString& method, const QString& path) {
        if (rewrites == 0 && method == u"GetAttributes"_s && path == u"/rewritten1/ruby"_s)
            rewrite(tree, ++rewrites + 1);
    };
    const auto read = once.run(true, std::nullopt);
    ASSERT_TRUE(read) << rawValue(read.error()).toStdString();
    EXPECT_EQ(rewrites, 1);
    EXPECT_EQ(once.desktop.requests.value(0).text, u"吾輩は猫である。"_s);

    // Rewritten whenever a ruby is asked for its attributes, or a paragraph for its text: refused.
    for (const QString& asked : {u"GetAttributes"_s, u"GetText"_s}) {
        SelectionCapture always(page);
        int generation = 1;
        always.bus.change = [&](ScriptedAccessibleTree& tree, const QString& method, const QString& path) {
            if (method == asked && path.startsWith(u"/rewritten"_s)) rewrite(tree, ++generation);
        };
        EXPECT_EQ(failureOf(always.run(true, std::nullopt)), CaptureFailure::sourceChanged) << asked.toStdString();
        EXPECT_TRUE(always.desktop.requests.isEmpty());
    }
}

// A page in the middle of making its paragraph again answers for the ruby inside the selected stretch as it
// is made: nothing selected in it though it has text, a selection without text, or nothing at all of a link
// whose place the paragraph's text holds. None of them is taken for the ruby's words being gone: the ruby,
// selected whole where it stands, is read whole where it has its text, and otherwise the selection is read
// again, whole once the page holds still, else refused; never stored short.
TEST(DrawnLines, AnObjectHalfMadeInsideTheSelectionIsReadAgainNeverLeftOut) {
    const auto pageWith = [](const std::function<void(ScriptedNode&)>& halfMade) {
        ScriptedAccessibleTree tree = pageShowing(u"\uFFFC"_s, {}, {u"/said"_s});
        tree.nodes.append({.path = u"/said"_s,
                           .role = test::kParagraphRole,
                           .parent = u"/page"_s,
                           .text = u"吾輩は\uFFFCである。"_s,
                           .selections = {{0, 8}},
                           .embedded = {u"/ruby"_s},
                           .attributes = {{u"tag"_s, u"p"_s}, {u"display"_s, u"block"_s}}});
        ScriptedNode ruby{.path = u"/ruby"_s,
                          .role = test::kParagraphRole,
                          .parent = u"/said"_s,
                          .text = u"猫"_s,
                          .selections = {{0, 1}},
                          .attributes = {{u"tag"_s, u"ruby"_s}, {u"display"_s, u"ruby"_s}}};
        halfMade(ruby);
        tree.nodes.append(ruby);
        return tree;
    };
    const ScriptedAccessibleTree whole = pageWith([](ScriptedNode&) {});
    struct Case {
        const char* what;
        std::function<void(ScriptedNode&)> halfMade;
    };
    for (const Case& c : {Case{"nothing selected", [](ScriptedNode& ruby) { ruby.selections.clear(); }},
                          Case{"an empty selection",
                               [](ScriptedNode& ruby) {
                                   ruby.selections = {{1, 1}};
                               }},
                          Case{"a selection without text", [](ScriptedNode& ruby) { ruby.text = QString(); }},
                          Case{"neither", [](ScriptedNode& ruby) {
                                   ruby.text = QString();
                                   ruby.selections.clear();
                               }}}) {
        SCOPED_TRACE(c.what);
        const ScriptedAccessibleTree halfMade = pageWith(c.halfMade);
        SelectionCapture always(halfMade);
        const auto stays = always.run(true, std::nullopt);
        const std::string_view what = c.what;
        if (what == "neither") {
            // An empty object may be one the page keeps empty: it is taken once two reads agree (each asks the
            // paragraph's selection, which tells the page's too, and again to find it still where it was).
            EXPECT_TRUE(stays);
            EXPECT_EQ(always.bus.calls.value(u"GetSelection"_s), 4);
        } else if (what != "a selection without text") {
            // Its text is there: its selection is never asked for.
            ASSERT_TRUE(stays) << rawValue(stays.error()).toStdString();
            EXPECT_EQ(always.desktop.requests.value(0).text, u"吾輩は猫である。"_s);
        } else {
            EXPECT_EQ(failureOf(stays), CaptureFailure::sourceChanged);
            EXPECT_TRUE(always.desktop.requests.isEmpty());
        }

        // Made whole after the first read: the second is stored.
        // Each read asks the page's text twice: for its objects, which tell its selection, and for what is selected.
        SelectionCapture once(halfMade);
        int pageTexts = 0;
        once.bus.change = [&](ScriptedAccessibleTree& tree, const QString& method, const QString& path) {
            if (method == u"GetText"_s && path == u"/page"_s && ++pageTexts > 2)
                *tree.node(u"/ruby"_s) = *pageWith([](ScriptedNode&) {}).node(u"/ruby"_s);
        };
        const auto read = once.run(true, std::nullopt);
        ASSERT_TRUE(read) << rawValue(read.error()).toStdString();
        EXPECT_EQ(once.desktop.requests.value(0).text, u"吾輩は猫である。"_s);
    }
    EXPECT_EQ(readOverTheBus(whole), u"吾輩は猫である。"_s);
}

// A U+FFFC the page's text holds as a character (what is left of an image in a text pasted from a phone's
// notes), for which the bus names no object, is left out as the page's own road leaves it out, among other text
// and in a paragraph of its own alike (its text the paragraph's own, or a text node's); the same character whose
// object vanished as the paragraph was rewritten, or whose paragraph the page makes again for every read, is a
// change, and so are place holders the bus names no object for in a box that has an object for each.
TEST(DrawnLines, AnObjectReplacementCharacterThePageWritesIsText) {
    ScriptedAccessibleTree page = pageShowing(u"写真\uFFFCの後の文。"_s, {}, {});
    EXPECT_EQ(readOverTheBus(page), u"写真の後の文。"_s);

    // Written again, a character on, whenever the bus is asked what stands at the character.
    SelectionCapture rewritten(page);
    rewritten.bus.change = [](ScriptedAccessibleTree& tree, const QString& method, const QString&) {
        if (method != u"GetLinkIndex"_s) return;
        QString& text = *tree.node(u"/page"_s)->text;
        text = text.startsWith(u"写真"_s) ? u"写\uFFFC真の後の文。"_s : u"写真\uFFFCの後の文。"_s;
    };
    EXPECT_EQ(failureOf(rewritten.run(true, std::nullopt)), CaptureFailure::sourceChanged);

    // A note of three paragraphs, the second the character alone.
    ScriptedAccessibleTree note = pageShowing(u"\uFFFC\uFFFC\uFFFC"_s, {}, {u"/memo"_s, u"/photo0"_s, u"/caption"_s});
    addObject(note, u"/memo"_s, u"旅行のメモです。"_s, u"p"_s, u"block"_s, {});
    addObject(note, u"/photo0"_s, u"\uFFFC"_s, u"p"_s, u"block"_s, {});
    addObject(note, u"/caption"_s, u"駅前で撮った写真です。"_s, u"p"_s, u"block"_s, {});
    EXPECT_EQ(readOverTheBus(note), u"旅行のメモです。\n\n駅前で撮った写真です。"_s);
    ScriptedAccessibleTree textNode = note;
    textNode.node(u"/photo0"_s)->children = {u"/photo0/text"_s};
    textNode.nodes.append(
        {.path = u"/photo0/text"_s, .role = AccessibleRole::staticText, .parent = u"/photo0"_s, .text = u"\uFFFC"_s});
    EXPECT_EQ(readOverTheBus(textNode), u"旅行のメモです。\n\n駅前で撮った写真です。"_s);

    // Its second paragraph made again, a new object of the same text, whenever the page's text is read.
    SelectionCapture remade(note);
    int made = 0;
    remade.bus.change = [&](ScriptedAccessibleTree& tree, const QString& method, const QString& path) {
        if (method != u"GetText"_s || path != u"/page"_s) return;
        ScriptedNode photo = *tree.node(u"/photo0"_s);
        photo.path = u"/photo"_s + QString::number(++made);
        tree.nodes.append(photo);
        tree.node(u"/page"_s)->embedded[1] = photo.path;
    };
    EXPECT_EQ(failureOf(remade.run(true, std::nullopt)), CaptureFailure::sourceChanged);
    EXPECT_TRUE(remade.desktop.requests.isEmpty());

    // A box whose two paragraphs the bus names no object for, its text as it was (Chromium, while the page writes
    // them again every few milliseconds).
    ScriptedAccessibleTree box = pageShowing(u"\uFFFC\uFFFC"_s, {}, {u"/memo"_s, u"/box"_s});
    addObject(box, u"/memo"_s, u"旅行のメモです。"_s, u"p"_s, u"block"_s, {});
    addObject(box, u"/box"_s, u"\uFFFC\uFFFC"_s, u"div"_s, u"block"_s, {});
    for (const QString& paragraph : {u"/box/first"_s, u"/box/second"_s}) {
        box.node(u"/box"_s)->children.append(paragraph);
        addObject(box, paragraph, u"吾輩は猫である。"_s, u"p"_s, u"block"_s, {});
    }
    SelectionCapture remaking(box);
    EXPECT_EQ(failureOf(remaking.run(true, std::nullopt)), CaptureFailure::sourceChanged);
    EXPECT_TRUE(remaking.desktop.requests.isEmpty());
}

}  // namespace
}  // namespace tavrine
