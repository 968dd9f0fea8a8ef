#include "ReaderStorage/internal/SnapshotValidation.h"

#include "ReaderCore/EPUBBook.h"

#include <QtConcurrent/QtConcurrentMap>

#include <atomic>
#include <cmath>
#include <numeric>
#include <vector>

namespace tavrine {
namespace {

bool isFinite(Date date) {
    return std::isfinite(date.unixSeconds());
}

bool isFinite(const std::optional<Date>& date) {
    return !date || isFinite(*date);
}

qsizetype playedCount(const ReadingStoreSnapshot& snapshot) {
    return std::count_if(snapshot.documents.cbegin(), snapshot.documents.cend(),
                         [](const StoredReading& record) { return record.lastPlayedAt.has_value(); });
}

bool isInALibraryOrHistory(const StoredReading& record) {
    return record.isInLibrary || record.lastPlayedAt;
}

bool isValidEPUBReading(const StoredReading& record, const ReadingStoreSnapshot& snapshot) {
    const auto& epub = record.reading.epub;
    return snapshot.version >= ReadingStoreSnapshot::kEPUBVersion && record.isInLibrary && !record.originalTextFile &&
           epub && epub->isValid(record.reading.document) && record.originalEPUB && record.originalEPUB->isValid();
}

bool matchesItsTextFile(const StoredReading& record, const LibraryTextFile& file) {
    if (!record.isInLibrary) return false;
    if (!file.decodesTo(record.reading.document)) return false;
    return record.reading.title == file.filename;
}

// What a document can break without a change of its content.
bool hasValidPosition(const StoredReading& record) {
    return isInALibraryOrHistory(record) && record.progress.isValid(record.reading.document) &&
           isFinite(record.lastPlayedAt);
}

// Whether every record passes rule. The rule is pure and the records are independent, so a store of
// many records judges them on several threads at once (checking a kept text file reads all of it); the
// answer is the same as in order.
template <typename Rule>
bool allOf(const QList<StoredReading>& records, Rule rule) {
    constexpr qsizetype kRecordsForThreads = 16;
    if (records.size() < kRecordsForThreads) return std::all_of(records.cbegin(), records.cend(), rule);
    std::vector<qsizetype> indices(static_cast<std::size_t>(records.size()));
    std::iota(indices.begin(), indices.end(), 0);
    std::atomic<bool> passed = true;
    QtConcurrent::blockingMap(indices, [&](qsizetype index) {
        if (passed.load(std::memory_order_relaxed) && !rule(records.at(index))) passed = false;
    });
    return passed;
}

// The rules of validateSnapshot(); each document is judged by isValid.
template <typename DocumentRule>
StoreResult<void> validateWith(const ReadingStoreSnapshot& snapshot, DocumentRule isValid) {
    if (snapshot.historyLimit < 1) return invalidStoreData();
    if (snapshot.version >= ReadingStoreSnapshot::kProgressFileVersion && !snapshot.revision) return invalidStoreData();
    if (snapshot.version != ReadingStoreSnapshot::kOldestVersion && !snapshot.tombstones) return invalidStoreData();

    const QSet<QUuid> removed = snapshot.tombstones.value_or(QSet<QUuid>());
    QSet<QUuid> ids;
    ids.reserve(snapshot.documents.size());
    for (const StoredReading& record : snapshot.documents) {
        if (removed.contains(record.id()) || ids.contains(record.id())) return invalidStoreData();
        ids.insert(record.id());
    }
    if (playedCount(snapshot) > snapshot.historyLimit) return invalidStoreData();
    if (!allOf(snapshot.documents, isValid)) return invalidStoreData();
    return {};
}

}  // namespace

bool isValidStoredReading(const StoredReading& record, const ReadingStoreSnapshot& snapshot) {
    if (!hasValidPosition(record)) return false;
    if ((record.reading.epub || record.originalEPUB) && !isValidEPUBReading(record, snapshot)) return false;
    if (!record.reading.document.isValid()) return false;
    if (record.originalTextFile && !matchesItsTextFile(record, *record.originalTextFile)) return false;
    return isFinite(record.reading.importedAt);
}

StoreResult<void> validateSnapshot(const ReadingStoreSnapshot& snapshot) {
    return validateWith(snapshot,
                        [&snapshot](const StoredReading& record) { return isValidStoredReading(record, snapshot); });
}

StoreResult<void> validateSuccessor(const ReadingStoreSnapshot& snapshot, const ReadingStoreSnapshot& validated) {
    QHash<QUuid, const StoredReading*> before;
    before.reserve(validated.documents.size());
    for (const StoredReading& record : validated.documents) before.insert(record.id(), &record);
    // A version only ever rises, and no rule of a document is stricter in a later one.
    const bool sameRules = snapshot.version >= validated.version;
    return validateWith(snapshot, [&](const StoredReading& record) {
        const StoredReading* old = before.value(record.id());
        if (sameRules && old && sameContent(record, *old)) return hasValidPosition(record);
        return isValidStoredReading(record, snapshot);
    });
}

StoreResult<void> validateHistory(const ReadingStoreSnapshot& snapshot) {
    if (playedCount(snapshot) > snapshot.historyLimit) return invalidStoreData();
    // A progress file can clear the play date of a reading that is only in the history; such a record
    // belongs to neither list, and every later full write would refuse the store.
    for (const StoredReading& record : snapshot.documents) {
        if (!hasValidPosition(record)) return invalidStoreData();
    }
    return {};
}

StoreResult<void> applyProgressFile(ReadingStoreSnapshot& snapshot, const ReadingStoreProgressFile& progress) {
    if (!snapshot.revision) return invalidStoreData();
    if (progress.version != ReadingStoreProgressFile::kVersion) return invalidStoreData();
    if (progress.revision != *snapshot.revision) return invalidStoreData();

    QHash<QUuid, const ReadingStoreProgressFile::Entry*> entries;
    entries.reserve(progress.entries.size());
    for (const auto& entry : progress.entries) {
        if (entries.contains(entry.id)) return invalidStoreData();
        entries.insert(entry.id, &entry);
    }
    QSet<QUuid> documentIDs;
    documentIDs.reserve(snapshot.documents.size());
    for (const StoredReading& record : snapshot.documents) documentIDs.insert(record.id());
    if (documentIDs.size() != entries.size()) return invalidStoreData();
    for (const QUuid& id : std::as_const(documentIDs)) {
        if (!entries.contains(id)) return invalidStoreData();
    }
    for (StoredReading& record : snapshot.documents) {
        const auto* entry = entries.value(record.id());
        record.progress = entry->progress;
        record.lastPlayedAt = entry->lastPlayedAt;
    }
    return {};
}

StoreResult<QByteArray> encodeProgressFile(const ReadingStoreSnapshot& snapshot) {
    if (!snapshot.revision) return invalidStoreData();
    ReadingStoreProgressFile progress{ReadingStoreProgressFile::kVersion, *snapshot.revision, {}};
    progress.entries.reserve(snapshot.documents.size());
    for (const StoredReading& record : snapshot.documents) {
        progress.entries.append({record.id(), record.progress, record.lastPlayedAt});
    }
    return encodeJson(progress);
}

}  // namespace tavrine
