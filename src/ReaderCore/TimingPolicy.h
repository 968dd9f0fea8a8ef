#pragma once

#include "ReaderCore/ReadingChunk.h"

namespace tavrine {

// How long each chunk stays on screen: baseSeconds (seconds per short chunk at the chosen speed) times a
// length factor (Characters / 8, from 1.0 up to 2.5) times the factor of the break that follows it.
struct TimingPolicy {
    // The range of base intervals: 0.3 s is speed 1.0, 0.04 s speed 7.5.
    static constexpr double kMinimumInterval = 0.04;
    static constexpr double kMaximumInterval = 0.3;

    double baseSeconds = kMaximumInterval;

    // Multiplies baseSeconds as stored; callers clamp it first with clampedInterval().
    double duration(const ReadingChunk& chunk) const;

    // Maps any value into 0.04...0.3; NaN and infinities give 0.3.
    static double clampedInterval(double seconds);
    static double boundaryFactor(ReadingChunk::Boundary boundary);

    bool operator==(const TimingPolicy&) const = default;
};

}  // namespace tavrine
