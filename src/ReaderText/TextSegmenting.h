#pragma once

#include "ReaderCore/ReadingChunk.h"

#include <QList>
#include <QString>

namespace tavrine {

// Cuts a text into the phrase-sized chunks that the display shows one at a time.
//
// The contract every segmenter keeps: the chunks come in text order and their texts, joined, give the
// text exactly (leading whitespace, blank lines and line breaks stay inside chunks); source ranges are
// UTF-16 offsets from 0 at the start of the text and tile it; sentence indices count from 0 and grow
// after each chunk that ends a sentence or a paragraph. A blank text gives no chunk. Callers that
// segment a piece of a longer text shift the ranges themselves. Segmenters are immutable and may be
// used from any thread at once.
class TextSegmenting {
public:
    virtual ~TextSegmenting() = default;
    virtual QList<ReadingChunk> segment(const QString& text) const = 0;

protected:
    TextSegmenting() = default;
    TextSegmenting(const TextSegmenting&) = default;
    TextSegmenting& operator=(const TextSegmenting&) = default;
};

}  // namespace tavrine
