#include "PelmoraMac/Library/ReaderMenuIconButton.h"

#include "ReaderCore/MainThread.h"
#include "ReaderUI/ReaderPalette.h"
#include "ReaderWidgets/Style/ReaderFocusRing.h"
#include "ReaderWidgets/Style/ReaderReadingControlButton.h"
#include "ReaderWidgets/Style/ToQColor.h"

#include <QHoverEvent>
#include <QPainter>
#include <QPainterPath>

namespace tavrine {

ReaderMenuIconButton::ReaderMenuIconButton(int ringMargin, QWidget* parent)
    : QToolButton(parent), m_ringMargin(ringMargin) {
    Q_ASSERT(isMainThread());
    setFixedSize(kSize + 2 * ringMargin, kSize + 2 * ringMargin);
    setAttribute(Qt::WA_Hover);
    setAttribute(Qt::WA_NoSystemBackground);
    // It draws its own ring, outside its square when it has room.
    ReaderFocusRing::setDrawsOwnRing(*this);
}

QRectF ReaderMenuIconButton::square() const {
    return QRectF(rect()).adjusted(m_ringMargin, m_ringMargin, -m_ringMargin, -m_ringMargin);
}

void ReaderMenuIconButton::paintGlyph(QPainter& painter, const QRectF& square, const QColor& colour) {
    const QRectF box(square.center() - QPointF(kGlyphSize, kGlyphSize) / 2, QSizeF(kGlyphSize, kGlyphSize));
    painter.save();
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(Qt::NoPen);
    painter.setBrush(colour);
    const double radius = box.width() / 10;
    for (int index = -1; index <= 1; ++index)
        painter.drawEllipse(box.center() + QPointF(index * box.width() / 3, 0), radius, radius);
    painter.restore();
}

void ReaderMenuIconButton::paintEvent(QPaintEvent*) {
    const auto look = ReaderReadingControlButton::appearance(
        ReaderPalette::control,
        {.enabled = isEnabled(), .pressed = isDown(), .hovered = m_hovered, .focused = hasFocus()});
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setOpacity(look.opacity);
    const QRectF square = this->square();
    if (look.fillOpacity > 0) {
        QPainterPath plate;
        plate.addRoundedRect(square, kCornerRadius, kCornerRadius);
        painter.fillPath(plate, toQColor(ReaderPalette::control.withAlpha(look.fillOpacity)));
    }
    if (look.showsFocusRing) {
        // Centred half a line outside the square when there is a margin for it, so the ring touches the
        // square and leaves the glyph alone; else half a line inside.
        const double width = ReaderReadingControlButton::kFocusRingWidth;
        const double offset = m_ringMargin >= width ? width / 2 : -width / 2;
        QPainterPath ring;
        ring.addRoundedRect(square.adjusted(-offset, -offset, offset, offset), kCornerRadius + offset,
                            kCornerRadius + offset);
        painter.strokePath(ring, QPen(toQColor(ReaderPalette::focus), width));
    }
    paintGlyph(painter, square, toQColor(look.label));
}

bool ReaderMenuIconButton::hitButton(const QPoint& position) const {
    return square().contains(QPointF(position));
}

bool ReaderMenuIconButton::event(QEvent* event) {
    switch (event->type()) {
    case QEvent::HoverEnter:
    case QEvent::HoverMove: setHovered(square().contains(static_cast<QHoverEvent*>(event)->position())); break;
    // A menu or a dialog taking the pointer away sends a leave, though no hover leave.
    case QEvent::HoverLeave:
    case QEvent::Leave: setHovered(false); break;
    default: break;
    }
    return QToolButton::event(event);
}

void ReaderMenuIconButton::setHovered(bool hovered) {
    if (hovered == m_hovered) return;
    m_hovered = hovered;
    update();
}

}  // namespace tavrine
