#include "ReaderCore/SavedReading.h"

namespace tavrine {
using namespace Qt::StringLiterals;

SavedReading SavedReading::create(ReadingDocument document, std::optional<QString> title,
                                  std::optional<EPUBBook::Information> epub, std::optional<QString> source,
                                  Date importedAt) {
    return SavedReading{QUuid::createUuid(), std::move(document), std::move(title),
                        std::move(epub),     std::move(source),   importedAt};
}

QJsonValue toJson(const SavedReading& reading) {
    QJsonObject object{{u"id"_s, toJson(reading.id)},
                       {u"document"_s, toJson(reading.document)},
                       {u"importedAt"_s, toJson(reading.importedAt)}};
    insertIfPresent(object, u"title", reading.title);
    insertIfPresent(object, u"epub", reading.epub);
    insertIfPresent(object, u"source", reading.source);
    return object;
}

Decoded<SavedReading> decodeJson(const QJsonValue& value, const JsonPath& path, std::type_identity<SavedReading>) {
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
