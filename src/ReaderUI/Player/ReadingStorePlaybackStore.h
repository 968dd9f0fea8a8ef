#pragma once

#include "ReaderUI/Player/PlaybackStore.h"

#include <memory>

namespace tavrine {

class ReadingStore;

// The player's road to the application's one ReadingStore: each operation is the store's own. It shares
// ownership of the store, so writes still queued when the player goes keep the store alive until they
// have run.
class ReadingStorePlaybackStore final : public PlaybackStore {
public:
    explicit ReadingStorePlaybackStore(std::shared_ptr<ReadingStore> store);

    QCoro::Task<StoreResult<ReadingStoreState>> loadState() override;
    QCoro::Task<bool> historyEnabled() override;
    QCoro::Task<std::optional<StoredReading>> storedReading(QUuid id) override;
    QCoro::Task<Subscription> changes() override;
    QCoro::Task<StoreResult<void>> setHistoryEnabled(bool enabled) override;
    QCoro::Task<StoreResult<bool>> recordPlayback(SavedReading reading, Date date, ReadingProgress progress) override;
    QCoro::Task<StoreResult<void>> recordPlayback(QUuid id, Date date,
                                                  std::optional<ReadingProgress> progress) override;
    QCoro::Task<StoreResult<void>> updateProgress(QUuid id, ReadingProgress progress) override;
    QCoro::Task<StoreResult<void>> addToLibrary(SavedReading reading, ReadingProgress progress) override;
    QCoro::Task<StoreResult<void>> addToLibrary(QUuid id) override;
    QCoro::Task<StoreResult<void>> deleteDocument(QUuid id) override;
    QCoro::Task<StoreResult<QSet<QUuid>>> removeFromHistory(QSet<QUuid> ids) override;

private:
    std::shared_ptr<ReadingStore> m_store;
};

}  // namespace tavrine
