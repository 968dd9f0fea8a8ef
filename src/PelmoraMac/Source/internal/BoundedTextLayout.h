#pragma once

#include "PelmoraMac/Source/ReaderBoundedContentStorage.h"
#include "PelmoraMac/Source/internal/HeightIndex.h"

#include <QPointF>
#include <QRectF>
#include <QTextLayout>

#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <utility>
#include <vector>

namespace tavrine {

// Where the bounded view's text lies, without a widget: the blocks the storage's pieces are cut into,
// their heights, the layouts kept of those near the view, and the answers to "which offset is at this
// point" and "where is this offset".
//
// A block is the pieces of one real paragraph, at most 16 of them (4,096 units), laid out as one
// QTextLayout, so a long paragraph's lines run on across the pieces' edges. When the storage draws grid
// tables, a grid table is one block: a QTextLayout per cell paragraph, in boxes of equal columns that
// share the width, each row as tall as its tallest cell. A height index over the blocks holds each
// block's height: estimated from the first piece's measure until the block is laid out, exact after.
// The text in view stays still through corrections: when the corrected block starts above the view's
// top, or text already laid out follows it in view, the top moves with the correction. So a block that
// enters from above (scrolling up) moves nothing that is shown, and one that enters from below never
// moves what is above it.
//
// Coordinates: x from the text's left edge, y from the first block's top; the view adds its inset and
// its scroll position. Main thread only; one per storage and document, which must outlive it.
class BoundedTextLayout {
public:
    static constexpr qsizetype kPiecesPerBlock = 16;
    // Layouts kept on each side of the visible blocks; the rest are dropped when the visible blocks are set.
    static constexpr qsizetype kKeptBlocks = 8;

    struct Block {
        qsizetype firstPiece = 0;
        qsizetype pieceCount = 0;
        TextRange range;
        // A grid table's cells, as indexes into the article's cells; none for a paragraph.
        qsizetype firstCell = 0;
        qsizetype cellCount = 0;
        int columns = 0;

        bool isTable() const { return cellCount > 0; }
    };
    // One laid-out paragraph (a whole block, or one paragraph of a grid cell), its lines placed from its
    // origin, which is relative to the block's top left.
    struct Part {
        std::unique_ptr<QTextLayout> text;
        TextRange range;
        QPointF origin;
        double lineSpacing = 0;
        double height = 0;
    };
    // A grid cell's box relative to the block's top left, and the parts that hold its paragraphs.
    struct CellBox {
        qsizetype cell = 0;
        QRectF box;
        qsizetype firstPart = 0;
        qsizetype partCount = 0;
    };
    struct BlockLayout {
        std::vector<Part> parts;
        std::vector<CellBox> cells;
        double height = 0;
    };

    // Cuts the storage's pieces into blocks and estimates their heights at width.
    BoundedTextLayout(ReaderBoundedContentStorage& storage, double width);
    BoundedTextLayout(const BoundedTextLayout&) = delete;
    BoundedTextLayout& operator=(const BoundedTextLayout&) = delete;

    // The first piece's line height: the unit of the estimates and of the view's scroll steps.
    double lineHeight() const { return m_lineHeight; }
    double width() const { return m_width; }
    // Drops every layout and estimates every height again for the new width.
    void setWidth(double width);

    qsizetype blockCount() const { return m_blocks.size(); }
    const Block& block(qsizetype index) const { return m_blocks[index]; }
    // The block whose range holds offset (the last block past the end); the text must not be empty.
    qsizetype blockHolding(qsizetype offset) const;
    // The block at y (the first above the top, the last below the bottom).
    qsizetype blockAt(double y) const { return m_heights.blockAt(y); }
    double blockTop(qsizetype index) const { return m_heights.top(index); }
    double blockHeight(qsizetype index) const { return m_heights.height(index); }
    double height() const { return m_heights.total(); }

    // Lays block index out (once) at the width and corrects its height.
    const BlockLayout& layout(qsizetype index);
    bool isLaidOut(qsizetype index) const { return m_layouts.contains(index); }
    qsizetype layoutCount() const { return static_cast<qsizetype>(m_layouts.size()); }
    // Lays out the blocks of range and reach (a height) of blocks on each side of its first block, so that
    // nothing moves once the view is scrolled to it, whichever way the scroll puts it.
    void layOutAround(TextRange range, double reach);

    // Where the view's top edge stands, and how tall the view is. A correction that would move the text in
    // view (see the class comment) moves the top by the same amount instead and then calls the listener,
    // which moves the view to match.
    double viewTop() const { return m_viewTop; }
    void setViewTop(double y) { m_viewTop = y; }
    void setViewHeight(double height) { m_viewHeight = height; }
    void setOnViewTopMoved(std::function<void()> listener) { m_onViewTopMoved = std::move(listener); }
    // Lays out every block that meets the view, and those that corrections on the way bring into it;
    // answers the first and the last block in view (none, last before first, without text).
    std::pair<qsizetype, qsizetype> layOutView();

    // The blocks that meet the view, as the last paint found them; setting them drops the layouts of the
    // blocks further than kKeptBlocks from them. None (last before first) until the first paint.
    void setVisibleBlocks(qsizetype first, qsizetype last);
    std::pair<qsizetype, qsizetype> visibleBlocks() const { return {m_visibleFirst, m_visibleLast}; }
    // The document range of the visible blocks; none before the first paint or without text.
    std::optional<TextRange> visibleRange() const;
    // Drops the layouts of the blocks that meet range (their pieces are gone from the storage).
    void invalidate(TextRange range);

    // The offset nearest point: 0 above the text, its length below it; a point past the end of a line that
    // ends in a line break stays before the break; in a grid table, the cell under the point (of the row
    // that starts at or above it; the first column left of the table, the last right of it).
    qsizetype offsetAt(QPointF point);
    // The caret's rectangle before offset (clamped into the text), one unit wide and a line high.
    QRectF caretRect(qsizetype offset);
    // The visual line that holds offset; none without text.
    std::optional<TextRange> lineRange(qsizetype offset);
    // The offset at x on the first line above (direction -1) or below (1) the line of from, whose edge
    // (its top or its bottom) is given: half a line at a time, since a table cell's padding and spacing
    // can lie between one line and the next.
    qsizetype offsetOnNextLine(qsizetype from, double x, double edge, int direction);

private:
    void measure();
    void cutBlocks();
    void estimateHeights();
    double estimatedHeight(const Block& block) const;
    // The paragraph of pieces [firstPiece, firstPiece + pieceCount) laid out width wide, at origin 0.
    Part layOutParagraph(qsizetype firstPiece, qsizetype pieceCount, double width);
    BlockLayout layOutTable(const Block& block);
    void correctHeight(qsizetype index, double height);
    static const Part& partHolding(const BlockLayout& layout, qsizetype offset);
    // The part nearest a point relative to the block's top left.
    const Part& partAt(const BlockLayout& layout, QPointF point) const;

    ReaderBoundedContentStorage& m_storage;
    QList<Block> m_blocks;
    HeightIndex m_heights;
    std::map<qsizetype, BlockLayout> m_layouts;
    double m_width = 1;
    double m_unitWidth = 8;
    double m_lineHeight = 20;
    double m_paragraphSpacing = 0;
    double m_viewTop = 0;
    double m_viewHeight = 0;
    std::function<void()> m_onViewTopMoved;
    qsizetype m_visibleFirst = 0;
    qsizetype m_visibleLast = -1;
};

}  // namespace tavrine
