#pragma once

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QThread>
#include <QThreadPool>

#include <chrono>

namespace tavrine::test {

// How long a test program may wait, all its waits together, for what other processes, the X server or
// the session bus do: a window mapped, a helper ready, a bus answer, a program ended. A test waits for
// such a condition, never for a set time, and a loaded machine only makes it slower; the limit ends a
// wait for something that never comes before CTest's own timeout of a test program (300 s) does.
inline constexpr std::chrono::seconds kOverallLimit{270};

// What is left of the overall limit, counted from the first call (the test mains make it at once).
inline std::chrono::milliseconds patience() {
    static const QDeadlineTimer overall(kOverallLimit);
    return std::chrono::milliseconds(overall.remainingTime());
}

// patience() as the milliseconds the waits of QProcess take.
inline int patienceMilliseconds() {
    return int(patience().count());
}

// Runs the event loop until condition holds or the timeout passes (by default, the rest of the overall
// limit); answers whether it held. The condition is checked before the first turn, so one that already
// holds returns at once.
template <typename Condition>
bool processEventsUntil(Condition condition, std::chrono::milliseconds timeout = patience()) {
    const QDeadlineTimer deadline(timeout);
    while (!condition()) {
        if (deadline.hasExpired()) {
            return false;
        }
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
        QThread::msleep(1);
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
