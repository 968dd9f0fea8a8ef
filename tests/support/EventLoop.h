#pragma once

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QThread>
#include <QThreadPool>

#include <algorithm>
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

// How long the first try of an input waits for the word that it reached its window (each try after it waits
// twice as long, up to kInputTries in all): longer than a desktop's double-click time (400 to 500 ms), so that
// a click made again never counts as the next click of the one lost.
inline constexpr std::chrono::milliseconds kInputTry{2'000};
inline constexpr int kInputTries = 5;

// Makes `input` (a click or a key sent through the X server, a window's move or activation) and runs the event
// loop until `arrived` (the window's word that the input reached it) holds. An input lost on its way (made
// before the window took input, a request the window manager passed over while it mapped the window) is made
// again once a try has passed without the word, within the overall limit. Only for inputs whose word tells
// that they arrived, never whether they did what is tested. Answers whether the word came.
template <typename Input, typename Arrived>
bool madeAgain(Input input, Arrived arrived) {
    std::chrono::milliseconds wait = kInputTry;
    for (int attempt = 0; attempt < kInputTries; ++attempt, wait *= 2) {
        input();
        if (processEventsUntil(arrived, std::min(wait, patience()))) return true;
    }
    return arrived();
}

// Lets every job of the global thread pool end and every result it queued arrive.
inline void settlePool() {
    QThreadPool::globalInstance()->waitForDone();
    QCoreApplication::processEvents();
    QCoreApplication::processEvents();
}

}  // namespace tavrine::test
