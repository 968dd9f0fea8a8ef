#pragma once

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QThreadPool>

namespace tavrine::test {

// Runs the event loop until done() holds; false when it did not within the deadline.
template <typename Predicate>
bool waitUntil(Predicate done, int deadlineMs = 10'000) {
    QElapsedTimer timer;
    timer.start();
    while (!done()) {
        if (timer.elapsed() > deadlineMs) return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
    }
    return true;
}

// Lets every job of the global thread pool end and every result it queued arrive.
inline void settlePool() {
    QThreadPool::globalInstance()->waitForDone();
    QCoreApplication::processEvents();
    QCoreApplication::processEvents();
}

}  // namespace tavrine::test
