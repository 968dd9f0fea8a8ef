#include "PelmoraMac/Source/BoundedTextView.h"

#include "PelmoraMac/Source/internal/BoundedTextAccessible.h"
#include "PelmoraMac/Source/internal/DragAutoScroll.h"
#include "ReaderCore/MainThread.h"
#include "ReaderUI/ReaderPalette.h"
#include "ReaderWidgets/Style/ToQColor.h"

#include <QAccessible>
#include <QApplication>
#include <QClipboard>
#include <QFontMetricsF>
#include <QKeyEvent>
#include <QPainter>
#include <QScrollBar>
#include <QTextBoundaryFinder>

#include <algorithm>
#include <cmath>

namespace tavrine {
namespace {

// Layouts kept on each side of the visible blocks; the rest are dropped after each paint.
constexpr qsizetype kKeptBlocks = 8;
// Double-click word selection looks this far around the click.
constexpr qsizetype kWordWindow = 256;

QString highlightKey(InteractionTextView::Highlight highlight) {
    return highlight == InteractionTextView::Highlight::playback ? QStringLiteral("1.playback")
                                                                 : QStringLiteral("0.search");
}

const QString& emptyText() {
    static const QString empty;
    return empty;
}

}  // namespace

BoundedTextView::BoundedTextView(QWidget* parent) : QAbstractScrollArea(parent) {
    static const bool accessible = [] {
        QAccessible::installFactory(boundedTextAccessible);
        return true;
    }();
    Q_UNUSED(accessible);
    setFrameShape(QFrame::NoFrame);
    setFocusPolicy(Qt::StrongFocus);
    InteractionRules::describeForAssistiveTechnology(*this);
    viewport()->setCursor(Qt::IBeamCursor);
    viewport()->setAutoFillBackground(false);
    m_autoScroll.setInterval(50);
    connect(&m_autoScroll, &QTimer::timeout, this, [this] { autoScroll(); });
    InteractionRules::reportUserScrolling(*this, this, [this] {
        if (!m_handlingKey) userInteracted();
    });
}

BoundedTextView::~BoundedTextView() {
    if (m_storage) m_storage->setLayoutManager(nullptr);
}

void BoundedTextView::load(const ReadingDocument& document, double pointSize) {
    Q_ASSERT(isMainThread());
    cancelReveal();
    m_initialReveal.reset();
    ++m_initialRevealGeneration;
    if (m_storage) m_storage->setLayoutManager(nullptr);
    m_layouts.clear();
    m_storage = std::make_unique<ReaderBoundedContentStorage>(document, pointSize);
    m_storage->setLayoutManager(this);
    m_highlights[0].reset();
    m_highlights[1].reset();
    m_anchor = m_position = 0;
    m_goalX.reset();
    m_visibleFirstBlock = 0;
    m_visibleLastBlock = -1;
    // The measure of the estimates: the first piece's units per pixel and its line height.
    m_storage->enumerateTextElements(
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
    cutBlocks();
    m_layoutWidth = textWidth();
    QList<double> heights;
    heights.reserve(m_blocks.size());
    for (const Block& block : m_blocks) heights.append(estimatedHeight(block));
    m_heights = HeightIndex(heights);
    verticalScrollBar()->setValue(0);
    horizontalScrollBar()->setValue(0);
    updateScrollBars();
    viewport()->update();
}

const QString& BoundedTextView::source() const {
    return m_storage ? m_storage->source() : emptyText();
}

void BoundedTextView::cutBlocks() {
    m_blocks.clear();
    const QList<TextRange>& pieces = m_storage->ranges();
    const QList<TextRange>& paragraphs = m_storage->paragraphs();
    static const QList<ReaderGridCell> none;
    const QList<ReaderGridCell>& cells = m_storage->drawsGridTables() ? m_storage->article().cells() : none;
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

double BoundedTextView::textWidth() const {
    return std::max(documentWidth() - 2 * kInset, 1.0);
}

double BoundedTextView::documentWidth() const {
    const double measured = m_storage && m_storage->drawsGridTables() ? m_storage->article().minimumWidth() : 0;
    return std::max({static_cast<double>(viewport()->width()), m_minimumDocumentWidth, measured});
}

void BoundedTextView::setMinimumDocumentWidth(double width) {
    m_minimumDocumentWidth = width;
    updateScrollBars();
}

double BoundedTextView::estimatedHeight(const Block& block) const {
    if (block.isTable()) {
        const QTextTableCellFormat& box = m_storage->article().cells()[block.firstCell].format;
        const double padding = box.topPadding() + box.bottomPadding();
        const double cellWidth = std::max(m_layoutWidth / block.columns - box.leftPadding() - box.rightPadding(), 1.0);
        const double cellUnits = static_cast<double>(block.range.length()) / block.cellCount;
        const double lines = std::max(1.0, std::ceil(cellUnits * m_unitWidth / cellWidth));
        return static_cast<double>(block.cellCount / block.columns) * (lines * m_lineHeight + padding);
    }
    const double lines = std::max(1.0, std::ceil(block.range.length() * m_unitWidth / m_layoutWidth));
    return lines * m_lineHeight + m_paragraphSpacing;
}

BoundedTextView::Part BoundedTextView::layOutParagraph(qsizetype firstPiece, qsizetype pieceCount, double width) {
    const TextRange range{m_storage->ranges()[firstPiece].lowerBound,
                          m_storage->ranges()[firstPiece + pieceCount - 1].upperBound};
    QString text;
    text.reserve(range.length());
    QList<QTextLayout::FormatRange> formats;
    QTextBlockFormat first;
    QTextBlockFormat last;
    qsizetype seen = 0;
    m_storage->enumerateTextElements(range.lowerBound, ReaderBoundedContentStorage::Direction::forward,
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

void BoundedTextView::layOutTable(const Block& block, Layout& made) {
    const QList<ReaderGridCell>& cells = m_storage->article().cells();
    const QList<TextRange>& pieces = m_storage->ranges();
    const QList<TextRange>& paragraphs = m_storage->paragraphs();
    // Equal columns over the text's width; borders collapse onto the boxes' edges.
    const double columnWidth = m_layoutWidth / block.columns;
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
}

BoundedTextView::Layout& BoundedTextView::layout(qsizetype index) {
    auto found = m_layouts.find(index);
    if (found != m_layouts.end()) return found->second;
    const Block& block = m_blocks[index];
    Layout made;
    if (block.isTable()) {
        layOutTable(block, made);
    } else {
        made.parts.push_back(layOutParagraph(block.firstPiece, block.pieceCount, m_layoutWidth));
        made.height = made.parts.front().height;
    }
    const double height = made.height;
    const double previous = m_heights.height(index);
    if (std::abs(height - previous) > 0.01) {
        const double blockTop = m_heights.top(index);
        m_heights.setHeight(index, height);
        // A block wholly above the view's top moves the text in view: follow it so that stays still.
        const double viewTop = verticalScrollBar()->value() - kInset;
        if (blockTop + previous <= viewTop) {
            const QSignalBlocker blocker(verticalScrollBar());
            updateScrollBars();
            verticalScrollBar()->setValue(verticalScrollBar()->value() +
                                          static_cast<int>(std::lround(height - previous)));
        }
    }
    return m_layouts.emplace(index, std::move(made)).first->second;
}

const BoundedTextView::Part& BoundedTextView::partHolding(const Layout& laidOut, qsizetype offset) {
    const auto after =
        std::ranges::upper_bound(laidOut.parts, offset, {}, [](const Part& part) { return part.range.upperBound; });
    return after == laidOut.parts.end() ? laidOut.parts.back() : *after;
}

const BoundedTextView::Part& BoundedTextView::partAt(const Layout& laidOut, QPointF point) const {
    if (laidOut.cells.empty()) return laidOut.parts.front();
    // The cell of the last row that starts at or above the point, in the column under it (the first
    // column left of the table, the last one right of it).
    const QList<ReaderGridCell>& cells = m_storage->article().cells();
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

void BoundedTextView::dropLayouts() {
    for (auto it = m_layouts.begin(); it != m_layouts.end();) {
        const bool near =
            it->first >= m_visibleFirstBlock - kKeptBlocks && it->first <= m_visibleLastBlock + kKeptBlocks;
        it = near ? std::next(it) : m_layouts.erase(it);
    }
}

std::optional<TextRange> BoundedTextView::protectedRange() const {
    if (m_visibleLastBlock < m_visibleFirstBlock || m_blocks.isEmpty()) return std::nullopt;
    return TextRange{m_blocks[m_visibleFirstBlock].range.lowerBound, m_blocks[m_visibleLastBlock].range.upperBound};
}

void BoundedTextView::invalidate(TextRange range) {
    for (auto it = m_layouts.begin(); it != m_layouts.end();) {
        const TextRange block = m_blocks[it->first].range;
        const bool meets = block.lowerBound < range.upperBound && range.lowerBound < block.upperBound;
        it = meets ? m_layouts.erase(it) : std::next(it);
    }
}

qsizetype BoundedTextView::blockHolding(qsizetype offset) const {
    const auto after =
        std::upper_bound(m_blocks.begin(), m_blocks.end(), offset,
                         [](qsizetype value, const Block& block) { return value < block.range.upperBound; });
    return std::min<qsizetype>(after - m_blocks.begin(), m_blocks.size() - 1);
}

void BoundedTextView::updateScrollBars() {
    const int height = viewport()->height();
    const double total = m_heights.total() + 2 * kInset;
    verticalScrollBar()->setRange(0, std::max(0, static_cast<int>(std::ceil(total)) - height));
    verticalScrollBar()->setPageStep(height);
    verticalScrollBar()->setSingleStep(static_cast<int>(m_lineHeight));
    const int width = viewport()->width();
    horizontalScrollBar()->setRange(0, std::max(0, static_cast<int>(std::ceil(documentWidth())) - width));
    horizontalScrollBar()->setPageStep(width);
    horizontalScrollBar()->setSingleStep(static_cast<int>(m_lineHeight));
}

bool BoundedTextView::hasContentHeight() const {
    return m_storage && viewport()->height() > 0 && m_heights.total() > 0;
}

void BoundedTextView::resizeEvent(QResizeEvent* event) {
    QAbstractScrollArea::resizeEvent(event);
    if (m_storage && std::abs(textWidth() - m_layoutWidth) > 0.5) {
        const std::optional<qsizetype> top = visibleOffset();
        m_layouts.clear();
        m_layoutWidth = textWidth();
        QList<double> heights;
        heights.reserve(m_blocks.size());
        for (const Block& block : m_blocks) heights.append(estimatedHeight(block));
        m_heights = HeightIndex(heights);
        updateScrollBars();
        if (top && *top > 0) {
            const QSignalBlocker blocker(verticalScrollBar());
            verticalScrollBar()->setValue(static_cast<int>(caretRect(*top).top() - kInset));
        }
    }
    updateScrollBars();
    if (m_pendingReveal || m_initialReveal) {
        const quint64 generation = m_initialRevealGeneration;
        m_viewportUpdate.schedule([this, generation] {
            revealInitialRange(generation);
            revealPending();
        });
    }
}

void BoundedTextView::scrollContentsBy(int, int) {
    viewport()->update();
}

void BoundedTextView::paintEvent(QPaintEvent* event) {
    QPainter painter(viewport());
    const QRect dirty = event->rect();
    painter.fillRect(dirty, toQColor(ReaderPalette::surface));
    if (!m_storage || m_blocks.isEmpty()) return;
    const double scrollY = verticalScrollBar()->value();
    const double scrollX = horizontalScrollBar()->value();
    const double totalBefore = m_heights.total();
    const TextRange selection{std::min(m_anchor, m_position), std::max(m_anchor, m_position)};
    const QColor wash = toQColor(ReaderPalette::selectionOverlay);
    qsizetype first = m_heights.blockAt(scrollY - kInset);
    qsizetype last = first - 1;
    for (qsizetype index = first; index < m_blocks.size(); ++index) {
        const double top = kInset + m_heights.top(index) - scrollY;
        if (top > viewport()->height()) break;
        Layout& laidOut = layout(index);
        last = index;
        const double bottom = top + m_heights.height(index);
        if (bottom < dirty.top() || top > dirty.bottom()) continue;
        const QPointF blockOrigin(kInset - scrollX, top);
        const QList<ReaderGridCell>& cells = m_storage->article().cells();
        for (const CellBox& box : laidOut.cells) {
            const QTextTableCellFormat& format = cells[box.cell].format;
            if (format.hasProperty(QTextFormat::BackgroundBrush))
                painter.fillRect(box.box.translated(blockOrigin), format.background());
        }
        for (const Part& part : laidOut.parts) {
            const QPointF origin = blockOrigin + part.origin;
            if (origin.y() > dirty.bottom() || origin.y() + part.height < dirty.top()) continue;
            part.text->draw(&painter, origin, m_storage->renderingAttributes(part.range), dirty);
            const qsizetype washStart = std::max(selection.lowerBound, part.range.lowerBound) - part.range.lowerBound;
            const qsizetype washEnd = std::min(selection.upperBound, part.range.upperBound) - part.range.lowerBound;
            for (int i = 0; washStart < washEnd && i < part.text->lineCount(); ++i) {
                const QTextLine line = part.text->lineAt(i);
                const qsizetype lineStart = line.textStart();
                const qsizetype lineEnd = lineStart + line.textLength();
                if (lineEnd <= washStart || lineStart >= washEnd) continue;
                const double x1 = line.cursorToX(static_cast<int>(std::max(washStart, lineStart)));
                const double x2 = line.cursorToX(static_cast<int>(std::min(washEnd, lineEnd)));
                painter.fillRect(
                    QRectF(origin.x() + std::min(x1, x2), origin.y() + line.y(), std::abs(x2 - x1), line.height()),
                    wash);
            }
        }
        for (const CellBox& box : laidOut.cells) {
            const QTextTableCellFormat& format = cells[box.cell].format;
            painter.setPen(QPen(format.topBorderBrush(), format.topBorder()));
            painter.drawRect(box.box.translated(blockOrigin));
        }
    }
    if (m_caretVisible && selection.isEmpty()) {
        const QRectF caret = caretRect(m_position).translated(-scrollX, -scrollY);
        painter.fillRect(caret, toQColor(ReaderPalette::text));
    }
    m_visibleFirstBlock = first;
    m_visibleLastBlock = last;
    dropLayouts();
    // Heights corrected while painting change the scroll range: that waits for the next turn.
    if (std::abs(m_heights.total() - totalBefore) > 0.5) {
        QMetaObject::invokeMethod(
            this, [this] { updateScrollBars(); }, Qt::QueuedConnection);
    }
}

std::optional<TextRange> BoundedTextView::lineRange(qsizetype offset) {
    if (!m_storage || m_blocks.isEmpty()) return std::nullopt;
    offset = std::clamp<qsizetype>(offset, 0, source().size());
    const Part& part = partHolding(layout(blockHolding(offset)), offset);
    const qsizetype start = part.range.lowerBound;
    QTextLine line = part.text->lineForTextPosition(static_cast<int>(offset - start));
    if (!line.isValid()) line = part.text->lineAt(part.text->lineCount() - 1);
    return TextRange{start + line.textStart(), start + line.textStart() + line.textLength()};
}

QRectF BoundedTextView::caretRect(qsizetype offset) {
    if (!m_storage || m_blocks.isEmpty()) return QRectF(kInset, kInset, 1, m_lineHeight);
    offset = std::clamp<qsizetype>(offset, 0, source().size());
    const qsizetype index = blockHolding(offset);
    const Part& part = partHolding(layout(index), offset);
    const qsizetype relative = offset - part.range.lowerBound;
    QTextLine line = part.text->lineForTextPosition(static_cast<int>(relative));
    if (!line.isValid()) line = part.text->lineAt(part.text->lineCount() - 1);
    const double x = line.cursorToX(static_cast<int>(relative));
    return QRectF(kInset + part.origin.x() + x, kInset + m_heights.top(index) + part.origin.y() + line.y(), 1,
                  line.height());
}

qsizetype BoundedTextView::offsetAt(QPointF point) {
    if (!m_storage || m_blocks.isEmpty()) return 0;
    const double y = point.y() - kInset;
    if (y < 0) return 0;
    if (y >= m_heights.total()) return source().size();
    const qsizetype index = m_heights.blockAt(y);
    const Layout& laidOut = layout(index);
    const QPointF inBlock(point.x() - kInset, y - m_heights.top(index));
    const Part& part = partAt(laidOut, inBlock);
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
    qsizetype relative = line.xToCursor(inBlock.x() - part.origin.x());
    // A click past a line's end that ends in a line break stays before the break.
    const qsizetype lineEnd = line.textStart() + line.textLength();
    if (relative == lineEnd && lineEnd > line.textStart()) {
        const QChar last = source()[start + lineEnd - 1];
        if (last == u'\n' || last == u'\r' || last == QChar(0x2029))
            relative = characterBefore(start + lineEnd) - start;
    }
    return start + relative;
}

qsizetype BoundedTextView::characterAfter(qsizetype offset) const {
    if (offset >= source().size()) return source().size();
    return m_storage->article().composedCharacterSequence(std::max<qsizetype>(offset, 0)).upperBound;
}

qsizetype BoundedTextView::characterBefore(qsizetype offset) const {
    if (offset <= 0) return 0;
    return m_storage->article().composedCharacterSequence(std::min(offset, source().size()) - 1).lowerBound;
}

qsizetype BoundedTextView::offsetOnNextLine(double x, double edge, int direction) {
    // Half a line at a time past the caret's line, since a table cell's padding and spacing can lie
    // between one line and the next.
    const std::optional<TextRange> here = lineRange(m_position);
    qsizetype target = m_position;
    for (int step = 1; step <= 8; ++step) {
        target = offsetAt(QPointF(x, edge + direction * step * m_lineHeight / 2));
        if (lineRange(target) != here) break;
    }
    return target;
}

qsizetype BoundedTextView::wordStart(qsizetype offset, bool forward) const {
    // Word boundaries as the text engine finds them, in a window around offset: a move never looks
    // further than that, however long the run without a stop.
    const qsizetype length = source().size();
    const qsizetype from = std::max<qsizetype>(offset - kWordWindow, 0);
    const qsizetype to = std::min(offset + kWordWindow, length);
    const QString window = source().mid(from, to - from);
    QTextBoundaryFinder words(QTextBoundaryFinder::Word, window);
    words.setPosition(static_cast<int>(offset - from));
    // A move stops where something other than white space starts (a word or punctuation), or at a line
    // break, as the ordinary view's word moves do.
    qsizetype at = 0;
    for (;;) {
        at = forward ? words.toNextBoundary() : words.toPreviousBoundary();
        if (at < 0) at = forward ? window.size() : 0;
        if (at == 0 || at == window.size()) break;
        const QChar next = window[at];
        if (!next.isSpace() || next == u'\n' || next == u'\r' || next == QChar(0x2029)) return from + at;
    }
    // The window's edge: kept off the inside of a composed character sequence, and never back at offset.
    const qsizetype edge = from + at;
    if (edge <= 0 || edge >= length) return edge;
    const TextRange sequence = m_storage->article().composedCharacterSequence(edge);
    return forward && sequence.lowerBound <= offset ? sequence.upperBound : sequence.lowerBound;
}

void BoundedTextView::moveCaret(qsizetype position, bool extend) {
    const qsizetype anchor = m_anchor;
    const qsizetype previous = m_position;
    m_position = std::clamp<qsizetype>(position, 0, source().size());
    if (!extend) m_anchor = m_position;
    viewport()->update();
    if ((anchor != m_anchor || previous != m_position) && m_onSelectionChanged) m_onSelectionChanged();
}

QRectF BoundedTextView::characterRect(qsizetype offset) {
    return caretRect(offset).translated(-horizontalScrollBar()->value(), -verticalScrollBar()->value());
}

qsizetype BoundedTextView::offsetAtViewportPoint(QPointF point) {
    return offsetAt(point + QPointF(horizontalScrollBar()->value(), verticalScrollBar()->value()));
}

QList<TextRange> BoundedTextView::selectedRanges() const {
    return {TextRange{std::min(m_anchor, m_position), std::max(m_anchor, m_position)}};
}

void BoundedTextView::setSelectedRange(TextRange range) {
    range = range.clamped(0, source().size());
    m_anchor = range.lowerBound;
    m_position = range.upperBound;
    m_goalX.reset();
    viewport()->update();
}

std::optional<qsizetype> BoundedTextView::visibleOffset() const {
    if (source().isEmpty()) return std::nullopt;
    auto* self = const_cast<BoundedTextView*>(this);
    return std::min(self->offsetAt(QPointF(kInset, verticalScrollBar()->value() + kInset)), source().size() - 1);
}

void BoundedTextView::scrollRangeToVisible(TextRange range) {
    Q_ASSERT(isMainThread());
    m_viewportUpdate.cancel();
    const qsizetype length = source().size();
    if (length > 0) {
        if (range.isEmpty()) {
            range =
                m_storage->article().composedCharacterSequence(std::clamp<qsizetype>(range.lowerBound, 0, length - 1));
        } else if (range.length() > InteractionRules::kRevealMeasuredUnits && range.lowerBound >= 0) {
            const qsizetype last = std::min(range.lowerBound + InteractionRules::kRevealMeasuredUnits - 1, length - 1);
            range.upperBound = m_storage->article().composedCharacterSequence(last).upperBound;
        }
    }
    m_pendingReveal = range;
    revealPending();
}

void BoundedTextView::revealPending() {
    if (!m_pendingReveal || !hasContentHeight()) return;
    const TextRange range = *std::exchange(m_pendingReveal, std::nullopt);
    if (range.lowerBound < 0 || range.upperBound > source().size()) return;
    // Laid out first, so that nothing moves once scrolled: the target and a view's height of blocks on
    // each side of it, whichever way the scroll puts it.
    const qsizetype firstBlock = blockHolding(range.lowerBound);
    const qsizetype lastBlock = blockHolding(range.upperBound);
    const double reach = viewport()->height();
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
    updateScrollBars();
    const QRectF start = caretRect(range.lowerBound);
    const QRectF end = caretRect(range.upperBound);
    const QRectF bounds = start.united(end);
    InteractionRules::scrollToReveal(*this, bounds, start.left());
    viewport()->update();
}

void BoundedTextView::setInitialRevealRange(TextRange range) {
    m_initialReveal = range;
    const quint64 generation = ++m_initialRevealGeneration;
    QTimer::singleShot(0, this, [this, generation] { revealInitialRange(generation); });
}

void BoundedTextView::revealInitialRange(quint64 generation) {
    if (generation != m_initialRevealGeneration || !m_initialReveal || !hasContentHeight()) return;
    const TextRange range = *std::exchange(m_initialReveal, std::nullopt);
    if (range.lowerBound < 0 || range.upperBound > source().size()) return;
    scrollRangeToVisible(range);
}

void BoundedTextView::drawHighlight(Highlight highlight, std::optional<TextRange> range) {
    if (!m_storage) return;
    const auto previous = std::exchange(m_highlights[static_cast<int>(highlight)], range);
    if (range) {
        m_storage->setDecoration(highlightKey(highlight), {*range, InteractionRules::highlightFormat(highlight)});
    } else {
        m_storage->removeDecoration(highlightKey(highlight));
    }
    // Only the lines of the old and the new range are painted again.
    const double scrollX = horizontalScrollBar()->value();
    const double scrollY = verticalScrollBar()->value();
    for (const auto& drawn : {previous, range}) {
        if (!drawn) continue;
        const qsizetype first = blockHolding(drawn->lowerBound);
        const qsizetype last = blockHolding(drawn->upperBound);
        if (last < m_visibleFirstBlock || first > m_visibleLastBlock) continue;
        if (!m_layouts.contains(first) || !m_layouts.contains(last)) {
            viewport()->update();
            continue;
        }
        const QRectF top = caretRect(drawn->lowerBound);
        const QRectF bottom = caretRect(drawn->upperBound);
        viewport()->update(QRectF(0, top.top() - scrollY, viewport()->width(), bottom.bottom() - top.top())
                               .toAlignedRect()
                               .adjusted(0, -1, 0, 1));
        Q_UNUSED(scrollX);
    }
}

void BoundedTextView::copySelection() {
    const TextRange range = selectedRanges().value(0);
    if (range.isEmpty()) return;
    QApplication::clipboard()->setText(source().mid(range.lowerBound, range.length()));
}

void BoundedTextView::userInteracted() {
    cancelReveal();
    if (m_onInteraction) m_onInteraction();
}

void BoundedTextView::cancelReveal() {
    m_pendingReveal.reset();
    m_viewportUpdate.cancel();
}

void BoundedTextView::keyPressEvent(QKeyEvent* event) {
    if (InteractionRules::isPlaybackKey(*event) || !m_storage) {
        event->ignore();
        return;
    }
    if (event->key() == Qt::Key_Tab || event->key() == Qt::Key_Backtab) {
        focusNextPrevChild(event->key() == Qt::Key_Tab && !(event->modifiers() & Qt::ShiftModifier));
        return;
    }
    if (event == QKeySequence::Copy) {
        copySelection();
        return;
    }
    if (event == QKeySequence::SelectAll) {
        moveCaret(0, false);
        moveCaret(source().size(), true);
        return;
    }
    if (!InteractionRules::isNavigationKey(*event)) {
        QAbstractScrollArea::keyPressEvent(event);
        return;
    }
    if (m_onInteraction) m_onInteraction();
    const bool extend = event->modifiers() & Qt::ShiftModifier;
    const bool control = event->modifiers() & Qt::ControlModifier;
    const TextRange selection = selectedRanges().value(0);
    qsizetype target = m_position;
    std::optional<double> goal = m_goalX;
    const QRectF caret = caretRect(m_position);
    const double x = m_goalX.value_or(caret.left());
    switch (event->key()) {
    case Qt::Key_Left:
        if (control) {
            target = wordStart(m_position, false);
        } else {
            target = !extend && !selection.isEmpty() ? selection.lowerBound : characterBefore(m_position);
        }
        goal.reset();
        break;
    case Qt::Key_Right:
        if (control) {
            target = wordStart(m_position, true);
        } else {
            target = !extend && !selection.isEmpty() ? selection.upperBound : characterAfter(m_position);
        }
        goal.reset();
        break;
    case Qt::Key_Up:
        target = caret.top() <= kInset + 0.5 ? 0 : offsetOnNextLine(x, caret.top(), -1);
        goal = x;
        break;
    case Qt::Key_Down:
        target = offsetOnNextLine(x, caret.bottom(), 1);
        goal = x;
        break;
    case Qt::Key_PageUp:
    case Qt::Key_PageDown: {
        const int step = viewport()->height() * (event->key() == Qt::Key_PageUp ? -1 : 1);
        m_handlingKey = true;
        verticalScrollBar()->setValue(verticalScrollBar()->value() + step);
        m_handlingKey = false;
        target = offsetAt(QPointF(x, caret.center().y() + step));
        goal = x;
        break;
    }
    case Qt::Key_Home:
        target = control ? 0 : lineRange(m_position).value_or(TextRange{}).lowerBound;
        goal.reset();
        break;
    case Qt::Key_End: {
        if (control) {
            target = source().size();
        } else {
            const TextRange line = lineRange(m_position).value_or(TextRange{});
            target = line.upperBound;
            const QChar last = line.isEmpty() ? QChar() : source()[line.upperBound - 1];
            if (last == u'\n' || last == u'\r' || last == QChar(0x2029)) target = characterBefore(line.upperBound);
        }
        goal.reset();
        break;
    }
    default: break;
    }
    moveCaret(target, extend);
    m_goalX = goal;
    // The caret the key moved stays in view (the user's own move, not a reveal).
    m_handlingKey = true;
    const QRectF moved = caretRect(m_position);
    QScrollBar* vertical = verticalScrollBar();
    if (moved.top() < vertical->value()) vertical->setValue(static_cast<int>(moved.top()));
    if (moved.bottom() > vertical->value() + viewport()->height()) {
        vertical->setValue(static_cast<int>(std::ceil(moved.bottom())) - viewport()->height());
    }
    QScrollBar* horizontal = horizontalScrollBar();
    if (moved.left() < horizontal->value() || moved.left() > horizontal->value() + viewport()->width()) {
        horizontal->setValue(static_cast<int>(moved.left()) - viewport()->width() / 2);
    }
    m_handlingKey = false;
}

void BoundedTextView::mousePressEvent(QMouseEvent* event) {
    userInteracted();
    if (event->button() != Qt::LeftButton || !m_storage) return;
    const QPointF point = event->position() + QPointF(horizontalScrollBar()->value(), verticalScrollBar()->value());
    moveCaret(offsetAt(point), event->modifiers() & Qt::ShiftModifier);
    m_goalX.reset();
}

void BoundedTextView::mouseMoveEvent(QMouseEvent* event) {
    if (!(event->buttons() & Qt::LeftButton) || !m_storage) return;
    m_dragPoint = event->position();
    const QPointF point = m_dragPoint + QPointF(horizontalScrollBar()->value(), verticalScrollBar()->value());
    moveCaret(offsetAt(point), true);
    const bool outside = isBeyondViewport(m_dragPoint, viewport()->size());
    if (outside && !m_autoScroll.isActive()) {
        m_autoScroll.start();
    } else if (!outside) {
        m_autoScroll.stop();
    }
}

void BoundedTextView::mouseReleaseEvent(QMouseEvent* event) {
    m_autoScroll.stop();
    QAbstractScrollArea::mouseReleaseEvent(event);
}

void BoundedTextView::autoScroll() {
    const QPoint step = dragAutoScrollStep(m_dragPoint, viewport()->size(), m_lineHeight);
    if (!m_storage || step.isNull()) {
        m_autoScroll.stop();
        return;
    }
    QScrollBar* horizontal = horizontalScrollBar();
    QScrollBar* vertical = verticalScrollBar();
    horizontal->setValue(horizontal->value() + step.x());
    vertical->setValue(vertical->value() + step.y());
    const QPointF point = m_dragPoint + QPointF(horizontal->value(), vertical->value());
    moveCaret(offsetAt(point), true);
}

void BoundedTextView::mouseDoubleClickEvent(QMouseEvent* event) {
    userInteracted();
    if (event->button() != Qt::LeftButton || !m_storage || source().isEmpty()) return;
    const QPointF point = event->position() + QPointF(horizontalScrollBar()->value(), verticalScrollBar()->value());
    const qsizetype offset = std::min(offsetAt(point), source().size() - 1);
    const TextRange paragraph = m_storage->paragraphRange(offset);
    const qsizetype from = std::max(paragraph.lowerBound, offset - kWordWindow);
    const qsizetype to = std::min(paragraph.upperBound, offset + kWordWindow);
    const QString window = source().mid(from, to - from);
    QTextBoundaryFinder words(QTextBoundaryFinder::Word, window);
    words.setPosition(static_cast<int>(offset - from));
    qsizetype start = offset - from;
    if (!words.isAtBoundary()) start = words.toPreviousBoundary();
    words.setPosition(static_cast<int>(offset - from));
    const qsizetype end = words.toNextBoundary();
    moveCaret(from + std::max<qsizetype>(start, 0), false);
    moveCaret(from + (end < 0 ? window.size() : end), true);
}

void BoundedTextView::wheelEvent(QWheelEvent* event) {
    userInteracted();
    QAbstractScrollArea::wheelEvent(event);
}

void BoundedTextView::focusInEvent(QFocusEvent* event) {
    m_caretVisible = true;
    viewport()->update();
    QAbstractScrollArea::focusInEvent(event);
}

void BoundedTextView::focusOutEvent(QFocusEvent* event) {
    // A drag whose release goes elsewhere (a popup took the mouse) scrolls no further.
    m_autoScroll.stop();
    m_caretVisible = false;
    viewport()->update();
    QAbstractScrollArea::focusOutEvent(event);
}

}  // namespace tavrine
