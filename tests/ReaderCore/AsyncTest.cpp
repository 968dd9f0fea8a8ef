#include "ReaderCore/LatestValue.h"
#include "ReaderCore/QueuedFuture.h"
#include "ReaderCore/SerialExecutor.h"
#include "ReaderCore/Sleep.h"
#include "ReaderCore/TaskHandle.h"

#include "support/FakeClock.h"
#include "support/RunTask.h"

#include <gtest/gtest.h>
#include <QCoreApplication>
#include <QCoro/QCoroFuture>
#include <QThread>
#include <QtConcurrent/QtConcurrentRun>

#include <thread>

namespace tavrine {
namespace {
using namespace std::chrono_literals;

void processEvents() {
    QCoreApplication::processEvents(QEventLoop::AllEvents, 50);
}

// Awaits a job of an executor from this thread's event loop. (QFuture::waitForFinished() may run a job
// that has not started yet on the waiting thread itself.)
template <typename T>
QCoro::Task<T> awaitJob(QFuture<T> job) {
    if constexpr (std::is_void_v<T>) {
        co_await job;
    } else {
        T result = co_await job;
        co_return result;
    }
}

QCoro::Task<void> sleepInto(const Clock* clock, std::chrono::duration<double> span, CancellationToken token,
                            std::optional<bool>* result) {
    *result = co_await sleepFor(*clock, span, token);
}

TEST(SleepUntil, WakesAtTheDeadlineOrEarlierWhenCancelledFromAnyThread) {
    test::FakeClock clock;
    CancellationToken token;
    std::optional<bool> reached;
    std::optional<bool> cancelled;
    auto first = sleepInto(&clock, 0.5s, CancellationToken(), &reached);
    auto second = sleepInto(&clock, 10s, token, &cancelled);
    clock.advance(0.499s);
    processEvents();
    EXPECT_FALSE(reached.has_value());
    clock.advance(0.001s);
    processEvents();
    EXPECT_EQ(reached, true);

    std::thread([token] { token.cancel(); }).join();  // a copy of the token cancels the shared flag
    EXPECT_FALSE(cancelled.has_value());              // resumed through the event loop, never inside cancel()
    processEvents();
    EXPECT_EQ(cancelled, false);
    EXPECT_EQ(clock.pendingAlarms(), 0u);  // the alarm was disarmed
    // A token cancelled before the wait answers at once.
    EXPECT_EQ(test::runTask(sleepFor(clock, 10s, token)), false);
}

TEST(SleepUntil, RealClockWaitsAtLeastItsDuration) {
    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(test::runTask(sleepFor(SystemClock::shared(), 0.02s, CancellationToken())), true);
    EXPECT_GE(std::chrono::steady_clock::now() - start, 20ms);
    // A deadline in the past is reached on the next turn of the event loop.
    EXPECT_EQ(test::runTask(sleepUntil(SystemClock::shared(), start, CancellationToken())), true);
}

QCoro::Task<void> awaitQueued(QFuture<int> future, std::optional<int>* result) {
    QueuedFuture<int> queued(std::move(future));
    *result = co_await queued;
}

TEST(QueuedFuture, ResumesOnALaterTurnEvenWhenTheWorkHasFinished) {
    QFuture<int> done = QtConcurrent::run([] { return 7; });
    done.waitForFinished();
    std::optional<int> result;
    auto task = awaitQueued(done, &result);
    EXPECT_FALSE(result.has_value());  // not inside the call that awaits
    processEvents();
    EXPECT_EQ(result, 7);
    // Work still running: resumed once it ends.
    std::optional<int> later;
    EXPECT_EQ(test::runTask(awaitQueued(QtConcurrent::run([] { return 8; }), &later)), true);
    EXPECT_EQ(later, 8);
}

QCoro::Task<void> countUntilCancelled(test::FakeClock* clock, CancellationToken token, int* ticks) {
    for (;;) {
        const bool reached = co_await sleepFor(*clock, 1s, token);
        if (!reached) co_return;
        ++*ticks;
    }
}

QCoro::Task<void> markWhenFinished(const TaskHandle* handle, bool* marked) {
    auto finished = handle->finished();
    co_await finished;
    *marked = true;
}

// A run that starts the handle's next run from inside itself until three have started, then sleeps.
QCoro::Task<void> restartingRun(TaskHandle* handle, const Clock* clock, int* runs, CancellationToken token) {
    ++*runs;
    if (*runs < 3) {
        handle->start([=](CancellationToken next) { return restartingRun(handle, clock, runs, next); });
    }
    auto sleep = sleepFor(*clock, 1s, token);
    co_await sleep;
}

TEST(TaskHandle, ReplacingCancelsTheOldTaskAndFinishedWaitsForTheEnd) {
    test::FakeClock clock;
    TaskHandle handle;
    int firstTicks = 0;
    int secondTicks = 0;
    handle.start([&](CancellationToken token) { return countUntilCancelled(&clock, token, &firstTicks); });
    EXPECT_TRUE(handle.isRunning());
    clock.advance(1s);
    processEvents();
    handle.start([&](CancellationToken token) { return countUntilCancelled(&clock, token, &secondTicks); });
    processEvents();
    clock.advance(1s);
    processEvents();
    EXPECT_EQ(firstTicks, 1);  // the first task ended at its next guard
    EXPECT_EQ(secondTicks, 1);

    bool waited = false;
    auto task = markWhenFinished(&handle, &waited);
    processEvents();
    EXPECT_FALSE(waited);
    handle.cancel();
    EXPECT_TRUE(test::runTask(handle.finished()));
    processEvents();
    EXPECT_TRUE(waited);
    EXPECT_FALSE(handle.isRunning());
}

TEST(TaskHandle, ATaskMayReplaceItsOwnHandleFromInside) {
    test::FakeClock clock;
    TaskHandle handle;
    int runs = 0;
    // Each of the first two runs restarts the handle synchronously from inside.
    handle.start([&](CancellationToken token) { return restartingRun(&handle, &clock, &runs, token); });
    EXPECT_EQ(runs, 3);
    processEvents();  // the two replaced runs end through their cancelled sleeps
    EXPECT_TRUE(handle.isRunning());
    clock.advance(1s);
    processEvents();
    EXPECT_FALSE(handle.isRunning());
}

QCoro::Task<std::vector<int>> collect(LatestValueSubscription<int>* subscription, int count) {
    std::vector<int> values;
    while (static_cast<int>(values.size()) < count) {
        auto value = co_await subscription->next();
        if (!value) break;
        values.push_back(*value);
    }
    co_return values;
}

TEST(LatestValue, DeliversTheCurrentValueThenOnlyTheNewestToEachSubscriberUntilTheEnd) {
    // The source side lives on a worker thread of its own, as the store's does; the subscriptions are
    // awaited on this one.
    SerialExecutor owner;
    auto source = std::make_unique<LatestValue<int>>();
    using Subscription = LatestValueSubscription<int>;
    const auto subscribe = [&](int current) {
        return *test::runTask(
            awaitJob(owner.run([&, current] { return std::make_shared<Subscription>(source->subscribe(current)); })));
    };
    const auto send = [&](int value) { test::runTask(awaitJob(owner.run([&, value] { source->send(value); }))); };

    auto second = subscribe(1);
    EXPECT_EQ(test::runTask(collect(second.get(), 1)), (std::vector<int>{1}));
    send(2);
    send(3);  // the listener was busy: 2 is replaced
    EXPECT_EQ(test::runTask(collect(second.get(), 1)), (std::vector<int>{3}));

    auto first = subscribe(0);
    auto waiting = collect(first.get(), 3);  // suspends after taking 0
    send(7);
    processEvents();
    second->close();
    // Only the closed registration is dropped.
    EXPECT_EQ(test::runTask(awaitJob(owner.run([&] { return source->subscriberCount(); }))), 1);
    send(8);
    source.reset();  // ending the source ends the wait with what was received
    EXPECT_EQ(test::runTask(std::move(waiting)), (std::vector<int>{0, 7, 8}));
    EXPECT_EQ(test::runTask(collect(second.get(), 1)), (std::vector<int>{}));
}

TEST(OwnerThread, ACallFromAnotherThreadStopsTheProgramInDebugBuilds) {
#ifdef QT_NO_DEBUG
    GTEST_SKIP() << "owner-thread checks are compiled out of release builds";
#else
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    TaskHandle handle;
    EXPECT_FALSE(handle.isRunning());  // this thread owns the handle from now on
    EXPECT_DEATH(std::thread([&] { handle.cancel(); }).join(), "does not own");

    LatestValue<int> source;
    std::thread([&] { source.send(1); }).join();  // that thread owns the source
    EXPECT_DEATH(source.send(2), "does not own");
#endif
}

TEST(SerialExecutor, RunsJobsInOrderOnOneOtherThreadAndFinishesThemBeforeItEnds) {
    std::vector<int> order;
    std::vector<QThread*> threads;
    {
        SerialExecutor executor;
        for (int i = 0; i < 10; ++i) {
            executor.run([&, i] {
                QThread::usleep(static_cast<unsigned long>((10 - i) * 100));  // later jobs are shorter
                order.push_back(i);
                threads.push_back(QThread::currentThread());
            });
        }
    }
    EXPECT_EQ(order, (std::vector<int>{0, 1, 2, 3, 4, 5, 6, 7, 8, 9}));
    EXPECT_EQ(std::count(threads.begin(), threads.end(), threads.front()), 10);
    EXPECT_NE(threads.front(), QThread::currentThread());
}

}  // namespace
}  // namespace tavrine
