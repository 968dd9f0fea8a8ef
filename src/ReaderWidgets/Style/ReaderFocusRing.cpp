#include "ReaderWidgets/Style/ReaderFocusRing.h"

#include "ReaderCore/MainThread.h"
#include "ReaderUI/ReaderPalette.h"
#include "ReaderWidgets/Style/ToQColor.h"

#include <QApplication>
#include <QEvent>
#include <QPainter>
#include <QPainterPath>
#include <QVariant>

namespace tavrine {

namespace {

constexpr char kDrawsOwnRingProperty[] = "tavrineDrawsOwnFocusRing";
constexpr char kCornerRadiusProperty[] = "tavrineFocusRingCornerRadius";

}  // namespace

ReaderFocusRing::ReaderFocusRing(QWidget& window) : QFocusFrame(&window), m_window(window) {
    Q_ASSERT(isMainThread());
    setAttribute(Qt::WA_NoSystemBackground);
    hide();
    window.installEventFilter(this);
    connect(qApp, &QApplication::focusChanged, this, [this] { follow(); });
    follow();
}

ReaderFocusRing::~ReaderFocusRing() {
    for (const QPointer<QWidget>& widget : std::as_const(m_watched)) {
        if (widget) widget->removeEventFilter(this);
    }
}

void ReaderFocusRing::setDrawsOwnRing(QWidget& widget) {
    widget.setProperty(kDrawsOwnRingProperty, true);
}

void ReaderFocusRing::setCornerRadius(QWidget& widget, double radius) {
    widget.setProperty(kCornerRadiusProperty, radius);
}

void ReaderFocusRing::follow() {
    QWidget* focus = m_window.focusWidget();
    if (focus == &m_window) focus = nullptr;
    if (focus != m_target || m_watched.size() == 0 || m_watched.contains(nullptr)) watch(focus);
    place();
}

void ReaderFocusRing::watch(QWidget* target) {
    for (const QPointer<QWidget>& widget : std::as_const(m_watched)) {
        if (widget) widget->removeEventFilter(this);
    }
    m_watched.clear();
    m_target = target;
    for (QWidget* widget = target; widget && widget != &m_window; widget = widget->parentWidget()) {
        widget->installEventFilter(this);
        m_watched.append(widget);
    }
}

bool ReaderFocusRing::ringsTarget() const {
    for (const QWidget* widget = m_target; widget && widget != &m_window; widget = widget->parentWidget()) {
        if (widget->property(kDrawsOwnRingProperty).toBool()) return false;
    }
    return true;
}

void ReaderFocusRing::place() {
    // A popup that took the keys (a list shown over the window) has its own focus: the window, still the
    // active one for Qt, shows no ring meanwhile. A menu takes no focus widget and leaves the ring.
    const QWidget* keys = QApplication::focusWidget();
    const bool keysElsewhere = keys && keys->window() != &m_window;
    if (!m_target || !m_window.isActiveWindow() || keysElsewhere || !m_target->isVisible() || !ringsTarget()) {
        hide();
        return;
    }
    // What shows of the target: its rectangle cut by every enclosing widget's (a scroll area's viewport
    // among them), in the window's coordinates.
    const QRect whole(m_target->mapTo(&m_window, QPoint(0, 0)), m_target->size());
    QRect shown = whole & m_window.rect();
    for (const QWidget* widget = m_target->parentWidget(); widget && widget != &m_window;
         widget = widget->parentWidget()) {
        shown &= QRect(widget->mapTo(&m_window, QPoint(0, 0)), widget->size());
    }
    if (shown.isEmpty()) {
        hide();
        return;
    }
    m_targetRect = whole.translated(-shown.topLeft());
    setGeometry(shown);
    raise();
    show();
    update();
}

bool ReaderFocusRing::eventFilter(QObject* watched, QEvent* event) {
    if (watched == &m_window) {
        switch (event->type()) {
        case QEvent::ActivationChange:
        case QEvent::WindowActivate:
        case QEvent::WindowDeactivate:
        case QEvent::Resize: follow(); break;
        default: break;
        }
        return false;
    }
    switch (event->type()) {
    case QEvent::Move:
    case QEvent::Resize:
    case QEvent::Show:
    case QEvent::Hide: place(); break;
    // Moved to another parent: the chain of enclosing widgets is another one.
    case QEvent::ParentChange:
        watch(m_target);
        place();
        break;
    default: break;
    }
    return false;
}

void ReaderFocusRing::paintEvent(QPaintEvent*) {
    if (!m_target) return;
    const QVariant radiusProperty = m_target->property(kCornerRadiusProperty);
    const double radius = radiusProperty.isValid() ? radiusProperty.toDouble() : kDefaultCornerRadius;
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    // Stroked along a path inset by half the line, so the ring lies wholly inside the widget's edge.
    const double inset = kWidth / 2;
    QPainterPath ring;
    ring.addRoundedRect(QRectF(m_targetRect).adjusted(inset, inset, -inset, -inset), radius - inset, radius - inset);
    painter.strokePath(ring, QPen(toQColor(ReaderPalette::focus), kWidth));
}

}  // namespace tavrine
