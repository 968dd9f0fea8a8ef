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

CaptureResult<std::optional<ReadingDocument>> captureBrowserArticle(
    ArticleBrowser browser, const std::optional<QString>& pageURL, pid_t frontProcess, CaptureDeadline deadline,
    const CancellationToken& cancellation, const BrowserArticleCaptureEnvironment& environment) {
    if (auto ready = checkStillInFront(frontProcess, deadline, cancellation, environment); !ready) {
        return tl::unexpected(ready.error());
    }
    if (auto allowed = checkAutomationPermission(browser, environment); !allowed) {
        return tl::unexpected(allowed.error());
    }

    auto first = environment.runWorker({.operation = Operation::snapshot, .browser = browser, .process = frontProcess},
                                       deadline, cancellation);
    if (!first) return tl::unexpected(first.error());
    const std::optional<BrowserSnapshot>& before = first->snapshot;
    if (!before || !before->url || !before->html || !before->documentID) {
        return tl::unexpected(CaptureFailure::sourceChanged);
    }
    if (pageURL && before->url != *pageURL) return tl::unexpected(CaptureFailure::sourceChanged);
    if (!pageURL && !isWebAddress(*before->url)) return std::optional<ReadingDocument>{};
    if (auto ready = checkStillInFront(frontProcess, deadline, cancellation, environment); !ready) {
        return tl::unexpected(ready.error());
    }

    auto extraction =
        environment.runWorker({.operation = Operation::extract, .html = before->html}, deadline, cancellation);
    if (!extraction) return tl::unexpected(extraction.error());

    // Taken once the extraction has finished, so that the whole of it lies between the two snapshots.
    auto second = environment.runWorker({.operation = Operation::verify, .browser = browser, .process = frontProcess},
                                        deadline, cancellation);
    if (!second) return tl::unexpected(second.error());
    if (!second->snapshot) return tl::unexpected(CaptureFailure::sourceChanged);
    if (auto same = verifySnapshotsMatch(*before, *second->snapshot); !same) return tl::unexpected(same.error());
    if (auto ready = checkStillInFront(frontProcess, deadline, cancellation, environment); !ready) {
        return tl::unexpected(ready.error());
    }
    return std::move(extraction->document);
}

}  // namespace tavrine
