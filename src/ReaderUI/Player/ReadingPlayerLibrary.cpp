// What the library and history window changes in the store goes through the player: each action takes
// its place in the write queue behind every save already queued, so the store sees one order of events.
// The caller words its own failure; the notices left here are cleared only by the action they belong to.
#include "ReaderUI/Player/ReadingPlayer.h"

#include "ReaderCore/Characters.h"
#include "ReaderCore/MainThread.h"
#include "ReaderUI/Player/ReadingPlayerMessages.h"

namespace tavrine {

namespace {

QCoro::Task<bool> succeeded(QCoro::Task<StoreResult<void>> operation) {
    const StoreResult<void> result = co_await operation;
    co_return result.has_value();
}

QCoro::Task<bool> refused() {
    co_return false;
}

}  // namespace

QCoro::Task<bool> ReadingPlayer::addCurrentReadingToLibrary() {
    Q_ASSERT(isMainThread());
    return addCurrentReadingToLibrary(this);
}

QCoro::Task<bool> ReadingPlayer::addCurrentReadingToLibrary(QPointer<ReadingPlayer> self) {
    self->clearReplacementHistory();
    if (self->m_isTerminating || !self->m_persistence || !self->m_reading) co_return false;
    const SavedReading reading = *self->m_reading;
    if (isBlank(reading.document.text)) co_return false;
    // A reading that never played goes in at its start, whatever was shown.
    const bool played = self->m_hasActuallyPlayed;
    const ReadingProgress progress = played ? self->currentProgress() : ReadingProgress{0, false};
    // Queued ahead of the addition, so that a reading the store has keeps the place reached.
    if (played) self->savePosition();

    auto adding = self->m_persistence->addReadingToLibrary(reading, progress);
    const StoreResult<void> added = co_await adding;
    // The saved flag and an earlier notice are settled by the outcome the queue reports.
    if (added) co_return true;
    if (self && self->readingID() == reading.id) self->setStorageMessage(ReadingPlayerMessages::kLibraryAddFailed);
    co_return false;
}

QCoro::Task<bool> ReadingPlayer::addSavedReadingToLibrary(QUuid id) {
    Q_ASSERT(isMainThread());
    clearReplacementHistory();
    if (m_isTerminating || !m_persistence) return refused();
    if (readingID() == id && m_hasActuallyPlayed) savePosition();
    return succeeded(m_persistence->addToLibrary(id));
}

QCoro::Task<bool> ReadingPlayer::deleteLibraryDocument(QUuid id) {
    Q_ASSERT(isMainThread());
    clearReplacementHistory();
    if (m_isTerminating || !m_persistence) return refused();
    // The queue marks the reading removed once it is deleted, which stops it when it is the current one.
    return succeeded(m_persistence->deleteDocument(id));
}

QCoro::Task<bool> ReadingPlayer::deleteHistory(QSet<QUuid> ids) {
    Q_ASSERT(isMainThread());
    clearReplacementHistory();
    if (m_isTerminating || !m_persistence) return refused();
    return runWithNotice(this, m_persistence->removeFromHistory(std::move(ids)),
                         ReadingPlayerMessages::kHistoryDeletionFailed);
}

QCoro::Task<bool> ReadingPlayer::setHistoryEnabled(bool enabled) {
    Q_ASSERT(isMainThread());
    if (m_isTerminating || !m_persistence) return refused();
    return runWithNotice(this, m_persistence->setHistoryEnabled(enabled), ReadingPlayerMessages::kHistorySettingFailed);
}

QCoro::Task<bool> ReadingPlayer::runWithNotice(QPointer<ReadingPlayer> self, QCoro::Task<StoreResult<void>> action,
                                               QString notice) {
    const StoreResult<void> result = co_await action;
    if (!self) co_return result.has_value();
    if (!result) {
        self->setStorageMessage(notice);
        co_return false;
    }
    // Another action's notice stays.
    if (self->m_storageMessage == notice) self->setStorageMessage(std::nullopt);
    co_return true;
}

QCoro::Task<void> ReadingPlayer::refreshStorage() {
    Q_ASSERT(isMainThread());
    return refreshStorage(this);
}

QCoro::Task<void> ReadingPlayer::refreshStorage(QPointer<ReadingPlayer> self) {
    if (!self->m_persistence) co_return;
    auto loading = self->m_persistence->loadState();
    const StoreResult<ReadingStoreState> state = co_await loading;
    if (!self) co_return;
    if (!state) {
        self->setStorageMessage(ReadingPlayerMessages::kStorageRereadFailed);
        co_return;
    }
    const std::optional<QUuid> current = self->readingID();
    if (current && state->tombstones.contains(*current) && self->m_persistence)
        self->m_persistence->markRemoved(*current);
}

}  // namespace tavrine
