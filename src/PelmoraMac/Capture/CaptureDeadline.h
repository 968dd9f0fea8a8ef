#pragma once

#include "PelmoraMac/Capture/CaptureFailure.h"
#include "ReaderCore/CancellationToken.h"
#include "ReaderCore/Clock.h"

#include <chrono>

namespace tavrine {

// The instant on the monotonic clock by which a capture must be done: its start plus kCaptureTimeGiven.
using CaptureDeadline = Clock::MonotonicTime;

// The time a capture may take, as the user is told.
inline constexpr std::chrono::seconds kCaptureTimeLimit{3};

// The time a capture is given: the limit, but four times it in a build with the address sanitizer, which only
// tests run. There every step is several times slower (a capture worker takes from 0.3 to 1.3 s only to start
// on a loaded machine, against 0.06 s), and what its tests check of a capture must not depend on the machine's
// speed.
#ifdef __SANITIZE_ADDRESS__
inline constexpr std::chrono::seconds kCaptureTimeGiven = 4 * kCaptureTimeLimit;
#else
inline constexpr std::chrono::seconds kCaptureTimeGiven = kCaptureTimeLimit;
#endif

inline CaptureDeadline captureDeadlineFrom(Clock::MonotonicTime start) {
    return start + kCaptureTimeGiven;
}

// cancelled when the token is cancelled (whatever the time), else timedOut from the deadline on.
CaptureResult<void> checkCaptureDeadline(CaptureDeadline deadline, const CancellationToken& cancellation,
                                         const Clock& clock = SystemClock::shared());

}  // namespace tavrine
