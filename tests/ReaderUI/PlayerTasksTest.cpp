// The player's task set alone, on the fake clock: when the timed tasks call their functions, which task a
// start replaces or keeps, the guard of preparations, and that nothing runs once the set is gone.
#include "ReaderUI/Player/PlayerTasks.h"

#include "ReaderCore/Sleep.h"

#include "support/FakeClock.h"

#include <gtest/gtest.h>
#include <QCoreApplication>

#include <memory>
#include <optional>

namespace tavrine {
namespace {

using namespace std::chrono_literals;

// Waits on the clock until cancelled (or a day has passed), then notes how it ended.
QCoro::Task<void> waitForCancel(const Clock& clock, CancellationToken token, std::shared_ptr<bool> cancelled) {
    auto sleeping = sleepFor(clock, std::chrono::hours(24), token);
    co_await sleeping;
    *cancelled = token.isCancelled();
}

// Awaits end, then notes that it came.
QCoro::Task<void> noteEnd(QCoro::Task<void> end, std::shared_ptr<bool> ended) {
    co_await end;
    *ended = true;
}

class PlayerTasksTest : public testing::Test {
protected:
    static constexpr PlayerTasks::Timing kTiming{
        .autoplayDelay = 0.5s, .checkpointInterval = 5s, .navigationSaveDelay = 0.3s};

    // Moves the clock by, in steps of 10 ms, letting each wake-up run.
    void advance(std::chrono::duration<double> by) {
        const auto target = clock.monotonicNow() + std::chrono::round<std::chrono::nanoseconds>(by);
        while (clock.monotonicNow() < target) {
            clock.advance(std::min<std::chrono::steady_clock::duration>(10ms, target - clock.monotonicNow()));
            settle();
        }
    }
    static void settle() {
        for (int turn = 0; turn < 3; ++turn) QCoreApplication::processEvents();
    }

    // A task for startPreparation, startLoop or startListener that runs until cancelled; ended says how it
    // ended once it has (true: cancelled).
    auto waiting(std::shared_ptr<bool> ended) {
        return [this, ended](CancellationToken token) { return waitForCancel(clock, std::move(token), ended); };
    }

