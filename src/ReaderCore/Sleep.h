#pragma once

#include "ReaderCore/CancellationToken.h"
#include "ReaderCore/Clock.h"

#include <QCoro/QCoroTask>

namespace tavrine {

// Waits until the clock's monotonic time reaches `deadline`, or less when the token is cancelled first.
// Resumes on the awaiting thread (which runs an event loop) and answers true when the deadline was
// reached, false when the wait was cancelled. The clock must outlive the wait.
QCoro::Task<bool> sleepUntil(const Clock& clock, Clock::MonotonicTime deadline, CancellationToken token);

// The same for a span of time from now.
QCoro::Task<bool> sleepFor(const Clock& clock, std::chrono::duration<double> duration, CancellationToken token);

}  // namespace tavrine
