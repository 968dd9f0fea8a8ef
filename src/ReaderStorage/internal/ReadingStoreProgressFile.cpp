#include "ReaderStorage/internal/ReadingStoreProgressFile.h"

namespace tavrine {
namespace {
using namespace Qt::StringLiterals;
}  // namespace

QJsonValue toJson(const ReadingStoreProgressFile::Entry& entry) {
    QJsonObject object{{u"id"_s, toJson(entry.id)}, {u"progress"_s, toJson(entry.progress)}};
    insertIfPresent(object, u"lastPlayedAt", entry.lastPlayedAt);
    return object;
}

QJsonValue toJson(const ReadingStoreProgressFile& progress) {
    return QJsonObject{{u"version"_s, toJson(progress.version)},
                       {u"revision"_s, toJson(progress.revision)},
                       {u"entries"_s, toJson(progress.entries)}};
}

Decoded<ReadingStoreProgressFile::Entry> decodeJson(const QJsonValue& value, const JsonPath& path,
                                                    std::type_identity<ReadingStoreProgressFile::Entry>) {
    JsonObjectDecoder decoder(value, path);
    ReadingStoreProgressFile::Entry entry;
    entry.id = decoder.required<QUuid>(u"id");
    entry.progress = decoder.required<ReadingProgress>(u"progress");
    entry.lastPlayedAt = decoder.optional<Date>(u"lastPlayedAt");
    return decoder.finish(std::move(entry));
}

Decoded<ReadingStoreProgressFile> decodeJson(const QJsonValue& value, const JsonPath& path,
                                             std::type_identity<ReadingStoreProgressFile>) {
    JsonObjectDecoder decoder(value, path);
    ReadingStoreProgressFile progress;
    progress.version = decoder.required<qint64>(u"version");
    progress.revision = decoder.required<QUuid>(u"revision");
    progress.entries = decoder.required<QList<ReadingStoreProgressFile::Entry>>(u"entries");
    return decoder.finish(std::move(progress));
}

}  // namespace tavrine
