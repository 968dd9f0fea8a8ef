#include "ReaderWidgets/Style/ReaderReadingControlButton.h"

#include "ReaderCore/MainThread.h"
#include "ReaderUI/PropertyWrite.h"
#include "ReaderUI/ReaderPalette.h"
#include "ReaderWidgets/Style/ReaderFocusRing.h"
#include "ReaderWidgets/Style/ToQColor.h"

#include <QEvent>
#include <QFontMetricsF>
#include <QHoverEvent>
#include <QPainter>

#include <cmath>

namespace tavrine {

ReaderReadingControlButton::Appearance ReaderReadingControlButton::appearance(const ReaderColor& accent, State state) {
    if (!state.enabled) return {ReaderPalette::secondaryText, 0, false, 0.45};
    const double fill = state.pressed ? 0.12 : state.hovered ? 0.06 : 0;
    return {accent, fill, state.focused, 1};
}

ReaderReadingControlButton::ReaderReadingControlButton(const ReaderColor& accent, QWidget* parent)
    : QAbstractButton(parent), m_accent(accent) {
    Q_ASSERT(isMainThread());
    setAttribute(Qt::WA_Hover);
    // A click acts and leaves the keyboard focus where it was (on the display, whose Space plays); Tab
    // still reaches the button.
    setFocusPolicy(Qt::TabFocus);
    ReaderFocusRing::setDrawsOwnRing(*this);
    setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
}

void ReaderReadingControlButton::setAccent(const ReaderColor& accent) {
    if (assignIfChanged(m_accent, accent)) update();
}

void ReaderReadingControlButton::setSymbol(std::optional<ReaderSymbol> symbol) {
    if (assignIfChanged(m_symbol, symbol)) contentChanged();
}

void ReaderReadingControlButton::setLabelStyle(LabelStyle style) {
    if (assignIfChanged(m_labelStyle, style)) contentChanged();
}

void ReaderReadingControlButton::setLabelFrame(std::optional<QSize> frame) {
    if (assignIfChanged(m_labelFrame, frame)) contentChanged();
}

void ReaderReadingControlButton::contentChanged() {
    updateGeometry();
    update();
}

ReaderReadingControlButton::State ReaderReadingControlButton::state() const {
    return {isEnabled(), isDown(), m_hovered, hasFocus()};
}

QPainterPath ReaderReadingControlButton::plate() const {
    QPainterPath path;
    path.addRoundedRect(QRectF(rect()), kCornerRadius, kCornerRadius);
    return path;
}

ReaderReadingControlButton::LabelLayout ReaderReadingControlButton::labelLayout() const {
    const QFontMetricsF metrics(font());
    LabelLayout layout;
    const bool showsSymbol = m_symbol && m_labelStyle != LabelStyle::titleOnly;
    const bool showsTitle = !text().isEmpty() && (m_labelStyle != LabelStyle::iconOnly || !m_symbol);
    if (showsSymbol) {
        // A symbol stands as tall as the label's text would, and never outgrows a fixed frame.
        layout.symbolSize = std::ceil(metrics.height());
        if (m_labelFrame) {
            layout.symbolSize =
                std::min({layout.symbolSize, double(m_labelFrame->width()), double(m_labelFrame->height())});
        }
    }
    if (showsTitle) layout.titleWidth = std::ceil(metrics.horizontalAdvance(text()));
    layout.width = layout.symbolSize + layout.titleWidth + (showsSymbol && showsTitle ? kSymbolSpacing : 0);
    layout.height = std::max(layout.symbolSize, showsTitle ? std::ceil(metrics.height()) : 0.0);
    return layout;
}

QSize ReaderReadingControlButton::sizeHint() const {
    const LabelLayout label = labelLayout();
    const QSize labelSize =
        m_labelFrame ? *m_labelFrame : QSize(static_cast<int>(label.width), static_cast<int>(label.height));
    return {labelSize.width() + 2 * kHorizontalPadding, labelSize.height() + 2 * kVerticalPadding};
}

void ReaderReadingControlButton::paintEvent(QPaintEvent*) {
    const Appearance look = appearance(m_accent, state());
    const QColor accent = toQColor(m_accent);
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setOpacity(look.opacity);

    if (look.fillOpacity > 0) {
        QColor fill = accent;
        fill.setAlphaF(static_cast<float>(look.fillOpacity));
        painter.fillPath(plate(), fill);
    }
    if (look.showsFocusRing) {
        // Stroked along a path inset by half the line, so the ring lies wholly inside the plate.
        const double inset = kFocusRingWidth / 2;
        QPainterPath ring;
        ring.addRoundedRect(QRectF(rect()).adjusted(inset, inset, -inset, -inset), kCornerRadius - inset,
                            kCornerRadius - inset);
        painter.strokePath(ring, QPen(accent, kFocusRingWidth));
    }

    // The label, centred on the plate: the symbol, then the title.
    const LabelLayout label = labelLayout();
    const QColor labelColour = toQColor(look.label);
    const QPointF centre = QRectF(rect()).center();
    double x = centre.x() - label.width / 2;
    if (label.symbolSize > 0) {
        paintSymbol(painter, *m_symbol,
                    QRectF(x, centre.y() - label.symbolSize / 2, label.symbolSize, label.symbolSize), labelColour);
        x += label.symbolSize + kSymbolSpacing;
    }
    if (label.titleWidth > 0) {
        painter.setPen(labelColour);
        painter.drawText(QRectF(x, 0, label.titleWidth, height()), Qt::AlignLeft | Qt::AlignVCenter, text());
    }
}

bool ReaderReadingControlButton::hitButton(const QPoint& position) const {
    return plate().contains(QPointF(position) + QPointF(0.5, 0.5));
}

bool ReaderReadingControlButton::event(QEvent* event) {
    switch (event->type()) {
    case QEvent::HoverEnter:
    case QEvent::HoverMove: setHovered(plate().contains(static_cast<QHoverEvent*>(event)->position())); break;
    case QEvent::HoverLeave: setHovered(false); break;
    default: break;
    }
    return QAbstractButton::event(event);
}

void ReaderReadingControlButton::setHovered(bool hovered) {
    if (hovered == m_hovered) return;
    m_hovered = hovered;
    update();
}

}  // namespace tavrine
