#pragma once

#include "ReaderCore/Date.h"
#include "ReaderCore/EPUBBook.h"
#include "ReaderCore/Json.h"
#include "ReaderCore/ReadingDocument.h"

#include <QString>
#include <QUuid>

#include <optional>

namespace tavrine {

// One imported text as the whole system knows it: the store keeps one per stored document, the player
// plays one, the history and the library list them, all keyed by id. Decoding checks nothing: whoever
// trusts a decoded reading validates its document, its progress and its EPUB information itself.
struct SavedReading {
    QUuid id;
    ReadingDocument document;
    // The display title given by the importer; absent when it gave none.
    std::optional<QString> title;
    // Present only for a reading imported from an EPUB book.
    std::optional<EPUBBook::Information> epub;
    // Where the text came from, in the importer's words.
    std::optional<QString> source;
    Date importedAt;

    // A new reading under a fresh random identifier: each call makes a different one.
    static SavedReading create(ReadingDocument document, std::optional<QString> title,
                               std::optional<EPUBBook::Information> epub, std::optional<QString> source,
                               Date importedAt);

    bool operator==(const SavedReading&) const = default;
};

void writeJson(JsonWriter& writer, const SavedReading& reading);
Decoded<SavedReading> decodeJson(const JsonValue& value, const JsonPath& path, std::type_identity<SavedReading>);

}  // namespace tavrine
