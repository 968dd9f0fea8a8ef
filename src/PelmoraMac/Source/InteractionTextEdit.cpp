#include "PelmoraMac/Source/InteractionTextEdit.h"

#include "PelmoraMac/Source/ReaderArticleDocument.h"
#include "PelmoraMac/Source/ReaderArticleStyle.h"
#include "PelmoraMac/Source/ReaderAttributedString.h"
#include "ReaderCore/Characters.h"
#include "ReaderCore/MainThread.h"
#include "ReaderUI/ReaderPalette.h"
#include "ReaderWidgets/Style/ToQColor.h"

#include <QAbstractTextDocumentLayout>
#include <QKeyEvent>
#include <QMimeData>
#include <QScrollBar>

#include <algorithm>
#include <cmath>

namespace tavrine {

InteractionTextEdit::InteractionTextEdit(QWidget* parent) : QTextEdit(parent) {
    Q_ASSERT(isMainThread());
    setReadOnly(true);
    setUndoRedoEnabled(false);
    setAcceptRichText(false);
    setTextInteractionFlags(Qt::TextSelectableByMouse | Qt::TextSelectableByKeyboard);
    setTabChangesFocus(true);
    setLineWrapMode(QTextEdit::FixedPixelWidth);
    setFrameShape(QFrame::NoFrame);
    InteractionRules::describeForAssistiveTechnology(*this);
    QPalette colours = palette();
    colours.setColor(QPalette::Base, toQColor(ReaderPalette::surface));
    colours.setColor(QPalette::Text, toQColor(ReaderPalette::text));
    colours.setColor(QPalette::Highlight, toQColor(ReaderPalette::selectedControl));
    colours.setColor(QPalette::HighlightedText, toQColor(ReaderPalette::text));
    setPalette(colours);
    // Keys report themselves (and keep a pending reveal); the scroll bar actions they trigger are theirs.
    InteractionRules::reportUserScrolling(*this, this, [this] {
        if (!m_handlingKey) userInteracted();
    });
    m_offsets = ReaderSourceOffsetMap(0);
    connect(this, &QTextEdit::cursorPositionChanged, this, [this] {
        if (!m_settingSelection && m_onSelectionChanged) m_onSelectionChanged();
    });
}

InteractionTextEdit::~InteractionTextEdit() {
    // The text edit must let go of the document before it is destroyed.
    setDocument(new QTextDocument(this));
}

void InteractionTextEdit::load(const ReadingDocument& document, double pointSize) {
    Q_ASSERT(isMainThread());
    cancelReveal();
    m_initialReveal.clear();
    m_placedTop.reset();
    m_followedRange.reset();
    m_highlights[0].reset();
    m_highlights[1].reset();
    setExtraSelections({});
    const ReaderAttributedString styled = ReaderArticleStyle::attributedString(document, pointSize);
    m_textMinimumWidth = ReaderArticleStyle::minimumWidth(document, pointSize, &styled);
    ReaderArticleDocument built = ReaderArticleDocument::build(styled);
    m_source = document.text;
    m_breaks.emplace(m_source);
    m_offsets = built.offsets;
    auto previous = std::move(m_document);
    m_document = std::move(built.document);
    m_settingSelection = true;
    setDocument(m_document.get());
    m_settingSelection = false;
    updateDocumentWidth();
}

QList<TextRange> InteractionTextEdit::selectedRanges() const {
    const QTextCursor cursor = textCursor();
    return {m_offsets.toSource(TextRange{cursor.selectionStart(), cursor.selectionEnd()})};
}

void InteractionTextEdit::setSelectedRange(TextRange range) {
    const TextRange positions = m_offsets.toDocument(range.clamped(0, m_source.size()));
    QTextCursor cursor(document());
    cursor.setPosition(positions.lowerBound);
    cursor.setPosition(positions.upperBound, QTextCursor::KeepAnchor);
    // Keep the scroll position: setTextCursor would bring the caret into view.
    const int x = horizontalScrollBar()->value();
    const int y = verticalScrollBar()->value();
    m_settingSelection = true;
    setTextCursor(cursor);
    m_settingSelection = false;
    horizontalScrollBar()->setValue(x);
    verticalScrollBar()->setValue(y);
}

std::optional<qsizetype> InteractionTextEdit::visibleOffset() const {
    if (m_source.isEmpty()) return std::nullopt;
    const qsizetype offset =
        InteractionRules::placedTopOffset(m_initialReveal.waiting(), m_placedTop, verticalScrollBar()->value())
            .value_or(m_offsets.toSource(cursorForPosition(QPoint(0, 0)).position()));
    return std::clamp<qsizetype>(offset, 0, m_source.size() - 1);
}

bool InteractionTextEdit::hasContentHeight() const {
    return viewport()->height() > 0 && document()->documentLayout()->documentSize().height() > 0;
}

void InteractionTextEdit::scrollRangeToVisible(TextRange range) {
    Q_ASSERT(isMainThread());
    m_viewportUpdate.cancel();
    if (range.isEmpty() && !m_source.isEmpty()) {
        const qsizetype at = std::clamp<qsizetype>(range.lowerBound, 0, m_source.size() - 1);
        range = m_breaks->composedCharacterSequence(at);
    }
    m_pendingReveal = range;
    revealPending();
}

void InteractionTextEdit::revealPending() {
    if (!m_pendingReveal) return;
    if (!hasContentHeight()) return;  // a resize with a height runs it
    const TextRange range = *m_pendingReveal;
    m_pendingReveal.reset();
    if (range.lowerBound < 0 || range.upperBound > m_source.size()) return;
    const qsizetype end = std::min(range.upperBound, range.lowerBound + InteractionRules::kRevealMeasuredUnits);
    QTextCursor cursor(document());
    cursor.setPosition(static_cast<int>(m_offsets.toDocument(range.lowerBound)));
    QRect bounds = cursorRect(cursor);
    cursor.setPosition(static_cast<int>(m_offsets.toDocument(end)));
    bounds = bounds.united(cursorRect(cursor));
    // Content coordinates.
    bounds.translate(horizontalScrollBar()->value(), verticalScrollBar()->value());
    InteractionRules::scrollToReveal(*this, QRectF(bounds), bounds.left());
}

void InteractionTextEdit::setInitialRevealRange(TextRange range) {
    m_initialReveal.set({range, false});
}

void InteractionTextEdit::setInitialTopOffset(qsizetype offset) {
    m_initialReveal.set({{offset, offset}, true});
}

void InteractionTextEdit::placeAtTop(qsizetype offset) {
    QTextCursor cursor(document());
    cursor.setPosition(static_cast<int>(m_offsets.toDocument(offset)));
    QScrollBar* vertical = verticalScrollBar();
    vertical->setValue(vertical->value() + cursorRect(cursor).top());
    m_placedTop = {offset, vertical->value()};
    keepFollowedInView();
}

void InteractionTextEdit::keepFollowedInView() {
    // A reveal or a placing still to come decides the place itself.
    if (!m_followedRange || m_pendingReveal || m_initialReveal.waiting() || !hasContentHeight()) return;
    const TextRange range = *m_followedRange;
    if (range.isEmpty() || range.lowerBound < 0 || range.upperBound > m_source.size()) return;
    QTextCursor cursor(document());
    cursor.setPosition(static_cast<int>(m_offsets.toDocument(range.lowerBound)));
    const QRect first = cursorRect(cursor);
    cursor.setPosition(static_cast<int>(m_offsets.toDocument(range.upperBound - 1)));
    const QRect last = cursorRect(cursor);
    if (first.top() >= 0 && last.bottom() < viewport()->height()) return;
    scrollRangeToVisible(range);
}

void InteractionTextEdit::drawHighlight(Highlight highlight, std::optional<TextRange> range) {
    m_highlights[static_cast<int>(highlight)] = range;
    QList<ExtraSelection> selections;
    // The current match first, so the phrase being played draws over it.
    for (const Highlight kind : {Highlight::search, Highlight::playback}) {
        const auto& drawn = m_highlights[static_cast<int>(kind)];
        if (!drawn) continue;
        const TextRange positions = m_offsets.toDocument(*drawn);
        QTextCursor cursor(document());
        cursor.setPosition(static_cast<int>(positions.lowerBound));
        cursor.setPosition(static_cast<int>(positions.upperBound), QTextCursor::KeepAnchor);
        selections.append({cursor, InteractionRules::highlightFormat(kind)});
    }
    setExtraSelections(selections);
}

void InteractionTextEdit::setMinimumDocumentWidth(double width) {
    m_minimumDocumentWidth = width;
    updateDocumentWidth();
}

double InteractionTextEdit::documentWidth() const {
    return std::max({static_cast<double>(viewport()->width()), m_minimumDocumentWidth, m_textMinimumWidth});
}

void InteractionTextEdit::updateDocumentWidth() {
    const int width = static_cast<int>(std::ceil(documentWidth()));
    if (lineWrapColumnOrWidth() == width) return;
    // The lines wrap anew: the placed character is no longer where it was put.
    m_placedTop.reset();
    setLineWrapColumnOrWidth(width);
}

void InteractionTextEdit::resizeEvent(QResizeEvent* event) {
    QTextEdit::resizeEvent(event);
    updateDocumentWidth();
    if (m_pendingReveal || m_initialReveal.waiting()) {
        m_viewportUpdate.schedule([this, generation = m_initialReveal.generation()] {
            m_initialReveal.tryRun(generation);
            revealPending();
        });
    }
    keepFollowedInView();
}

void InteractionTextEdit::userInteracted() {
    cancelReveal();
    if (m_onInteraction) m_onInteraction();
}

void InteractionTextEdit::cancelReveal() {
    m_pendingReveal.reset();
    m_viewportUpdate.cancel();
}

void InteractionTextEdit::keyPressEvent(QKeyEvent* event) {
    if (InteractionRules::isPlaybackKey(*event)) {
        event->ignore();
        return;
    }
    if (InteractionRules::isNavigationKey(*event) && m_onInteraction) m_onInteraction();
    m_handlingKey = true;
    QTextEdit::keyPressEvent(event);
    m_handlingKey = false;
}

void InteractionTextEdit::mousePressEvent(QMouseEvent* event) {
    userInteracted();
    QTextEdit::mousePressEvent(event);
}

void InteractionTextEdit::wheelEvent(QWheelEvent* event) {
    userInteracted();
    QTextEdit::wheelEvent(event);
}

QMimeData* InteractionTextEdit::createMimeDataFromSelection() const {
    const TextRange range = selectedRanges().value(0);
    auto* data = new QMimeData;
    if (!range.isEmpty()) data->setText(m_source.mid(range.lowerBound, range.length()));
    return data;
}

}  // namespace tavrine
