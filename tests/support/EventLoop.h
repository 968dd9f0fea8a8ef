#pragma once

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QThread>
#include <QThreadPool>

#include <algorithm>
#include <chrono>

namespace tavrine::test {

// The time limit CTest gives the test, as the project's CMake functions tell it in TAVRINE_TEST_LIMIT (seconds,
// beside the test's TIMEOUT); a program run by hand has the limit of a test program, kUnlimitedRunLimit.
inline constexpr std::chrono::seconds kUnlimitedRunLimit{300};
inline std::chrono::seconds testLimit() {
    bool valid = false;
    const int seconds = qEnvironmentVariableIntValue("TAVRINE_TEST_LIMIT", &valid);
    return valid && seconds > 0 ? std::chrono::seconds(seconds) : kUnlimitedRunLimit;
}

// How long a test program may wait, all its waits together, for what other processes, the X server or
// the session bus do: a window mapped, a helper ready, a bus answer, a program ended. A test waits for
// such a condition, never for a set time, and a loaded machine only makes it slower; the limit, nine
// tenths of the test's own, ends a wait for something that never comes before CTest ends the program, so
// that the test says what it waited for.
inline std::chrono::milliseconds overallLimit() {
    return std::chrono::duration_cast<std::chrono::milliseconds>(testLimit()) * 9 / 10;
}

// What is left of the overall limit, counted from the first call (the test mains make it at once). A wait
// given patience() when it starts never outlasts the test's limit, however many come before it.
inline std::chrono::milliseconds patience() {
    static const QDeadlineTimer overall(overallLimit());
    return std::chrono::milliseconds(overall.remainingTime());
}

// How long a peer that answers (a browser, fake or real) is given for each answer where the code under test sets
// one wait for all of them (a connection's wait for each command): far more than a loaded machine needs, and a
// quarter of the overall limit, so that a peer that stops answering fails the test at the first question it
// leaves unanswered, within the test's limit and saying so, rather than at the end of a wait per question.
inline std::chrono::milliseconds answerWait() {
    return std::min(overallLimit() / 4, patience());
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
