// The application quits: the player keeps its place and starts nothing more.
#include "ReaderUI/Player/ReadingPlayer.h"

#include "ReaderCore/MainThread.h"

namespace tavrine {

void ReadingPlayer::prepareForTermination() {
    Q_ASSERT(isMainThread());
    setIsTerminating(true);
    pause(true);
}

QCoro::Task<void> ReadingPlayer::finishPersistence() {
    Q_ASSERT(isMainThread());
    pause(true);
    // Without a store nothing is ever queued.
    if (!m_persistence) co_return;
    // The wait holds the queue's state, not the player, which may go before it ends.
    auto draining = m_persistence->drain();
    co_await draining;
}

}  // namespace tavrine
