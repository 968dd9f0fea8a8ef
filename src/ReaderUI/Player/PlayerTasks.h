#pragma once

#include "ReaderCore/CancellationToken.h"
#include "ReaderCore/Clock.h"
#include "ReaderCore/TaskHandle.h"

#include <QCoro/QCoroTask>
#include <QUuid>

#include <chrono>
#include <functional>
#include <utility>

namespace tavrine {

// The player's asynchronous work, one task of each kind at a time: the preparation of a chunk window,
// the playback loop, the automatic start, the periodic checkpoint and the delayed save after a
// navigation, and beside them the store listener. Starting a task of a kind cancels the one before it;
// stopping one cancels and forgets it.
//
// Guards: every task ends at its first check after it was cancelled, and the set cancels every task when
// it goes. The three timed tasks are run here, on the clock: each calls its function only while it has
// not been stopped or replaced, so no function runs after the set (or its owner) is gone. A preparation
// also carries the preparation ID it was started under, and applies its result only while that ID is
// current: voiding the preparations renews it.
//
// Owned by the player, main thread only. The clock must outlive the set and the tasks it started.
class PlayerTasks final {
public:
    using Duration = std::chrono::duration<double>;

    // The timed tasks' times.
    struct Timing {
        Duration autoplayDelay;
        Duration checkpointInterval;
        Duration navigationSaveDelay;
    };

    PlayerTasks(const Clock& clock, Timing timing) : m_clock(clock), m_timing(timing) {}
    PlayerTasks(const PlayerTasks&) = delete;
    PlayerTasks& operator=(const PlayerTasks&) = delete;

    // ---- The preparation of a chunk window ----
    // The ID of the preparations that may still apply their result.
    const QUuid& preparationID() const { return m_preparationID; }
    bool isCurrentPreparation(const QUuid& id) const { return id == m_preparationID; }
    // Starts makeTask(token) as the preparation, under the current ID.
    template <typename Factory>
    void startPreparation(Factory&& makeTask) {
        m_preparation.start(std::forward<Factory>(makeTask));
    }
    // Voids every preparation started so far: a new ID, the running one cancelled and forgotten.
    void voidPreparation();
    // The current preparation has ended (it says so itself): forgotten, not cancelled.
    void endPreparation() { m_preparation.release(); }
    // The running preparation, for a flow that waits for it: whether there is one, its token (cancelling
    // it cancels the preparation), and its end (at once when there is none).
    bool isPreparationRunning() const { return m_preparation.isRunning(); }
    CancellationToken preparationToken() const { return m_preparation.token(); }
    QCoro::Task<void> preparationFinished() const { return m_preparation.finished(); }

    // ---- The playback loop ----
    template <typename Factory>
    void startLoop(Factory&& makeTask) {
        m_loop.start(std::forward<Factory>(makeTask));
    }
    void stopLoop();

    // ---- The automatic start ----
    // Calls start once, autoplayDelay from now.
    void startAutoplay(std::function<void()> start);
    void stopAutoplay();
    bool isAutoplayPending() const { return m_autoplay.isRunning(); }

    // ---- Checkpoints ----
    // Calls save every checkpointInterval until it answers false. Checkpoints that run are kept as they
    // are; ones that ended, or were told to end, are replaced, so a play never goes on without them.
    void startCheckpoints(std::function<bool()> save);
    void stopCheckpoints();

    // ---- The navigation save ----
    // Calls save once, navigationSaveDelay from now.
    void startNavigationSave(std::function<void()> save);
    void stopNavigationSave();

    // ---- The store listener ----
    // Runs until the set goes.
    template <typename Factory>
    void startListener(Factory&& makeTask) {
        m_listener.start(std::forward<Factory>(makeTask));
    }

private:
    static QCoro::Task<void> runAfter(const Clock& clock, Duration delay, std::function<void()> action,
                                      CancellationToken token);
    static QCoro::Task<void> runEvery(const Clock& clock, Duration interval, std::function<bool()> action,
                                      CancellationToken token);

    const Clock& m_clock;
    const Timing m_timing;
    QUuid m_preparationID = QUuid::createUuid();
    // Destroyed first, in the order below reversed: each cancels its task.
    TaskHandle m_preparation;
    TaskHandle m_loop;
    TaskHandle m_autoplay;
    TaskHandle m_checkpoints;
    TaskHandle m_navigationSave;
    TaskHandle m_listener;
};

}  // namespace tavrine
