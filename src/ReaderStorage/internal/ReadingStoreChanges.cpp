#include "ReaderStorage/internal/ReadingStoreChanges.h"

#include "ReaderCore/Characters.h"
#include "ReaderStorage/ReadingStoreState.h"

namespace tavrine {
namespace {

using Snapshot = ReadingStoreSnapshot;

bool isTombstoned(const Snapshot& snapshot, const QUuid& id) {
    return snapshot.tombstones && snapshot.tombstones->contains(id);
}

// The content after a change of one stored reading, to write only when the documents changed.
ReadingStoreChanges::Change ifDocumentsChanged(const Snapshot& current, Snapshot next) {
    ReadingStoreChanges::enforceHistoryLimit(next);
    if (next.documents == current.documents) return std::optional<Snapshot>();
    return std::optional(std::move(next));
}

}  // namespace

ReadingStoreSnapshot ReadingStoreChanges::setHistoryEnabled(const Snapshot& current, bool enabled) {
    Snapshot next = current;
    next.historyEnabled = enabled;
    return next;
}

StoreResult<ReadingStoreSnapshot> ReadingStoreChanges::setHistoryLimit(const Snapshot& current, qint64 limit) {
    if (limit < 1) return invalidStoreData();
    Snapshot next = current;
    next.historyLimit = limit;
    enforceHistoryLimit(next);
    return next;
}

StoreResult<ReadingStoreSnapshot> ReadingStoreChanges::addToLibrary(const Snapshot& current,
                                                                    const SavedReading& reading,
                                                                    const ReadingProgress& progress) {
    return storeNew(current, StoredReading{.reading = reading,
                                           .originalTextFile = std::nullopt,
                                           .originalEPUB = std::nullopt,
                                           .isInLibrary = true,
                                           .progress = progress,
                                           .lastPlayedAt = std::nullopt});
}

ReadingStoreChanges::Change ReadingStoreChanges::recordPlayback(const Snapshot& current, const SavedReading& reading,
                                                                Date date, const ReadingProgress& progress) {
    if (isTombstoned(current, reading.id)) return storeFailure(ReadingStoreError::missingDocument());
    if (!current.historyEnabled) return std::optional<Snapshot>();
    auto next = storeNew(current, StoredReading{.reading = reading,
                                                .originalTextFile = std::nullopt,
                                                .originalEPUB = std::nullopt,
                                                .isInLibrary = false,
                                                .progress = progress,
                                                .lastPlayedAt = date});
    if (!next) return storeFailure(next.error());
    return std::optional(std::move(*next));
}

StoreResult<ReadingStoreSnapshot> ReadingStoreChanges::storeNew(const Snapshot& current, StoredReading record) {
    if (record.isInLibrary && isBlank(record.reading.document.text)) return invalidStoreData();
    if (isTombstoned(current, record.id())) return storeFailure(ReadingStoreError::missingDocument());
    // Contents are not compared: an identical copy is refused like a different one.
    if (current.indexOf(record.id()) >= 0) return storeFailure(ReadingStoreError::duplicateIdentity());
    Snapshot next = current;
    next.documents.append(std::move(record));
    enforceHistoryLimit(next);
    return next;
}

ReadingStoreChanges::Change ReadingStoreChanges::addToLibrary(const Snapshot& current, const QUuid& id) {
    const qsizetype index = current.indexOf(id);
    if (index < 0) return storeFailure(ReadingStoreError::missingDocument());
    if (isBlank(current.documents.at(index).reading.document.text)) return invalidStoreData();
    Snapshot next = current;
    next.documents[index].isInLibrary = true;
    return ifDocumentsChanged(current, std::move(next));
}

ReadingStoreChanges::Change ReadingStoreChanges::recordPlayback(const Snapshot& current, const QUuid& id, Date date,
                                                                const std::optional<ReadingProgress>& progress) {
    const qsizetype index = current.indexOf(id);
    if (index < 0) return storeFailure(ReadingStoreError::missingDocument());
    Snapshot next = current;
    StoredReading& record = next.documents[index];
    // With the history off a reading already in it keeps its place there.
    if (current.historyEnabled) record.lastPlayedAt = date;
    if (progress) record.progress = *progress;
    return ifDocumentsChanged(current, std::move(next));
}

ReadingStoreChanges::Change ReadingStoreChanges::updateProgress(const Snapshot& current, const QUuid& id,
                                                                const ReadingProgress& progress) {
    const qsizetype index = current.indexOf(id);
    if (index < 0) return storeFailure(ReadingStoreError::missingDocument());
    Snapshot next = current;
    next.documents[index].progress = progress;
    return ifDocumentsChanged(current, std::move(next));
}

StoreResult<ReadingStoreSnapshot> ReadingStoreChanges::deleteDocument(const Snapshot& current, const QUuid& id) {
    const qsizetype index = current.indexOf(id);
    if (index < 0 || !current.documents.at(index).isInLibrary) {
        return storeFailure(ReadingStoreError::missingDocument());
    }
    Snapshot next = current;
    next.documents.removeIf([&id](const StoredReading& record) { return record.id() == id; });
    return next;
}

ReadingStoreChanges::HistoryRemoval ReadingStoreChanges::removeHistoryEntries(const Snapshot& current,
                                                                              const QSet<QUuid>& ids) {
    HistoryRemoval removal;
    Snapshot next = current;
    for (const StoredReading& record : current.documents) {
        if (!record.isInLibrary && ids.contains(record.id())) removal.deleted.insert(record.id());
    }
    next.documents.removeIf([&removal](const StoredReading& record) { return removal.deleted.contains(record.id()); });

    QSet<QUuid> remaining;
    for (StoredReading& record : next.documents) {
        remaining.insert(record.id());
        if (ids.contains(record.id())) record.lastPlayedAt.reset();
    }
    QSet<QUuid> removed = current.tombstones.value_or(QSet<QUuid>());
    for (const QUuid& id : ids) {
        if (!remaining.contains(id)) removed.insert(id);
    }
    next.tombstones = std::move(removed);

    if (!(next == current)) removal.snapshot = std::move(next);
    return removal;
}

void ReadingStoreChanges::enforceHistoryLimit(Snapshot& snapshot) {
    const QList<StoredReading> history = historyEntries(snapshot);
    if (history.size() <= snapshot.historyLimit) return;
    QSet<QUuid> overflow;
    for (qsizetype i = snapshot.historyLimit; i < history.size(); ++i) overflow.insert(history.at(i).id());

    snapshot.documents.removeIf(
        [&overflow](const StoredReading& record) { return !record.isInLibrary && overflow.contains(record.id()); });
    for (StoredReading& record : snapshot.documents) {
        if (overflow.contains(record.id())) record.lastPlayedAt.reset();
    }
}

}  // namespace tavrine
