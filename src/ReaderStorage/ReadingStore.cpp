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

QCoro::Task<bool> ReadingStore::historyEnabled() {
    co_return co_await onStoreThread([](const Snapshot& state) { return state.historyEnabled; });
}

QCoro::Task<qint64> ReadingStore::historyLimit() {
    co_return co_await onStoreThread([](const Snapshot& state) { return state.historyLimit; });
}

QCoro::Task<std::optional<StoredReading>> ReadingStore::storedReading(QUuid id) {
    co_return co_await onStoreThread([id](const Snapshot& state) -> std::optional<StoredReading> {
        for (const StoredReading& record : state.documents) {
            if (record.id() == id) return record;
        }
        return std::nullopt;
    });
}

QCoro::Task<QList<StoredReading>> ReadingStore::library() {
    co_return co_await onStoreThread([](const Snapshot& state) { return libraryEntries(state); });
}

QCoro::Task<QList<StoredReading>> ReadingStore::history() {
    co_return co_await onStoreThread([](const Snapshot& state) { return historyEntries(state); });
}

QCoro::Task<ReadingStoreState> ReadingStore::currentState() {
    co_return co_await onStoreThread([](const Snapshot& state) { return ReadingStoreState::of(state); });
}

QCoro::Task<StoreResult<ReadingStoreState>> ReadingStore::loadState() {
    co_return StoreResult<ReadingStoreState>(co_await currentState());
}

}  // namespace tavrine
