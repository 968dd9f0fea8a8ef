#pragma once

#include "ReaderCore/TextRange.h"

#include <QString>

namespace tavrine {

// One phrase shown alone in the display, with the kind of break that follows it.
struct ReadingChunk {
    enum class Boundary {
        none,       // the phrase continues its clause
        clause,     // ends in a comma, semicolon or colon
        sentence,   // ends a sentence
        paragraph,  // a line break follows
    };

    // UTF-16 range in the text the chunk was cut from (in whole-document offsets once handed to playback).
    TextRange sourceRange;
    QString text;
    // The sentence the chunk belongs to: the number of sentence- and paragraph-ending chunks before it in
    // one segmented list, so it never decreases along a list.
    qsizetype sentenceIndex = 0;
    Boundary boundary = Boundary::none;

    bool operator==(const ReadingChunk&) const = default;
};

}  // namespace tavrine
