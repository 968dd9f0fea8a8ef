#include "PelmoraMac/Capture/BrowserArticleCapture.h"

#include "PelmoraMac/Capture/BrowserAutomationConsent.h"

#include <QUrl>

namespace tavrine {
using namespace Qt::StringLiterals;
namespace {

using Operation = CaptureWorkerRequest::Operation;

// The deadline, then the application in front.
CaptureResult<void> checkStillInFront(pid_t frontProcess, CaptureDeadline deadline,
                                      const CancellationToken& cancellation,
                                      const BrowserArticleCaptureEnvironment& environment) {
    if (auto inTime = checkCaptureDeadline(deadline, cancellation); !inTime) return inTime;
    if (!environment.isFrontApplication(frontProcess)) return tl::unexpected(CaptureFailure::sourceChanged);
    return {};
}

// An address of a web page: http or https. A local file or a browser's own page is none.
bool isWebAddress(const QString& address) {
    const QUrl url(address, QUrl::StrictMode);
    return url.isValid() && (url.scheme() == u"https"_s || url.scheme() == u"http"_s);
}

// Whether the snapshot's document was loaded after `began`. A document's identity is the moment it began to
// load, in milliseconds of the wall clock (its time origin), which the browser takes from the same clock.
bool loadedAfter(const BrowserSnapshot& snapshot, const std::optional<Date>& began) {
    bool isNumber = false;
    const double origin = snapshot.documentID.value_or(QString()).toDouble(&isNumber);
    return began && isNumber && origin > began->unixSeconds() * 1000.0;
}

// Whether the user has something selected in the page, as a snapshot tells it.
bool showsSelection(const BrowserSnapshot& snapshot) {
    return snapshot.selection && !snapshot.selection->isEmpty();
}

CaptureResult<void> checkAutomationPermission(ArticleBrowser browser,
                                              const BrowserArticleCaptureEnvironment& environment) {
    switch (environment.automationPermission(browser)) {
    case kAutomationAllowed: return {};
    case kAutomationUndecided: return tl::unexpected(CaptureFailure::automationRequired);
    case kAutomationDenied: return tl::unexpected(CaptureFailure::automationDenied);
    default: return tl::unexpected(CaptureFailure::unavailable);
    }
}

}  // namespace

CaptureResult<void> verifySnapshotsMatch(const BrowserSnapshot& first, const BrowserSnapshot& second) {
    const bool matches = second.status == u"ok"_s && first.url == second.url && first.documentID == second.documentID &&
                         first.windowID == second.windowID && first.tabID == second.tabID;
    if (!matches) return tl::unexpected(CaptureFailure::sourceChanged);
    return {};
}

CaptureResult<BrowserPage> snapshotBrowserPage(ArticleBrowser browser, pid_t frontProcess, CaptureDeadline deadline,
                                               const CancellationToken& cancellation,
                                               const BrowserArticleCaptureEnvironment& environment) {
    if (auto ready = checkStillInFront(frontProcess, deadline, cancellation, environment); !ready) {
        return tl::unexpected(ready.error());
    }
    if (auto allowed = checkAutomationPermission(browser, environment); !allowed) {
        return tl::unexpected(allowed.error());
    }
    auto first = environment.runWorker({.operation = Operation::snapshot,
                                        .browser = browser,
                                        .process = frontProcess,
                                        .window = environment.frontWindow},
                                       deadline, cancellation);
    if (!first) return tl::unexpected(first.error());
    if (!first->snapshot || loadedAfter(*first->snapshot, environment.began)) {
        return tl::unexpected(CaptureFailure::sourceChanged);
    }
    // The browser may have lost the front while its pages were asked: the page read is then none it shows.
    if (auto ready = checkStillInFront(frontProcess, deadline, cancellation, environment); !ready) {
        return tl::unexpected(ready.error());
    }
    BrowserPage page{.snapshot = std::move(*first->snapshot)};
    if (showsSelection(page.snapshot) && first->document && first->document->isValid()) {
        page.selectionDocument = std::move(first->document);
    }
    return page;
}

CaptureResult<std::optional<ReadingDocument>> extractBrowserArticle(
    const BrowserSnapshot& first, const std::optional<QString>& pageURL, ArticleBrowser browser, pid_t frontProcess,
    CaptureDeadline deadline, const CancellationToken& cancellation,
    const BrowserArticleCaptureEnvironment& environment) {
    if (showsSelection(first)) return tl::unexpected(CaptureFailure::selectionUnknown);
    if (!first.url || !first.html || !first.documentID) return tl::unexpected(CaptureFailure::sourceChanged);
    if (pageURL && first.url != *pageURL) return tl::unexpected(CaptureFailure::sourceChanged);
    if (!pageURL && !isWebAddress(*first.url)) return std::optional<ReadingDocument>{};
    if (auto ready = checkStillInFront(frontProcess, deadline, cancellation, environment); !ready) {
        return tl::unexpected(ready.error());
    }

    auto extraction =
        environment.runWorker({.operation = Operation::extract, .html = first.html}, deadline, cancellation);
    if (!extraction) return tl::unexpected(extraction.error());

    // Taken once the extraction has finished, so that the whole of it lies between the two snapshots.
    auto second = environment.runWorker({.operation = Operation::verify,
                                         .browser = browser,
                                         .process = frontProcess,
                                         .window = environment.frontWindow},
                                        deadline, cancellation);
    if (!second) return tl::unexpected(second.error());
    if (!second->snapshot) return tl::unexpected(CaptureFailure::sourceChanged);
    if (auto same = verifySnapshotsMatch(first, *second->snapshot); !same) return tl::unexpected(same.error());
    if (showsSelection(*second->snapshot)) return tl::unexpected(CaptureFailure::selectionUnknown);
    if (auto ready = checkStillInFront(frontProcess, deadline, cancellation, environment); !ready) {
        return tl::unexpected(ready.error());
    }
    return std::move(extraction->document);
}

CaptureResult<std::optional<ReadingDocument>> captureBrowserArticle(
    ArticleBrowser browser, const std::optional<QString>& pageURL, pid_t frontProcess, CaptureDeadline deadline,
    const CancellationToken& cancellation, const BrowserArticleCaptureEnvironment& environment) {
    auto first = snapshotBrowserPage(browser, frontProcess, deadline, cancellation, environment);
    if (!first) return tl::unexpected(first.error());
    return extractBrowserArticle(first->snapshot, pageURL, browser, frontProcess, deadline, cancellation, environment);
}

}  // namespace tavrine
