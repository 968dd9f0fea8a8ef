// Keeping the reader's place: position saves, checkpoints while playing, saves after navigation and the
// play record. Nothing is saved until the reading has really played (or a stored one that was played
// before has been navigated), so merely opening a text never moves its stored position. The values of a
// save are taken when it is queued; the queue writes them later, in order.
#include "ReaderUI/Player/ReadingPlayer.h"

#include "ReaderCore/MainThread.h"

namespace tavrine {

bool ReadingPlayer::mayStorePosition() const {
    return m_hasActuallyPlayed || m_hasNavigatedSavedReading;
}

void ReadingPlayer::savePosition() {
    Q_ASSERT(isMainThread());
    // This save replaces a pending delayed one (which may be the caller).
    m_tasks.stopNavigationSave();
    if (!mayStorePosition()) return;
    if (!m_session.currentChunk() || !m_reading || !m_persistence) return;
    m_persistence->saveProgress(m_reading->id, currentProgress());
}

void ReadingPlayer::queuePlayRecord() {
    if (!m_reading) return;
    m_tasks.stopNavigationSave();
    if (m_persistence) m_persistence->recordPlay(*m_reading, m_clock.now(), currentProgress());
}

void ReadingPlayer::startCheckpoints() {
    Q_ASSERT(isMainThread());
    if (!m_persistence) return;
    // A tick that finds the session paused (say during a window's re-preparation after a speed change)
    // ends the checkpoints; the next start replaces them.
    m_tasks.startCheckpoints([self = QPointer<ReadingPlayer>(this)] {
        if (!self || self->m_session.status != ReadingSession::Status::playing) return false;
        self->savePosition();
        return true;
    });
}

void ReadingPlayer::scheduleNavigationSave() {
    Q_ASSERT(isMainThread());
    m_tasks.stopNavigationSave();
    if (!mayStorePosition() || !m_persistence) return;
    m_tasks.startNavigationSave([self = QPointer<ReadingPlayer>(this)] {
        if (self) self->savePosition();
    });
}

void ReadingPlayer::noteNavigation() {
    setHasNavigatedSavedReading(m_isCurrentReadingSaved && (m_hasActuallyPlayed || m_hasPreviouslyPlayed));
}

}  // namespace tavrine
