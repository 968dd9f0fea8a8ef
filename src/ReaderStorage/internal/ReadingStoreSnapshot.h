#pragma once

#include "ReaderCore/Json.h"
#include "ReaderStorage/ReadingStoreState.h"
#include "ReaderStorage/StoredReading.h"

#include <QList>
#include <QSet>
#include <QUuid>

#include <optional>

namespace tavrine {

// The content of the store file, and the store's own copy of it in memory, from which the state that
// callers receive is built (ReadingStoreState). Copies are cheap: the documents and
// their texts are shared until one of them is changed.
struct ReadingStoreSnapshot {
    // The format versions the store reads; it writes only the last two.
    static constexpr qint64 kOldestVersion = 1;
    static constexpr qint64 kNewestVersion = 4;
    // Version 2 added the tombstones, 3 the revision with its progress file, 4 EPUB readings.
    static constexpr qint64 kTombstonesVersion = 2;
    static constexpr qint64 kProgressFileVersion = 3;
    static constexpr qint64 kEPUBVersion = 4;

    // The most one reading takes in the store file as the largest import makes it: its text at the
    // longest JSON escape of a UTF-16 unit ("\u001F", six bytes) and its original text file in Base64,
    // doubled for what a book carries instead of that file (sections, spans, table of contents).
    static constexpr qint64 kLargestReadingBytes =
        2 * (6 * LibraryTextFile::utf16Limit + 4 * ((LibraryTextFile::byteLimit + 2) / 3));
    // The largest store file (and progress file) the store writes, and so the most it reads of either: a
    // larger or endless file in its place fails at once. A library of 64 readings of the largest kind;
    // readings are usually far smaller (a novel takes about a megabyte), so thousands of them fit.
    static constexpr qint64 kLargestFileBytes = 64 * kLargestReadingBytes;

    qint64 version = kProgressFileVersion;
    // The generation of the store file's content; names the progress file. Required from version 3.
    std::optional<QUuid> revision;
    bool historyEnabled = false;
    // The most documents the history keeps; at least 1.
    qint64 historyLimit = ReadingStoreState::kDefaultHistoryLimit;
    // Every stored reading, in stored order.
    QList<StoredReading> documents;
    // The tombstones (stored as "removedIDs"): identifiers of readings deleted from the store, which may
    // never be stored again. Required from
    // version 2; an absent set differs from an empty one.
    std::optional<QSet<QUuid>> tombstones;

    // The store of a user who has no store file yet.
    static ReadingStoreSnapshot empty() { return {}; }

    // The position of the first stored reading with this identifier, or -1.
    qsizetype indexOf(const QUuid& id) const;

    bool operator==(const ReadingStoreSnapshot&) const = default;
};

// The store file's JSON. The tombstones are written in ascending identifier order, though the order
// carries no meaning.
void writeJson(JsonWriter& writer, const ReadingStoreSnapshot& snapshot);
Decoded<ReadingStoreSnapshot> decodeJson(const JsonValue& value, const JsonPath& path,
                                         std::type_identity<ReadingStoreSnapshot>);

// The format version a store file declares, read before anything else of it.
Decoded<qint64> decodeStoreVersion(const JsonValue& value);

}  // namespace tavrine
