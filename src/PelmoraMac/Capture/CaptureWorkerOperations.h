#pragma once

#include "PelmoraMac/Capture/CaptureFailure.h"
#include "PelmoraMac/Capture/CaptureWorkerRequest.h"
#include "PelmoraMac/Capture/CaptureWorkerResponse.h"
#include "ReaderCore/CancellationToken.h"

namespace tavrine {

// Performs the operation of a decoded request in the worker. Each operation first checks that its
// input is there (snapshot and verify: a browser, else browserUnsupported; extract: HTML, else
// unavailable, of at most kExtractionHTMLLimit units, else htmlTooLarge; clipboard: a snapshot, else
// clipboardNoText; markdown: a text, else markdownUnreadable), then does its work. Runs on the worker's
// main thread.
CaptureResult<CaptureWorkerResponse> performCaptureWorkerOperation(const CaptureWorkerRequest& request,
                                                                   const CancellationToken& cancellation);

}  // namespace tavrine
