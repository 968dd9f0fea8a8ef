#include "support/FakePlaybackStore.h"

#include "ReaderCore/NextEventLoopTurn.h"
#include "ReaderCore/Sleep.h"

#include "support/QtPrinters.h"

#include <gtest/gtest.h>

namespace tavrine::test {

namespace {

tl::unexpected<StoreFailure> missing() {
    return storeFailure(ReadingStoreError::missingDocument());
}

}  // namespace

// Every call below logs itself and takes its response before its first suspension, so the log holds the
// calls in the order they were made. GCC 12 mishandles temporaries inside a co_await operand: every
// awaited task is a named local.

template <typename Change>
StoreResult<void> FakePlaybackStore::change(Change change) {
    const ReadingStoreState before = m_state;
    change();
    if (m_state != before) m_changes->send(m_state);
    return {};
}

QList<FakePlaybackStore::Call> FakePlaybackStore::calls() const {
    QList<Call> kinds;
    for (const LoggedCall& entry : m_log) kinds.append(entry.call);
    return kinds;
}

void FakePlaybackStore::publish(ReadingStoreState state) {
    m_state = std::move(state);
    m_changes->send(m_state);
}

void FakePlaybackStore::keep(StoredReading record) {
    change([&] {
        removeRecord(record.id());
        if (record.isInLibrary) m_state.library.prepend(record);
        if (record.lastPlayedAt) m_state.history.prepend(record);
    });
}

std::optional<StoredReading> FakePlaybackStore::find(const QUuid& id) const {
    for (const auto* list : {&m_state.library, &m_state.history}) {
        for (const StoredReading& record : *list) {
            if (record.id() == id) return record;
        }
    }
    return std::nullopt;
}

FakePlaybackStore::Response FakePlaybackStore::begin(LoggedCall call) {
    m_log.append(call);
    auto& queued = m_next[call.call];
    if (!queued.empty()) {
        Response response = std::move(queued.front());
        queued.pop_front();
        return response;
    }
    const auto always = m_always.find(call.call);
    return always == m_always.end() ? Response() : always->second;
}

QCoro::Task<void> FakePlaybackStore::answer(Response response) {
    if (response.delay > std::chrono::duration<double>::zero()) {
        auto sleeping = sleepFor(*m_clock, response.delay, CancellationToken());
        co_await sleeping;
    } else {
        NextEventLoopTurn turn;
        co_await turn;
    }
}

void FakePlaybackStore::expectNoFailure(const Response& response, Call call) {
    if (response.failure) ADD_FAILURE() << nameOf(call) << " cannot fail; the scripted failure is ignored";
}

void FakePlaybackStore::removeRecord(const QUuid& id) {
    const auto matches = [&](const StoredReading& record) { return record.id() == id; };
    m_state.library.removeIf(matches);
    m_state.history.removeIf(matches);
}

void FakePlaybackStore::updateRecord(const QUuid& id, const std::function<void(StoredReading&)>& update) {
    for (auto* list : {&m_state.library, &m_state.history}) {
        for (StoredReading& record : *list) {
            if (record.id() == id) update(record);
        }
    }
}

void FakePlaybackStore::moveToHistoryFront(StoredReading record) {
    m_state.history.removeIf([&](const StoredReading& entry) { return entry.id() == record.id(); });
    m_state.history.prepend(std::move(record));
}

QCoro::Task<StoreResult<ReadingStoreState>> FakePlaybackStore::loadState() {
    const auto self = shared_from_this();
    const Response response = begin({Call::loadState, {}, {}});
    auto waiting = answer(response);
    co_await waiting;
    if (response.failure) co_return storeFailure(*response.failure);
    ReadingStoreState state = m_state;  // QCoro moves from an lvalue co_returned as another type
    co_return state;
}

QCoro::Task<bool> FakePlaybackStore::historyEnabled() {
    const auto self = shared_from_this();
    const Response response = begin({Call::historyEnabled, {}, {}});
    expectNoFailure(response, Call::historyEnabled);
    auto waiting = answer(response);
    co_await waiting;
    const bool enabled = m_state.historyEnabled;
    co_return enabled;
}

QCoro::Task<std::optional<StoredReading>> FakePlaybackStore::storedReading(QUuid id) {
    const auto self = shared_from_this();
    const Response response = begin({Call::storedReading, id, {}});
    expectNoFailure(response, Call::storedReading);
    auto waiting = answer(response);
    co_await waiting;
    co_return find(id);
}

QCoro::Task<PlaybackStore::Subscription> FakePlaybackStore::changes() {
    const auto self = shared_from_this();
    const Response response = begin({Call::changes, {}, {}});
    expectNoFailure(response, Call::changes);
    auto waiting = answer(response);
    co_await waiting;
    co_return m_changes->subscribe(m_state);
}

QCoro::Task<StoreResult<void>> FakePlaybackStore::setHistoryEnabled(bool enabled) {
    const auto self = shared_from_this();
    const Response response = begin({Call::setHistoryEnabled, {}, {}});
    auto waiting = answer(response);
    co_await waiting;
    if (response.failure) co_return storeFailure(*response.failure);
    co_return change([&] { m_state.historyEnabled = enabled; });
}

QCoro::Task<StoreResult<bool>> FakePlaybackStore::recordPlayback(SavedReading reading, Date date,
                                                                 ReadingProgress progress) {
    const auto self = shared_from_this();
    const Response response = begin({Call::recordPlaybackOfReading, reading.id, progress});
    auto waiting = answer(response);
    co_await waiting;
    if (response.failure) co_return storeFailure(*response.failure);
    if (m_state.tombstones.contains(reading.id)) co_return missing();
    if (find(reading.id)) co_return storeFailure(ReadingStoreError::duplicateIdentity());
    if (!m_state.historyEnabled) co_return false;
    change([&] { m_state.history.prepend(StoredReading{reading, {}, {}, false, progress, date}); });
    co_return true;
}

QCoro::Task<StoreResult<void>> FakePlaybackStore::recordPlayback(QUuid id, Date date,
                                                                 std::optional<ReadingProgress> progress) {
    const auto self = shared_from_this();
    const Response response = begin({Call::recordPlayback, id, progress});
    auto waiting = answer(response);
    co_await waiting;
    if (response.failure) co_return storeFailure(*response.failure);
    if (!find(id)) co_return missing();
    co_return change([&] {
        updateRecord(id, [&](StoredReading& record) {
            if (m_state.historyEnabled) record.lastPlayedAt = date;
            if (progress) record.progress = *progress;
        });
        if (m_state.historyEnabled) moveToHistoryFront(*find(id));
    });
}

QCoro::Task<StoreResult<void>> FakePlaybackStore::updateProgress(QUuid id, ReadingProgress progress) {
    const auto self = shared_from_this();
    const Response response = begin({Call::updateProgress, id, progress});
    auto waiting = answer(response);
    co_await waiting;
    if (response.failure) co_return storeFailure(*response.failure);
    if (!find(id)) co_return missing();
    co_return change([&] { updateRecord(id, [&](StoredReading& record) { record.progress = progress; }); });
}

QCoro::Task<StoreResult<void>> FakePlaybackStore::addToLibrary(SavedReading reading, ReadingProgress progress) {
    const auto self = shared_from_this();
    const Response response = begin({Call::addReadingToLibrary, reading.id, progress});
    auto waiting = answer(response);
    co_await waiting;
    if (response.failure) co_return storeFailure(*response.failure);
    if (m_state.tombstones.contains(reading.id)) co_return missing();
    if (find(reading.id)) co_return storeFailure(ReadingStoreError::duplicateIdentity());
    co_return change([&] { m_state.library.prepend(StoredReading{reading, {}, {}, true, progress, {}}); });
}

QCoro::Task<StoreResult<void>> FakePlaybackStore::addToLibrary(QUuid id) {
    const auto self = shared_from_this();
    const Response response = begin({Call::addToLibrary, id, {}});
    auto waiting = answer(response);
    co_await waiting;
    if (response.failure) co_return storeFailure(*response.failure);
    std::optional<StoredReading> record = find(id);
    if (!record) co_return missing();
    if (record->isInLibrary) co_return StoreResult<void>();
    co_return change([&] {
        updateRecord(id, [](StoredReading& entry) { entry.isInLibrary = true; });
        m_state.library.prepend(*find(id));
    });
}

QCoro::Task<StoreResult<void>> FakePlaybackStore::deleteDocument(QUuid id) {
    const auto self = shared_from_this();
    const Response response = begin({Call::deleteDocument, id, {}});
    auto waiting = answer(response);
    co_await waiting;
    if (response.failure) co_return storeFailure(*response.failure);
    const std::optional<StoredReading> record = find(id);
    if (!record || !record->isInLibrary) co_return missing();
    co_return change([&] {
        removeRecord(id);
        m_state.tombstones.insert(id);
    });
}

QCoro::Task<StoreResult<QSet<QUuid>>> FakePlaybackStore::removeFromHistory(QSet<QUuid> ids) {
    const auto self = shared_from_this();
    const Response response = begin({Call::removeFromHistory, {}, {}});
    auto waiting = answer(response);
    co_await waiting;
    if (response.failure) co_return storeFailure(*response.failure);
    QSet<QUuid> deleted;
    change([&] {
        for (const QUuid& id : ids) {
            const std::optional<StoredReading> record = find(id);
            if (record && record->isInLibrary) {
                updateRecord(id, [](StoredReading& entry) { entry.lastPlayedAt.reset(); });
                m_state.history.removeIf([&](const StoredReading& entry) { return entry.id() == id; });
                continue;
            }
            if (record) {
                removeRecord(id);
                deleted.insert(id);
            }
            // Like the real store: an identifier no reading keeps may never be stored again.
            m_state.tombstones.insert(id);
        }
    });
    co_return deleted;
}

const char* nameOf(FakePlaybackStore::Call call) {
    using Call = FakePlaybackStore::Call;
    switch (call) {
    case Call::loadState: return "loadState";
    case Call::historyEnabled: return "historyEnabled";
    case Call::storedReading: return "storedReading";
    case Call::changes: return "changes";
    case Call::setHistoryEnabled: return "setHistoryEnabled";
    case Call::recordPlaybackOfReading: return "recordPlaybackOfReading";
    case Call::recordPlayback: return "recordPlayback";
    case Call::updateProgress: return "updateProgress";
    case Call::addReadingToLibrary: return "addReadingToLibrary";
    case Call::addToLibrary: return "addToLibrary";
    case Call::deleteDocument: return "deleteDocument";
    case Call::removeFromHistory: return "removeFromHistory";
    }
    return "?";
}

void PrintTo(FakePlaybackStore::Call call, std::ostream* out) {
    *out << nameOf(call);
}

void PrintTo(const FakePlaybackStore::LoggedCall& call, std::ostream* out) {
    *out << nameOf(call.call);
    if (!call.id.isNull()) {
        *out << ' ';
        PrintTo(call.id, out);
    }
    if (call.progress) *out << " @" << call.progress->utf16Offset << (call.progress->isCompleted ? " done" : "");
}

}  // namespace tavrine::test
