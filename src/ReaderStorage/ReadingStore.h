#pragma once

#include "ReaderCore/CancellationToken.h"
#include "ReaderCore/Clock.h"
#include "ReaderCore/Date.h"
#include "ReaderCore/LatestValue.h"
#include "ReaderCore/OwnerThread.h"
#include "ReaderCore/ReadingProgress.h"
#include "ReaderCore/SavedReading.h"
#include "ReaderCore/SerialExecutor.h"
#include "ReaderStorage/FileSystem.h"
#include "ReaderStorage/LibraryFileImport.h"
#include "ReaderStorage/LibraryTextFile.h"
#include "ReaderStorage/ReadingStoreFiles.h"
#include "ReaderStorage/ReadingStoreState.h"
#include "ReaderStorage/StoreFailure.h"
#include "ReaderStorage/StoredReading.h"

#include <QCoro/QCoroTask>
#include <QList>
#include <QSet>
#include <QUuid>

#include <functional>
#include <memory>
#include <optional>

namespace tavrine {

struct ReadingStoreSnapshot;

// The user's library and history on disk: a JSON store file, its progress file and a folder of kept
// EPUB originals. Every read and write of them goes through the one store the application owns. An
// actor: after open() every operation runs on the store's own thread, one at a time and without pausing,
// and the caller awaits its result on the caller's thread. The store is the only reader and writer of its
// files: it holds an exclusive lock on "reading-store.json.lock" beside them for as long as it lives, and a
// second store on the same files, in this process or another, is refused with lockUnavailable.
//
// Every change is all or nothing: an operation works on a copy of the content, and only a successful
// write makes the copy the store's content and announces the new state to the listeners. A failed check
// or write leaves content, files and listeners as they were.
class ReadingStore {
public:
    using Subscription = LatestValueSubscription<ReadingStoreState>;
    using IdentifierSource = std::function<QUuid()>;

    // Opens the store whose file is storeFile: takes the lock first, then loads and checks everything on
    // the calling thread (including the digest of every kept EPUB original) before the store exists. A
    // lock held elsewhere fails with lockUnavailable, having read, removed and created nothing but the
    // lock file. A missing store file gives an empty store; a missing folder gives one that creates
    // nothing, not even the lock file, until its first write, which makes the folder and takes the lock
    // before anything else (lockUnavailable, or invalidData when a store file has appeared meanwhile,
    // fail that write). Any other failure gives no store. Only regular files are read, none longer than
    // the store ever writes. Orphaned originals and the leftovers of interrupted writes are removed;
    // nothing else is written. New imports take their date from clock, which must outlive the store, and
    // their identifier from newIdentifier (called on the store's thread). The thread that opens the store
    // owns it: every call below is made there.
    static StoreResult<std::unique_ptr<ReadingStore>> open(QString storeFile, std::shared_ptr<FileSystem> fileSystem,
                                                           const Clock& clock = SystemClock::shared(),
                                                           IdentifierSource newIdentifier = &QUuid::createUuid);
    // The same on the machine's real file system.
    static StoreResult<std::unique_ptr<ReadingStore>> open(QString storeFile,
                                                           const Clock& clock = SystemClock::shared(),
                                                           IdentifierSource newIdentifier = &QUuid::createUuid);
    // The same, telling with a failure which file it concerns; on either file system.
    static tl::expected<std::unique_ptr<ReadingStore>, StoreOpeningFailure> openNamingFile(
        QString storeFile, std::shared_ptr<FileSystem> fileSystem, const Clock& clock = SystemClock::shared(),
        IdentifierSource newIdentifier = &QUuid::createUuid);
    static tl::expected<std::unique_ptr<ReadingStore>, StoreOpeningFailure> openNamingFile(
        QString storeFile, const Clock& clock = SystemClock::shared(),
        IdentifierSource newIdentifier = &QUuid::createUuid);

    ReadingStore(const ReadingStore&) = delete;
    ReadingStore& operator=(const ReadingStore&) = delete;
    // Finishes every operation already submitted; the listeners' subscriptions end.
    ~ReadingStore();

    const ReadingStoreFiles& files() const { return m_files; }

    // ---- Reading ----
    QCoro::Task<bool> historyEnabled();
    QCoro::Task<qint64> historyLimit();
    // The first stored document with this identifier, if any.
    QCoro::Task<std::optional<StoredReading>> storedReading(QUuid id);
    QCoro::Task<QList<StoredReading>> library();
    QCoro::Task<QList<StoredReading>> history();
    QCoro::Task<ReadingStoreState> currentState();
    // The same as currentState(): the store never re-reads its files once open.
    QCoro::Task<StoreResult<ReadingStoreState>> loadState();
    // The bytes of a reading's kept EPUB original: missingDocument when the reading is not stored or has
    // none. Every kept original is verified again first; one that changed on disk fails the call.
    QCoro::Task<StoreResult<QByteArray>> originalEPUBData(QUuid id);

    // ---- Listening ----
    // A new subscription whose first value is the state now, then the state after each successful
    // change. A listener that falls behind receives only the newest state. The subscription ends when it
    // is closed or destroyed (the store then forgets it at its next announcement) or with the store.
    QCoro::Task<Subscription> changes();
    // Announces the current state to every listener again.
    QCoro::Task<void> publish();