    test::FakeClock clock;
    std::optional<PlayerTasks> tasks{std::in_place, clock, kTiming};
};

TEST_F(PlayerTasksTest, ADelayedTaskRunsOnceWhenItsTimeHasComeUnlessStoppedOrReplaced) {
    int starts = 0;
    tasks->startAutoplay([&] { ++starts; });
    EXPECT_TRUE(tasks->isAutoplayPending());
    advance(0.49s);
    EXPECT_EQ(starts, 0);
    advance(0.01s);
    EXPECT_EQ(starts, 1);
    EXPECT_FALSE(tasks->isAutoplayPending());
    advance(1s);
    EXPECT_EQ(starts, 1);

    tasks->startAutoplay([&] { ++starts; });
    advance(0.3s);
    tasks->stopAutoplay();
    EXPECT_FALSE(tasks->isAutoplayPending());
    advance(1s);
    EXPECT_EQ(starts, 1);

    // A second navigation save replaces the first: one save, 0.3 s after the last.
    int saves = 0;
    tasks->startNavigationSave([&] { ++saves; });
    advance(0.2s);
    tasks->startNavigationSave([&] { ++saves; });
    advance(0.29s);
    EXPECT_EQ(saves, 0);
    advance(0.01s);
    EXPECT_EQ(saves, 1);
    tasks->startNavigationSave([&] { ++saves; });
    tasks->stopNavigationSave();
    advance(1s);
    EXPECT_EQ(saves, 1);
}

TEST_F(PlayerTasksTest, RunningCheckpointsAreKeptAndEndedOnesReplaced) {
    int saves = 0;
    bool playing = true;
    const auto save = [&] {
        if (!playing) return false;
        ++saves;
        return true;
    };
    tasks->startCheckpoints(save);
    advance(2s);
    // Started again while they run: the period is not restarted, and nothing saves twice.
    tasks->startCheckpoints(save);
    advance(3s);
    EXPECT_EQ(saves, 1);
    advance(5s);
    EXPECT_EQ(saves, 2);

    // A tick that answers false ends them; the next start brings new ones.
    playing = false;
    advance(5s);
    playing = true;
    advance(10s);
    EXPECT_EQ(saves, 2);
    tasks->startCheckpoints(save);
    advance(5s);
    EXPECT_EQ(saves, 3);

    // Stopped, they are replaced at once by the next start, with a full period.
    tasks->stopCheckpoints();
    tasks->startCheckpoints(save);
    advance(4.99s);
    EXPECT_EQ(saves, 3);
    advance(0.01s);
    EXPECT_EQ(saves, 4);
}

TEST_F(PlayerTasksTest, VoidingPreparationsRenewsTheirGuardAndCancelsTheRunningOne) {
    const QUuid first = tasks->preparationID();
    EXPECT_TRUE(tasks->isCurrentPreparation(first));
    auto cancelled = std::make_shared<bool>(false);
    tasks->startPreparation(waiting(cancelled));
    EXPECT_TRUE(tasks->isPreparationRunning());
    // Starting does not renew the guard: the preparation runs under the current one.
    EXPECT_TRUE(tasks->isCurrentPreparation(first));

    const CancellationToken token = tasks->preparationToken();
    tasks->voidPreparation();
    EXPECT_FALSE(tasks->isCurrentPreparation(first));
    EXPECT_NE(tasks->preparationID(), first);
    EXPECT_TRUE(token.isCancelled());
    EXPECT_FALSE(tasks->isPreparationRunning());
    settle();
    EXPECT_TRUE(*cancelled);
}

TEST_F(PlayerTasksTest, AnEndedPreparationIsForgottenNotCancelledAndItsEndCanBeAwaited) {
    auto cancelled = std::make_shared<bool>(false);
    tasks->startPreparation(waiting(cancelled));
    const CancellationToken token = tasks->preparationToken();
    auto finished = std::make_shared<bool>(false);
    QCoro::Task<void> watching = noteEnd(tasks->preparationFinished(), finished);
    settle();
    EXPECT_FALSE(*finished);
    token.cancel();
    settle();
    EXPECT_TRUE(*finished);

    // A preparation says it has ended when it applies its result, with no wait left in it.
    auto ended = std::make_shared<bool>(false);
    tasks->startPreparation(waiting(ended));
    const QUuid id = tasks->preparationID();
    const CancellationToken ending = tasks->preparationToken();
    tasks->endPreparation();
    EXPECT_FALSE(tasks->isPreparationRunning());
    EXPECT_FALSE(ending.isCancelled());
    EXPECT_TRUE(tasks->isCurrentPreparation(id));
    // With none running, the end is there at once.
    auto none = std::make_shared<bool>(false);
    QCoro::Task<void> nothing = noteEnd(tasks->preparationFinished(), none);
    EXPECT_TRUE(*none);
    // Forgotten, it is no longer the set's to cancel.
    tasks.reset();
    settle();
    EXPECT_FALSE(*ended);
    ending.cancel();
    settle();
    EXPECT_TRUE(*ended);
}

TEST_F(PlayerTasksTest, NothingRunsOnceTheSetIsGone) {
    int calls = 0;
    tasks->startAutoplay([&] { ++calls; });
    tasks->startNavigationSave([&] { ++calls; });
    tasks->startCheckpoints([&] { return ++calls > 0; });
    auto loopCancelled = std::make_shared<bool>(false);
    auto preparationCancelled = std::make_shared<bool>(false);
    auto listenerCancelled = std::make_shared<bool>(false);
    tasks->startLoop(waiting(loopCancelled));
    tasks->startPreparation(waiting(preparationCancelled));
    tasks->startListener(waiting(listenerCancelled));

    tasks.reset();
    advance(10s);
    EXPECT_EQ(calls, 0);
    EXPECT_TRUE(*loopCancelled);
    EXPECT_TRUE(*preparationCancelled);
    EXPECT_TRUE(*listenerCancelled);
}

}  // namespace
}  // namespace tavrine
