#include "ReaderStorage/StoredReading.h"

namespace tavrine {

bool sameContent(const StoredReading& a, const StoredReading& b) {
    return a.reading == b.reading && a.originalTextFile == b.originalTextFile && a.originalEPUB == b.originalEPUB &&
           a.isInLibrary == b.isInLibrary;
}

void writeJson(JsonWriter& writer, const StoredReading& record) {
    JsonObjectWriter(writer)
        .field(u"isInLibrary", record.isInLibrary)
        .fieldIfPresent(u"lastPlayedAt", record.lastPlayedAt)
        .fieldIfPresent(u"originalEPUB", record.originalEPUB)
        .fieldIfPresent(u"originalTextFile", record.originalTextFile)
        .field(u"progress", record.progress)
        .field(u"reading", record.reading);
}

Decoded<StoredReading> decodeJson(const JsonValue& value, const JsonPath& path, std::type_identity<StoredReading>) {
    JsonObjectDecoder decoder(value, path);
    StoredReading record;
    record.reading = decoder.required<SavedReading>(u"reading");
    record.originalTextFile = decoder.optional<LibraryTextFile>(u"originalTextFile");
    record.originalEPUB = decoder.optional<EPUBOriginal>(u"originalEPUB");
    record.isInLibrary = decoder.required<bool>(u"isInLibrary");
    record.progress = decoder.required<ReadingProgress>(u"progress");
    record.lastPlayedAt = decoder.optional<Date>(u"lastPlayedAt");
    return decoder.finish(std::move(record));
}

}  // namespace tavrine
