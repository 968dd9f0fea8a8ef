#pragma once

#include "ReaderCore/Date.h"

#include <chrono>
#include <functional>
#include <memory>

namespace tavrine {

// The source of time for every service: wall-clock dates for what is stored, a monotonic clock for
// deadlines and playback, and alarms on that monotonic clock. Passed in constructors, so tests drive
// time by hand.
class Clock {
public:
    using MonotonicTime = std::chrono::steady_clock::time_point;

    // An armed alarm; destroying it disarms it.
    class Alarm {
    public:
        virtual ~Alarm() = default;
    };

    virtual ~Clock() = default;
    virtual Date now() const = 0;
    virtual MonotonicTime monotonicNow() const = 0;

    // Calls `fire` once, on the calling thread (which runs an event loop), when monotonicNow() reaches
    // `deadline`; a deadline already passed fires on the next turn of the event loop.
    virtual std::unique_ptr<Alarm> schedule(MonotonicTime deadline, std::function<void()> fire) const = 0;
};

// The real clocks of the machine. An alarm fires at its deadline to within the system's sleep precision
// (well under a millisecond), never before: the event loop wakes it shortly before the deadline and the
// thread then sleeps the last part, at most two milliseconds.
class SystemClock final : public Clock {
public:
    Date now() const override;
    MonotonicTime monotonicNow() const override { return std::chrono::steady_clock::now(); }
    std::unique_ptr<Alarm> schedule(MonotonicTime deadline, std::function<void()> fire) const override;

    // One shared instance for callers that have no clock of their own.
    static const SystemClock& shared();
};

}  // namespace tavrine
