#pragma once

#include "PelmoraMac/Capture/CaptureFailure.h"
#include "ReaderCore/CancellationToken.h"
#include "ReaderCore/Clock.h"

#include <chrono>

namespace tavrine {

// The instant on the monotonic clock by which a capture must be done: its start plus kCaptureTimeLimit.
using CaptureDeadline = Clock::MonotonicTime;

inline constexpr std::chrono::seconds kCaptureTimeLimit{3};

inline CaptureDeadline captureDeadlineFrom(Clock::MonotonicTime start) {
    return start + kCaptureTimeLimit;
}

// cancelled when the token is cancelled (whatever the time), else timedOut from the deadline on.
CaptureResult<void> checkCaptureDeadline(CaptureDeadline deadline, const CancellationToken& cancellation,
                                         const Clock& clock = SystemClock::shared());

}  // namespace tavrine
