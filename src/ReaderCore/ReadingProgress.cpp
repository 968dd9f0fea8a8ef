#include "ReaderCore/ReadingProgress.h"

namespace tavrine {

void writeJson(JsonWriter& writer, const ReadingProgress& progress) {
    JsonObjectWriter(writer).field(u"isCompleted", progress.isCompleted).field(u"utf16Offset", progress.utf16Offset);
}

Decoded<ReadingProgress> decodeJson(const JsonValue& value, const JsonPath& path, std::type_identity<ReadingProgress>) {
    JsonObjectDecoder decoder(value, path);
    ReadingProgress progress;
    progress.utf16Offset = decoder.required<qsizetype>(u"utf16Offset");
    progress.isCompleted = decoder.required<bool>(u"isCompleted");
    return decoder.finish(progress);
}

}  // namespace tavrine
