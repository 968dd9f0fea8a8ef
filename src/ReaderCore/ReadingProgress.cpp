#include "ReaderCore/ReadingProgress.h"

namespace tavrine {
using namespace Qt::StringLiterals;

QJsonValue toJson(const ReadingProgress& progress) {
    return QJsonObject{{u"utf16Offset"_s, toJson(progress.utf16Offset)}, {u"isCompleted"_s, progress.isCompleted}};
}

Decoded<ReadingProgress> decodeJson(const QJsonValue& value, const JsonPath& path,
                                    std::type_identity<ReadingProgress>) {
    JsonObjectDecoder decoder(value, path);
    ReadingProgress progress;
    progress.utf16Offset = decoder.required<qsizetype>(u"utf16Offset");
    progress.isCompleted = decoder.required<bool>(u"isCompleted");
    return decoder.finish(progress);
}

}  // namespace tavrine
