#pragma once

#include "PelmoraMac/Library/LibraryImportFailure.h"
#include "ReaderCore/CancellationToken.h"
#include "ReaderCore/Clock.h"

#include <QByteArray>
#include <QCoro/QCoroTask>
#include <QList>
#include <QUrl>
#include <tl/expected.hpp>

#include <chrono>
#include <functional>
#include <memory>
#include <optional>

namespace tavrine {

// One dropped item as the desktop hands it over. Its file URL may come at once or later, on any thread.
class ReaderDropItem {
public:
    // The load's outcome: the URL's encoded bytes, nothing, or a failure of the drag source.
    using Completion = std::function<void(std::optional<QByteArray> data, bool failed)>;

    virtual ~ReaderDropItem() = default;
    // The item offers a file URL at all.
    virtual bool hasFileURL() const = 0;
    // Starts loading the file URL; completion is called once, on any thread, also after a cancellation.
    // Returns what stops the load (called at most once, on any thread; it may do nothing).
    virtual std::function<void()> loadFileURL(Completion completion) = 0;

    // The items of a drag on this desktop: one per URL it carries, and one item without a file URL for
    // a drag without URLs or for each URL that is no "file:" URL. Each loads at once.
    static QList<std::shared_ptr<ReaderDropItem>> fromURLs(const QList<QUrl>& urls);
};

// How a dropped item becomes the place of a local file.
class ReaderFileDrop {
public:
    using Failure = ReaderFileDropFailure;
    using Result = tl::expected<QUrl, LibraryImportFailure>;

    // The place of the one dropped file: multipleFiles unless there is exactly one item,
    // unsupportedProvider when it offers no file URL or its load fails, timedOut when the load has not
    // finished after timeout on clock, ImportCancelled once token is cancelled, else acceptedFileURL()
    // of the loaded bytes. The first of the load, the timeout and the cancellation decides; the load is
    // stopped when it did not. Main thread; the clock must outlive the call.
    static QCoro::Task<Result> resolve(QList<std::shared_ptr<ReaderDropItem>> items, std::chrono::milliseconds timeout,
                                       const Clock& clock, CancellationToken token);

    // The longest representation of a file's place that is looked at.
    static constexpr qsizetype kMaximumURLBytes = 65'536;

    ReaderFileDrop() = delete;

    // The file URL that data (an encoded URL, as dropped) names: invalidURL for no bytes, more than
    // kMaximumURLBytes, bytes that are no URL, or a URL that is not a plain local file (a "file" URL
    // whose host is none, empty or "localhost", without user, password, port, query or fragment, with an
    // absolute path).
    static tl::expected<QUrl, Failure> acceptedFileURL(const QByteArray& data);
};

}  // namespace tavrine
