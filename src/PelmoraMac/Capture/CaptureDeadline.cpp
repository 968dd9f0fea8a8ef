#include "PelmoraMac/Capture/CaptureDeadline.h"

namespace tavrine {

CaptureResult<void> checkCaptureDeadline(CaptureDeadline deadline, const CancellationToken& cancellation,
                                         const Clock& clock) {
    if (cancellation.isCancelled()) return tl::unexpected(CaptureFailure::cancelled);
    if (clock.monotonicNow() >= deadline) return tl::unexpected(CaptureFailure::timedOut);
    return {};
}

}  // namespace tavrine
