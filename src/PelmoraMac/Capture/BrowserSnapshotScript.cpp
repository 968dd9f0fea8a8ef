#include "PelmoraMac/Capture/BrowserSnapshotScript.h"

#include "PelmoraMac/Capture/ArticleScriptHost.h"
#include "PelmoraMac/Capture/internal/DevToolsFocus.h"
#include "PelmoraMac/Capture/internal/DevToolsTabs.h"
#include "PelmoraMac/Capture/internal/LoopbackListener.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QUrl>

namespace tavrine {
using namespace Qt::StringLiterals;
namespace {

// How many times a payload is read: the snapshot itself, then inside one and two string literals.
constexpr int kPayloadAttempts = 3;

// The text of a JSON string literal; nothing for any other JSON text.
std::optional<QString> decodeJsonString(const QByteArray& text) {
    // Qt parses only arrays and objects at the top level; a second element (text like `"a","b"`) or any
    // other value is refused.
    const QJsonDocument document = QJsonDocument::fromJson('[' + text + ']');
    if (!document.isArray() || document.array().size() != 1 || !document.array().first().isString()) {
        return std::nullopt;
    }
    return document.array().first().toString();
}

// Whether the document is the browser's own page for an address it could not load ("This site can't be
// reached"), which stands in the tab in place of the page, the tab keeping that address. No web page has an
// address of its scheme.
bool isBrowserErrorDocument(const std::optional<QString>& url) {
    return url && url->startsWith(u"chrome-error:"_s);
}

// The browser's target path: the endpoint's own, else what its /json/version names on the same port.
DevToolsResult<QString> browserPathOf(const DevToolsEndpoint& endpoint, DevToolsAddress address,
                                      DevToolsLimits limits) {
    if (!endpoint.browserPath.isEmpty()) return endpoint.browserPath;
    auto version = fetchDevToolsPage(address, u"/json/version"_s, limits);
    if (!version) return tl::unexpected(version.error());
    const QUrl url(QJsonDocument::fromJson(*version).object().value(u"webSocketDebuggerUrl"_s).toString());
    const bool loopback = url.host() == u"127.0.0.1"_s || url.host() == u"::1"_s || url.host() == u"localhost"_s;
    if (url.scheme() != u"ws"_s || !loopback || url.port() != endpoint.port || !isDevToolsBrowserPath(url.path())) {
        return tl::unexpected(DevToolsFailure::protocolError);
    }
    return url.path();
}

// A connection to the first browser found that takes one, on 127.0.0.1 or else on ::1, where the
// browser listens when another program holds its port on 127.0.0.1. Nothing is sent to an address
// where another process listens, in the browser's stead or beside it: whoever listens there would be
// handed the page.
DevToolsResult<std::unique_ptr<DevToolsConnection>> connectToBrowser(const BrowserSnapshotOptions& options) {
    DevToolsFailure failure = DevToolsFailure::noBrowser;
    for (const DevToolsEndpoint& endpoint : findDevToolsEndpoints(options.search)) {
        const auto [listener, host] = loopbackRoute(options.search.processRoot, endpoint.pid, endpoint.port);
        switch (listener) {
        case LoopbackListener::owned: break;
        case LoopbackListener::none: failure = DevToolsFailure::refused; continue;
        case LoopbackListener::foreign: failure = DevToolsFailure::noBrowser; continue;
        }
        const DevToolsAddress address(endpoint.port, host);
        auto path = browserPathOf(endpoint, address, options.limits);
        auto connection = path ? DevToolsConnection::open(address, *path, options.limits)
                               : DevToolsResult<std::unique_ptr<DevToolsConnection>>(tl::unexpected(path.error()));
        if (connection) return std::move(*connection);
        failure = connection.error();
        // A browser that has just ended, or stopped listening, leaves the next one its chance.
        if (failure != DevToolsFailure::refused) break;
    }
    return tl::unexpected(failure);
}

}  // namespace

CaptureFailure classifyBrowserFailure(DevToolsFailure failure) {
    switch (failure) {
    case DevToolsFailure::noBrowser:
    case DevToolsFailure::refused: return CaptureFailure::browserJavaScriptDisabled;
    case DevToolsFailure::timedOut: return CaptureFailure::timedOut;
    case DevToolsFailure::pageChanged: return CaptureFailure::sourceChanged;
    case DevToolsFailure::noFrontPage: return CaptureFailure::frontPageUnknown;
    case DevToolsFailure::tooLarge:
    case DevToolsFailure::disconnected:
    case DevToolsFailure::protocolError:
    case DevToolsFailure::programException:
    case DevToolsFailure::noPage:
    case DevToolsFailure::noWindow: return CaptureFailure::unavailable;
    }
    return CaptureFailure::unavailable;
}

CaptureResult<BrowserSnapshot> parseSnapshotPayload(const QString& payload) {
    QString text = payload;
    for (int attempt = 0; attempt < kPayloadAttempts; ++attempt) {
        const QByteArray bytes = text.toUtf8();
        if (auto snapshot = decodeJsonText<BrowserSnapshot>(bytes)) {
            if (snapshot->status == u"ok"_s) return std::move(*snapshot);
            return tl::unexpected(
                enumFromRawValue<CaptureFailure>(snapshot->status).value_or(CaptureFailure::unavailable));
        }
        auto inner = decodeJsonString(bytes);
        if (!inner) return tl::unexpected(CaptureFailure::unavailable);
        text = std::move(*inner);
    }
    return tl::unexpected(CaptureFailure::unavailable);
}

CaptureResult<BrowserSnapshot> takeBrowserSnapshot(ArticleBrowser browser, bool wantsHTML,
                                                   const BrowserSnapshotOptions& options) {
    if (browser != ArticleBrowser::chrome) return tl::unexpected(CaptureFailure::browserUnsupported);
    const auto script = loadArticleExtractorScript(u"snapshot"_s);
    if (!script) return tl::unexpected(script.error());
    const auto failed = [](DevToolsFailure failure) { return tl::unexpected(classifyBrowserFailure(failure)); };

    auto browserConnection = connectToBrowser(options);
    if (!browserConnection) return failed(browserConnection.error());
    DevToolsConnection& connection = **browserConnection;
    DevToolsPages pages(connection);

    const auto before = findActiveTab(connection, pages, options.limits, options.frontWindow);
    if (!before) return failed(before.error());
    const auto payload = takePageSnapshot(connection, *before, *script, wantsHTML);
    if (!payload) return failed(payload.error());
    const auto after = findActiveTab(connection, pages, options.limits, options.frontWindow);
    if (!after) return failed(after.error());

    if (!*payload || after->windowID != before->windowID || after->targetID != before->targetID ||
        after->url != before->url) {
        return tl::unexpected(CaptureFailure::sourceChanged);
    }
    auto snapshot = parseSnapshotPayload(**payload);
    if (!snapshot) return snapshot;
    if (isBrowserErrorDocument(snapshot->url)) return tl::unexpected(CaptureFailure::browserErrorPage);
    if (snapshot->url != before->url) return tl::unexpected(CaptureFailure::sourceChanged);
    snapshot->windowID = before->windowID;
    snapshot->tabID = before->targetID;
    return snapshot;
}

}  // namespace tavrine
