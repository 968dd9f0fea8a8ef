#include "ReaderCore/Clock.h"

#include <QTimer>

#include <algorithm>
#include <thread>

namespace tavrine {
namespace {

// How much earlier than its deadline an alarm asks the event loop to wake it. The event loop's timers count
// whole milliseconds and wake a little late, so an alarm woken on time would still be up to a couple of
// milliseconds late: instead it wakes this much early and waits out the rest where it is.
constexpr auto kWakeLead = std::chrono::milliseconds(2);

class TimerAlarm final : public Clock::Alarm {
public:
    TimerAlarm(Clock::MonotonicTime deadline, std::function<void()> fire)
        : m_deadline(deadline), m_fire(std::move(fire)) {
        m_timer.setSingleShot(true);
        // Coarse timers may be 5 % late; playback deadlines need the precise kind.
        m_timer.setTimerType(Qt::PreciseTimer);
        QObject::connect(&m_timer, &QTimer::timeout, &m_timer, [this] { wake(); });
        arm();
    }

private:
    void arm() {
        const auto early =
            std::chrono::floor<std::chrono::milliseconds>(m_deadline - kWakeLead - std::chrono::steady_clock::now());
        m_timer.start(std::max(early, std::chrono::milliseconds(0)));
    }

    void wake() {
        const auto remaining = m_deadline - std::chrono::steady_clock::now();
        if (remaining > kWakeLead) {
            arm();  // woken far too early: wait in the event loop again
            return;
        }
        // At most kWakeLead: the thread sleeps it away with the system's sub-millisecond precision.
        if (remaining > Clock::MonotonicTime::duration::zero()) std::this_thread::sleep_until(m_deadline);
        m_fire();
    }

    const Clock::MonotonicTime m_deadline;
    const std::function<void()> m_fire;
    QTimer m_timer;
};

}  // namespace

Date SystemClock::now() const {
    const auto sinceEpoch = std::chrono::system_clock::now().time_since_epoch();
    return Date::fromUnixSeconds(std::chrono::duration<double>(sinceEpoch).count());
}

std::unique_ptr<Clock::Alarm> SystemClock::schedule(MonotonicTime deadline, std::function<void()> fire) const {
    return std::make_unique<TimerAlarm>(deadline, std::move(fire));
}

const SystemClock& SystemClock::shared() {
    static const SystemClock clock;
    return clock;
}

}  // namespace tavrine
