#pragma once

#include "ReaderCore/SerialExecutor.h"
#include "ReaderStorage/FileStamp.h"
#include "ReaderStorage/FileSystem.h"
#include "ReaderStorage/PosixFileSystem.h"
#include "ReaderStorage/ReadingStoreFiles.h"
#include "ReaderStorage/ReadingStoreMetadata.h"
#include "ReaderStorage/ReadingStoreSnapshot.h"
#include "ReaderStorage/ReadingStoreState.h"
#include "ReaderStorage/StoreFailure.h"

#include <QCoro/QCoroTask>
#include <QUuid>

#include <memory>
#include <optional>

namespace tavrine {

// The user's library and history on disk: a JSON store file, its progress side file and a folder of kept
// EPUB originals. Every read and write of them goes through the one store the application owns. An
// actor: after open() every operation runs on the store's own thread, one at a time, and the caller
// awaits its result on the caller's thread. The store is the only writer of its files and takes no lock.
class ReadingStore {
public:
    using Snapshot = ReadingStoreSnapshot;
    using Metadata = ReadingStoreMetadata;

    // Opens the store whose file is storeFile, loading and checking everything on the calling thread
    // (including the digest of every kept EPUB original) before the store exists. A missing store file
    // gives an empty store and creates nothing; any other failure gives no store. Orphaned originals are
    // removed; nothing else is written.
    static StoreResult<std::unique_ptr<ReadingStore>> open(
        QString storeFile, std::shared_ptr<FileSystem> fileSystem = std::make_shared<PosixFileSystem>());

    ReadingStore(const ReadingStore&) = delete;
    ReadingStore& operator=(const ReadingStore&) = delete;
    // Finishes every operation already submitted.
    ~ReadingStore() = default;

    const ReadingStoreFiles& files() const { return m_files; }

    QCoro::Task<bool> historyEnabled();
    QCoro::Task<qint64> historyLimit();
    // The first stored document with this identifier, if any.
    QCoro::Task<std::optional<StoredReading>> storedReading(QUuid id);
    QCoro::Task<QList<StoredReading>> library();
    QCoro::Task<QList<StoredReading>> history();
    QCoro::Task<ReadingStoreState> currentState();
    // The same as currentState(): the store never re-reads its files once open.
    QCoro::Task<StoreResult<ReadingStoreState>> loadState();

private:
    ReadingStore(ReadingStoreFiles files, std::shared_ptr<FileSystem> fileSystem);

    // Runs a read of the state on the store's thread.
    template <typename Function>
    auto onStoreThread(Function function) {
        return m_executor.run([this, function = std::move(function)] { return function(m_state); });
    }

    ReadingStoreFiles m_files;
    std::shared_ptr<FileSystem> m_fileSystem;
    // Touched only on m_executor's thread once open() has returned.
    Snapshot m_state;
    bool m_hasSeenFile = false;
    std::optional<FileStamp> m_fileStamp;
    std::optional<FileStamp> m_metadataStamp;
    // Declared last: destroyed first, it finishes the jobs that use the members above.
    SerialExecutor m_executor;
};

}  // namespace tavrine
