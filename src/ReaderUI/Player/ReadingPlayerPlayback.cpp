// Starting, pausing and stopping playback, the speed, the timed loop and the automatic start.
#include "ReaderUI/Player/ReadingPlayer.h"

#include "ReaderCore/MainThread.h"
#include "ReaderCore/Sleep.h"

#include <algorithm>

namespace tavrine {

using Status = ReadingSession::Status;

void ReadingPlayer::startPlayback(bool recordsPlay) {
    Q_ASSERT(isMainThread());
    if (m_isTerminating) return;
    renewSavedLoadID();
    setResumesFromCursor(false);
    cancelAutoplay();
    // A new play restarts the checkpoints; a start that only continues one (a speed change) keeps them.
    stopPlaybackTasks(!recordsPlay);

    const bool completed = m_session.status == Status::completed;
    if (m_preparedReading && (!m_session.currentChunk() || m_isPreparing || completed)) {
        const qsizetype offset = completed ? 0 : m_requestedOffset;
        const qsizetype last = std::max<qsizetype>(m_preparedReading->length() - 1, 0);
        prepareWindow(std::min(offset, last), {.pausing = true,
                                               .sentenceStep = std::nullopt,
                                               .whenReady = recordsPlay ? WhenReady::play : WhenReady::continuePlay});
        return;
    }

    changeSession([](ReadingSession& session) { session.play(); });
    if (m_session.status != Status::playing) return;
    setHasActuallyPlayed(true);
    if (recordsPlay) queuePlayRecord();
    startCheckpoints();
    m_tasks.startLoop([self = QPointer<ReadingPlayer>(this)](CancellationToken token) {
        return runPlaybackLoop(self, std::move(token));
    });
}

void ReadingPlayer::pause(bool savingPosition) {
    Q_ASSERT(isMainThread());
    renewSavedLoadID();
    setLoadingSavedReadingID(std::nullopt);
    const bool wasWaiting = m_isWaitingToPlay;
    cancelPreparation();
    cancelAutoplay();
    // A start that was still to come leaves the session paused on its chunk, whatever its status was.
    if (wasWaiting) changeSession([](ReadingSession& session) { session.play(); });
    stopPlaybackTasks(false);
    if (savingPosition) savePosition();
}

void ReadingPlayer::stopPlaybackTasks(bool keepingCheckpoint) {
    Q_ASSERT(isMainThread());
    m_tasks.stopLoop();
    if (!keepingCheckpoint) m_tasks.stopCheckpoints();
    changeSession([](ReadingSession& session) { session.pause(); });
}

void ReadingPlayer::cancelAutoplay() {
    Q_ASSERT(isMainThread());
    m_tasks.stopAutoplay();
    setPendingAutoplay(false);
    setIsWaitingToPlay(false);
}

void ReadingPlayer::scheduleAutoplay() {
    Q_ASSERT(isMainThread());
    // The start stops this task's own handle.
    m_tasks.startAutoplay([self = QPointer<ReadingPlayer>(this)] {
        if (self) self->startPlayback(self->m_session.status != Status::playing);
    });
}

void ReadingPlayer::setBaseSeconds(double seconds) {
    Q_ASSERT(isMainThread());
    const bool wasPlaying = m_session.status == Status::playing;
    if (wasPlaying) {
        stopPlaybackTasks(true);
    } else {
        pause(true);
    }
    // Kept as given: the loop clamps it where it computes display times.
    if (m_speed.set(seconds)) emit baseSecondsChanged();
    if (wasPlaying) startPlayback(false);
}

bool ReadingPlayer::needsNextWindow() const {
    return m_preparedReading && m_reading && m_session.isAtLastChunk() && m_session.hasMoreSource();
}

// One pass per chunk, one deadline per chunk: its display time counted from the moment the loop made it
// current, just before observers are told (a view that redraws at once does not lengthen every chunk by
// its drawing), or from the start for the chunk shown when playback starts. Time lost to a late wake-up is
// not made up later, and time spent fetching a window comes on top of the last chunk of the one before.
QCoro::Task<void> ReadingPlayer::runPlaybackLoop(QPointer<ReadingPlayer> self, CancellationToken token) {
    const Clock& clock = self->m_clock;
    std::optional<Clock::MonotonicTime> madeCurrent;
    while (true) {
        if (token.isCancelled() || !self) co_return;
        const std::optional<ReadingChunk> shown = self->m_session.currentChunk();
        if (!shown || self->m_session.status != Status::playing) co_return;

        const auto deadline =
            madeCurrent.value_or(clock.monotonicNow()) +
            std::chrono::duration_cast<Clock::MonotonicTime::duration>(self->m_speed.displayTime(*shown));
        auto sleeping = sleepUntil(clock, deadline, token);
        const bool reached = co_await sleeping;
        if (!reached || token.isCancelled() || !self) co_return;

        if (self->needsNextWindow()) {
            auto fetching = showNextWindow(self, token);
            madeCurrent = co_await fetching;
            if (!madeCurrent || !self) co_return;
        } else {
            madeCurrent = clock.monotonicNow();
            self->changeSession([](ReadingSession& session) { session.advance(); });
        }

        if (self->m_session.status == Status::completed) {
            // The loop ends here; the checkpoints end with it and the end of the text is saved once.
            self->m_tasks.stopCheckpoints();
            self->savePosition();
            co_return;
        }
    }
}

QCoro::Task<std::optional<Clock::MonotonicTime>> ReadingPlayer::showNextWindow(QPointer<ReadingPlayer> self,
                                                                               CancellationToken token) {
    const std::optional<ReadingChunk> shown = self->m_session.currentChunk();
    if (!shown) co_return std::nullopt;
    const QUuid id = self->m_tasks.preparationID();
    // The chunk stays on display and the session keeps playing while the next window comes.
    self->setRequestedOffset(shown->sourceRange.lowerBound);
    self->setIsPreparing(true);

    const ChunkWindowSource source = self->windowSource();
    auto fetching = ChunkWindowSource::after(source, *shown, self->m_sourceWindow, token);
    std::optional<ChunkWindow> window = co_await fetching;
    // A failed fetch means the loop was cancelled: whoever cancelled it clears isPreparing.
    if (!window || token.isCancelled() || !self || !self->m_tasks.isCurrentPreparation(id)) co_return std::nullopt;

    self->setSourceWindow(std::move(window->sourceWindow));
    ReadingSession session(std::move(window->chunks), source.length());
    session.play();
    const Clock::MonotonicTime madeCurrent = self->m_clock.monotonicNow();
    self->setSession(std::move(session));
    const std::optional<ReadingChunk> current = self->m_session.currentChunk();
    self->setRequestedOffset(current ? current->sourceRange.lowerBound : window->target);
    self->setIsPreparing(false);
    co_return madeCurrent;
}

}  // namespace tavrine
