#pragma once

#include "ReaderCore/Date.h"

#include <chrono>

namespace tavrine {

// The source of time for every service: wall-clock dates for what is stored, and a monotonic clock for
// deadlines and playback. Passed in constructors so tests can drive time by hand.
class Clock {
public:
    using MonotonicTime = std::chrono::steady_clock::time_point;

    virtual ~Clock() = default;
    virtual Date now() const = 0;
    virtual MonotonicTime monotonicNow() const = 0;
};

// The real clocks of the machine.
class SystemClock final : public Clock {
public:
    Date now() const override;
    MonotonicTime monotonicNow() const override { return std::chrono::steady_clock::now(); }

    // One shared instance for callers that take a reference and have no clock of their own.
    static const SystemClock& shared();
};

}  // namespace tavrine
