#include "ReaderUI/Player/PlaybackPersistence.h"

#include "ReaderCore/MainThread.h"
#include "ReaderCore/NextEventLoopTurn.h"

#include <coroutine>
#include <utility>
#include <vector>

namespace tavrine {

using Outcome = PlaybackPersistence::Outcome;

namespace internal {

// The end of one queued operation, which the operation queued after it waits for. A Task can be awaited
// only once, so the queue links operations through these instead.
struct QueueLink {
    bool finished = false;
    std::vector<std::coroutine_handle<>> waiters;

    void finish() {
        finished = true;
        for (std::coroutine_handle<> waiter : std::exchange(waiters, {})) resumeOnNextTurn(waiter);
    }
};

// Waits for a link to finish (at once for none), and always resumes on a later turn of the event loop.
struct AfterLink {
    std::shared_ptr<QueueLink> link;

    bool await_ready() const noexcept { return false; }
    void await_suspend(std::coroutine_handle<> handle) const {
        if (link && !link->finished) {
            link->waiters.push_back(handle);
        } else {
            resumeOnNextTurn(handle);
        }
    }
    void await_resume() const noexcept {}
};

// Everything a queued operation touches; shared by the persistence and every operation it queued.
struct PlaybackQueueState {
    std::shared_ptr<PlaybackStore> store;
    bool automaticallySavesHistory = false;
    // The link of the newest queued operation.
    std::shared_ptr<QueueLink> tail;
    QSet<QUuid> registered;
    QSet<QUuid> removed;
    PlaybackPersistence::OutcomeHandler onOutcome;

    // Makes a new link the tail and returns it with the link before it.
    std::pair<std::shared_ptr<QueueLink>, std::shared_ptr<QueueLink>> append() {
        Q_ASSERT(isMainThread());
        auto link = std::make_shared<QueueLink>();
        return {std::exchange(tail, link), link};
    }

