#include "PelmoraMac/Source/BoundedTextView.h"

#include "PelmoraMac/Source/internal/BoundedTextAccessible.h"
#include "PelmoraMac/Source/internal/CaretMoves.h"
#include "PelmoraMac/Source/internal/DragAutoScroll.h"
#include "ReaderCore/MainThread.h"
#include "ReaderUI/ReaderPalette.h"
#include "ReaderWidgets/Style/ToQColor.h"

#include <QAccessible>
#include <QApplication>
#include <QClipboard>
#include <QKeyEvent>
#include <QPainter>
#include <QScrollBar>

#include <algorithm>
#include <cmath>

namespace tavrine {
namespace {

// Before the first document: the line of the scroll steps and of the empty caret.
constexpr double kDefaultLineHeight = 20;

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
    Q_ASSERT(isMainThread());
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
    m_initialReveal.clear();
    m_placedTop.reset();
    if (m_storage) m_storage->setLayoutManager(nullptr);
    m_layout.reset();
    m_followedRange.reset();
    m_storage = std::make_unique<ReaderBoundedContentStorage>(document, pointSize);
    m_storage->setLayoutManager(this);
    m_highlights[0].reset();
    m_highlights[1].reset();
    m_anchor = m_position = 0;
    m_goalX.reset();
    m_layout = std::make_unique<BoundedTextLayout>(*m_storage, textWidth());
    m_layout->setOnViewTopMoved([this] { followViewTop(); });
    m_topFraction = 0;
    verticalScrollBar()->setValue(0);
    horizontalScrollBar()->setValue(0);
    updateScrollBars();
    syncViewTop();
    viewport()->update();
}

const QString& BoundedTextView::source() const {
    return m_storage ? m_storage->source() : emptyText();
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

double BoundedTextView::lineHeight() const {
    return m_layout ? m_layout->lineHeight() : kDefaultLineHeight;
}

std::optional<TextRange> BoundedTextView::protectedRange() const {
    return m_layout ? m_layout->visibleRange() : std::nullopt;
}

void BoundedTextView::invalidate(TextRange range) {
    if (m_layout) m_layout->invalidate(range);
}

void BoundedTextView::updateScrollBars() {
    const int height = viewport()->height();
    const double total = (m_layout ? m_layout->height() : 0) + 2 * kInset;
    verticalScrollBar()->setRange(0, std::max(0, static_cast<int>(std::ceil(total)) - height));
    verticalScrollBar()->setPageStep(height);
    verticalScrollBar()->setSingleStep(static_cast<int>(lineHeight()));
    const int width = viewport()->width();
    horizontalScrollBar()->setRange(0, std::max(0, static_cast<int>(std::ceil(documentWidth())) - width));
    horizontalScrollBar()->setPageStep(width);
    horizontalScrollBar()->setSingleStep(static_cast<int>(lineHeight()));
}

double BoundedTextView::scrollTop() const {
    return verticalScrollBar()->value() + m_topFraction;
}

void BoundedTextView::syncViewTop() {
    if (!m_layout) return;
    m_layout->setViewTop(scrollTop() - kInset);
    m_layout->setViewHeight(viewport()->height());
}

void BoundedTextView::followViewTop() {
    // Quietly: the text in view has not moved, so nothing is painted again for it. The layout keeps its
    // exact top; the scroll bar takes the nearest pixel and the view keeps the rest, so that the half
    // pixels of several corrections never add up, and every later step moves the text by whole pixels.
    QScrollBar* vertical = verticalScrollBar();
    const bool placed = m_placedTop && m_placedTop->scrollValue == vertical->value();
    const QSignalBlocker blocker(vertical);
    updateScrollBars();
    const int value = static_cast<int>(std::lround(m_layout->viewTop())) + kInset;
    vertical->setValue(value);
    m_topFraction = m_layout->viewTop() + kInset - value;
    // Above the text's start the view cannot go: there the text moves after all.
    if (vertical->value() != value) {
        m_topFraction = 0;
        syncViewTop();
    }
    if (placed) m_placedTop->scrollValue = vertical->value();
}

bool BoundedTextView::hasContentHeight() const {
    return m_layout && viewport()->height() > 0 && m_layout->height() > 0;
}

void BoundedTextView::resizeEvent(QResizeEvent* event) {
    QAbstractScrollArea::resizeEvent(event);
    if (m_layout && std::abs(textWidth() - m_layout->width()) > 0.5) {
        const std::optional<qsizetype> top = visibleOffset();
        m_layout->setWidth(textWidth());
        updateScrollBars();
        syncViewTop();
        if (top && *top > 0) placeAtTop(*top);
    }
    updateScrollBars();
    syncViewTop();
    if (m_pendingReveal || m_initialReveal.waiting()) {
        m_viewportUpdate.schedule([this, generation = m_initialReveal.generation()] {
            m_initialReveal.tryRun(generation);
            revealPending();
        });
    }
    keepFollowedInView();
}

void BoundedTextView::scrollContentsBy(int, int) {
    syncViewTop();
    viewport()->update();
}

void BoundedTextView::paintEvent(QPaintEvent* event) {
    QPainter painter(viewport());
    const QRect dirty = event->rect();
    painter.fillRect(dirty, toQColor(ReaderPalette::surface));
    if (!m_layout || m_layout->blockCount() == 0) return;
    const double totalBefore = m_layout->height();
    // Everything in view is laid out before anything is painted, at the places the corrections leave.
    const int valueBefore = verticalScrollBar()->value();
    const auto [first, last] = m_layout->layOutView();
    // The rest of a view painted in part has moved as well.
    if (verticalScrollBar()->value() != valueBefore && dirty != viewport()->rect()) viewport()->update();
    const double scrollY = scrollTop();
    const double scrollX = horizontalScrollBar()->value();
    const TextRange selection = selectedRanges().value(0);
    for (qsizetype index = first; index <= last; ++index) {
        const double top = kInset + m_layout->blockTop(index) - scrollY;
        const double bottom = top + m_layout->blockHeight(index);
        if (bottom < dirty.top() || top > dirty.bottom()) continue;
        paintBlock(painter, m_layout->layout(index), QPointF(kInset - scrollX, top), dirty, selection);
    }
    // A caret out of view is not looked for: its block may not be laid out.
    const qsizetype caretBlock = m_layout->blockHolding(m_position);
    if (m_caretVisible && selection.isEmpty() && caretBlock >= first && caretBlock <= last) {
        painter.fillRect(caretRect(m_position).translated(-scrollX, -scrollY), toQColor(ReaderPalette::text));
    }
    m_layout->setVisibleBlocks(first, last);
    // Heights corrected while painting change the scroll range: that waits for the next turn.
    if (std::abs(m_layout->height() - totalBefore) > 0.5) {
        QMetaObject::invokeMethod(
            this, [this] { updateScrollBars(); }, Qt::QueuedConnection);
    }
}

void BoundedTextView::paintBlock(QPainter& painter, const BoundedTextLayout::BlockLayout& laidOut, QPointF origin,
                                 const QRect& dirty, TextRange selection) {
    const QList<ReaderGridCell>& cells = m_storage->article().cells();
    for (const BoundedTextLayout::CellBox& box : laidOut.cells) {
        const QTextTableCellFormat& format = cells[box.cell].format;
        if (format.hasProperty(QTextFormat::BackgroundBrush))
            painter.fillRect(box.box.translated(origin), format.background());
    }
    for (const BoundedTextLayout::Part& part : laidOut.parts) {
        const QPointF at = origin + part.origin;
        if (at.y() > dirty.bottom() || at.y() + part.height < dirty.top()) continue;
        part.text->draw(&painter, at, m_storage->renderingAttributes(part.range), dirty);
        paintSelection(painter, part, at, selection);
    }
    for (const BoundedTextLayout::CellBox& box : laidOut.cells) {
        const QTextTableCellFormat& format = cells[box.cell].format;
        painter.setPen(QPen(format.topBorderBrush(), format.topBorder()));
        painter.drawRect(box.box.translated(origin));
    }
}

void BoundedTextView::paintSelection(QPainter& painter, const BoundedTextLayout::Part& part, QPointF origin,
                                     TextRange selection) const {
    const qsizetype washStart = std::max(selection.lowerBound, part.range.lowerBound) - part.range.lowerBound;
    const qsizetype washEnd = std::min(selection.upperBound, part.range.upperBound) - part.range.lowerBound;
    if (washStart >= washEnd) return;
    const QColor wash = toQColor(ReaderPalette::selectionOverlay);
    for (int i = 0; i < part.text->lineCount(); ++i) {
        const QTextLine line = part.text->lineAt(i);
        const qsizetype lineStart = line.textStart();
        const qsizetype lineEnd = lineStart + line.textLength();
        if (lineEnd <= washStart || lineStart >= washEnd) continue;
        const double x1 = line.cursorToX(static_cast<int>(std::max(washStart, lineStart)));
        const double x2 = line.cursorToX(static_cast<int>(std::min(washEnd, lineEnd)));
        painter.fillRect(QRectF(origin.x() + std::min(x1, x2), origin.y() + line.y(), std::abs(x2 - x1), line.height()),
                         wash);
    }
}

std::optional<TextRange> BoundedTextView::lineRange(qsizetype offset) {
    return m_layout ? m_layout->lineRange(offset) : std::nullopt;
}

QRectF BoundedTextView::caretRect(qsizetype offset) {
    if (!m_layout) return QRectF(kInset, kInset, 1, kDefaultLineHeight);
    return m_layout->caretRect(offset).translated(kInset, kInset);
}

qsizetype BoundedTextView::offsetAt(QPointF point) {
    return m_layout ? m_layout->offsetAt(point - QPointF(kInset, kInset)) : 0;
}

QRectF BoundedTextView::characterRect(qsizetype offset) {
    return caretRect(offset).translated(-horizontalScrollBar()->value(), -scrollTop());
}

qsizetype BoundedTextView::offsetAtViewportPoint(QPointF point) {
    return offsetAt(point + QPointF(horizontalScrollBar()->value(), scrollTop()));
}

void BoundedTextView::moveCaret(qsizetype position, bool extend) {
    const qsizetype anchor = m_anchor;
    const qsizetype previous = m_position;
    m_position = std::clamp<qsizetype>(position, 0, source().size());
    if (!extend) m_anchor = m_position;
    viewport()->update();
    if ((anchor != m_anchor || previous != m_position) && m_onSelectionChanged) m_onSelectionChanged();
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
    const int value = verticalScrollBar()->value();
    std::optional<qsizetype> offset = InteractionRules::placedTopOffset(m_initialReveal.waiting(), m_placedTop, value);
    // The first line below the inset.
    if (!offset) offset = m_layout->offsetAt(QPointF(0, scrollTop()));
    return std::clamp<qsizetype>(*offset, 0, source().size() - 1);
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
    // Laid out first, so that nothing moves once scrolled.
    m_layout->layOutAround(range, viewport()->height());
    updateScrollBars();
    const QRectF start = caretRect(range.lowerBound);
    const QRectF end = caretRect(range.upperBound);
    InteractionRules::scrollToReveal(*this, start.united(end), start.left());
    viewport()->update();
}

void BoundedTextView::setInitialRevealRange(TextRange range) {
    m_initialReveal.set({range, false});
}

void BoundedTextView::setInitialTopOffset(qsizetype offset) {
    m_initialReveal.set({{offset, offset}, true});
}

void BoundedTextView::placeAtTop(qsizetype offset) {
    // Laid out first, so that the blocks in view keep their heights once it is there.
    m_layout->layOutAround({offset, offset}, viewport()->height());
    updateScrollBars();
    QScrollBar* vertical = verticalScrollBar();
    m_topFraction = 0;
    vertical->setValue(static_cast<int>(std::lround(caretRect(offset).top())) - kInset);
    syncViewTop();
    m_placedTop = {offset, vertical->value()};
    viewport()->update();
    keepFollowedInView();
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
    const auto [firstVisible, lastVisible] = m_layout->visibleBlocks();
    const double scrollY = scrollTop();
    for (const auto& drawn : {previous, range}) {
        if (!drawn) continue;
        const qsizetype first = m_layout->blockHolding(drawn->lowerBound);
        const qsizetype last = m_layout->blockHolding(drawn->upperBound);
        if (last < firstVisible || first > lastVisible) continue;
        if (!m_layout->isLaidOut(first) || !m_layout->isLaidOut(last)) {
            viewport()->update();
            continue;
        }
        const QRectF top = caretRect(drawn->lowerBound);
        const QRectF bottom = caretRect(drawn->upperBound);
        viewport()->update(QRectF(0, top.top() - scrollY, viewport()->width(), bottom.bottom() - top.top())
                               .toAlignedRect()
                               .adjusted(0, -1, 0, 1));
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

void BoundedTextView::keepFollowedInView() {
    // A reveal or a placing still to come decides the place itself.
    if (!m_followedRange || m_pendingReveal || m_initialReveal.waiting() || !hasContentHeight()) return;
    const TextRange range = *m_followedRange;
    if (range.isEmpty() || range.lowerBound < 0 || range.upperBound > source().size()) return;
    const QRectF first = characterRect(range.lowerBound);
    const QRectF last = characterRect(range.upperBound - 1);
    if (first.top() >= 0 && last.bottom() <= viewport()->height()) return;
    scrollRangeToVisible(range);
}

void BoundedTextView::keyPressEvent(QKeyEvent* event) {
    if (InteractionRules::isPlaybackKey(*event) || !m_storage) {
        event->ignore();
        return;
    }
    if (handleCommandKey(*event)) return;
    if (!InteractionRules::isNavigationKey(*event)) {
        QAbstractScrollArea::keyPressEvent(event);
        return;
    }
    if (m_onInteraction) m_onInteraction();
    const CaretMove move = caretMove(event->key(), event->modifiers());
    moveCaret(move.target, event->modifiers() & Qt::ShiftModifier);
    m_goalX = move.goalX;
    keepCaretInView();
}

bool BoundedTextView::handleCommandKey(QKeyEvent& event) {
    if (event.key() == Qt::Key_Tab || event.key() == Qt::Key_Backtab) {
        focusNextPrevChild(event.key() == Qt::Key_Tab && !(event.modifiers() & Qt::ShiftModifier));
        return true;
    }
    if (event.matches(QKeySequence::Copy)) {
        copySelection();
        return true;
    }
    if (event.matches(QKeySequence::SelectAll)) {
        moveCaret(0, false);
        moveCaret(source().size(), true);
        return true;
    }
    return false;
}

BoundedTextView::CaretMove BoundedTextView::caretMove(int key, Qt::KeyboardModifiers modifiers) {
    const QRectF caret = m_layout->caretRect(m_position);
    const double x = m_goalX.value_or(caret.left());
    switch (key) {
    case Qt::Key_Left: return horizontalMove(false, modifiers);
    case Qt::Key_Right: return horizontalMove(true, modifiers);
    case Qt::Key_Up:
        // From the first line, Up goes to the start of the text.
        return {caret.top() <= 0.5 ? 0 : m_layout->offsetOnNextLine(m_position, x, caret.top(), -1), x};
    case Qt::Key_Down: return {m_layout->offsetOnNextLine(m_position, x, caret.bottom(), 1), x};
    case Qt::Key_PageUp: return pageMove(-1, x, caret);
    case Qt::Key_PageDown: return pageMove(1, x, caret);
    case Qt::Key_Home:
    case Qt::Key_End: return lineEdgeMove(key == Qt::Key_End, modifiers & Qt::ControlModifier);
    default: return {m_position, m_goalX};
    }
}

BoundedTextView::CaretMove BoundedTextView::horizontalMove(bool forward, Qt::KeyboardModifiers modifiers) const {
    const ReaderArticleTextStorage& text = m_storage->article();
    if (modifiers & Qt::ControlModifier) return {CaretMoves::wordStart(text, m_position, forward), std::nullopt};
    // Without Shift, a selection collapses to the edge the arrow points to.
    const TextRange selection = selectedRanges().value(0);
    if (!(modifiers & Qt::ShiftModifier) && !selection.isEmpty())
        return {forward ? selection.upperBound : selection.lowerBound, std::nullopt};
    return {forward ? CaretMoves::characterAfter(text, m_position) : CaretMoves::characterBefore(text, m_position),
            std::nullopt};
}

BoundedTextView::CaretMove BoundedTextView::pageMove(int direction, double x, const QRectF& caret) {
    // The view moves a page, and the caret with it to the same place in the view.
    const int step = viewport()->height() * direction;
    m_handlingKey = true;
    verticalScrollBar()->setValue(verticalScrollBar()->value() + step);
    m_handlingKey = false;
    return {m_layout->offsetAt(QPointF(x, caret.center().y() + step)), x};
}

BoundedTextView::CaretMove BoundedTextView::lineEdgeMove(bool end, bool control) {
    if (control) return {end ? source().size() : 0, std::nullopt};
    const TextRange line = lineRange(m_position).value_or(TextRange{});
    return {end ? CaretMoves::lineEnd(m_storage->article(), line) : line.lowerBound, std::nullopt};
}

void BoundedTextView::keepCaretInView() {
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
    moveCaret(offsetAtViewportPoint(event->position()), event->modifiers() & Qt::ShiftModifier);
    m_goalX.reset();
}

void BoundedTextView::mouseMoveEvent(QMouseEvent* event) {
    if (!(event->buttons() & Qt::LeftButton) || !m_storage) return;
    m_dragPoint = event->position();
    moveCaret(offsetAtViewportPoint(m_dragPoint), true);
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
    const QPoint step = dragAutoScrollStep(m_dragPoint, viewport()->size(), lineHeight());
    if (!m_storage || step.isNull()) {
        m_autoScroll.stop();
        return;
    }
    QScrollBar* horizontal = horizontalScrollBar();
    QScrollBar* vertical = verticalScrollBar();
    horizontal->setValue(horizontal->value() + step.x());
    vertical->setValue(vertical->value() + step.y());
    moveCaret(offsetAtViewportPoint(m_dragPoint), true);
}

void BoundedTextView::mouseDoubleClickEvent(QMouseEvent* event) {
    userInteracted();
    if (event->button() != Qt::LeftButton || !m_storage || source().isEmpty()) return;
    const qsizetype offset = std::min(offsetAtViewportPoint(event->position()), source().size() - 1);
    const TextRange word = CaretMoves::wordAround(m_storage->article(), m_storage->paragraphRange(offset), offset);
    moveCaret(word.lowerBound, false);
    moveCaret(word.upperBound, true);
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
