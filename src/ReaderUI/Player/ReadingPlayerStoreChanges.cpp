// Keeping up with the store: how each save ended, and readings that left it. Failures never stop
// playback; only the removal of the current reading does, and the reader then says why.
#include "ReaderUI/Player/ReadingPlayer.h"

#include "ReaderCore/MainThread.h"
#include "ReaderUI/Player/ReadingPlayerMessages.h"
#include "ReaderUI/Player/StorageStanding.h"

namespace tavrine {

using Outcome = PlaybackPersistence::Outcome;

void ReadingPlayer::handleOutcome(const QUuid& id, Outcome outcome) {
    Q_ASSERT(isMainThread());
    // An opening of a reading the store no longer has is dropped: it gives up at its next check.
    if (outcome == Outcome::removed && m_loadingSavedReadingID == id) {
        renewSavedLoadID();
        setLoadingSavedReadingID(std::nullopt);
    }

    // The reading the replacement history keeps follows its outcomes as if it were open, so that undo
    // brings it back with its flag and notice as they are by then.
    m_replacement.follow(id, outcome);

    if (readingID() != id) return;
    if (outcome == Outcome::removed) {
        stopForRemovedReading();
        return;
    }
    const StorageStanding standing = following({.saved = m_isCurrentReadingSaved, .notice = m_storageMessage}, outcome);
    setIsCurrentReadingSaved(standing.saved);
    setStorageMessage(standing.notice);
}

void ReadingPlayer::stopForRemovedReading() {
    Q_ASSERT(isMainThread());
    clearReplacementHistory();
    // The pause below ends any opening; one of another reading must still complete.
    const QUuid savedLoad = m_savedLoadID;
    const std::optional<QUuid> loading = m_loadingSavedReadingID;
    // Nothing may be saved for a reading the store no longer has.
    setHasActuallyPlayed(false);
    setHasNavigatedSavedReading(false);
    setHasPreviouslyPlayed(false);
    pause(true);

    setReading(std::nullopt);
    setOriginalEPUBFilename(std::nullopt);
    setChapterNavigation(ReadingChapterNavigation());
    setSourceWindow(std::nullopt);
    m_preparedReading.reset();
    setRequestedOffset(0);
    setSession(ReadingSession());
    setIsCurrentReadingSaved(false);
    setResumesFromCursor(false);
    setStorageMessage(ReadingPlayerMessages::kReadingRemoved);

    if (loading) {
        setSavedLoadID(savedLoad);
        setLoadingSavedReadingID(loading);
    }
}

void ReadingPlayer::markReadingRemoved(const QUuid& id) {
    Q_ASSERT(isMainThread());
    clearReplacementHistory();
    if (m_persistence) m_persistence->markRemoved(id);
}

QCoro::Task<void> ReadingPlayer::observeStoreChanges(QPointer<ReadingPlayer> self, std::shared_ptr<PlaybackStore> store,
                                                     CancellationToken token) {
    auto subscribing = store->changes();
    PlaybackStore::Subscription subscription = co_await subscribing;
    // The subscription is all the listener needs: it does not keep the store alive.
    store.reset();
    // Cancelling (the player goes) ends the subscription, which wakes the wait for the next state.
    const CancellationToken::Registration closing = token.onCancel([&subscription] { subscription.close(); });
    while (true) {
        if (!self || token.isCancelled()) co_return;
        auto waiting = subscription.next();
        const std::optional<ReadingStoreState> state = co_await waiting;
        if (!state || !self || token.isCancelled()) co_return;

        const QSet<QUuid>& removed = state->tombstones;
        self->m_replacement.forgetRemoved(removed);
        // The current reading first: stopping it keeps a pending opening, which is then looked at in turn.
        if (const std::optional<QUuid> current = self->readingID(); current && removed.contains(*current)) {
            self->markReadingRemoved(*current);
        }
        if (const std::optional<QUuid> loading = self->m_loadingSavedReadingID; loading && removed.contains(*loading)) {
            self->markReadingRemoved(*loading);
        }
    }
}

}  // namespace tavrine
