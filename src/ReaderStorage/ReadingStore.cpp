#include "ReaderStorage/ReadingStore.h"

#include "ReaderStorage/internal/LeftoverFiles.h"
#include "ReaderStorage/internal/PosixFileSystem.h"
#include "ReaderStorage/internal/ReadingStoreChanges.h"
#include "ReaderStorage/internal/ReadingStoreLoader.h"
#include "ReaderStorage/internal/ReadingStoreSnapshot.h"
#include "ReaderStorage/internal/ReadingStoreWriter.h"
#include "ReaderStorage/internal/StoreLock.h"
#include "ReaderStorage/internal/WholeFile.h"

#include <QCoro/QCoroFuture>

namespace tavrine {

struct ReadingStore::Current {
    ReadingStoreSnapshot snapshot;
    // Whether the store file existed when the store opened, or has been written since.
    bool hasSeenFile = false;
    ReadingStoreWriter::Stamps stamps;
    // Held from the opening, or from the first write of a store that opened without its folder.
    std::unique_ptr<FileLock> lock;
};

ReadingStore::ReadingStore(ReadingStoreFiles files, std::shared_ptr<FileSystem> fileSystem, const Clock& clock,
                           IdentifierSource newIdentifier, std::unique_ptr<Current> current)
    : m_files(std::move(files)),
      m_fileSystem(std::move(fileSystem)),
      m_clock(&clock),
      m_newIdentifier(std::move(newIdentifier)),
      m_current(std::move(current)) {}

ReadingStore::~ReadingStore() {
    m_owner.check("ReadingStore::~ReadingStore");
}

StoreResult<std::unique_ptr<ReadingStore>> ReadingStore::open(QString storeFile, std::shared_ptr<FileSystem> fileSystem,
                                                              const Clock& clock, IdentifierSource newIdentifier) {
    return openNamingFile(std::move(storeFile), std::move(fileSystem), clock, std::move(newIdentifier))
        .map_error([](StoreOpeningFailure failure) { return std::move(failure.failure); });
}

tl::expected<std::unique_ptr<ReadingStore>, StoreOpeningFailure> ReadingStore::openNamingFile(
    QString storeFile, std::shared_ptr<FileSystem> fileSystem, const Clock& clock, IdentifierSource newIdentifier) {
    ReadingStoreFiles files(std::move(storeFile));
    auto lock = lockAtOpening(*fileSystem, files);
    if (!lock) {
        return tl::unexpected(StoreOpeningFailure{.failure = lock.error(),
                                                  .file = StoreOpeningFailure::File::lock,
                                                  .path = files.lockFile(),
                                                  .originalName = std::nullopt});
    }
    auto current = std::make_unique<Current>();
    if (*lock) {
        ReadingStoreLoader loader(*fileSystem, files);
        auto loaded = loader.loadAtOpening();
        if (!loaded) return tl::unexpected(loader.concernOf(loaded.error()));
        removeLeftoverFiles(*fileSystem, files, loaded->snapshot.revision);
        *current = Current{
            .snapshot = std::move(loaded->snapshot),
            .hasSeenFile = loaded->hasSeenFile,
            .stamps = {.file = loaded->fileStamp, .progressFile = loaded->progressFileStamp},
            .lock = std::move(*lock),
        };
    }
    return std::unique_ptr<ReadingStore>(
        new ReadingStore(std::move(files), std::move(fileSystem), clock, std::move(newIdentifier), std::move(current)));
}

StoreResult<std::unique_ptr<ReadingStore>> ReadingStore::open(QString storeFile, const Clock& clock,
                                                              IdentifierSource newIdentifier) {
    return open(std::move(storeFile), std::make_shared<PosixFileSystem>(), clock, std::move(newIdentifier));
}

tl::expected<std::unique_ptr<ReadingStore>, StoreOpeningFailure> ReadingStore::openNamingFile(
    QString storeFile, const Clock& clock, IdentifierSource newIdentifier) {
    return openNamingFile(std::move(storeFile), std::make_shared<PosixFileSystem>(), clock, std::move(newIdentifier));
}

template <typename Function>
auto ReadingStore::onStoreThread(Function function) {
    m_owner.check("ReadingStore: a read");
    return m_executor.run([this, function = std::move(function)] { return function(m_current->snapshot); });
}

// GCC 12 mishandles temporaries inside a co_await operand: every awaited job is a named local.

template <typename T, typename Body>
QCoro::Task<StoreResult<T>> ReadingStore::perform(Body body) {
    m_owner.check("ReadingStore: an operation");
    auto job = m_executor.run(std::move(body));
    StoreResult<T> result = co_await job;
    co_return result;
}

QCoro::Task<bool> ReadingStore::historyEnabled() {
    auto job = onStoreThread([](const ReadingStoreSnapshot& snapshot) { return snapshot.historyEnabled; });
    bool result = co_await job;
    co_return result;
}

QCoro::Task<qint64> ReadingStore::historyLimit() {
    auto job = onStoreThread([](const ReadingStoreSnapshot& snapshot) { return snapshot.historyLimit; });
    qint64 result = co_await job;
    co_return result;
}

QCoro::Task<std::optional<StoredReading>> ReadingStore::storedReading(QUuid id) {
    auto job = onStoreThread([id](const ReadingStoreSnapshot& snapshot) -> std::optional<StoredReading> {
        const qsizetype index = snapshot.indexOf(id);
        if (index < 0) return std::nullopt;
        return snapshot.documents.at(index);
    });
    std::optional<StoredReading> result = co_await job;
    co_return result;
}

QCoro::Task<QList<StoredReading>> ReadingStore::library() {
    auto job = onStoreThread([](const ReadingStoreSnapshot& snapshot) { return libraryEntries(snapshot); });
    QList<StoredReading> result = co_await job;
    co_return result;
}

QCoro::Task<QList<StoredReading>> ReadingStore::history() {
    auto job = onStoreThread([](const ReadingStoreSnapshot& snapshot) { return historyEntries(snapshot); });
    QList<StoredReading> result = co_await job;
    co_return result;
}

QCoro::Task<ReadingStoreState> ReadingStore::currentState() {
    auto job = onStoreThread([](const ReadingStoreSnapshot& snapshot) { return ReadingStoreState::of(snapshot); });
    ReadingStoreState result = co_await job;
    co_return result;
}

QCoro::Task<StoreResult<ReadingStoreState>> ReadingStore::loadState() {
    auto task = currentState();
    ReadingStoreState state = co_await task;
    co_return StoreResult<ReadingStoreState>(std::move(state));
}

QCoro::Task<StoreResult<QByteArray>> ReadingStore::originalEPUBData(QUuid id) {
    return perform<QByteArray>([this, id] { return originalEPUBDataNow(id); });
}

StoreResult<QByteArray> ReadingStore::originalEPUBDataNow(const QUuid& id) {
    const qsizetype index = m_current->snapshot.indexOf(id);
    if (index < 0 || !m_current->snapshot.documents.at(index).originalEPUB)
        return storeFailure(ReadingStoreError::missingDocument());
    if (auto verified = ReadingStoreLoader(*m_fileSystem, m_files).verifyOriginals(m_current->snapshot); !verified) {
        return storeFailure(verified.error());
    }
    return readWholeFile(*m_fileSystem, m_files.originalFile(id),
                         m_current->snapshot.documents.at(index).originalEPUB->byteCount);
}

QCoro::Task<ReadingStore::Subscription> ReadingStore::changes() {
    m_owner.check("ReadingStore::changes");
    // Subscribing on the store's thread puts the first value in order with every announcement.
    auto job = m_executor.run([this] {
        return std::make_shared<Subscription>(m_changes.subscribe(ReadingStoreState::of(m_current->snapshot)));
    });
    std::shared_ptr<Subscription> subscription = co_await job;
    co_return std::move(*subscription);
}

QCoro::Task<void> ReadingStore::publish() {
    m_owner.check("ReadingStore::publish");
    auto job = m_executor.run([this] { announce(); });
    co_await job;
}

void ReadingStore::announce() {
    m_changes.send(ReadingStoreState::of(m_current->snapshot));
}

StoreResult<void> ReadingStore::holdLock() {
    if (m_current->lock) return {};
    auto lock = lockForFirstWrite(*m_fileSystem, m_files);
    if (!lock) return storeFailure(lock.error());
    m_current->lock = std::move(*lock);
    return {};
}

StoreResult<void> ReadingStore::commit(ReadingStoreSnapshot next) {
    if (auto held = holdLock(); !held) return held;
    auto written =
        ReadingStoreWriter(*m_fileSystem, m_files).write(m_current->snapshot, std::move(next), m_current->stamps);
    if (!written) return storeFailure(written.error());
    m_current->snapshot = std::move(written->snapshot);
    m_current->stamps = written->stamps;
    m_current->hasSeenFile = true;
    announce();
    return {};
}

template <typename Next>
StoreResult<void> ReadingStore::commitResult(Next next) {
    if (!next) return storeFailure(next.error());
    return commit(std::move(*next));
}

template <typename Change>
StoreResult<void> ReadingStore::commitChange(Change change) {
    if (!change) return storeFailure(change.error());
    if (!*change) return {};
    return commit(std::move(**change));
}

QCoro::Task<StoreResult<void>> ReadingStore::setHistoryEnabled(bool enabled) {
    return perform<void>(
        [this, enabled] { return commit(ReadingStoreChanges::setHistoryEnabled(m_current->snapshot, enabled)); });
}

QCoro::Task<StoreResult<void>> ReadingStore::setHistoryLimit(qint64 limit) {
    return perform<void>(
        [this, limit] { return commitResult(ReadingStoreChanges::setHistoryLimit(m_current->snapshot, limit)); });
}

QCoro::Task<StoreResult<void>> ReadingStore::addToLibrary(SavedReading reading, ReadingProgress progress) {
    return perform<void>([this, reading = std::move(reading), progress] {
        return commitResult(ReadingStoreChanges::addToLibrary(m_current->snapshot, reading, progress));
    });
}

QCoro::Task<StoreResult<QUuid>> ReadingStore::importTextFile(LibraryTextFile file, CancellationToken cancellation) {
    return perform<QUuid>(
        [this, file = std::move(file), cancellation] { return importTextFileNow(file, cancellation); });
}

QCoro::Task<StoreResult<QUuid>> ReadingStore::importFile(LibraryFileImport file, CancellationToken cancellation) {
    return perform<QUuid>([this, file = std::move(file), cancellation] {
        if (const auto* text = file.asText()) return importTextFileNow(*text, cancellation);
        return importEPUBFileNow(*file.asEPUB(), cancellation);
    });
}

StoreResult<QUuid> ReadingStore::importTextFileNow(const LibraryTextFile& file, const CancellationToken& cancellation) {
    auto document = LibraryTextFile::decodeText(file.filename, file.data);
    if (!document) return storeFailure(document.error());
    SavedReading reading{.id = m_newIdentifier(),
                         .document = std::move(*document),
                         .title = file.filename,
                         .epub = std::nullopt,
                         .source = std::nullopt,
                         .importedAt = m_clock->now()};
    if (cancellation.isCancelled()) return storeFailure(OperationCancelled{});

    const QUuid id = reading.id;
    auto committed =
        commitResult(ReadingStoreChanges::storeNew(m_current->snapshot, StoredReading{.reading = std::move(reading),
                                                                                      .originalTextFile = file,
                                                                                      .originalEPUB = std::nullopt,
                                                                                      .isInLibrary = true,
                                                                                      .progress = ReadingProgress{},
                                                                                      .lastPlayedAt = std::nullopt}));
    if (!committed) return storeFailure(committed.error());
    return id;
}

StoreResult<QUuid> ReadingStore::importEPUBFileNow(const LibraryFileImport::EPUBFile& file,
                                                   const CancellationToken& cancellation) {
    // The name and size of the file are judged by the rules of the record that is to refer to it.
    const EPUBOriginal original{file.filename, file.data.size(), sha256Hex(file.data)};
    if (!original.isValid()) return invalidStoreData();
    const EPUBBook::Information information = file.book.information();
    if (!information.isValid(file.book.document)) return invalidStoreData();

    SavedReading reading{.id = m_newIdentifier(),
                         .document = file.book.document,
                         .title = file.book.metadata.title().value_or(file.filename),
                         .epub = information,
                         .source = std::nullopt,
                         .importedAt = m_clock->now()};
    if (cancellation.isCancelled()) return storeFailure(OperationCancelled{});

    // The new reading is checked against the store before its original is written, so that an
    // identifier that collides with a stored one can never overwrite that reading's original.
    const QUuid id = reading.id;
    auto next = ReadingStoreChanges::storeNew(m_current->snapshot, StoredReading{.reading = std::move(reading),
                                                                                 .originalTextFile = std::nullopt,
                                                                                 .originalEPUB = original,
                                                                                 .isInLibrary = true,
                                                                                 .progress = ReadingProgress{},
                                                                                 .lastPlayedAt = std::nullopt});
    if (!next) return storeFailure(next.error());

    if (auto held = holdLock(); !held) return storeFailure(held.error());
    if (auto made = m_fileSystem->createDirectories(m_files.originalsDirectory()); !made) {
        return storeFailure(made.error());
    }
    const QString path = m_files.originalFile(id);
    if (auto written = m_fileSystem->writeFileAtomically(path, file.data); !written) {
        return storeFailure(written.error());
    }
    const auto abandon = [&](StoreFailure failure) {
        m_fileSystem->removeRecursively(path);
        return storeFailure(std::move(failure));
    };
    if (cancellation.isCancelled()) return abandon(OperationCancelled{});
    if (auto committed = commit(std::move(*next)); !committed) return abandon(committed.error());
    return id;
}

QCoro::Task<StoreResult<bool>> ReadingStore::recordPlayback(SavedReading reading, Date date, ReadingProgress progress) {
    return perform<bool>([this, reading = std::move(reading), date, progress]() -> StoreResult<bool> {
        auto next = ReadingStoreChanges::recordPlayback(m_current->snapshot, reading, date, progress);
        if (!next) return storeFailure(next.error());
        if (!*next) return false;
        if (auto committed = commit(std::move(**next)); !committed) return storeFailure(committed.error());
        return true;
    });
}

QCoro::Task<StoreResult<void>> ReadingStore::addToLibrary(QUuid id) {
    return perform<void>(
        [this, id] { return commitChange(ReadingStoreChanges::addToLibrary(m_current->snapshot, id)); });
}

QCoro::Task<StoreResult<void>> ReadingStore::recordPlayback(QUuid id, Date date,
                                                            std::optional<ReadingProgress> progress) {
    return perform<void>([this, id, date, progress] {
        return commitChange(ReadingStoreChanges::recordPlayback(m_current->snapshot, id, date, progress));
    });
}

QCoro::Task<StoreResult<void>> ReadingStore::updateProgress(QUuid id, ReadingProgress progress) {
    return perform<void>([this, id, progress] {
        return commitChange(ReadingStoreChanges::updateProgress(m_current->snapshot, id, progress));
    });
}

QCoro::Task<StoreResult<void>> ReadingStore::deleteDocument(QUuid id) {
    return perform<void>(
        [this, id] { return commitResult(ReadingStoreChanges::deleteDocument(m_current->snapshot, id)); });
}

QCoro::Task<StoreResult<void>> ReadingStore::removeFromHistory(QUuid id) {
    return perform<void>([this, id]() -> StoreResult<void> {
        if (m_current->snapshot.indexOf(id) < 0) return storeFailure(ReadingStoreError::missingDocument());
        auto removal = ReadingStoreChanges::removeHistoryEntries(m_current->snapshot, {id});
        if (!removal.snapshot) return {};
        return commit(std::move(*removal.snapshot));
    });
}

QCoro::Task<StoreResult<QSet<QUuid>>> ReadingStore::removeFromHistory(QSet<QUuid> ids) {
    return perform<QSet<QUuid>>([this, ids = std::move(ids)]() -> StoreResult<QSet<QUuid>> {
        auto removal = ReadingStoreChanges::removeHistoryEntries(m_current->snapshot, ids);
        if (removal.snapshot) {
            if (auto committed = commit(std::move(*removal.snapshot)); !committed) {
                return storeFailure(committed.error());
            }
        }
        return removal.deleted;
    });
}

}  // namespace tavrine
