// Keeping the reader's place: position saves, checkpoints while playing, saves after navigation and the
// play record. Nothing is saved until the reading has really played (or a stored one that was played
// before has been navigated), so merely opening a text never moves its stored position. The values of a
// save are taken when it is queued; the queue writes them later, in order.
#include "ReaderUI/Player/ReadingPlayer.h"

#include "ReaderCore/MainThread.h"
#include "ReaderCore/Sleep.h"

namespace tavrine {

ReadingProgress ReadingPlayer::currentProgress() const {
    if (m_session.status == ReadingSession::Status::completed) {
        return {m_reading ? m_reading->document.text.size() : 0, true};
    }
    return {currentSourceOffset(), false};
}

void ReadingPlayer::savePosition() {
    Q_ASSERT(isMainThread());
    // This save replaces a pending delayed one (which may be the caller).
    m_navigationSaveTask.cancel();
    m_navigationSaveTask.release();
    if (!m_hasActuallyPlayed && !m_hasNavigatedSavedReading) return;
    if (!m_session.currentChunk() || !m_reading || !m_persistence) return;
    m_persistence->saveProgress(m_reading->id, currentProgress());
}

void ReadingPlayer::queuePlayRecord() {
    if (!m_reading) return;
    m_navigationSaveTask.cancel();
    if (m_persistence) m_persistence->recordPlay(*m_reading, m_clock.now(), currentProgress());
}

void ReadingPlayer::startCheckpoints() {
    Q_ASSERT(isMainThread());
    if (!m_persistence) return;
    // A handle whose task has ended (a tick that found the session paused, say during a window's
    // re-preparation after a speed change) or has been told to end saves nothing any more: replace it, or
    // the rest of the play would go without checkpoints.
    if (m_checkpointTask.isRunning() && !m_checkpointTask.token().isCancelled()) return;
    m_checkpointTask.start([self = QPointer<ReadingPlayer>(this), interval = m_checkpointInterval](
                               CancellationToken token) { return runCheckpoints(self, interval, std::move(token)); });
}

QCoro::Task<void> ReadingPlayer::runCheckpoints(QPointer<ReadingPlayer> self, std::chrono::duration<double> interval,
                                                CancellationToken token) {
    const Clock& clock = self->m_clock;
    while (true) {
        if (token.isCancelled()) co_return;
        auto sleeping = sleepFor(clock, interval, token);
        const bool reached = co_await sleeping;
        if (!reached || token.isCancelled() || !self) co_return;
        if (self->m_session.status != ReadingSession::Status::playing) co_return;
        self->savePosition();
    }
}

void ReadingPlayer::scheduleNavigationSave() {
    Q_ASSERT(isMainThread());
    m_navigationSaveTask.cancel();
    if (!m_hasActuallyPlayed && !m_hasNavigatedSavedReading) return;
    if (!m_persistence) return;
    m_navigationSaveTask.start(
        [self = QPointer<ReadingPlayer>(this)](CancellationToken token) { return runNavigationSave(self, token); });
}

QCoro::Task<void> ReadingPlayer::runNavigationSave(QPointer<ReadingPlayer> self, CancellationToken token) {
    auto sleeping = sleepFor(self->m_clock, kNavigationSaveDelay, token);
    const bool reached = co_await sleeping;
    if (!reached || token.isCancelled() || !self) co_return;
    self->savePosition();
}

}  // namespace tavrine
