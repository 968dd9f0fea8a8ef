#include "ReaderStorage/internal/ReadingStoreMetadata.h"

namespace tavrine {
namespace {
using namespace Qt::StringLiterals;
}  // namespace

QJsonValue toJson(const ReadingStoreMetadata::Entry& entry) {
    QJsonObject object{{u"id"_s, toJson(entry.id)}, {u"progress"_s, toJson(entry.progress)}};
    insertIfPresent(object, u"lastPlayedAt", entry.lastPlayedAt);
    return object;
}

QJsonValue toJson(const ReadingStoreMetadata& metadata) {
    return QJsonObject{{u"version"_s, toJson(metadata.version)},
                       {u"revision"_s, toJson(metadata.revision)},
                       {u"entries"_s, toJson(metadata.entries)}};
}

Decoded<ReadingStoreMetadata::Entry> decodeJson(const QJsonValue& value, const JsonPath& path,
                                                std::type_identity<ReadingStoreMetadata::Entry>) {
    JsonObjectDecoder decoder(value, path);
    ReadingStoreMetadata::Entry entry;
    entry.id = decoder.required<QUuid>(u"id");
    entry.progress = decoder.required<ReadingProgress>(u"progress");
    entry.lastPlayedAt = decoder.optional<Date>(u"lastPlayedAt");
    return decoder.finish(std::move(entry));
}

Decoded<ReadingStoreMetadata> decodeJson(const QJsonValue& value, const JsonPath& path,
                                         std::type_identity<ReadingStoreMetadata>) {
    JsonObjectDecoder decoder(value, path);
    ReadingStoreMetadata metadata;
    metadata.version = decoder.required<qint64>(u"version");
    metadata.revision = decoder.required<QUuid>(u"revision");
    metadata.entries = decoder.required<QList<ReadingStoreMetadata::Entry>>(u"entries");
    return decoder.finish(std::move(metadata));
}

}  // namespace tavrine
