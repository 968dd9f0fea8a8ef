#pragma once

#include "PelmoraMac/Capture/ArticleBrowser.h"
#include "PelmoraMac/Capture/BrowserSnapshot.h"
#include "PelmoraMac/Capture/BrowserWindowBounds.h"
#include "PelmoraMac/Capture/CaptureFailure.h"
#include "PelmoraMac/Capture/internal/DevToolsConnection.h"
#include "PelmoraMac/Capture/internal/DevToolsEndpoint.h"
#include "PelmoraMac/Capture/internal/DevToolsFailure.h"

#include <QString>

namespace tavrine {

// The browser snapshot of the capture worker: the page script "snapshot" run in the active tab of the
// front window of the user's Chromium or Google Chrome (both ArticleBrowser::chrome), which must have
// been started with remote debugging, over the DevTools protocol on 127.0.0.1 (or ::1). Synchronous, on the
// worker's main thread (it runs a local event loop while it waits for the browser).

// Where the browser is looked for and how long it is waited for, and where its window in front lies (the
// page of that window is read when no page has the focus); the worker takes the process and the window of
// its request.
struct BrowserSnapshotOptions {
    DevToolsEndpointSearch search{};
    DevToolsLimits limits{};
    std::optional<BrowserWindowBounds> frontWindow{};
};

// The browser is the one of the search (with a process, the one whose window is in front), and only
// when the socket on its port is its own, on 127.0.0.1 or else on ::1 (loopbackRoute): otherwise nothing
// is sent and the browser counts as one without remote debugging. Runs "snapshot" in an isolated world of the active
// tab's main frame, with the focused element that the browser found for it where the page's script cannot see it
// (takePageSnapshot: a closed shadow root, a frame of another origin), having read the tab's window, target and URL
// before, and reads them again after. A page program that gives no string, or a
// window, tab or URL that changed meanwhile (compared in that order): sourceChanged; then parseSnapshotPayload of the
// value (its failures come through); a document that is the browser's own error page (the tab could not load its
// address) gives browserErrorPage, and the url of any other must equal the tab's URL (else sourceChanged). The snapshot
// comes back with the window and target identifiers in place of the script's own. Arc and Dia do not exist here:
// browserUnsupported. Failures of the protocol pass through classifyBrowserFailure.
CaptureResult<BrowserSnapshot> takeBrowserSnapshot(ArticleBrowser browser, bool wantsHTML,
                                                   const BrowserSnapshotOptions& options = {});

// A page script's answer: the JSON text of a snapshot, or that text as a JSON string literal, once or
// twice. A snapshot whose status is "ok" comes back; another status is returned as the capture failure
// of that raw value (unavailable when it names none); anything else: unavailable.
CaptureResult<BrowserSnapshot> parseSnapshotPayload(const QString& payload);

// What a failed conversation with the browser means for the capture: no browser that listens (or one
// whose port another process holds), or a refused connection, browserJavaScriptDisabled (the browser must be started
// with remote debugging); a wait past its limit timedOut; a page that navigated, closed, was replaced or crashed
// meanwhile sourceChanged; a page in front that cannot be told frontPageUnknown; anything else (a message too large,
// a protocol error, a program that threw, no page or window) unavailable.
CaptureFailure classifyBrowserFailure(DevToolsFailure failure);

}  // namespace tavrine
