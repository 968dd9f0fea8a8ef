#pragma once

#include "PelmoraMac/Library/LibraryFileReader.h"
#include "ReaderCore/CancellationToken.h"

#include "support/StoreTesting.h"

#include <QCoro/QCoroFuture>
#include <QCoro/QCoroTask>
#include <QUrl>

#include <memory>

namespace tavrine::test {

// The real file reader's load of url, started only once held (when there is one) is released: a file
// import that a test stops before its file is read.
inline QCoro::Task<LibraryFileReader::Result> loadAfterGate(std::shared_ptr<Gate> held, QUrl url,
                                                            CancellationToken token) {
    if (held) {
        QFuture<void> opened = held->promise->future();
        co_await opened;
    }
    auto loading = LibraryFileReader::load(std::move(url), std::move(token));
    co_return co_await loading;
}

}  // namespace tavrine::test
