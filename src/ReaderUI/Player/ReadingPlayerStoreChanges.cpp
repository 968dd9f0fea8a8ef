// Keeping up with the store: how each save ended, and readings that left it. Failures never stop
// playback; only the removal of the current reading does, and the reader then says why.
#include "ReaderUI/Player/ReadingPlayer.h"

#include "ReaderCore/MainThread.h"
#include "ReaderUI/Player/ReadingPlayerMessages.h"

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
    if (m_replacementSnapshot && m_replacementSnapshot->reading && m_replacementSnapshot->reading->id == id) {
        if (outcome == Outcome::removed) {
            clearReplacementHistory();
        } else {
            ReplacementSnapshot snapshot = *m_replacementSnapshot;
            switch (outcome) {
            case Outcome::saved:
                snapshot.saved = true;
                snapshot.message.reset();
                break;
            case Outcome::librarySaved:
                snapshot.saved = true;
                if (snapshot.message == ReadingPlayerMessages::kLibraryAddFailed) snapshot.message.reset();
                break;
            case Outcome::notSaved: snapshot.saved = false; break;
            case Outcome::failed: snapshot.message = ReadingPlayerMessages::kSaveFailed; break;
            case Outcome::removed: break;
            }
            setReplacementSnapshot(std::move(snapshot));
        }
    }

    if (readingID() != id) return;
    switch (outcome) {
    case Outcome::saved:
        setIsCurrentReadingSaved(true);
        setStorageMessage(std::nullopt);
        return;
    case Outcome::librarySaved:
        setIsCurrentReadingSaved(true);
        // Only the notice of a failed addition is settled by a successful one.
        if (m_storageMessage == ReadingPlayerMessages::kLibraryAddFailed) setStorageMessage(std::nullopt);
        return;
    case Outcome::notSaved: setIsCurrentReadingSaved(false); return;
    // Whatever was saved before stays saved.
    case Outcome::failed: setStorageMessage(ReadingPlayerMessages::kSaveFailed); return;
    case Outcome::removed: stopForRemovedReading(); return;
    }
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
        const auto& snapshot = self->m_replacementSnapshot;
        if (snapshot && snapshot->reading && removed.contains(snapshot->reading->id)) self->clearReplacementHistory();
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
