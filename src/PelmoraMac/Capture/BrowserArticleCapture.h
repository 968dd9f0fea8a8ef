#pragma once

#include "PelmoraMac/Capture/ArticleBrowser.h"
#include "PelmoraMac/Capture/BrowserSnapshot.h"
#include "PelmoraMac/Capture/CaptureDeadline.h"
#include "PelmoraMac/Capture/CaptureFailure.h"
#include "PelmoraMac/Capture/CaptureWorkerLauncher.h"
#include "PelmoraMac/Capture/CaptureWorkerRequest.h"
#include "PelmoraMac/Capture/CaptureWorkerResponse.h"
#include "ReaderCore/CancellationToken.h"
#include "ReaderCore/ReadingDocument.h"

#include <QString>

#include <sys/types.h>
#include <functional>
#include <optional>

namespace tavrine {

// Has one worker request answered by the deadline; runCaptureWorker in the application.
using CaptureWorkerRunner = std::function<CaptureResult<CaptureWorkerResponse>(
    const CaptureWorkerRequest& request, CaptureDeadline deadline, const CancellationToken& cancellation)>;

// What the article capture asks of the desktop, passed in so that tests can play the desktop.
struct BrowserArticleCaptureEnvironment {
    // Whether the application in front is the process with this id (the X11 layer's front window's
    // process, in the application).
    std::function<bool(pid_t)> isFrontApplication;
    // The browser's automation permission: kAutomationAllowed, kAutomationDenied, kAutomationUndecided
    // or another failing status (browserAutomationPermission of the user's answer, in the application).
    std::function<int(ArticleBrowser)> automationPermission;
    CaptureWorkerRunner runWorker = [](const CaptureWorkerRequest& request, CaptureDeadline deadline,
                                       const CancellationToken& cancellation) {
        return tavrine::runCaptureWorker(request, deadline, cancellation);
    };
};

// The article of the page in the browser's active tab, read while the browser stays in front and the
// page stays the same, in three workers one after the other under the capture's deadline: a snapshot of
// the tab with its HTML (it must have HTML and a document identity, and its URL must be `pageURL`, the
// page's address as the desktop reported it; without one, where the desktop shows nothing of the page,
// an http or https address, else the page is no web page and gives no document), the extraction of the
// article from that HTML, and a snapshot without HTML taken after the extraction, which must match the
// first (verifySnapshotsMatch). The snapshots ask the browser whose window is in front, the process
// `frontProcess`. Before it starts, and after the first and the last worker, the deadline (cancelled,
// timedOut) and the front application (sourceChanged) are checked; before any worker, the automation
// permission (automationRequired, automationDenied, or unavailable for any other failing status). No
// document: the page has no article body, which is no failure here. The workers' failures come through
// unchanged; nothing is retried. Blocks its thread (a pool thread) while the workers run.
CaptureResult<std::optional<ReadingDocument>> captureBrowserArticle(
    ArticleBrowser browser, const std::optional<QString>& pageURL, pid_t frontProcess, CaptureDeadline deadline,
    const CancellationToken& cancellation, const BrowserArticleCaptureEnvironment& environment);

// The second snapshot must be "ok", and have the first's url, documentID, windowID and tabID (absent
// only equals absent); its HTML and the first's status do not count. Otherwise sourceChanged.
CaptureResult<void> verifySnapshotsMatch(const BrowserSnapshot& first, const BrowserSnapshot& second);

}  // namespace tavrine
