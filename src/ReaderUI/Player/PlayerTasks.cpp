#include "ReaderUI/Player/PlayerTasks.h"

#include "ReaderCore/Sleep.h"

namespace tavrine {

namespace {

// Cancels a handle's task and forgets it.
void stop(TaskHandle& handle) {
    handle.cancel();
    handle.release();
}

}  // namespace

void PlayerTasks::voidPreparation() {
    m_preparationID = QUuid::createUuid();
    stop(m_preparation);
}

void PlayerTasks::stopLoop() {
    stop(m_loop);
}

void PlayerTasks::startAutoplay(std::function<void()> start) {
    m_autoplay.start([&clock = m_clock, delay = m_timing.autoplayDelay, start = std::move(start)](
                         CancellationToken token) { return runAfter(clock, delay, start, std::move(token)); });
}

void PlayerTasks::stopAutoplay() {
    stop(m_autoplay);
}

void PlayerTasks::startCheckpoints(std::function<bool()> save) {
    // Stopping forgets the handle, so a handle still running is one that saves.
    if (m_checkpoints.isRunning()) return;
    m_checkpoints.start([&clock = m_clock, interval = m_timing.checkpointInterval, save = std::move(save)](
                            CancellationToken token) { return runEvery(clock, interval, save, std::move(token)); });
}

void PlayerTasks::stopCheckpoints() {
    stop(m_checkpoints);
}

void PlayerTasks::startNavigationSave(std::function<void()> save) {
    m_navigationSave.start([&clock = m_clock, delay = m_timing.navigationSaveDelay, save = std::move(save)](
                               CancellationToken token) { return runAfter(clock, delay, save, std::move(token)); });
}

void PlayerTasks::stopNavigationSave() {
    stop(m_navigationSave);
}

QCoro::Task<void> PlayerTasks::runAfter(const Clock& clock, Duration delay, std::function<void()> action,
                                        CancellationToken token) {
    auto sleeping = sleepFor(clock, delay, token);
    const bool reached = co_await sleeping;
    if (!reached || token.isCancelled()) co_return;
    action();
}

QCoro::Task<void> PlayerTasks::runEvery(const Clock& clock, Duration interval, std::function<bool()> action,
                                        CancellationToken token) {
    while (true) {
        if (token.isCancelled()) co_return;
        auto sleeping = sleepFor(clock, interval, token);
        const bool reached = co_await sleeping;
        if (!reached || token.isCancelled() || !action()) co_return;
    }
}

}  // namespace tavrine
