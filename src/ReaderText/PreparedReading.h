#pragma once

#include "ReaderCore/CancellationToken.h"
#include "ReaderCore/ReadingChunk.h"
#include "ReaderCore/ReadingDocument.h"
#include "ReaderCore/ReadingSourceWindow.h"
#include "ReaderCore/SerialExecutor.h"
#include "ReaderText/ConnectorPhraseRefiner.h"
#include "ReaderText/TextSegmenting.h"

#include <QCoro/QCoroTask>
#include <QList>
#include <QString>
#include <tl/expected.hpp>

#include <memory>
#include <optional>

namespace tavrine {

namespace internal {
class PreparedReadingState;
}

enum class PreparedReadingFailure {
    cancelled,  // the caller's token, or the reading's own end, stopped the work
};

// A long text turned into display chunks on demand. The text is divided into partitions of about
// kPartitionSize units whose starts move back to a line or sentence end. A piece is the stretch that
// one cache entry covers: the partition that holds a requested position, narrowed to its section. A
// piece is segmented and refined only when asked for, and the chunks of the last kCacheLimit pieces used
// stay cached. Chunk ranges are whole-text offsets; sentence indices restart at 0 in every piece. A text
// of at most kWholeTextLimit units (Characters.h) without sections is one partition.
//
// An actor: every operation runs on the reading's own thread, one at a time in the order asked, and is
// awaited from the caller's thread. The width function runs on that thread too. Long operations take a
// cancellation token and stop with `cancelled` at their next step; destroying the reading cancels what
// is still queued. Owned by the player, one per long reading.
class PreparedReading {
public:
    using Failure = PreparedReadingFailure;
    template <typename T>
    using Result = tl::expected<T, Failure>;

    static constexpr qsizetype kPartitionSize = 4'096;
    static constexpr qsizetype kCacheLimit = 3;

    // Prepares text with the phrase segmenter every reading uses.
    PreparedReading(QString text, QList<ReadingDocument::Section> sections, ConnectorPhraseRefiner::Width width,
                    double maximumWidth);
    PreparedReading(QString text, QList<ReadingDocument::Section> sections, ConnectorPhraseRefiner::Width width,
                    double maximumWidth, std::shared_ptr<const TextSegmenting> segmenter);
    ~PreparedReading();
    PreparedReading(const PreparedReading&) = delete;
    PreparedReading& operator=(const PreparedReading&) = delete;

    // The UTF-16 length of the text; readable from any thread.
    qsizetype length() const { return m_length; }

    // The source window of document (whose text must be this reading's) around offset, built on the
    // reading's own analysis of the text.
    QCoro::Task<ReadingSourceWindow> sourceWindow(ReadingDocument document, qsizetype offset);
    // The number of pieces in the cache.
    QCoro::Task<qsizetype> cachedPieceCount();
    QCoro::Task<qsizetype> partitionStart(qsizetype index);
    QCoro::Task<qsizetype> partitionIndex(qsizetype offset);

    // The chunks of the piece that holds offset (clamped into the text); none for an empty text.
    QCoro::Task<Result<QList<ReadingChunk>>> chunks(qsizetype around, CancellationToken token = {});
    // The chunks of the piece from ..< to; with endsSection its last chunk ends a paragraph.
    QCoro::Task<Result<QList<ReadingChunk>>> chunks(qsizetype from, qsizetype to, bool endsSection,
                                                    CancellationToken token = {});
    // The chunk that holds offset; none at or past the end of the text.
    QCoro::Task<Result<std::optional<ReadingChunk>>> chunk(qsizetype at, CancellationToken token = {});
    // The first chunk of the sentence of one of this reading's chunks, across pieces.
    QCoro::Task<Result<ReadingChunk>> sentenceStart(ReadingChunk chunk, CancellationToken token = {});
    // The start of the next sentence (forward; offset itself when none follows), or of the sentence that
    // holds offset, or of the previous one when offset already starts a sentence (backward; 0 at the first).
    QCoro::Task<Result<qsizetype>> sentenceOffset(qsizetype from, bool forward, CancellationToken token = {});

private:
    const qsizetype m_length;
    const CancellationToken m_lifetime;
    const std::shared_ptr<internal::PreparedReadingState> m_state;
    SerialExecutor m_executor;
};

}  // namespace tavrine
