#include "PelmoraMac/Source/internal/BoundedTextLayout.h"

#include "PelmoraMac/Source/internal/CaretMoves.h"

#include <QFontMetricsF>

#include <algorithm>
#include <cmath>

namespace tavrine {

BoundedTextLayout::BoundedTextLayout(ReaderBoundedContentStorage& storage, double width)
    : m_storage(storage), m_width(std::max(width, 1.0)) {
    measure();
    cutBlocks();
    estimateHeights();
}

void BoundedTextLayout::measure() {
    // The measure of the estimates: the first piece's units per pixel and its line height.
    m_storage.enumerateTextElements(
        std::nullopt, ReaderBoundedContentStorage::Direction::forward,
        [this](const std::shared_ptr<const ReaderBoundedParagraph>& piece) {
            const QFont font = piece->formats.isEmpty() ? QFont() : piece->formats[0].format.font();
            const QFontMetricsF metrics(font);
            m_unitWidth =
                std::max(1.0, metrics.horizontalAdvance(piece->text) / std::max<qsizetype>(piece->text.size(), 1));
            m_lineHeight = metrics.lineSpacing() + piece->format.lineHeight();
            m_paragraphSpacing = piece->format.topMargin() + piece->format.bottomMargin();
            return false;
        });
}

void BoundedTextLayout::cutBlocks() {
    const QList<TextRange>& pieces = m_storage.ranges();
    const QList<TextRange>& paragraphs = m_storage.paragraphs();
    static const QList<ReaderGridCell> none;
    const QList<ReaderGridCell>& cells = m_storage.drawsGridTables() ? m_storage.article().cells() : none;
    qsizetype cell = 0;
    for (qsizetype i = 0; i < pieces.size(); ++i) {
        // Cells end with a line feed, so a piece lies wholly inside a cell or wholly outside all of them.
        while (cell < cells.size() && cells[cell].span.end <= pieces[i].lowerBound) ++cell;
        if (cell < cells.size() && cells[cell].span.start <= pieces[i].lowerBound) {
            if (!m_blocks.isEmpty() && m_blocks.last().isTable() &&
                cells[m_blocks.last().firstCell].table == cells[cell].table) {
                Block& table = m_blocks.last();
                ++table.pieceCount;
                table.range.upperBound = pieces[i].upperBound;
                table.cellCount = cell - table.firstCell + 1;
            } else {
                m_blocks.append({i, 1, pieces[i], cell, 1, cells[cell].columns});
            }
            continue;
        }
        if (!m_blocks.isEmpty()) {
            Block& last = m_blocks.last();
            if (!last.isTable() && last.pieceCount < kPiecesPerBlock && paragraphs[last.firstPiece] == paragraphs[i]) {
                ++last.pieceCount;
                last.range.upperBound = pieces[i].upperBound;
                continue;
            }
        }
        m_blocks.append({i, 1, pieces[i]});
    }
}

void BoundedTextLayout::setWidth(double width) {
    m_layouts.clear();
    m_width = std::max(width, 1.0);
    estimateHeights();
}

void BoundedTextLayout::estimateHeights() {
    QList<double> heights;
    heights.reserve(m_blocks.size());
    for (const Block& block : m_blocks) heights.append(estimatedHeight(block));
    m_heights = HeightIndex(heights);
}

double BoundedTextLayout::estimatedHeight(const Block& block) const {
    if (block.isTable()) {
        const QTextTableCellFormat& box = m_storage.article().cells()[block.firstCell].format;
        const double padding = box.topPadding() + box.bottomPadding();
        const double cellWidth = std::max(m_width / block.columns - box.leftPadding() - box.rightPadding(), 1.0);
        const double cellUnits = static_cast<double>(block.range.length()) / block.cellCount;
        const double lines = std::max(1.0, std::ceil(cellUnits * m_unitWidth / cellWidth));
        return static_cast<double>(block.cellCount / block.columns) * (lines * m_lineHeight + padding);
    }
    const double lines = std::max(1.0, std::ceil(block.range.length() * m_unitWidth / m_width));
    return lines * m_lineHeight + m_paragraphSpacing;
}

BoundedTextLayout::Part BoundedTextLayout::layOutParagraph(qsizetype firstPiece, qsizetype pieceCount, double width) {
    const TextRange range{m_storage.ranges()[firstPiece].lowerBound,
                          m_storage.ranges()[firstPiece + pieceCount - 1].upperBound};
    QString text;
    text.reserve(range.length());
    QList<QTextLayout::FormatRange> formats;
    QTextBlockFormat first;
    QTextBlockFormat last;
    qsizetype seen = 0;
    m_storage.enumerateTextElements(range.lowerBound, ReaderBoundedContentStorage::Direction::forward,
                                    [&](const std::shared_ptr<const ReaderBoundedParagraph>& piece) {
                                        if (seen == 0) first = piece->format;
                                        last = piece->format;
                                        const int shift = static_cast<int>(text.size());
                                        for (QTextLayout::FormatRange format : piece->formats) {
                                            format.start += shift;
                                            formats.append(format);
                                        }
                                        text += piece->text;
                                        return ++seen < pieceCount;
                                    });
    Part made;
    made.range = range;
    made.text = std::make_unique<QTextLayout>(text, formats.isEmpty() ? QFont() : formats[0].format.font());
    made.text->setFormats(formats);
    QTextOption option;
    option.setWrapMode(QTextOption::WrapAtWordBoundaryOrAnywhere);
    made.text->setTextOption(option);
    made.text->setCacheEnabled(true);
    made.lineSpacing = first.lineHeightType() == QTextBlockFormat::LineDistanceHeight ? first.lineHeight() : 0;
    const double left = first.leftMargin();
    const double lineWidth = std::max(width - left - first.rightMargin(), 1.0);
    double y = first.topMargin();
    made.text->beginLayout();
    for (bool firstLine = true;; firstLine = false) {
        QTextLine line = made.text->createLine();
        if (!line.isValid()) break;
        const double indent = firstLine ? first.textIndent() : 0;
        line.setLineWidth(std::max(lineWidth - indent, 1.0));
        line.setPosition(QPointF(left + indent, y));
        y += line.height() + made.lineSpacing;
    }
    made.text->endLayout();
    made.height = y + last.bottomMargin();
    return made;
}

BoundedTextLayout::BlockLayout BoundedTextLayout::layOutTable(const Block& block) {
    const QList<ReaderGridCell>& cells = m_storage.article().cells();
    const QList<TextRange>& pieces = m_storage.ranges();
    const QList<TextRange>& paragraphs = m_storage.paragraphs();
    BlockLayout made;
    // Equal columns over the width; borders collapse onto the boxes' edges.
    const double columnWidth = m_width / block.columns;
    qsizetype piece = block.firstPiece;
    const qsizetype endPiece = block.firstPiece + block.pieceCount;
    double rowTop = 0;
    qsizetype rowStart = 0;
    for (qsizetype index = block.firstCell; index < block.firstCell + block.cellCount; ++index) {
        const ReaderGridCell& cell = cells[index];
        const QTextTableCellFormat& format = cell.format;
        CellBox box{index, {}, static_cast<qsizetype>(made.parts.size()), 0};
        const double x = cell.column * columnWidth;
        const double width = std::max(columnWidth - format.leftPadding() - format.rightPadding(), 1.0);
        double y = 0;
        while (piece < endPiece && pieces[piece].lowerBound < cell.span.end) {
            qsizetype count = 1;
            while (piece + count < endPiece && paragraphs[piece + count] == paragraphs[piece]) ++count;
            Part part = layOutParagraph(piece, count, width);
            part.origin = QPointF(x + format.leftPadding(), y);
            y += part.height;
            made.parts.push_back(std::move(part));
            piece += count;
        }
        box.partCount = static_cast<qsizetype>(made.parts.size()) - box.firstPart;
        box.box = QRectF(x, 0, columnWidth, y + format.topPadding() + format.bottomPadding());
        made.cells.push_back(box);
        if (cell.column + 1 < block.columns && index + 1 < block.firstCell + block.cellCount) continue;
        // The row is complete: every box takes the tallest one's height, and the texts move down with it.
        double rowHeight = 0;
        for (qsizetype i = rowStart; i < static_cast<qsizetype>(made.cells.size()); ++i)
            rowHeight = std::max(rowHeight, made.cells[i].box.height());
        for (qsizetype i = rowStart; i < static_cast<qsizetype>(made.cells.size()); ++i) {
            CellBox& done = made.cells[i];
            done.box.setTop(rowTop);
            done.box.setHeight(rowHeight);
            const double padding = cells[done.cell].format.topPadding();
            for (qsizetype p = done.firstPart; p < done.firstPart + done.partCount; ++p)
                made.parts[p].origin.ry() += rowTop + padding;
        }
        rowTop += rowHeight;
        rowStart = static_cast<qsizetype>(made.cells.size());
    }
    made.height = rowTop;
    return made;
}

const BoundedTextLayout::BlockLayout& BoundedTextLayout::layout(qsizetype index) {
    auto found = m_layouts.find(index);
    if (found != m_layouts.end()) return found->second;
    const Block& block = m_blocks[index];
    BlockLayout made;
    if (block.isTable()) {
        made = layOutTable(block);
    } else {
        made.parts.push_back(layOutParagraph(block.firstPiece, block.pieceCount, m_width));
        made.height = made.parts.front().height;
    }
    correctHeight(index, made.height);
    return m_layouts.emplace(index, std::move(made)).first->second;
}

void BoundedTextLayout::correctHeight(qsizetype index, double height) {
    const double previous = m_heights.height(index);
    if (std::abs(height - previous) <= 0.01) return;
    const double top = m_heights.top(index);
    // The text in view that stays where it is shown: the block's own end when it starts above the top,
    // else the next block laid out, when that lies in view.
    const auto next = m_layouts.upper_bound(index);
    const bool movesTop =
        top < m_viewTop || (next != m_layouts.end() && m_heights.top(next->first) < m_viewTop + m_viewHeight);
    m_heights.setHeight(index, height);
    if (movesTop) {
        m_viewTop += height - previous;
        if (m_onViewTopMoved) m_onViewTopMoved();
    }
}

std::pair<qsizetype, qsizetype> BoundedTextLayout::layOutView() {
    if (m_blocks.isEmpty()) return {0, -1};
    for (;;) {
        // A pixel beyond each edge: the view shows the top to the nearest pixel.
        const double top = m_viewTop;
        const qsizetype first = m_heights.blockAt(top - 1);
        qsizetype last = first;
        for (qsizetype index = first;
             index < blockCount() && (index == first || blockTop(index) <= top + m_viewHeight + 1); ++index) {
            layout(index);
            last = index;
            // The top moved: other blocks may meet the view now.
            if (m_viewTop != top) break;
        }
        if (m_viewTop == top) return {first, last};
    }
}

void BoundedTextLayout::layOutAround(TextRange range, double reach) {
    if (m_blocks.isEmpty()) return;
    const qsizetype firstBlock = blockHolding(range.lowerBound);
    const qsizetype lastBlock = blockHolding(range.upperBound);
    layout(firstBlock);
    double covered = 0;
    for (qsizetype index = firstBlock - 1; index >= 0 && covered < reach; --index) {
        layout(index);
        covered += m_heights.height(index);
    }
    covered = 0;
    for (qsizetype index = firstBlock + 1; index < m_blocks.size() && (index <= lastBlock || covered < reach);
         ++index) {
        layout(index);
        covered += m_heights.height(index);
    }
}

qsizetype BoundedTextLayout::blockHolding(qsizetype offset) const {
    const auto after =
        std::upper_bound(m_blocks.begin(), m_blocks.end(), offset,
                         [](qsizetype value, const Block& block) { return value < block.range.upperBound; });
    return std::min<qsizetype>(after - m_blocks.begin(), m_blocks.size() - 1);
}

void BoundedTextLayout::setVisibleBlocks(qsizetype first, qsizetype last) {
    m_visibleFirst = first;
    m_visibleLast = last;
    for (auto it = m_layouts.begin(); it != m_layouts.end();) {
        const bool near = it->first >= first - kKeptBlocks && it->first <= last + kKeptBlocks;
        it = near ? std::next(it) : m_layouts.erase(it);
    }
}

std::optional<TextRange> BoundedTextLayout::visibleRange() const {
    if (m_visibleLast < m_visibleFirst || m_blocks.isEmpty()) return std::nullopt;
    return TextRange{m_blocks[m_visibleFirst].range.lowerBound, m_blocks[m_visibleLast].range.upperBound};
}

void BoundedTextLayout::invalidate(TextRange range) {
    for (auto it = m_layouts.begin(); it != m_layouts.end();) {
        const TextRange block = m_blocks[it->first].range;
        const bool meets = block.lowerBound < range.upperBound && range.lowerBound < block.upperBound;
        it = meets ? m_layouts.erase(it) : std::next(it);
    }
}

const BoundedTextLayout::Part& BoundedTextLayout::partHolding(const BlockLayout& laidOut, qsizetype offset) {
    const auto after =
        std::ranges::upper_bound(laidOut.parts, offset, {}, [](const Part& part) { return part.range.upperBound; });
    return after == laidOut.parts.end() ? laidOut.parts.back() : *after;
}

const BoundedTextLayout::Part& BoundedTextLayout::partAt(const BlockLayout& laidOut, QPointF point) const {
    if (laidOut.cells.empty()) return laidOut.parts.front();
    // The cell of the last row that starts at or above the point, in the column under it (the first
    // column left of the table, the last one right of it).
    const QList<ReaderGridCell>& cells = m_storage.article().cells();
    const CellBox* chosen = &laidOut.cells.front();
    for (const CellBox& box : laidOut.cells) {
        if (box.box.top() > point.y()) break;
        if (box.box.left() <= point.x() || cells[box.cell].column == 0) chosen = &box;
    }
    const Part* part = &laidOut.parts[chosen->firstPart];
    for (qsizetype p = chosen->firstPart; p < chosen->firstPart + chosen->partCount; ++p) {
        if (laidOut.parts[p].origin.y() <= point.y()) part = &laidOut.parts[p];
    }
    return *part;
}

qsizetype BoundedTextLayout::offsetAt(QPointF point) {
    if (m_blocks.isEmpty() || point.y() < 0) return 0;
    if (point.y() >= m_heights.total()) return m_storage.length();
    const qsizetype index = m_heights.blockAt(point.y());
    const QPointF inBlock(point.x(), point.y() - m_heights.top(index));
    const Part& part = partAt(layout(index), inBlock);
    const double local = inBlock.y() - part.origin.y();
    const qsizetype start = part.range.lowerBound;
    int chosen = part.text->lineCount() - 1;
    for (int i = 0; i < part.text->lineCount(); ++i) {
        const QTextLine line = part.text->lineAt(i);
        if (local < line.y() + line.height() + part.lineSpacing) {
            chosen = i;
            break;
        }
    }
    if (chosen < 0) return start;
    const QTextLine line = part.text->lineAt(chosen);
    const qsizetype relative = line.xToCursor(inBlock.x() - part.origin.x());
    // A click past a line's end that ends in a line break stays before the break.
    const qsizetype lineEnd = line.textStart() + line.textLength();
    if (relative == lineEnd && lineEnd > line.textStart())
        return CaretMoves::lineEnd(m_storage.article(), {start + line.textStart(), start + lineEnd});
    return start + relative;
}

QRectF BoundedTextLayout::caretRect(qsizetype offset) {
    if (m_blocks.isEmpty()) return QRectF(0, 0, 1, m_lineHeight);
    offset = std::clamp<qsizetype>(offset, 0, m_storage.length());
    const qsizetype index = blockHolding(offset);
    const Part& part = partHolding(layout(index), offset);
    const qsizetype relative = offset - part.range.lowerBound;
    QTextLine line = part.text->lineForTextPosition(static_cast<int>(relative));
    if (!line.isValid()) line = part.text->lineAt(part.text->lineCount() - 1);
    const double x = line.cursorToX(static_cast<int>(relative));
    return QRectF(part.origin.x() + x, m_heights.top(index) + part.origin.y() + line.y(), 1, line.height());
}

std::optional<TextRange> BoundedTextLayout::lineRange(qsizetype offset) {
    if (m_blocks.isEmpty()) return std::nullopt;
    offset = std::clamp<qsizetype>(offset, 0, m_storage.length());
    const Part& part = partHolding(layout(blockHolding(offset)), offset);
    const qsizetype start = part.range.lowerBound;
    QTextLine line = part.text->lineForTextPosition(static_cast<int>(offset - start));
    if (!line.isValid()) line = part.text->lineAt(part.text->lineCount() - 1);
    return TextRange{start + line.textStart(), start + line.textStart() + line.textLength()};
}

qsizetype BoundedTextLayout::offsetOnNextLine(qsizetype from, double x, double edge, int direction) {
    const std::optional<TextRange> here = lineRange(from);
    qsizetype target = from;
    for (int step = 1; step <= 8; ++step) {
        target = offsetAt(QPointF(x, edge + direction * step * m_lineHeight / 2));
        if (lineRange(target) != here) break;
    }
    return target;
}

}  // namespace tavrine
