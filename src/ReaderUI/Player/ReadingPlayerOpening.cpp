// Opening a reading the store keeps, paused at its place or starting automatically. The opening waits
// twice, for the store's lookup and for the first window, and whatever the reader does meanwhile wins:
// a pause, another opening, an import or a new preparation makes it give up and change nothing more.
#include "ReaderUI/Player/ReadingPlayer.h"

#include "ReaderCore/MainThread.h"
#include "ReaderUI/Player/ReadingPlayerMessages.h"

namespace tavrine {

QCoro::Task<bool> ReadingPlayer::openSavedReading(QUuid id, CancellationToken token) {
    Q_ASSERT(isMainThread());
    return openStoredReading(this, id, /*fromBeginning=*/false, /*autoplay=*/false, /*isActive=*/false,
                             std::move(token));
}

QCoro::Task<bool> ReadingPlayer::playSavedReading(QUuid id, bool fromBeginning, bool isActive,
                                                  CancellationToken token) {
    Q_ASSERT(isMainThread());
    return openStoredReading(this, id, fromBeginning, /*autoplay=*/true, isActive, std::move(token));
}

QCoro::Task<bool> ReadingPlayer::openStoredReading(QPointer<ReadingPlayer> self, QUuid id, bool fromBeginning,
                                                   bool autoplay, bool isActive, CancellationToken token) {
    // Whatever happens next, the replaced reading can no longer come back.
    self->clearReplacementHistory();
    if (self->m_isTerminating) co_return false;
    if (!self->m_persistence) {
        // Nothing is paused: what plays goes on.
        self->setStorageMessage(ReadingPlayerMessages::kStoredReadingsUnavailable);
        co_return false;
    }
    // The pause queues the position of the reading being left before the lookup, which runs after every
    // queued write, so reopening the same reading finds that position.
    self->pause(true);
    self->renewSavedLoadID();
    const QUuid load = self->m_savedLoadID;
    self->setLoadingSavedReadingID(id);

    auto lookup = self->m_persistence->storedReading(id);
    const StoreResult<std::optional<StoredReading>> found = co_await lookup;
    if (!self) co_return false;
    if (!found) {
        if (self->m_savedLoadID == load) {
            self->setLoadingSavedReadingID(std::nullopt);
            self->setStorageMessage(ReadingPlayerMessages::kStoredReadingLookupFailed);
        }
        co_return false;
    }
    if (token.isCancelled() || self->m_savedLoadID != load) co_return false;
    self->setLoadingSavedReadingID(std::nullopt);
    if (!*found) {
        self->setStorageMessage(ReadingPlayerMessages::kStoredReadingNotFound);
        co_return false;
    }

    self->loadStored(**found, fromBeginning);
    const std::optional<QUuid> reading = self->readingID();
    const QUuid preparation = self->m_tasks.preparationID();
    if (self->m_tasks.isPreparationRunning()) {
        // Cancelling the opening cancels the preparation it waits for, and nothing else.
        const CancellationToken preparing = self->m_tasks.preparationToken();
        const CancellationToken::Registration forwarding = token.onCancel([preparing] { preparing.cancel(); });
        auto preparedWindow = self->m_tasks.preparationFinished();
        co_await preparedWindow;
        if (!self) co_return false;
    }
    if (token.isCancelled() || self->readingID() != reading || !self->m_tasks.isCurrentPreparation(preparation)) {
        co_return false;
    }

    if (!autoplay) {
        // A completed reading goes back to its first chunk; any session with chunks ends paused.
        self->changeSession([](ReadingSession& session) {
            session.play();
            session.pause();
        });
        self->setResumesFromCursor(self->hasText());
        co_return true;
    }
    const bool starts = self->hasText();
    self->setPendingAutoplay(starts);
    self->setIsWaitingToPlay(starts);
    self->scenePhaseChanged(isActive);
    co_return true;
}

void ReadingPlayer::loadStored(const StoredReading& stored, bool fromBeginning) {
    const ReadingProgress& progress = stored.progress;
    load(stored.reading, fromBeginning ? 0 : progress.resumeOffset());
    setOriginalEPUBFilename(stored.originalEPUB ? std::optional(stored.originalEPUB->filename) : std::nullopt);
    setIsCurrentReadingSaved(true);
    setHasPreviouslyPlayed(stored.lastPlayedAt || progress.utf16Offset >= 1 || progress.isCompleted);
}

}  // namespace tavrine
