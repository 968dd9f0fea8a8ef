#include "ReaderWidgets/Style/ReaderBusyIndicator.h"

#include "ReaderCore/MainThread.h"
#include "ReaderUI/ReaderPalette.h"
#include "ReaderWidgets/Style/ToQColor.h"

#include <QPainter>
#include <QTimerEvent>

#include <numbers>

namespace tavrine {

ReaderBusyIndicator::ReaderBusyIndicator(QWidget* parent) : QProgressBar(parent) {
    Q_ASSERT(isMainThread());
    setRange(0, 0);
    setTextVisible(false);
    setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
    setFixedSize(kSize, kSize);
}

void ReaderBusyIndicator::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    const QPointF centre = QRectF(rect()).center();
    const double outer = std::min(width(), height()) / 2.0 - 1;
    const double inner = outer * 0.5;
    QColor colour = toQColor(ReaderPalette::secondaryText);
    for (int spoke = 0; spoke < kSpokes; ++spoke) {
        // The spoke at the phase is whole; those behind it fade to a fifth.
        const int behind = (m_phase - spoke + kSpokes) % kSpokes;
        colour.setAlphaF(static_cast<float>(1.0 - 0.8 * behind / (kSpokes - 1)));
        painter.setPen(QPen(colour, 2, Qt::SolidLine, Qt::RoundCap));
        // Clockwise from twelve o'clock.
        const double angle = 2 * std::numbers::pi * spoke / kSpokes;
        const QPointF direction(std::sin(angle), -std::cos(angle));
        painter.drawLine(centre + direction * inner, centre + direction * outer);
    }
}

void ReaderBusyIndicator::showEvent(QShowEvent* event) {
    QProgressBar::showEvent(event);
    m_timer.start(kStepMilliseconds, Qt::CoarseTimer, this);
}

void ReaderBusyIndicator::hideEvent(QHideEvent* event) {
    m_timer.stop();
    QProgressBar::hideEvent(event);
}

void ReaderBusyIndicator::timerEvent(QTimerEvent* event) {
    if (event->timerId() != m_timer.timerId()) {
        QProgressBar::timerEvent(event);
        return;
    }
    m_phase = (m_phase + 1) % kSpokes;
    update();
}

}  // namespace tavrine
