#pragma once

#include "ReaderStorage/ReadingStore.h"
#include "support/EventLoop.h"

#include <QCoreApplication>
#include <QPromise>

#include <memory>

namespace tavrine::test {

// Lets go of the test's store once its owners are gone: the store listeners, woken as their owners
// went, end on the event loop, and writes still queued hold the store until they have run. False when
// the store is still alive after the event loop's time-out.
inline bool releaseStore(std::shared_ptr<ReadingStore>& store) {
    QCoreApplication::sendPostedEvents();
    QCoreApplication::processEvents();
    const std::weak_ptr<ReadingStore> closing = store;
    store.reset();
    return processEventsUntil([&] { return closing.expired(); });
}

// Holds a file load until released.
struct Gate {
    std::shared_ptr<QPromise<void>> promise = std::make_shared<QPromise<void>>();
    Gate() { promise->start(); }
    void release() { promise->finish(); }
};

}  // namespace tavrine::test
