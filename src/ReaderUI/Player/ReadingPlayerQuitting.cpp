// The application quits: the player keeps its place, starts nothing more, and lets the application wait
// until its last saves have reached the store.
#include "ReaderUI/Player/ReadingPlayer.h"

#include "ReaderCore/MainThread.h"

namespace tavrine {

namespace {

QCoro::Task<void> nothingQueued() {
    co_return;
}

}  // namespace

void ReadingPlayer::prepareForTermination() {
    Q_ASSERT(isMainThread());
    setIsTerminating(true);
    pause(true);
}

QCoro::Task<void> ReadingPlayer::finishPersistence() {
    Q_ASSERT(isMainThread());
    // Anything that played since is saved too, behind everything queued before.
    pause(true);
    return flushPersistence();
}

QCoro::Task<void> ReadingPlayer::flushPersistence() {
    Q_ASSERT(isMainThread());
    // The wait holds the queue's end, not the player: it completes even when the player goes meanwhile.
    if (!m_persistence) return nothingQueued();
    return m_persistence->drain();
}

}  // namespace tavrine
