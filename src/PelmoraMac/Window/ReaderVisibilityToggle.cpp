#include "PelmoraMac/Window/ReaderVisibilityToggle.h"

#include "ReaderCore/MainThread.h"
#include "ReaderUI/ReaderPalette.h"
#include "ReaderWidgets/Style/ReaderFocusRing.h"
#include "ReaderWidgets/Style/ToQColor.h"

#include <QAccessible>
#include <QAccessibleWidget>
#include <QHoverEvent>
#include <QPainter>

namespace tavrine {
namespace {

// The toggle as a check box: its name, its on state, its value in words, and the one action.
class AccessibleToggle final : public QAccessibleWidget {
public:
    explicit AccessibleToggle(ReaderVisibilityToggle* toggle) : QAccessibleWidget(toggle, QAccessible::CheckBox) {}

    QString text(QAccessible::Text kind) const override {
        if (kind == QAccessible::Value) return toggle()->accessibleValue();
        if (kind == QAccessible::Name && toggle()->accessibleName().isEmpty()) return toggle()->text();
        return QAccessibleWidget::text(kind);
    }
    QAccessible::State state() const override {
        QAccessible::State state = QAccessibleWidget::state();
        state.checkable = true;
        state.checked = toggle()->isChecked();
        return state;
    }
    QStringList actionNames() const override { return {toggleAction()}; }
    void doAction(const QString& action) override {
        if (action == toggleAction() && toggle()->isEnabled()) toggle()->click();
    }

private:
    ReaderVisibilityToggle* toggle() const { return static_cast<ReaderVisibilityToggle*>(widget()); }
};

QAccessibleInterface* toggleFactory(const QString&, QObject* object) {
    auto* toggle = qobject_cast<ReaderVisibilityToggle*>(object);
    return toggle ? new AccessibleToggle(toggle) : nullptr;
}

}  // namespace

ReaderVisibilityToggle::Appearance ReaderVisibilityToggle::appearance(State state) {
    const ReaderColor& foreground = state.on ? ReaderPalette::text : ReaderPalette::secondaryText;
    if (!state.enabled) return {foreground, 0, false, 0.45};
    return {foreground, state.pressed ? 0.12 : state.hovered ? 0.06 : 0, state.focused, 1};
}

ReaderVisibilityToggle::ReaderVisibilityToggle(ReaderSymbol symbol, QWidget* parent)
    : QAbstractButton(parent), m_symbol(symbol) {
    Q_ASSERT(isMainThread());
    static const bool installed = [] {
        QAccessible::installFactory(toggleFactory);
        return true;
    }();
    Q_UNUSED(installed);
    setCheckable(true);
    setAttribute(Qt::WA_Hover);
    // A click leaves the keyboard focus where it was; Tab reaches the toggle.
    setFocusPolicy(Qt::TabFocus);
    ReaderFocusRing::setDrawsOwnRing(*this);
    setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
}

void ReaderVisibilityToggle::setAccessibleValue(const QString& value) {
    if (value == m_accessibleValue) return;
    m_accessibleValue = value;
    QAccessibleValueChangeEvent event(this, value);
    QAccessible::updateAccessibility(&event);
}

ReaderVisibilityToggle::State ReaderVisibilityToggle::state() const {
    return {isEnabled(), isChecked(), isDown(), m_hovered, hasFocus()};
}

QPainterPath ReaderVisibilityToggle::shape() const {
    QPainterPath path;
    path.addRoundedRect(QRectF(rect()), kCornerRadius, kCornerRadius);
    return path;
}

void ReaderVisibilityToggle::paintEvent(QPaintEvent*) {
    const Appearance look = appearance(state());
    const QColor text = toQColor(ReaderPalette::text);
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setOpacity(look.opacity);
    if (look.fillOpacity > 0) {
        QColor fill = text;
        fill.setAlphaF(static_cast<float>(look.fillOpacity));
        painter.fillPath(shape(), fill);
    }
    if (look.showsFocusRing) {
        // Inside the shape, so focus never changes the button's size.
        const double inset = kFocusRingWidth / 2;
        QPainterPath ring;
        ring.addRoundedRect(QRectF(rect()).adjusted(inset, inset, -inset, -inset), kCornerRadius - inset,
                            kCornerRadius - inset);
        QPen pen(text, kFocusRingWidth, Qt::SolidLine, Qt::FlatCap, Qt::MiterJoin);
        pen.setMiterLimit(10);
        painter.strokePath(ring, pen);
    }
    QRectF icon(0, 0, kIconSize, kIconSize);
    icon.moveCenter(QRectF(rect()).center());
    paintSymbol(painter, m_symbol, icon, toQColor(look.foreground));
}

bool ReaderVisibilityToggle::hitButton(const QPoint& position) const {
    return shape().contains(QPointF(position) + QPointF(0.5, 0.5));
}

bool ReaderVisibilityToggle::event(QEvent* event) {
    switch (event->type()) {
    case QEvent::HoverEnter:
    case QEvent::HoverMove: setHovered(shape().contains(static_cast<QHoverEvent*>(event)->position())); break;
    case QEvent::HoverLeave: setHovered(false); break;
    default: break;
    }
    return QAbstractButton::event(event);
}

void ReaderVisibilityToggle::setHovered(bool hovered) {
    if (hovered == m_hovered) return;
    m_hovered = hovered;
    update();
}

}  // namespace tavrine
