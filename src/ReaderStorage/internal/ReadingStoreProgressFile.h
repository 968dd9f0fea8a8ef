#pragma once

#include "ReaderCore/Date.h"
#include "ReaderCore/Json.h"
#include "ReaderCore/ReadingProgress.h"

#include <QList>
#include <QUuid>

#include <optional>

namespace tavrine {

// The content of the progress file: the position and last play of every stored document, tied to
// one revision of the store file. From format version 3 on it is the authority for both; the copies
// inside the store file are those of its last full write.
struct ReadingStoreProgressFile {
    static constexpr qint64 kVersion = 1;

    struct Entry {
        QUuid id;
        ReadingProgress progress;
        std::optional<Date> lastPlayedAt;

        bool operator==(const Entry&) const = default;
    };

    qint64 version = kVersion;
    QUuid revision;
    // One per stored document, written in the documents' order and read in any order.
    QList<Entry> entries;

    bool operator==(const ReadingStoreProgressFile&) const = default;
};

void writeJson(JsonWriter& writer, const ReadingStoreProgressFile::Entry& entry);
void writeJson(JsonWriter& writer, const ReadingStoreProgressFile& progress);
Decoded<ReadingStoreProgressFile::Entry> decodeJson(const JsonValue& value, const JsonPath& path,
                                                    std::type_identity<ReadingStoreProgressFile::Entry>);
Decoded<ReadingStoreProgressFile> decodeJson(const JsonValue& value, const JsonPath& path,
                                             std::type_identity<ReadingStoreProgressFile>);

}  // namespace tavrine
