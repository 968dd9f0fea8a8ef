#include "ReaderStorage/StoredReading.h"

namespace tavrine {
namespace {
using namespace Qt::StringLiterals;
}  // namespace

bool sameContent(const StoredReading& a, const StoredReading& b) {
    return a.reading == b.reading && a.originalTextFile == b.originalTextFile && a.originalEPUB == b.originalEPUB &&
           a.isInLibrary == b.isInLibrary;
}

QJsonValue toJson(const StoredReading& record) {
    QJsonObject object{{u"reading"_s, toJson(record.reading)},
                       {u"isInLibrary"_s, toJson(record.isInLibrary)},
                       {u"progress"_s, toJson(record.progress)}};
    insertIfPresent(object, u"originalTextFile", record.originalTextFile);
    insertIfPresent(object, u"originalEPUB", record.originalEPUB);
    insertIfPresent(object, u"lastPlayedAt", record.lastPlayedAt);
    return object;
}

Decoded<StoredReading> decodeJson(const QJsonValue& value, const JsonPath& path, std::type_identity<StoredReading>) {
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
