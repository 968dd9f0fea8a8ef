#pragma once

#include "ReaderCore/Date.h"
#include "ReaderCore/Json.h"
#include "ReaderCore/ReadingProgress.h"
#include "ReaderCore/SavedReading.h"
#include "ReaderStorage/EPUBOriginal.h"
#include "ReaderStorage/LibraryTextFile.h"

#include <QUuid>

#include <optional>

namespace tavrine {

// One document of the store: the reading itself, the file it was imported from, its membership of the
// library and the history, and the reading position. Only isInLibrary, progress and lastPlayedAt change
// after the store first keeps a record. A record the store keeps is in the library, in the history (it
// has a lastPlayedAt), or in both.
struct StoredReading {
    SavedReading reading;
    // The imported text file's name and exact bytes, for a reading that came from one.
    std::optional<LibraryTextFile> originalTextFile;
    // The kept EPUB file's record, for a reading that came from one.
    std::optional<EPUBOriginal> originalEPUB;
    bool isInLibrary = false;
    ReadingProgress progress;
    // The last recorded play; present exactly when the record is in the history.
    std::optional<Date> lastPlayedAt;

    QUuid id() const { return reading.id; }

    bool operator==(const StoredReading&) const = default;
};

// Whether two records hold the same reading with the same origin and library membership, whatever their
// positions and play dates: what a write that only moves positions may change.
bool sameContent(const StoredReading& a, const StoredReading& b);

void writeJson(JsonWriter& writer, const StoredReading& record);
Decoded<StoredReading> decodeJson(const JsonValue& value, const JsonPath& path, std::type_identity<StoredReading>);

}  // namespace tavrine
