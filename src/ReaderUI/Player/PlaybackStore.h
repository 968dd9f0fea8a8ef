#pragma once

#include "ReaderCore/Date.h"
#include "ReaderCore/LatestValue.h"
#include "ReaderCore/ReadingProgress.h"
#include "ReaderCore/SavedReading.h"
#include "ReaderStorage/ReadingStoreState.h"
#include "ReaderStorage/StoreFailure.h"
#include "ReaderStorage/StoredReading.h"

#include <QCoro/QCoroTask>
#include <QSet>
#include <QUuid>

#include <optional>

namespace tavrine {

// The reading store as the player sees it: the operations its write queue and its store listener call,
// under the store's own names and with the store's results (ReadingStore documents each). The
// application's is ReadingStorePlaybackStore over the one store; tests use a scripted fake. Called on the
// main thread; each operation completes on it.
class PlaybackStore {
public:
    using Subscription = LatestValueSubscription<ReadingStoreState>;

    virtual ~PlaybackStore() = default;

    virtual QCoro::Task<StoreResult<ReadingStoreState>> loadState() = 0;
    virtual QCoro::Task<bool> historyEnabled() = 0;
    virtual QCoro::Task<std::optional<StoredReading>> storedReading(QUuid id) = 0;
    // The state now, then the state after each change; a listener that falls behind gets the newest.
    virtual QCoro::Task<Subscription> changes() = 0;

    virtual QCoro::Task<StoreResult<void>> setHistoryEnabled(bool enabled) = 0;
    // Records the play of a reading the store does not have: false while the history is off.
    virtual QCoro::Task<StoreResult<bool>> recordPlayback(SavedReading reading, Date date,
                                                          ReadingProgress progress) = 0;
    virtual QCoro::Task<StoreResult<void>> recordPlayback(QUuid id, Date date,
                                                          std::optional<ReadingProgress> progress) = 0;
    virtual QCoro::Task<StoreResult<void>> updateProgress(QUuid id, ReadingProgress progress) = 0;
    virtual QCoro::Task<StoreResult<void>> addToLibrary(SavedReading reading, ReadingProgress progress) = 0;
    virtual QCoro::Task<StoreResult<void>> addToLibrary(QUuid id) = 0;
    virtual QCoro::Task<StoreResult<void>> deleteDocument(QUuid id) = 0;
    // The identifiers of the readings deleted because they were only in the history.
    virtual QCoro::Task<StoreResult<QSet<QUuid>>> removeFromHistory(QSet<QUuid> ids) = 0;
};

}  // namespace tavrine
