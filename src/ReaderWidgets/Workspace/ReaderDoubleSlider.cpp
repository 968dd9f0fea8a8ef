#include "ReaderWidgets/Workspace/ReaderDoubleSlider.h"
#include "ReaderCore/MainThread.h"

#include <QKeyEvent>
#include <QMouseEvent>
#include <QSignalBlocker>
#include <QStyle>
#include <QStyleOptionSlider>
#include <QWheelEvent>

#include <algorithm>
#include <cmath>

namespace tavrine {

ReaderDoubleSlider::ReaderDoubleSlider(double minimum, double maximum, QWidget* parent)
    : QSlider(Qt::Horizontal, parent), m_minimum(minimum), m_maximum(maximum) {
    Q_ASSERT(isMainThread());
    setRange(0, kSteps);
    setSingleStep(0);
    setPageStep(0);
    setFocusPolicy(Qt::StrongFocus);
    connect(this, &QSlider::sliderMoved, this, [this](int position) { emit userValueChanged(valueOf(position)); });
}

double ReaderDoubleSlider::doubleValue() const {
    return valueOf(sliderPosition());
}

double ReaderDoubleSlider::valueOf(int position) const {
    return m_minimum + (m_maximum - m_minimum) * double(position) / kSteps;
}

int ReaderDoubleSlider::positionOf(double value) const {
    if (!std::isfinite(value) || m_maximum <= m_minimum) return 0;
    const double share = (std::clamp(value, m_minimum, m_maximum) - m_minimum) / (m_maximum - m_minimum);
    return int(std::lround(share * kSteps));
}

void ReaderDoubleSlider::setValueFromModel(double value) {
    if (m_isEditing) return;
    const int position = positionOf(value);
    if (position == sliderPosition()) return;
    const QSignalBlocker blocker(this);
    setValue(position);
}

int ReaderDoubleSlider::positionAt(const QPoint& point) const {
    QStyleOptionSlider option;
    initStyleOption(&option);
    const QRect groove = style()->subControlRect(QStyle::CC_Slider, &option, QStyle::SC_SliderGroove, this);
    const QRect handle = style()->subControlRect(QStyle::CC_Slider, &option, QStyle::SC_SliderHandle, this);
    const int span = groove.width() - handle.width();
    const int pixel = point.x() - groove.x() - handle.width() / 2;
    return QStyle::sliderValueFromPosition(minimum(), maximum(), pixel, span, option.upsideDown);
}

void ReaderDoubleSlider::mousePressEvent(QMouseEvent* event) {
    if (event->button() != Qt::LeftButton || !isEnabled()) {
        QSlider::mousePressEvent(event);
        return;
    }
    m_isEditing = true;
    emit editingChanged(true);
    QStyleOptionSlider option;
    initStyleOption(&option);
    const QRect handle = style()->subControlRect(QStyle::CC_Slider, &option, QStyle::SC_SliderHandle, this);
    if (!handle.contains(event->position().toPoint())) {
        // A press on the track: the knob comes under the pointer, and the press drags it from there.
        const int position = positionAt(event->position().toPoint());
        if (position != sliderPosition()) {
            const QSignalBlocker blocker(this);
            setValue(position);
        }
        emit userValueChanged(valueOf(position));
    }
    QSlider::mousePressEvent(event);
}

void ReaderDoubleSlider::mouseReleaseEvent(QMouseEvent* event) {
    QSlider::mouseReleaseEvent(event);
    if (event->button() == Qt::LeftButton) endEditing();
}

void ReaderDoubleSlider::endEditing() {
    if (!m_isEditing) return;
    m_isEditing = false;
    emit editingChanged(false);
}

void ReaderDoubleSlider::hideEvent(QHideEvent* event) {
    QSlider::hideEvent(event);
    // No release reaches a hidden slider.
    setSliderDown(false);
    endEditing();
}

void ReaderDoubleSlider::keyPressEvent(QKeyEvent* event) {
    switch (event->key()) {
    case Qt::Key_Left:
    case Qt::Key_Right:
        if (m_arrowHandler && m_arrowHandler(event->key() == Qt::Key_Right)) {
            event->accept();
        } else {
            event->ignore();
        }
        return;
    case Qt::Key_Up:
    case Qt::Key_Down:
    case Qt::Key_PageUp:
    case Qt::Key_PageDown:
    case Qt::Key_Home:
    case Qt::Key_End: event->accept(); return;
    default: QSlider::keyPressEvent(event); return;
    }
}

void ReaderDoubleSlider::wheelEvent(QWheelEvent* event) {
    event->ignore();
}

void ReaderDoubleSlider::focusInEvent(QFocusEvent* event) {
    QSlider::focusInEvent(event);
    emit focusChanged(true);
}

void ReaderDoubleSlider::focusOutEvent(QFocusEvent* event) {
    QSlider::focusOutEvent(event);
    emit focusChanged(false);
}

}  // namespace tavrine