    // ---- Changing ----
    // Plays are recorded only while the history is enabled; switching it off keeps the entries. Always
    // written, also when the setting does not change.
    QCoro::Task<StoreResult<void>> setHistoryEnabled(bool enabled);
    // invalidData below 1. A lower limit drops the least recently played entries at once.
    QCoro::Task<StoreResult<void>> setHistoryLimit(qint64 limit);
    // Stores a reading that is new to the store in the library: invalidData for a blank text,
    // missingDocument for the identifier of a deleted reading, duplicateIdentity for a stored one.
    QCoro::Task<StoreResult<void>> addToLibrary(SavedReading reading, ReadingProgress progress);
    // Imports a text file as a new library reading under a new identifier, titled by its file name: the
    // file's gate failure, or OperationCancelled when cancellation is set before the reading is stored.
    QCoro::Task<StoreResult<QUuid>> importTextFile(LibraryTextFile file,
                                                   CancellationToken cancellation = CancellationToken::none());
    // Imports a text file as above, or an EPUB file whose original is kept beside the store: invalidData
    // for a name that is not a bare "*.epub", for no bytes or more than 32 MiB, for book information that
    // does not fit its document or a blank text. A cancelled or failed EPUB import keeps no original.
    QCoro::Task<StoreResult<QUuid>> importFile(LibraryFileImport file,
                                               CancellationToken cancellation = CancellationToken::none());
    // Records the play of a reading that was never stored as a new history entry: false, with nothing
    // stored, while the history is off; missingDocument for a deleted identifier (also while it is off),
    // duplicateIdentity for a stored one.
    QCoro::Task<StoreResult<bool>> recordPlayback(SavedReading reading, Date date, ReadingProgress progress);

    // By identifier; missingDocument when no stored reading has it.
    // Adds a stored reading to the library (invalidData for a blank text); nothing is written when it
    // is there already.
    QCoro::Task<StoreResult<void>> addToLibrary(QUuid id);
    // A play of a stored reading: its play date (only while the history is enabled) and its progress
    // when given. Nothing is written when nothing changes.
    QCoro::Task<StoreResult<void>> recordPlayback(QUuid id, Date date, std::optional<ReadingProgress> progress);
    QCoro::Task<StoreResult<void>> updateProgress(QUuid id, ReadingProgress progress);
    // Deletes a library reading (from the history too) and its kept original; missingDocument also for a
    // reading only in the history. Its identifier may never be stored again.
    QCoro::Task<StoreResult<void>> deleteDocument(QUuid id);
    QCoro::Task<StoreResult<void>> removeFromHistory(QUuid id);
    // Readings only in the history are deleted, library readings leave the history; every identifier
    // that no reading keeps afterwards, stored before or not, may never be stored again. The result
    // holds the identifiers of the deleted readings.
    QCoro::Task<StoreResult<QSet<QUuid>>> removeFromHistory(QSet<QUuid> ids);

private:
    // What the store knows of its files: the content, touched only on m_executor's thread once open()
    // has returned, and the stamps the next write checks the files against.
    struct Current;

    ReadingStore(ReadingStoreFiles files, std::shared_ptr<FileSystem> fileSystem, const Clock& clock,
                 IdentifierSource newIdentifier, std::unique_ptr<Current> current);

    // Runs a read of the content on the store's thread.
    template <typename Function>
    auto onStoreThread(Function function);

    // Runs one whole operation on the store's thread and hands its result back.
    template <typename T, typename Body>
    QCoro::Task<StoreResult<T>> perform(Body body);

    // On the store's thread: writes next as the successor of the current content, then makes it the
    // store's content and announces it.
    StoreResult<void> commit(ReadingStoreSnapshot next);
    // The same for a change that may have failed (a StoreResult of a snapshot), or for one that may
    // also have nothing to write (a StoreResult of an optional snapshot).
    template <typename Next>
    StoreResult<void> commitResult(Next next);
    template <typename Change>
    StoreResult<void> commitChange(Change change);
    void announce();
    // Makes sure the store holds its lock before it changes anything on disk.
    StoreResult<void> holdLock();
    StoreResult<QUuid> importTextFileNow(const LibraryTextFile& file, const CancellationToken& cancellation);
    StoreResult<QUuid> importEPUBFileNow(const LibraryFileImport::EPUBFile& file,
                                         const CancellationToken& cancellation);
    StoreResult<QByteArray> originalEPUBDataNow(const QUuid& id);

    ReadingStoreFiles m_files;
    std::shared_ptr<FileSystem> m_fileSystem;
    const Clock* m_clock;
    IdentifierSource m_newIdentifier;
    // The thread that opened the store; every public call is made there (checked in debug builds).
    OwnerThread m_owner{QThread::currentThread()};
    std::unique_ptr<Current> m_current;
    LatestValue<ReadingStoreState> m_changes;
    // Declared last: destroyed first, it finishes the jobs that use the members above.
    SerialExecutor m_executor;
};

}  // namespace tavrine
