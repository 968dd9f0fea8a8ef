#include "ReaderStorage/ReadingStore.h"

#include "ReaderStorage/ReadingStoreLoader.h"

#include <QCoro/QCoroFuture>

namespace tavrine {

ReadingStore::ReadingStore(ReadingStoreFiles files, std::shared_ptr<FileSystem> fileSystem)
    : m_files(std::move(files)), m_fileSystem(std::move(fileSystem)) {}

StoreResult<std::unique_ptr<ReadingStore>> ReadingStore::open(QString storeFile,
                                                              std::shared_ptr<FileSystem> fileSystem) {
    ReadingStoreFiles files(std::move(storeFile));
    auto loaded = ReadingStoreLoader(*fileSystem, files).loadInitialState();
    if (!loaded) return storeFailure(loaded.error());
    std::unique_ptr<ReadingStore> store(new ReadingStore(std::move(files), std::move(fileSystem)));
    store->m_state = std::move(loaded->state);
    store->m_hasSeenFile = loaded->hasSeenFile;
    store->m_fileStamp = loaded->fileStamp;
    store->m_metadataStamp = loaded->metadataStamp;
    return store;
}

// GCC 12 mishandles temporaries inside a co_await operand: every awaited job is a named local.

QCoro::Task<bool> ReadingStore::historyEnabled() {
    auto job = onStoreThread([](const Snapshot& state) { return state.historyEnabled; });
    bool result = co_await job;
    co_return result;
}

QCoro::Task<qint64> ReadingStore::historyLimit() {
    auto job = onStoreThread([](const Snapshot& state) { return state.historyLimit; });
    qint64 result = co_await job;
    co_return result;
}

QCoro::Task<std::optional<StoredReading>> ReadingStore::storedReading(QUuid id) {
    auto job = onStoreThread([id](const Snapshot& state) -> std::optional<StoredReading> {
        for (const StoredReading& record : state.documents) {
            if (record.id() == id) return record;
        }
        return std::nullopt;
    });
    std::optional<StoredReading> result = co_await job;
    co_return result;
}

QCoro::Task<QList<StoredReading>> ReadingStore::library() {
    auto job = onStoreThread([](const Snapshot& state) { return libraryEntries(state); });
    QList<StoredReading> result = co_await job;
    co_return result;
}

QCoro::Task<QList<StoredReading>> ReadingStore::history() {
    auto job = onStoreThread([](const Snapshot& state) { return historyEntries(state); });
    QList<StoredReading> result = co_await job;
    co_return result;
}

QCoro::Task<ReadingStoreState> ReadingStore::currentState() {
    auto job = onStoreThread([](const Snapshot& state) { return ReadingStoreState::of(state); });
    ReadingStoreState result = co_await job;
    co_return result;
}

QCoro::Task<StoreResult<ReadingStoreState>> ReadingStore::loadState() {
    auto task = currentState();
    ReadingStoreState state = co_await task;
    co_return StoreResult<ReadingStoreState>(std::move(state));
}

}  // namespace tavrine
