// Where the bounded view's text lies, without a widget: blocks and their estimated heights corrected as
// they are laid out, the text in view kept still through corrections above it, the layouts kept near
// the view, and hit testing at the edges of lines, pieces, the text and grid tables.
#include "PelmoraMac/Source/ReaderBoundedContentStorage.h"
#include "PelmoraMac/Source/internal/BoundedTextLayout.h"
#include "PelmoraMac/Source/internal/CaretMoves.h"
#include "PelmoraMac/Source/internal/HeightIndex.h"
#include "support/QtPrinters.h"

#include "SourceTesting.h"

#include <gtest/gtest.h>

namespace tavrine {
namespace {
using namespace Qt::StringLiterals;

ReadingDocument plainDocument(QString text) {
    return {.sections = std::nullopt, .text = std::move(text), .spans = {}};
}

// A short narrow first paragraph (the measure of the estimates), then wide paragraphs the estimates
// underrate: every one of them is corrected when laid out.
QString underratedParagraphs(int count = 60) {
    QString text = u"ab\n"_s;
    for (int i = 0; i < count; ++i) text += QString(300, u'漢') + u'\n';
    return text;
}

TEST(BoundedTextLayoutTest, EstimatesAreCorrectedBlockByBlockAndTheTopsFollow) {
    ReaderBoundedContentStorage storage(plainDocument(underratedParagraphs()), 15);
    BoundedTextLayout layout(storage, 400);
    ASSERT_EQ(layout.blockCount(), 61);
    const double estimated = layout.blockHeight(5);
    const double totalBefore = layout.height();

    const double laidOut = layout.layout(5).height;
    EXPECT_GT(laidOut, estimated * 1.5) << "the wide paragraph is underrated";
    EXPECT_DOUBLE_EQ(layout.blockHeight(5), laidOut);
    EXPECT_NEAR(layout.height(), totalBefore - estimated + laidOut, 0.01);
    EXPECT_NEAR(layout.blockTop(6), layout.blockTop(5) + laidOut, 0.01);
    // Laid out again, nothing changes; a new width drops every layout and estimates anew.
    layout.layout(5);
    EXPECT_DOUBLE_EQ(layout.blockHeight(5), laidOut);
    layout.setWidth(200);
    EXPECT_EQ(layout.layoutCount(), 0);
    const double narrower = layout.blockHeight(5);
    EXPECT_GT(narrower, estimated);
    EXPECT_LT(narrower, layout.layout(5).height);
}

TEST(BoundedTextLayoutTest, CorrectionsAboveTheTextInViewMoveTheTopSoThatTextStaysStill) {
    ReaderBoundedContentStorage storage(plainDocument(underratedParagraphs()), 15);
    BoundedTextLayout layout(storage, 400);
    int moves = 0;
    layout.setOnViewTopMoved([&] { ++moves; });
    // The view's top 10 pixels into block 40: the block that holds it keeps its end, and what follows it,
    // where they are shown.
    layout.setViewTop(layout.blockTop(40) + 10);
    layout.setViewHeight(300);
    const double nextBlock = layout.blockTop(41) - layout.viewTop();
    layout.layout(40);
    EXPECT_EQ(moves, 1);
    EXPECT_NEAR(layout.blockTop(41) - layout.viewTop(), nextBlock, 0.01);

    // Blocks wholly above: the character at the top stays there.
    const qsizetype atTop = layout.offsetAt({0, layout.viewTop()});
    for (qsizetype block = 39; block >= 20; --block) layout.layout(block);
    EXPECT_EQ(moves, 21);
    EXPECT_EQ(layout.offsetAt({0, layout.viewTop()}), atTop);
    // Blocks below the top with nothing laid out after them in view move nothing: only text not shown yet.
    const double top = layout.viewTop();
    layout.layout(41);
    layout.layout(50);
    EXPECT_EQ(moves, 21);
    EXPECT_DOUBLE_EQ(layout.viewTop(), top);

    // Blocks 44 (holding the top) and 45 come into view above block 46, laid out: 46 stays still.
    layout.setViewTop(0);
    layout.layout(46);
    layout.setViewTop(layout.blockTop(44) + 10);
    layout.setViewHeight(layout.blockTop(46) + 40 - layout.viewTop());
    const double shown = layout.blockTop(46) - layout.viewTop();
    const auto [first, last] = layout.layOutView();
    EXPECT_EQ(moves, 23);
    EXPECT_NEAR(layout.blockTop(46) - layout.viewTop(), shown, 0.01);
    EXPECT_EQ(last, 46);
    EXPECT_LE(layout.blockTop(first), layout.viewTop());
    for (qsizetype block = first; block <= last; ++block) EXPECT_TRUE(layout.isLaidOut(block)) << block;
    // Laid out already, nothing moves again.
    EXPECT_EQ(layout.layOutView(), std::pair(first, last));
    EXPECT_EQ(moves, 23);

    // A block that ends exactly at the top is wholly above it.
    layout.setViewTop(layout.blockTop(10));
    layout.layout(9);
    EXPECT_EQ(moves, 24);
    EXPECT_NEAR(layout.viewTop(), layout.blockTop(10), 0.01);
}

TEST(BoundedTextLayoutTest, OnlyLayoutsNearTheVisibleBlocksAreKeptAndEvictedPiecesDropTheirs) {
    ReaderBoundedContentStorage storage(plainDocument(underratedParagraphs()), 15);
    BoundedTextLayout layout(storage, 400);
    EXPECT_EQ(layout.visibleRange(), std::nullopt);
    for (qsizetype block = 0; block < layout.blockCount(); ++block) layout.layout(block);

    layout.setVisibleBlocks(30, 32);
    EXPECT_EQ(layout.layoutCount(), 3 + 2 * BoundedTextLayout::kKeptBlocks);
    EXPECT_FALSE(layout.isLaidOut(30 - BoundedTextLayout::kKeptBlocks - 1));
    EXPECT_TRUE(layout.isLaidOut(30 - BoundedTextLayout::kKeptBlocks));
    EXPECT_TRUE(layout.isLaidOut(32 + BoundedTextLayout::kKeptBlocks));
    EXPECT_FALSE(layout.isLaidOut(32 + BoundedTextLayout::kKeptBlocks + 1));
    EXPECT_EQ(layout.visibleRange(), (TextRange{layout.block(30).range.lowerBound, layout.block(32).range.upperBound}));

    // A range that ends where block 31 starts leaves it; one unit more drops it.
    const TextRange block31 = layout.block(31).range;
    layout.invalidate({block31.lowerBound - 5, block31.lowerBound});
    EXPECT_FALSE(layout.isLaidOut(30));
    EXPECT_TRUE(layout.isLaidOut(31));
    layout.invalidate({block31.upperBound - 1, block31.upperBound + 1});
    EXPECT_FALSE(layout.isLaidOut(31));
    EXPECT_FALSE(layout.isLaidOut(32));
    EXPECT_TRUE(layout.isLaidOut(33));
}

TEST(BoundedTextLayoutTest, HitTestsAtTheEdgesOfTheTextAndOfLinesEndingInABreak) {
    const QString text = u"一行目\r\n二行目の本文\n最後の行"_s;
    ReaderBoundedContentStorage storage(plainDocument(text), 15);
    BoundedTextLayout layout(storage, 400);
    ASSERT_EQ(layout.blockCount(), 3);
    EXPECT_EQ(layout.offsetAt({50, -1}), 0);
    EXPECT_EQ(layout.offsetAt({50, layout.height()}), text.size());
    EXPECT_EQ(layout.offsetAt({50, layout.height() + 500}), text.size());

    // Left of a line: its start. Right of it: before its break (the CR LF as one), or the text's end.
    const auto lineY = [&](qsizetype offset) { return layout.caretRect(offset).center().y(); };
    EXPECT_EQ(layout.offsetAt({-30, lineY(5)}), 5);
    EXPECT_EQ(layout.offsetAt({1000, lineY(0)}), 3);
    EXPECT_EQ(layout.offsetAt({1000, lineY(5)}), 11);
    EXPECT_EQ(layout.offsetAt({1000, lineY(13)}), text.size());

    // Offsets outside the text are clamped into it; caret and hit test agree on every offset.
    EXPECT_EQ(layout.caretRect(-5), layout.caretRect(0));
    EXPECT_EQ(layout.caretRect(text.size() + 5), layout.caretRect(text.size()));
    for (const qsizetype offset : {0, 1, 3, 5, 8, 12, 15}) {
        const QRectF caret = layout.caretRect(offset);
        EXPECT_EQ(layout.offsetAt(caret.center() + QPointF(1, 0)), offset) << offset;
    }
    EXPECT_EQ(layout.lineRange(text.size()), (TextRange{12, text.size()}));
    EXPECT_EQ(layout.lineRange(-3), (TextRange{0, 5}));
}

TEST(BoundedTextLayoutTest, AnEmptyTextHasNoBlocksAndAnswersTheStart) {
    ReaderBoundedContentStorage storage(plainDocument(QString()), 15);
    BoundedTextLayout layout(storage, 400);
    EXPECT_EQ(layout.blockCount(), 0);
    EXPECT_EQ(layout.height(), 0);
    EXPECT_EQ(layout.offsetAt({10, 10}), 0);
    EXPECT_EQ(layout.caretRect(3), QRectF(0, 0, 1, layout.lineHeight()));
    EXPECT_EQ(layout.lineRange(0), std::nullopt);
    layout.layOutAround({0, 0}, 800);
    layout.setVisibleBlocks(0, -1);
    EXPECT_EQ(layout.visibleRange(), std::nullopt);
}

TEST(BoundedTextLayoutTest, ALongParagraphRunsOnAcrossPieceEdgesAndASurrogatePairIsNeverSplit) {
    // 4,201 units in one paragraph: two blocks (16 pieces, then the rest); an emoji across the first
    // piece edge, another where the first block would end, so that the block ends before it.
    QString text = QString(255, u'あ') + u"😀"_s + QString(3837, u'い') + u"😀"_s + QString(104, u'う') + u'\n';
    ReaderBoundedContentStorage storage(plainDocument(text), 15);
    BoundedTextLayout layout(storage, 400);
    ASSERT_EQ(layout.blockCount(), 2);
    EXPECT_EQ(layout.block(0).range, (TextRange{0, 4'094}));

    // Every point across either emoji lands before or after it, never between its units.
    for (const qsizetype emoji : {255, 4'094}) {
        const QRectF before = layout.caretRect(emoji);
        const QRectF after = layout.caretRect(emoji + 2);
        ASSERT_EQ(before.top(), after.top()) << emoji;
        for (double x = before.left() - 1; x <= after.left() + 1; x += 0.5) {
            const qsizetype offset = layout.offsetAt({x, before.center().y()});
            EXPECT_TRUE(offset == emoji || offset == emoji + 2) << emoji << " at x " << x << ": " << offset;
        }
    }
    // Down from the first line keeps x and lands on the next line, across piece edges.
    const TextRange first = *layout.lineRange(0);
    const QRectF caret = layout.caretRect(3);
    const qsizetype below = layout.offsetOnNextLine(3, caret.left(), caret.bottom(), 1);
    EXPECT_EQ(below, first.upperBound + 3);
    EXPECT_EQ(layout.offsetOnNextLine(below, caret.left(), layout.caretRect(below).top(), -1), 3);
}

TEST(BoundedTextLayoutTest, AGridTableIsOneBlockOfRowsAsTallAsTheirTallestCell) {
    // | 見出しA | 見出しB | / | 短い | a long cell | between two paragraphs.
    const QString before = u"前の段落。\n"_s;
    const QStringList cells{u"見出しA\n"_s, u"見出しB\n"_s, u"短い\n"_s, QString(90, u'長') + u'\n'};
    QList<qsizetype> starts;
    const ReadingDocument document = test::twoColumnTableDocument(before, cells, u"後の段落。\n"_s, starts);
    const qsizetype at = starts.back() + cells.back().size();  // where the table ends
    ReaderBoundedContentStorage storage(document, 15);
    ASSERT_TRUE(storage.drawsGridTables());
    BoundedTextLayout layout(storage, 400);
    ASSERT_EQ(layout.blockCount(), 3);
    EXPECT_TRUE(layout.block(1).isTable());
    EXPECT_EQ(layout.block(1).range, (TextRange{starts[0], at}));

    const auto rect = [&](qsizetype offset) { return layout.caretRect(offset); };
    EXPECT_EQ(rect(starts[0]).top(), rect(starts[1]).top());
    EXPECT_NEAR(rect(starts[1]).left() - rect(starts[0]).left(), 200, 0.5);
    // The short cell's row is as tall as the long cell: the text after the table starts below both.
    const QRectF longEnd = rect(at - 2);
    EXPECT_GT(longEnd.top(), rect(starts[3]).bottom());
    EXPECT_GT(rect(at).top(), longEnd.bottom());
    EXPECT_DOUBLE_EQ(layout.blockHeight(1), layout.layout(1).height);

    // Left of the table: the first column; right of it: the last; under the short cell's text, still
    // the short cell (its row reaches down to the long cell's end).
    const double secondRow = rect(starts[3]).center().y();
    EXPECT_EQ(layout.offsetAt({-20, secondRow}), starts[2]);
    EXPECT_EQ(layout.offsetAt({1000, rect(starts[1]).center().y()}), starts[1] + 4);
    const qsizetype underShort = layout.offsetAt({rect(starts[2]).left() + 5, longEnd.center().y()});
    EXPECT_GE(underShort, starts[2]);
    EXPECT_LE(underShort, starts[3] - 1);
    // Down from a header keeps the column.
    const QRectF header = rect(starts[1] + 1);
    EXPECT_EQ(layout.offsetOnNextLine(starts[1] + 1, header.left(), header.bottom(), 1), starts[3] + 1);
}

TEST(HeightIndexTest, BlocksAtAndBeyondTheEdges) {
    HeightIndex heights({10, 0, 5, 20});
    EXPECT_EQ(heights.blockAt(-1), 0);
    EXPECT_EQ(heights.blockAt(9.99), 0);
    // A block of no height is passed over: y = 10 is the top of both block 1 and block 2.
    EXPECT_EQ(heights.blockAt(10), 2);
    EXPECT_EQ(heights.blockAt(35), 3);
    EXPECT_EQ(heights.blockAt(1e9), 3);
    heights.setHeight(1, 7);
    EXPECT_DOUBLE_EQ(heights.top(3), 22);
    EXPECT_EQ(heights.blockAt(10), 1);
    EXPECT_EQ(HeightIndex().blockAt(5), 0);
    EXPECT_EQ(HeightIndex().total(), 0);
}

TEST(CaretMovesTest, MovesStopAtSequenceEdgesAndAWordWindowsEdge) {
    // A run of 600 letters with no stop, then a letter with 299 combining marks, then a word.
    const QString text = QString(600, u'a') + u' ' + u'e' + QString(299, QChar(0x0301)) + u" word\n"_s;
    ReaderArticleTextStorage storage(plainDocument(text), 15);
    using namespace CaretMoves;
    EXPECT_EQ(characterAfter(storage, 601), 901);
    EXPECT_EQ(characterBefore(storage, 901), 601);
    EXPECT_EQ(characterBefore(storage, 750), 601);
    EXPECT_EQ(characterAfter(storage, -3), 1);
    EXPECT_EQ(characterAfter(storage, text.size() + 3), text.size());
    EXPECT_EQ(characterBefore(storage, 0), 0);

    // No stop inside the window: a window's length at a time.
    EXPECT_EQ(wordStart(storage, 0, true), kWordWindow);
    EXPECT_EQ(wordStart(storage, 600, false), 600 - kWordWindow);
    // The window's edge inside the long sequence that starts at offset: on past it, never back to offset.
    EXPECT_EQ(wordStart(storage, 601, true), 901);
    EXPECT_EQ(wordStart(storage, 901, true), 902);
    EXPECT_EQ(wordStart(storage, 0, false), 0);
    EXPECT_EQ(wordStart(storage, text.size(), true), text.size());

    // A double click in the long run selects a window's length each side; in "word", the word.
    EXPECT_EQ(wordAround(storage, {0, text.size()}, 300), (TextRange{300 - kWordWindow, 300 + kWordWindow}));
    EXPECT_EQ(wordAround(storage, {0, text.size()}, 904), (TextRange{902, 906}));
    EXPECT_EQ(lineEnd(storage, {902, text.size()}), text.size() - 1);
    EXPECT_EQ(lineEnd(storage, {902, 904}), 904);
    EXPECT_EQ(lineEnd(storage, {5, 5}), 5);
}

}  // namespace
}  // namespace tavrine
