#include "ReaderStorage/ReadingStore.h"

#include "ReaderStorage/internal/LeftoverFiles.h"
#include "ReaderStorage/internal/ReadingStoreChanges.h"
#include "ReaderStorage/internal/ReadingStoreLoader.h"

#include <QCoro/QCoroFuture>

namespace tavrine {

ReadingStore::ReadingStore(ReadingStoreFiles files, std::shared_ptr<FileSystem> fileSystem, const Clock& clock,
                           IdentifierSource newIdentifier)
    : m_files(std::move(files)),
      m_fileSystem(std::move(fileSystem)),
      m_clock(&clock),
      m_newIdentifier(std::move(newIdentifier)) {}

StoreResult<std::unique_ptr<ReadingStore>> ReadingStore::open(QString storeFile, std::shared_ptr<FileSystem> fileSystem,
                                                              const Clock& clock, IdentifierSource newIdentifier) {
    ReadingStoreFiles files(std::move(storeFile));
    auto loaded = ReadingStoreLoader(*fileSystem, files).loadInitialState();
    if (!loaded) return storeFailure(loaded.error());
    removeLeftoverFiles(*fileSystem, files, loaded->state.revision);
    std::unique_ptr<ReadingStore> store(
        new ReadingStore(std::move(files), std::move(fileSystem), clock, std::move(newIdentifier)));
    store->m_state = std::move(loaded->state);
    store->m_hasSeenFile = loaded->hasSeenFile;
    store->m_stamps = {loaded->fileStamp, loaded->metadataStamp};
    return store;
}

// GCC 12 mishandles temporaries inside a co_await operand: every awaited job is a named local.

template <typename T, typename Body>
QCoro::Task<StoreResult<T>> ReadingStore::perform(Body body) {
    auto job = m_executor.run(std::move(body));
    StoreResult<T> result = co_await job;
    co_return result;
}

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
        const qsizetype index = state.indexOf(id);
        if (index < 0) return std::nullopt;
        return state.documents.at(index);
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

QCoro::Task<StoreResult<QByteArray>> ReadingStore::originalEPUBData(QUuid id) {
    return perform<QByteArray>([this, id] { return originalEPUBDataNow(id); });
}

StoreResult<QByteArray> ReadingStore::originalEPUBDataNow(const QUuid& id) {
    const qsizetype index = m_state.indexOf(id);
    if (index < 0 || !m_state.documents.at(index).originalEPUB)
        return storeFailure(ReadingStoreError::missingDocument());
    if (auto verified = ReadingStoreLoader(*m_fileSystem, m_files).verifyOriginals(m_state); !verified) {
        return storeFailure(verified.error());
    }
    auto bytes = m_fileSystem->readFile(m_files.originalFile(id));
    if (!bytes) return storeFailure(bytes.error());
    return std::move(*bytes);
}

QCoro::Task<ReadingStore::Subscription> ReadingStore::changes() {
    // Subscribing on the store's thread puts the first value in order with every announcement.
    auto job = m_executor.run(
        [this] { return std::make_shared<Subscription>(m_changes.subscribe(ReadingStoreState::of(m_state))); });
    std::shared_ptr<Subscription> subscription = co_await job;
    co_return std::move(*subscription);
}

QCoro::Task<void> ReadingStore::publish() {
    auto job = m_executor.run([this] { announce(); });
    co_await job;
}

void ReadingStore::announce() {
    m_changes.send(ReadingStoreState::of(m_state));
}

StoreResult<void> ReadingStore::commit(Snapshot next) {
    auto written = ReadingStoreWriter(*m_fileSystem, m_files).write(m_state, std::move(next), m_stamps);
    if (!written) return storeFailure(written.error());
    m_state = std::move(written->snapshot);
    m_stamps = written->stamps;
    m_hasSeenFile = true;
    announce();
    return {};
}

StoreResult<void> ReadingStore::commitResult(StoreResult<Snapshot> next) {
    if (!next) return storeFailure(next.error());
    return commit(std::move(*next));
}

StoreResult<void> ReadingStore::commitChange(ReadingStoreChanges::Change change) {
    if (!change) return storeFailure(change.error());
    if (!*change) return {};
    return commit(std::move(**change));
}

QCoro::Task<StoreResult<void>> ReadingStore::setHistoryEnabled(bool enabled) {
    return perform<void>([this, enabled] { return commit(ReadingStoreChanges::setHistoryEnabled(m_state, enabled)); });
}

QCoro::Task<StoreResult<void>> ReadingStore::setHistoryLimit(qint64 limit) {
    return perform<void>([this, limit] { return commitResult(ReadingStoreChanges::setHistoryLimit(m_state, limit)); });
}

QCoro::Task<StoreResult<void>> ReadingStore::addToLibrary(SavedReading reading, ReadingProgress progress) {
    return perform<void>([this, reading = std::move(reading), progress] {
        return commitResult(ReadingStoreChanges::addToLibrary(m_state, reading, progress));
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
    SavedReading reading{m_newIdentifier(), std::move(*document), file.filename,
                         std::nullopt,      std::nullopt,         m_clock->now()};
    if (cancellation.isCancelled()) return storeFailure(OperationCancelled{});

    const QUuid id = reading.id;
    auto committed = commitResult(ReadingStoreChanges::storeNew(
        m_state, StoredReading{std::move(reading), file, std::nullopt, true, ReadingProgress{}, std::nullopt}));
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

    SavedReading reading{m_newIdentifier(), file.book.document, file.book.metadata.title().value_or(file.filename),
                         information,       std::nullopt,       m_clock->now()};
    if (cancellation.isCancelled()) return storeFailure(OperationCancelled{});

    // The new reading is checked against the store before its original is written, so that an
    // identifier that collides with a stored one can never overwrite that reading's original.
    const QUuid id = reading.id;
    auto next = ReadingStoreChanges::storeNew(
        m_state, StoredReading{std::move(reading), std::nullopt, original, true, ReadingProgress{}, std::nullopt});
    if (!next) return storeFailure(next.error());

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
        auto next = ReadingStoreChanges::recordPlayback(m_state, reading, date, progress);
        if (!next) return storeFailure(next.error());
        if (!*next) return false;
        if (auto committed = commit(std::move(**next)); !committed) return storeFailure(committed.error());
        return true;
    });
}

QCoro::Task<StoreResult<void>> ReadingStore::addToLibrary(QUuid id) {
    return perform<void>([this, id] { return commitChange(ReadingStoreChanges::addToLibrary(m_state, id)); });
}

QCoro::Task<StoreResult<void>> ReadingStore::recordPlayback(QUuid id, Date date,
                                                            std::optional<ReadingProgress> progress) {
    return perform<void>([this, id, date, progress] {
        return commitChange(ReadingStoreChanges::recordPlayback(m_state, id, date, progress));
    });
}

QCoro::Task<StoreResult<void>> ReadingStore::updateProgress(QUuid id, ReadingProgress progress) {
    return perform<void>(
        [this, id, progress] { return commitChange(ReadingStoreChanges::updateProgress(m_state, id, progress)); });
}

QCoro::Task<StoreResult<void>> ReadingStore::deleteDocument(QUuid id) {
    return perform<void>([this, id] { return commitResult(ReadingStoreChanges::deleteDocument(m_state, id)); });
}

QCoro::Task<StoreResult<void>> ReadingStore::removeFromHistory(QUuid id) {
    return perform<void>([this, id]() -> StoreResult<void> {
        if (m_state.indexOf(id) < 0) return storeFailure(ReadingStoreError::missingDocument());
        auto removal = ReadingStoreChanges::removeHistoryEntries(m_state, {id});
        if (!removal.snapshot) return {};
        return commit(std::move(*removal.snapshot));
    });
}

QCoro::Task<StoreResult<QSet<QUuid>>> ReadingStore::removeFromHistory(QSet<QUuid> ids) {
    return perform<QSet<QUuid>>([this, ids = std::move(ids)]() -> StoreResult<QSet<QUuid>> {
        auto removal = ReadingStoreChanges::removeHistoryEntries(m_state, ids);
        if (removal.snapshot) {
            if (auto committed = commit(std::move(*removal.snapshot)); !committed) {
                return storeFailure(committed.error());
            }
        }
        return removal.deleted;
    });
}

}  // namespace tavrine