    void report(const QUuid& id, Outcome outcome) const {
        // A copy: the handler may replace itself while it runs.
        if (const auto handler = onOutcome) handler(id, outcome);
    }
    void markRemoved(const QUuid& id) {
        removed.insert(id);
        report(id, Outcome::removed);
    }
    void reportFailure(const StoreFailure& failure, const QUuid& id) {
        const auto* error = std::get_if<ReadingStoreError>(&failure);
        if (error && error->kind == ReadingStoreError::Kind::missingDocument) {
            markRemoved(id);
        } else {
            report(id, Outcome::failed);
        }
    }
};

}  // namespace internal

namespace {

using internal::AfterLink;
using internal::QueueLink;
using State = internal::PlaybackQueueState;
using StatePointer = std::shared_ptr<State>;

StoreResult<void> missingDocument() {
    return storeFailure(ReadingStoreError::missingDocument());
}

// GCC 12 mishandles temporaries inside a co_await operand: every awaited task below is a named local.

QCoro::Task<void> runQueued(std::shared_ptr<QueueLink> previous, std::shared_ptr<QueueLink> link,
                            PlaybackPersistence::Operation operation) {
    AfterLink after{std::move(previous)};
    co_await after;
    QCoro::Task<void> running = operation();
    co_await running;
    link->finish();
}

QCoro::Task<StoreResult<void>> performQueued(std::shared_ptr<QueueLink> previous, std::shared_ptr<QueueLink> link,
                                             PlaybackPersistence::FailingOperation operation) {
    AfterLink after{std::move(previous)};
    co_await after;
    QCoro::Task<StoreResult<void>> running = operation();
    StoreResult<void> result = co_await running;
    link->finish();
    co_return result;
}

QCoro::Task<void> waitFor(std::shared_ptr<QueueLink> link) {
    AfterLink after{std::move(link)};
    co_await after;
}

QCoro::Task<void> recordPlayNow(StatePointer state, SavedReading reading, Date date, ReadingProgress progress) {
    const QUuid id = reading.id;
    if (state->removed.contains(id)) {
        state->report(id, Outcome::removed);
        co_return;
    }
    PlaybackStore& store = *state->store;
    auto loading = store.loadState();
    const StoreResult<ReadingStoreState> loaded = co_await loading;
    if (!loaded) {
        state->reportFailure(loaded.error(), id);
        co_return;
    }
    if (state->automaticallySavesHistory) {
        auto asking = store.historyEnabled();
        const bool historyEnabled = co_await asking;
        if (!historyEnabled) {
            auto switching = store.setHistoryEnabled(true);
            const StoreResult<void> switched = co_await switching;
            if (!switched) {
                state->reportFailure(switched.error(), id);
                co_return;
            }
        }
    }
    bool stored = state->registered.contains(id);
    if (!stored) {
        auto lookup = store.storedReading(id);
        const std::optional<StoredReading> found = co_await lookup;
        stored = found.has_value();
    }
    // Removed while the store was asked: nothing may be written for it any more.
    if (state->removed.contains(id)) {
        state->report(id, Outcome::removed);
        co_return;
    }
    if (stored) {
        state->registered.insert(id);
        auto recording = store.recordPlayback(id, date, progress);
        const StoreResult<void> recorded = co_await recording;
        if (recorded) {
            state->report(id, Outcome::saved);
        } else {
            state->reportFailure(recorded.error(), id);
        }
        co_return;
    }
    auto recording = store.recordPlayback(std::move(reading), date, progress);
    const StoreResult<bool> recorded = co_await recording;
    if (!recorded) {
        state->reportFailure(recorded.error(), id);
    } else if (*recorded) {
        state->registered.insert(id);
        state->report(id, Outcome::saved);
    } else {
        state->report(id, Outcome::notSaved);
    }
}

QCoro::Task<void> saveProgressNow(StatePointer state, QUuid id, ReadingProgress progress) {
    if (!state->registered.contains(id) || state->removed.contains(id)) co_return;
    auto updating = state->store->updateProgress(id, progress);
    const StoreResult<void> updated = co_await updating;
    if (updated) {
        state->report(id, Outcome::saved);
    } else {
        state->reportFailure(updated.error(), id);
    }
}

QCoro::Task<StoreResult<std::optional<StoredReading>>> storedReadingAfter(StatePointer state,
                                                                          std::shared_ptr<QueueLink> previous,
                                                                          QUuid id) {
    AfterLink after{std::move(previous)};
    co_await after;
    auto loading = state->store->loadState();
    const StoreResult<ReadingStoreState> loaded = co_await loading;
    if (!loaded) co_return storeFailure(loaded.error());
    auto lookup = state->store->storedReading(id);
    std::optional<StoredReading> found = co_await lookup;
    if (!found || state->removed.contains(id)) {
        state->markRemoved(id);
        co_return std::nullopt;
    }
    state->registered.insert(id);
    co_return found;
}

// Awaits one addition to the library; once the store holds the reading, it is registered and `outcome`
// is reported.
QCoro::Task<StoreResult<void>> finishAdding(StatePointer state, QUuid id, QCoro::Task<StoreResult<void>> adding,
                                            Outcome outcome) {
    const StoreResult<void> added = co_await adding;
    if (added) {
        state->registered.insert(id);
        state->report(id, outcome);
    }
    co_return added;
}

QCoro::Task<StoreResult<void>> addReadingToLibraryNow(StatePointer state, SavedReading reading,
                                                      ReadingProgress progress) {
    const QUuid id = reading.id;
    if (state->removed.contains(id)) co_return missingDocument();
    PlaybackStore& store = *state->store;
    auto lookup = store.storedReading(id);
    const std::optional<StoredReading> found = co_await lookup;
    auto finished = found ? finishAdding(state, id, store.addToLibrary(id), Outcome::librarySaved)
                          : finishAdding(state, id, store.addToLibrary(std::move(reading), progress), Outcome::saved);
    const StoreResult<void> added = co_await finished;
    co_return added;
}

QCoro::Task<StoreResult<void>> addToLibraryNow(StatePointer state, QUuid id) {
    if (state->removed.contains(id)) co_return missingDocument();
    auto finished = finishAdding(state, id, state->store->addToLibrary(id), Outcome::librarySaved);
    const StoreResult<void> added = co_await finished;
    co_return added;
}

QCoro::Task<StoreResult<void>> deleteDocumentNow(StatePointer state, QUuid id) {
    auto deleting = state->store->deleteDocument(id);
    const StoreResult<void> deleted = co_await deleting;
    if (deleted) state->markRemoved(id);
    co_return deleted;
}

// Holds the store while it answers, whatever becomes of the persistence meanwhile.
QCoro::Task<StoreResult<ReadingStoreState>> loadStateNow(StatePointer state) {
    auto loading = state->store->loadState();
    StoreResult<ReadingStoreState> loaded = co_await loading;
    co_return loaded;
}

QCoro::Task<StoreResult<void>> setHistoryEnabledNow(StatePointer state, bool enabled) {
    auto setting = state->store->setHistoryEnabled(enabled);
    const StoreResult<void> set = co_await setting;
    co_return set;
}

QCoro::Task<StoreResult<void>> removeFromHistoryNow(StatePointer state, QSet<QUuid> ids) {
    auto removing = state->store->removeFromHistory(std::move(ids));
    const StoreResult<QSet<QUuid>> deleted = co_await removing;
    if (!deleted) co_return storeFailure(deleted.error());
    for (const QUuid& id : *deleted) state->markRemoved(id);
    co_return StoreResult<void>();
}

}  // namespace

PlaybackPersistence::PlaybackPersistence(std::shared_ptr<PlaybackStore> store, bool automaticallySavesHistory)
    : m_state(std::make_shared<State>()) {
    m_state->store = std::move(store);
    m_state->automaticallySavesHistory = automaticallySavesHistory;
}

PlaybackPersistence::~PlaybackPersistence() = default;

void PlaybackPersistence::setOutcomeHandler(OutcomeHandler handler) {
    Q_ASSERT(isMainThread());
    m_state->onOutcome = std::move(handler);
}

void PlaybackPersistence::enqueue(Operation operation) {
    auto [previous, link] = m_state->append();
    runQueued(std::move(previous), std::move(link), std::move(operation));
}

QCoro::Task<StoreResult<void>> PlaybackPersistence::perform(FailingOperation operation) {
    auto [previous, link] = m_state->append();
    return performQueued(std::move(previous), std::move(link), std::move(operation));
}

QCoro::Task<void> PlaybackPersistence::drain() const {
    Q_ASSERT(isMainThread());
    return waitFor(m_state->tail);
}

void PlaybackPersistence::recordPlay(SavedReading reading, Date date, ReadingProgress progress) {
    enqueue([state = m_state, reading = std::move(reading), date, progress] {
        return recordPlayNow(state, reading, date, progress);
    });
}

void PlaybackPersistence::saveProgress(QUuid id, ReadingProgress progress) {
    enqueue([state = m_state, id, progress] { return saveProgressNow(state, id, progress); });
}

QCoro::Task<StoreResult<std::optional<StoredReading>>> PlaybackPersistence::storedReading(QUuid id) {
    Q_ASSERT(isMainThread());
    return storedReadingAfter(m_state, m_state->tail, id);
}

QCoro::Task<StoreResult<void>> PlaybackPersistence::addReadingToLibrary(SavedReading reading,
                                                                        ReadingProgress progress) {
    return perform([state = m_state, reading = std::move(reading), progress] {
        return addReadingToLibraryNow(state, reading, progress);
    });
}

QCoro::Task<StoreResult<void>> PlaybackPersistence::addToLibrary(QUuid id) {
    return perform([state = m_state, id] { return addToLibraryNow(state, id); });
}

QCoro::Task<StoreResult<void>> PlaybackPersistence::deleteDocument(QUuid id) {
    return perform([state = m_state, id] { return deleteDocumentNow(state, id); });
}

QCoro::Task<StoreResult<void>> PlaybackPersistence::setHistoryEnabled(bool enabled) {
    return perform([state = m_state, enabled] { return setHistoryEnabledNow(state, enabled); });
}

QCoro::Task<StoreResult<void>> PlaybackPersistence::removeFromHistory(QSet<QUuid> ids) {
    return perform([state = m_state, ids = std::move(ids)] { return removeFromHistoryNow(state, ids); });
}

QCoro::Task<StoreResult<ReadingStoreState>> PlaybackPersistence::loadState() {
    Q_ASSERT(isMainThread());
    return loadStateNow(m_state);
}

void PlaybackPersistence::markRemoved(const QUuid& id) {
    Q_ASSERT(isMainThread());
    m_state->markRemoved(id);
}

void PlaybackPersistence::report(const StoreFailure& failure, const QUuid& id) {
    Q_ASSERT(isMainThread());
    m_state->reportFailure(failure, id);
}

}  // namespace tavrine
