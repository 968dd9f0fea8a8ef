#include "ReaderCore/SavedReading.h"

namespace tavrine {

SavedReading SavedReading::create(ReadingDocument document, std::optional<QString> title,
                                  std::optional<EPUBBook::Information> epub, std::optional<QString> source,
                                  Date importedAt) {
    return SavedReading{QUuid::createUuid(), std::move(document), std::move(title),
                        std::move(epub),     std::move(source),   importedAt};
}

void writeJson(JsonWriter& writer, const SavedReading& reading) {
    JsonObjectWriter(writer)
        .field(u"document", reading.document)
        .fieldIfPresent(u"epub", reading.epub)
        .field(u"id", reading.id)
        .field(u"importedAt", reading.importedAt)
        .fieldIfPresent(u"source", reading.source)
        .fieldIfPresent(u"title", reading.title);
}

Decoded<SavedReading> decodeJson(const JsonValue& value, const JsonPath& path, std::type_identity<SavedReading>) {
    JsonObjectDecoder decoder(value, path);
    SavedReading reading;
    reading.id = decoder.required<QUuid>(u"id");
    reading.document = decoder.required<ReadingDocument>(u"document");
    reading.title = decoder.optional<QString>(u"title");
    reading.epub = decoder.optional<EPUBBook::Information>(u"epub");
    reading.source = decoder.optional<QString>(u"source");
    reading.importedAt = decoder.required<Date>(u"importedAt");
    return decoder.finish(std::move(reading));
}

}  // namespace tavrine
