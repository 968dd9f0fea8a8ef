#include "ReaderCore/Clock.h"

#include <QTimer>

namespace tavrine {
namespace {

class TimerAlarm final : public Clock::Alarm {
public:
    TimerAlarm(std::chrono::milliseconds delay, std::function<void()> fire) {
        m_timer.setSingleShot(true);
        // Coarse timers may be 5 % late; playback deadlines need the precise kind.
        m_timer.setTimerType(Qt::PreciseTimer);
        QObject::connect(&m_timer, &QTimer::timeout, &m_timer, std::move(fire));
        m_timer.start(delay);
    }

private:
    QTimer m_timer;
};

}  // namespace

Date SystemClock::now() const {
    const auto sinceEpoch = std::chrono::system_clock::now().time_since_epoch();
    return Date::fromUnixSeconds(std::chrono::duration<double>(sinceEpoch).count());
}

std::unique_ptr<Clock::Alarm> SystemClock::schedule(MonotonicTime deadline, std::function<void()> fire) const {
    const auto remaining = deadline - monotonicNow();
    // Round up, so the alarm never fires before its deadline.
    auto delay = std::chrono::ceil<std::chrono::milliseconds>(remaining);
    if (delay.count() < 0) delay = std::chrono::milliseconds(0);
    return std::make_unique<TimerAlarm>(delay, std::move(fire));
}

const SystemClock& SystemClock::shared() {
    static const SystemClock clock;
    return clock;
}

}  // namespace tavrine
