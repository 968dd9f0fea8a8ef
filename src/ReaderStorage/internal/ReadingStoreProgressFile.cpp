#include "ReaderStorage/internal/ReadingStoreProgressFile.h"

namespace tavrine {

void writeJson(JsonWriter& writer, const ReadingStoreProgressFile::Entry& entry) {
    JsonObjectWriter(writer)
        .field(u"id", entry.id)
        .fieldIfPresent(u"lastPlayedAt", entry.lastPlayedAt)
        .field(u"progress", entry.progress);
}

void writeJson(JsonWriter& writer, const ReadingStoreProgressFile& progress) {
    JsonObjectWriter(writer)
        .field(u"entries", progress.entries)
        .field(u"revision", progress.revision)
        .field(u"version", progress.version);
}

Decoded<ReadingStoreProgressFile::Entry> decodeJson(const JsonValue& value, const JsonPath& path,
                                                    std::type_identity<ReadingStoreProgressFile::Entry>) {
    JsonObjectDecoder decoder(value, path);
    ReadingStoreProgressFile::Entry entry;
    entry.id = decoder.required<QUuid>(u"id");
    entry.progress = decoder.required<ReadingProgress>(u"progress");
    entry.lastPlayedAt = decoder.optional<Date>(u"lastPlayedAt");
    return decoder.finish(std::move(entry));
}

Decoded<ReadingStoreProgressFile> decodeJson(const JsonValue& value, const JsonPath& path,
                                             std::type_identity<ReadingStoreProgressFile>) {
    JsonObjectDecoder decoder(value, path);
    ReadingStoreProgressFile progress;
    progress.version = decoder.required<qint64>(u"version");
    progress.revision = decoder.required<QUuid>(u"revision");
    progress.entries = decoder.required<QList<ReadingStoreProgressFile::Entry>>(u"entries");
    return decoder.finish(std::move(progress));
}

}  // namespace tavrine
