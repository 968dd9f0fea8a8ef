#pragma once

#include "ReaderCore/ReadingChunk.h"

#include <QList>
#include <QStringView>

#include <functional>

namespace tavrine {

// Splits phrases that are too wide for the display at the connectors of compound tokens: just after each
// "+", "＋", "/" or "／" of a token such as "日本語＋英語" or "input/output+cache". A segmenter keeps such a
// token in one phrase; this refiner cuts it only when the phrase is wider than the maximum width. Tokens
// that overlap a URL are never cut, and a token whose only connector is the ASCII "/" is not a compound.
// Stateless; safe to call from any thread (the width function runs on the caller's thread).
struct ConnectorPhraseRefiner {
    // The displayed width of a phrase, in the unit of the maximum width.
    using Width = std::function<double(QStringView)>;

    // The chunks, whose ranges are offsets into text (the text they were segmented from), with every
    // chunk wider than maximumWidth split at the break offsets strictly inside it. The pieces of a chunk
    // tile its range and keep its sentence index; only the last keeps its boundary, the others have none.
    // Without any break offset in text the chunks come back unchanged and nothing is measured.
    static QList<ReadingChunk> refine(const QList<ReadingChunk>& chunks, QStringView text, const Width& width,
                                      double maximumWidth);

    // The UTF-16 offsets just after the connectors of the compound tokens of text, ascending.
    static QList<qsizetype> breakOffsets(QStringView text);

    // One step of refine: the chunk, or its pieces when it is too wide. cursor indexes breaks and only moves
    // forward; pass the chunks of one text in order with one cursor.
    static QList<ReadingChunk> refit(const ReadingChunk& chunk, qsizetype& cursor, const QList<qsizetype>& breaks,
                                     const Width& width, double maximumWidth);
};

}  // namespace tavrine
