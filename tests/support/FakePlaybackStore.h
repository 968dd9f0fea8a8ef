#pragma once

#include "ReaderCore/Clock.h"
#include "ReaderUI/Player/PlaybackStore.h"

#include <QList>

#include <chrono>
#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <ostream>

namespace tavrine::test {

// A store in memory for the player's tests, held by a shared_ptr. It keeps readings much as the real
// store does (history first by latest play, library first by latest addition, deleted identifiers never
// stored again; no history limit) and announces every change through the same change stream. A test can script any
// call: delay it on the store's clock (none: it answers on the next turn of the event loop, as the real store never
// answers inside the call) or fail it with any store failure, which changes nothing. Every call is logged, in the order
// in which it was made. Main thread only.
class FakePlaybackStore final : public PlaybackStore, public std::enable_shared_from_this<FakePlaybackStore> {
public:
    enum class Call {
        loadState,
        historyEnabled,
        storedReading,
        changes,
        setHistoryEnabled,
        recordPlaybackOfReading,  // recordPlayback(SavedReading, ...)
        recordPlayback,           // recordPlayback(QUuid, ...)
        updateProgress,
        addReadingToLibrary,  // addToLibrary(SavedReading, ...)
        addToLibrary,         // addToLibrary(QUuid)
        deleteDocument,
        removeFromHistory,
    };

    // One call as it was made: the reading it names (none for calls without one) and the progress it
    // carries, if any.
    struct LoggedCall {
        Call call;
        QUuid id;
        std::optional<ReadingProgress> progress;

        bool operator==(const LoggedCall&) const = default;
    };

    // How a call answers: after the delay, with the failure when there is one.
    struct Response {
        std::chrono::duration<double> delay{0};
        std::optional<StoreFailure> failure;
    };

    explicit FakePlaybackStore(const Clock& clock = SystemClock::shared()) : m_clock(&clock) {}

    // The next call of this kind answers so; responses queue up per kind.
    void respondNext(Call call, Response response) { m_next[call].push_back(std::move(response)); }
    // Every call of this kind without a queued response answers so.
    void respondAlways(Call call, Response response) { m_always[call] = std::move(response); }
    void failNext(Call call, StoreFailure failure) { respondNext(call, {{}, std::move(failure)}); }
    void delayNext(Call call, std::chrono::duration<double> delay) { respondNext(call, {delay, std::nullopt}); }

    const QList<LoggedCall>& log() const { return m_log; }
    // The kinds of the logged calls, in order.
    QList<Call> calls() const;
    void clearLog() { m_log.clear(); }

    const ReadingStoreState& state() const { return m_state; }
    // Replaces everything stored and announces it, as a change made elsewhere would be.
    void publish(ReadingStoreState state);
    // Keeps a record as it is (in the library, the history or both, by its flags) and announces it.
    void keep(StoredReading record);
    std::optional<StoredReading> find(const QUuid& id) const;
    // Ends every subscription of the change stream, as the real store's end would.
    void endChanges() { m_changes = std::make_unique<LatestValue<ReadingStoreState>>(); }
    // The subscriptions of the change stream that have not ended.
    qsizetype listenerCount() { return m_changes->subscriberCount(); }

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
    // Logs the call and takes its response.
    Response begin(LoggedCall call);
    // Waits as the response says.
    QCoro::Task<void> answer(Response response);
    // Refuses a failure scripted for a call that cannot fail.
    static void expectNoFailure(const Response& response, Call call);

    // Applies a change that succeeded and announces the new state when anything changed.
    template <typename Change>
    StoreResult<void> change(Change change);
    void removeRecord(const QUuid& id);
    void updateRecord(const QUuid& id, const std::function<void(StoredReading&)>& update);
    void moveToHistoryFront(StoredReading record);

    const Clock* m_clock;
    ReadingStoreState m_state;
    std::unique_ptr<LatestValue<ReadingStoreState>> m_changes = std::make_unique<LatestValue<ReadingStoreState>>();
    QList<LoggedCall> m_log;
    std::map<Call, std::deque<Response>> m_next;
    std::map<Call, Response> m_always;
};

const char* nameOf(FakePlaybackStore::Call call);
void PrintTo(FakePlaybackStore::Call call, std::ostream* out);
void PrintTo(const FakePlaybackStore::LoggedCall& call, std::ostream* out);

}  // namespace tavrine::test
