#include "PelmoraMac/Library/ReaderFileDrop.h"

#include "ReaderCore/Sleep.h"
#include "ReaderCore/TaskHandle.h"

#include <QCoreApplication>
#include <QPointer>

#include <coroutine>
#include <mutex>

namespace tavrine {
using namespace Qt::StringLiterals;

namespace {

using Bytes = tl::expected<QByteArray, LibraryImportFailure>;

// Shared by the three parties of one resolution: the item's load, the timeout and the cancellation.
// The first to finish decides; the waiting resolver is woken once, on the main thread, and the load is
// stopped once the outcome is known, also when its stopper arrives later. No lock is held while waking
// or stopping.
struct Response {
    std::mutex lock;
    std::optional<Bytes> result;
    std::function<void()> wake;
    std::function<void()> stopLoad;

    void finish(Bytes outcome) {
        std::function<void()> waking, stopping;
        {
            const std::lock_guard guard(lock);
            if (result) return;
            result = std::move(outcome);
            waking = std::exchange(wake, nullptr);
            stopping = std::exchange(stopLoad, nullptr);
        }
        if (stopping) stopping();
        if (waking) waking();
    }
    void install(std::function<void()> waking) {
        {
            const std::lock_guard guard(lock);
            if (!result) {
                wake = std::move(waking);
                return;
            }
        }
        waking();
    }
    void setStopper(std::function<void()> stopping) {
        {
            const std::lock_guard guard(lock);
            if (!result) {
                stopLoad = std::move(stopping);
                return;
            }
        }
        if (stopping) stopping();
    }
    void receive(std::optional<QByteArray> data, bool failed) {
        if (failed) return finish(tl::unexpected(LibraryImportFailure(ReaderFileDrop::Failure::unsupportedProvider)));
        if (!data || data->size() > ReaderFileDrop::kMaximumURLBytes)
            return finish(tl::unexpected(LibraryImportFailure(ReaderFileDrop::Failure::invalidURL)));
        finish(std::move(*data));
    }
};

// Suspends until the response is finished; resumes on the main thread, never inside finish().
struct ResponseAwaiter {
    std::shared_ptr<Response> response;
    std::shared_ptr<ReaderDropItem> item;

    bool await_ready() const noexcept { return false; }
    void await_suspend(std::coroutine_handle<> handle) {
        QObject* context = QCoreApplication::instance();
        response->install([handle, context = QPointer<QObject>(context)] {
            QMetaObject::invokeMethod(
                context, [handle] { handle.resume(); }, Qt::QueuedConnection);
        });
        const std::weak_ptr<Response> weak = response;
        response->setStopper(item->loadFileURL([weak](std::optional<QByteArray> data, bool failed) {
            if (const auto alive = weak.lock()) alive->receive(std::move(data), failed);
        }));
    }
    Bytes await_resume() {
        const std::lock_guard guard(response->lock);
        return *response->result;
    }
};

QCoro::Task<void> timeOut(std::shared_ptr<Response> response, const Clock& clock, std::chrono::milliseconds timeout,
                          CancellationToken token) {
    auto sleeping = sleepFor(clock, timeout, token);
    co_await sleeping;
    if (!token.isCancelled()) response->finish(tl::unexpected(LibraryImportFailure(ReaderFileDrop::Failure::timedOut)));
}

// An item of a drag whose URLs are known at once.
class URLDropItem final : public ReaderDropItem {
public:
    explicit URLDropItem(std::optional<QUrl> url) : m_url(std::move(url)) {}
    bool hasFileURL() const override { return m_url && m_url->scheme() == u"file"_s; }
    std::function<void()> loadFileURL(Completion completion) override {
        completion(m_url ? std::optional(m_url->toEncoded()) : std::nullopt, !m_url);
        return {};
    }

private:
    std::optional<QUrl> m_url;
};

}  // namespace

QList<std::shared_ptr<ReaderDropItem>> ReaderDropItem::fromURLs(const QList<QUrl>& urls) {
    QList<std::shared_ptr<ReaderDropItem>> items;
    for (const QUrl& url : urls) items.append(std::make_shared<URLDropItem>(url));
    if (items.isEmpty()) items.append(std::make_shared<URLDropItem>(std::nullopt));
    return items;
}

QCoro::Task<ReaderFileDrop::Result> ReaderFileDrop::resolve(QList<std::shared_ptr<ReaderDropItem>> items,
                                                            std::chrono::milliseconds timeout, const Clock& clock,
                                                            CancellationToken token) {
    if (items.size() != 1) co_return tl::unexpected(LibraryImportFailure(Failure::multipleFiles));
    const std::shared_ptr<ReaderDropItem> item = items.constFirst();
    if (!item->hasFileURL()) co_return tl::unexpected(LibraryImportFailure(Failure::unsupportedProvider));
    auto response = std::make_shared<Response>();
    // Cancelled, and so ended, when the resolver returns.
    TaskHandle timer;
    timer.start([&](CancellationToken timerToken) { return timeOut(response, clock, timeout, timerToken); });
    Bytes data;
    {
        const CancellationToken::Registration cancelling =
            token.onCancel([response] { response->finish(tl::unexpected(LibraryImportFailure(ImportCancelled{}))); });
        ResponseAwaiter awaiter{response, item};
        data = co_await awaiter;
    }
    if (!data) co_return tl::unexpected(data.error());
    if (token.isCancelled()) co_return tl::unexpected(LibraryImportFailure(ImportCancelled{}));
    auto url = acceptedFileURL(*data);
    if (!url) co_return tl::unexpected(LibraryImportFailure(url.error()));
    co_return *url;
}

tl::expected<QUrl, ReaderFileDrop::Failure> ReaderFileDrop::acceptedFileURL(const QByteArray& data) {
    const auto invalid = tl::unexpected(Failure::invalidURL);
    if (data.isEmpty() || data.size() > kMaximumURLBytes) return invalid;
    const QUrl url = QUrl::fromEncoded(data, QUrl::StrictMode);
    if (!url.isValid() || url.isRelative()) return invalid;
    const QString host = url.host();
    const bool accepted = url.scheme() == u"file"_s && (host.isEmpty() || host == u"localhost"_s) &&
                          url.userName().isEmpty() && url.password().isEmpty() && url.port() == -1 && !url.hasQuery() &&
                          !url.hasFragment() && url.path().startsWith(u'/');
    if (!accepted) return invalid;
    // "localhost" names this machine: dropped, so the path reads as a local one, not a network share.
    QUrl local = url;
    local.setHost(QString());
    return local;
}

}  // namespace tavrine
