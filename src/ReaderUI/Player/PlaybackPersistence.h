#pragma once

#include "ReaderUI/Player/PlaybackStore.h"

#include <functional>
#include <memory>

namespace tavrine {

namespace internal {
struct PlaybackQueueState;
}

// The player's only road to the reading store: it turns what happens in the player (a play started, a
// position reached, a reading added to the library, deleted or dropped from the history, the history
// switched) into store operations, runs them strictly one after another in the order they were asked
// for, keeps the player's knowledge of which readings are stored and which are gone, and reports per
// reading how each save ended through one handler. It shows nothing itself.
//
// The write queue: every queued operation starts only after the one queued before it has finished, and
// never inside the call that queued it (the earliest is the next turn of the event loop). An operation
// takes its place in the queue when it is asked for, before anything is awaited, so the order holds
// across the suspensions inside operations. A failed operation does not stop the queue. Outcomes reach
// the handler inside the operation, before the next one starts.
//
// Knowledge: a reading becomes "registered" (position saves are written for it) when a play record
// found or stored it, when it was opened from the store, or when it was put in the library; it becomes
// "removed" when it was deleted, dropped from the history, found missing, or marked so. Neither set ever
// shrinks, and nothing is written again for a removed reading.
//
// Owned by the player, main thread only. Queued operations share ownership of the queue's state and of
// the store: destroying this object cancels nothing, and what was queued still runs and reports.
class PlaybackPersistence final {
public:
    enum class Outcome {
        saved,         // a play record or a position was stored, or a new reading was added to the library
        librarySaved,  // a reading the store had was put in the library
        notSaved,      // a play record of a reading the store does not have, while the history is off
        failed,        // a play record or a position save failed with anything but a missing document
        removed,       // the reading is gone from the store
    };
    using OutcomeHandler = std::function<void(const QUuid& id, Outcome outcome)>;
    using Operation = std::function<QCoro::Task<void>()>;
    using FailingOperation = std::function<QCoro::Task<StoreResult<void>>()>;

    // With automaticallySavesHistory every play record switches the store's history on when it finds it
    // off; without it, the history setting is left to the user.
    PlaybackPersistence(std::shared_ptr<PlaybackStore> store, bool automaticallySavesHistory);
    PlaybackPersistence(const PlaybackPersistence&) = delete;
    PlaybackPersistence& operator=(const PlaybackPersistence&) = delete;
    ~PlaybackPersistence();

    // Where outcomes go; without a handler they are dropped. Called on the main thread with the reading's
    // identifier, also for operations that outlive this object.
    void setOutcomeHandler(OutcomeHandler handler);

    // ---- The queue ----
    // Queues an operation that cannot fail and returns at once.
    void enqueue(Operation operation);
    // Queues an operation that can fail; the task completes with its result once it has run.
    QCoro::Task<StoreResult<void>> perform(FailingOperation operation);
    // Completes once everything queued so far has finished, whether it succeeded or not.
    QCoro::Task<void> drain() const;

    // ---- Queued saves: they never fail, each store failure becomes an outcome ----
    // Records a play of the reading (saved, notSaved, failed or removed), storing the reading with it
    // when the store does not have it yet; with automaticallySavesHistory the history is switched on
    // first.
    void recordPlay(SavedReading reading, Date date, ReadingProgress progress);
    // Stores a position of a registered reading that is not removed (saved, failed or removed);
    // otherwise does nothing and reports nothing.
    void saveProgress(QUuid id, ReadingProgress progress);

    // ---- Store actions: failures go to the caller, only successes are reported ----
    // The stored reading, once everything queued so far has run; not queued itself. A reading the store
    // does not have, or a removed one, is marked removed and gives nothing. Fails only when the store's
    // state cannot be loaded.
    QCoro::Task<StoreResult<std::optional<StoredReading>>> storedReading(QUuid id);
    // Puts the reading in the library: a reading the store does not have is added with the progress
    // (saved), a stored one becomes a library reading (librarySaved). missingDocument for a removed
    // reading, without a store call.
    QCoro::Task<StoreResult<void>> addReadingToLibrary(SavedReading reading, ReadingProgress progress);
    // Puts a stored reading in the library (librarySaved); missingDocument for a removed one.
    QCoro::Task<StoreResult<void>> addToLibrary(QUuid id);
    // Deletes a library reading, then marks it removed.
    QCoro::Task<StoreResult<void>> deleteDocument(QUuid id);
    QCoro::Task<StoreResult<void>> setHistoryEnabled(bool enabled);
    // Drops the readings from the history; those the store deleted (they were only in the history) are
    // marked removed.
    QCoro::Task<StoreResult<void>> removeFromHistory(QSet<QUuid> ids);

    // ---- Immediate ----
    // The store's state now: not queued, so it does not wait for the writes before it.
    QCoro::Task<StoreResult<ReadingStoreState>> loadState();
    // Marks the reading removed and reports it so.
    void markRemoved(const QUuid& id);
    // Reports a failure of a save: missingDocument marks the reading removed, anything else is failed.
    void report(const StoreFailure& failure, const QUuid& id);

private:
    std::shared_ptr<internal::PlaybackQueueState> m_state;
};

}  // namespace tavrine
