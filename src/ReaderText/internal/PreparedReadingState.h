#pragma once

#include "ReaderCore/CancellationToken.h"
#include "ReaderCore/Characters.h"
#include "ReaderCore/ReadingChunk.h"
#include "ReaderCore/ReadingDocument.h"
#include "ReaderCore/ReadingSourceWindow.h"
#include "ReaderText/ConnectorPhraseRefiner.h"
#include "ReaderText/PreparedReading.h"
#include "ReaderText/TextSegmenting.h"

#include <QHash>
#include <QList>
#include <QString>
#include <tl/expected.hpp>

#include <memory>
#include <optional>

namespace tavrine::internal {

// The mutable heart of a prepared reading: partition starts, the cache of chunked pieces and the
// sentence walks across pieces. Plain synchronous code; the prepared reading runs every call on its own
// thread, so nothing here is touched by two threads at once.
class PreparedReadingState {
public:
    template <typename T>
    using Result = tl::expected<T, PreparedReadingFailure>;

    // How far a partition start may move back to follow a line or sentence end.
    static constexpr qsizetype kBackSearch = 256;

    PreparedReadingState(QString text, QList<ReadingDocument::Section> sections, ConnectorPhraseRefiner::Width width,
                         double maximumWidth, std::shared_ptr<const TextSegmenting> segmenter,
                         CancellationToken lifetime);

    // The start of partition k: its nominal start moved back, within kBackSearch units, to just after the
    // last line break, or failing one the last sentence end, space or tab; never inside a composed
    // character sequence. Memoised. Partition 0 starts at 0, partitions past the end at length().
    qsizetype partitionStart(qsizetype k);
    // The highest partition that starts at or before offset (clamped into the text).
    qsizetype partitionIndex(qsizetype offset);

    // The chunks of the piece that holds offset: its partition, narrowed to the section that holds it.
    Result<QList<ReadingChunk>> chunksAround(qsizetype offset, const CancellationToken& token);
    // The chunks of the piece from ..< to, from the cache (keyed by `from` alone) or freshly segmented and
    // refined; ranges are whole-text offsets. With endsSection the last chunk ends a paragraph. A blank
    // piece is one chunk. A cancelled call leaves the cache as it was.
    Result<QList<ReadingChunk>> chunks(qsizetype from, qsizetype to, bool endsSection, const CancellationToken& token);
    // The chunk that holds offset; none at or past the end of the text.
    Result<std::optional<ReadingChunk>> chunkAt(qsizetype offset, const CancellationToken& token);
    // The first chunk of the sentence of a chunk of this reading, searched across pieces. A chunk that is
    // not one of this reading's comes back as it is.
    Result<ReadingChunk> sentenceStart(const ReadingChunk& chunk, const CancellationToken& token);
    // The start of the next sentence after offset (forward), or of the sentence that holds offset, or
    // the one before when offset already starts one (backward). Forward gives offset itself when no
    // sentence ends before the end of the text; backward gives 0 at the first sentence.
    Result<qsizetype> sentenceOffset(qsizetype offset, bool forward, const CancellationToken& token);

    ReadingSourceWindow sourceWindow(const ReadingDocument& document, qsizetype offset);
    qsizetype cachedPieceCount() const { return m_cache.size(); }

private:
    // The chunks of the piece that holds a chunk, and the chunk's place among them: none when the piece
    // does not hold exactly that chunk. Looks at cancellation first.
    struct PlacedChunk {
        QList<ReadingChunk> chunks;
        std::optional<qsizetype> index;
    };
    Result<PlacedChunk> place(const ReadingChunk& chunk, const CancellationToken& token);

    const CharacterBreaks& breaks();
    qsizetype backSearchCandidate(qsizetype nominal) const;
    void touch(qsizetype key);
    bool isCancelled(const CancellationToken& token) const { return token.isCancelled() || m_lifetime.isCancelled(); }

    const QString m_text;
    const QList<ReadingDocument::Section> m_sections;
    const qsizetype m_partitionLength;
    const ConnectorPhraseRefiner::Width m_width;
    const double m_maximumWidth;
    const std::shared_ptr<const TextSegmenting> m_segmenter;
    const CancellationToken m_lifetime;

    // The Character analysis of the whole text, made on first need.
    std::optional<CharacterBreaks> m_breaks;
    QHash<qsizetype, qsizetype> m_boundaries;
    QHash<qsizetype, QList<ReadingChunk>> m_cache;
    // The cache keys, least recently used first.
    QList<qsizetype> m_recency;
};

}  // namespace tavrine::internal
