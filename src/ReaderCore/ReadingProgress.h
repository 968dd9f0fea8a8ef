#pragma once

#include "ReaderCore/Json.h"
#include "ReaderCore/ReadingDocument.h"

namespace tavrine {

// How far into a reading the user got. A completed reading is kept at the end of its text with
// isCompleted set; any other position is the start of the chunk that was shown.
struct ReadingProgress {
    qsizetype utf16Offset = 0;
    bool isCompleted = false;

    // Whether the offset is a legal position in the document's text (inside it, or at its very end, and
    // not between the halves of a surrogate pair); isCompleted plays no part.
    bool isValid(const ReadingDocument& document) const { return isValidUTF16Offset(utf16Offset, document.text); }

    // Where to resume: a finished reading starts again from the beginning.
    qsizetype resumeOffset() const { return isCompleted ? 0 : utf16Offset; }

    bool operator==(const ReadingProgress&) const = default;
};

void writeJson(JsonWriter& writer, const ReadingProgress& progress);
Decoded<ReadingProgress> decodeJson(const JsonValue& value, const JsonPath& path, std::type_identity<ReadingProgress>);

}  // namespace tavrine
