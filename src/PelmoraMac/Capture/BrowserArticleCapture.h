#pragma once

#include "PelmoraMac/Capture/ArticleBrowser.h"
#include "PelmoraMac/Capture/BrowserSnapshot.h"
#include "PelmoraMac/Capture/CaptureDeadline.h"
#include "PelmoraMac/Capture/CaptureFailure.h"
#include "PelmoraMac/Capture/CaptureWorkerLauncher.h"
#include "PelmoraMac/Capture/CaptureWorkerRequest.h"
#include "PelmoraMac/Capture/CaptureWorkerResponse.h"
#include "ReaderCore/CancellationToken.h"
#include "ReaderCore/Date.h"
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
    // Where the browser window in front lay when the capture began: its page is read when no page has the
    // focus. Absent: the browser must show a page in one window only.
    std::optional<BrowserWindowBounds> frontWindow{};
    // When the capture began, on the wall clock: a page loaded after it is not the page the user asked for.
    std::optional<Date> began{};
};

// The page in the browser's active tab as its first snapshot shows it, and the text selected in it read
// as Markdown by the same worker, when that gave a valid document (a selection of up to 20,000 UTF-16
// units with something to read): the selection capture then needs no second worker.
struct BrowserPage {
    BrowserSnapshot snapshot;
    std::optional<ReadingDocument> selectionDocument{};
};

// The first snapshot of the page in the browser's active tab, with its HTML when nothing is selected in
// it: the page's own answer to what the user has selected there, and to whether a password field has the
// focus (protectedField). Taken by a worker while the browser stays in front, once the user has allowed
// Tavrine to read the browser's pages. The snapshot asks the browser whose window is in front, the process
// `frontProcess`. Before it, the deadline (cancelled, timedOut), the front application (sourceChanged) and
// the automation permission (automationRequired, automationDenied, or unavailable for any other failing
// status); the worker's failures come through unchanged, and a worker that answers with no snapshot gives
// sourceChanged. After it, the deadline and the front application again, and a page loaded after the capture
// began (a navigation, a reload, another tab come to the front) is sourceChanged too. Blocks its thread (a pool
// thread) while the worker runs.
CaptureResult<BrowserPage> snapshotBrowserPage(ArticleBrowser browser, pid_t frontProcess, CaptureDeadline deadline,
                                               const CancellationToken& cancellation,
                                               const BrowserArticleCaptureEnvironment& environment);

// The article of a page whose first snapshot, `first`, was taken, read while the browser stays in front
// and the page stays the same, in two more workers under the capture's deadline: the extraction of the
// article from the first snapshot's HTML, and a snapshot without HTML taken after the extraction, which
// must match the first (verifySnapshotsMatch). Something selected in either snapshot: selectionUnknown.
// The first must have HTML and a document identity, and its URL must be `pageURL`, the page's address as
// the desktop reported it (sourceChanged); without one, where the desktop shows nothing of the page, an
// http or https address, else the page is no web page and gives no document. After the first snapshot and
// after the last worker, the deadline (cancelled, timedOut) and the front application (sourceChanged) are
// checked. No document: the page has no article body, which is no failure here. The workers' failures come
// through unchanged; nothing is retried.
CaptureResult<std::optional<ReadingDocument>> extractBrowserArticle(
    const BrowserSnapshot& first, const std::optional<QString>& pageURL, ArticleBrowser browser, pid_t frontProcess,
    CaptureDeadline deadline, const CancellationToken& cancellation,
    const BrowserArticleCaptureEnvironment& environment);

// The article of the page in the browser's active tab, in three workers one after the other: its first
// snapshot (snapshotBrowserPage), then the extraction and the verification (extractBrowserArticle).
CaptureResult<std::optional<ReadingDocument>> captureBrowserArticle(
    ArticleBrowser browser, const std::optional<QString>& pageURL, pid_t frontProcess, CaptureDeadline deadline,
    const CancellationToken& cancellation, const BrowserArticleCaptureEnvironment& environment);

// The second snapshot must be "ok", and have the first's url, documentID, windowID and tabID (absent
// only equals absent); its HTML and the first's status do not count. Otherwise sourceChanged.
CaptureResult<void> verifySnapshotsMatch(const BrowserSnapshot& first, const BrowserSnapshot& second);

}  // namespace tavrine
