#include "ReaderUI/Player/ReadingStorePlaybackStore.h"

#include "ReaderStorage/ReadingStore.h"

namespace tavrine {

// Each call hands on the store's own task: the store's coroutine runs on the store, which the caller's
// reference to this object keeps alive while it is awaited.

ReadingStorePlaybackStore::ReadingStorePlaybackStore(std::shared_ptr<ReadingStore> store) : m_store(std::move(store)) {}

QCoro::Task<StoreResult<ReadingStoreState>> ReadingStorePlaybackStore::loadState() {
    return m_store->loadState();
}

QCoro::Task<bool> ReadingStorePlaybackStore::historyEnabled() {
    return m_store->historyEnabled();
}

QCoro::Task<std::optional<StoredReading>> ReadingStorePlaybackStore::storedReading(QUuid id) {
    return m_store->storedReading(id);
}

QCoro::Task<PlaybackStore::Subscription> ReadingStorePlaybackStore::changes() {
    return m_store->changes();
}

QCoro::Task<StoreResult<void>> ReadingStorePlaybackStore::setHistoryEnabled(bool enabled) {
    return m_store->setHistoryEnabled(enabled);
}

QCoro::Task<StoreResult<bool>> ReadingStorePlaybackStore::recordPlayback(SavedReading reading, Date date,
                                                                         ReadingProgress progress) {
    return m_store->recordPlayback(std::move(reading), date, progress);
}

QCoro::Task<StoreResult<void>> ReadingStorePlaybackStore::recordPlayback(QUuid id, Date date,
                                                                         std::optional<ReadingProgress> progress) {
    return m_store->recordPlayback(id, date, progress);
}

QCoro::Task<StoreResult<void>> ReadingStorePlaybackStore::updateProgress(QUuid id, ReadingProgress progress) {
    return m_store->updateProgress(id, progress);
}

QCoro::Task<StoreResult<void>> ReadingStorePlaybackStore::addToLibrary(SavedReading reading, ReadingProgress progress) {
    return m_store->addToLibrary(std::move(reading), progress);
}

QCoro::Task<StoreResult<void>> ReadingStorePlaybackStore::addToLibrary(QUuid id) {
    return m_store->addToLibrary(id);
}

QCoro::Task<StoreResult<void>> ReadingStorePlaybackStore::deleteDocument(QUuid id) {
    return m_store->deleteDocument(id);
}

QCoro::Task<StoreResult<QSet<QUuid>>> ReadingStorePlaybackStore::removeFromHistory(QSet<QUuid> ids) {
    return m_store->removeFromHistory(std::move(ids));
}

}  // namespace tavrine
