#pragma once

#include "PelmoraMac/Source/ReaderAttributedString.h"
#include "ReaderCore/Characters.h"
#include "ReaderCore/ReadingDocument.h"

#include <QHash>
#include <QList>

#include <optional>

namespace tavrine {

// The styled text of a long document, styled lazily: its characters are the document's and never
// change; its attributes are those the article typography gives, computed 4,096 units (a chunk) at a
// time when first asked for, of which the six most recently used chunks stay in memory. Grid tables
// (those that pass the grid check) are styled cell by cell as each cell is asked for. One document and
// one point size for its whole life. Main thread only; owned by the view or storage that shows it.
//
// Chunk n covers the units from boundary n to boundary n + 1, where boundary n is n × 4,096 (or the text's
// end) moved back to the start of the composed character sequence that holds it. Chunks so tile the text
// and never split a sequence. A sequence longer than 4,096 units would leave a chunk empty: the chunk
// that holds its start extends to its end instead (the chunks after it, up to that end, are empty), so
// every location inside the text is served by a non-empty chunk.
//
// Each chunk is styled as a document of its own (the spans cut to it, table spans left out), so a span
// that crosses a chunk boundary is styled on both sides; the styling of grid cells comes on top.
class ReaderArticleTextStorage {
public:
    static constexpr qsizetype kChunkLength = 4'096;
    static constexpr qsizetype kCachedChunks = 6;

    ReaderArticleTextStorage(ReadingDocument document, double pointSize);
    ReaderArticleTextStorage(const ReaderArticleTextStorage&) = delete;
    ReaderArticleTextStorage& operator=(const ReaderArticleTextStorage&) = delete;

    const ReadingDocument& document() const { return m_document; }
    const QString& source() const { return m_document.text; }
    qsizetype length() const { return m_document.text.size(); }
    double pointSize() const { return m_pointSize; }
    // The document's spans when it is valid, else none.
    const QList<ReadingDocument::Span>& validSpans() const { return m_validSpans; }
    // Every cell of every grid table, sorted by start; the cells do not overlap.
    const QList<ReaderGridCell>& cells() const { return m_cells; }
    // The widest minimum width of any chunk styled so far (points); 0 before the first.
    double minimumWidth() const { return m_minimumWidth; }

    // The composed character sequence that holds offset (0 <= offset < length()), from one analysis of
    // the text kept for the storage's life.
    TextRange composedCharacterSequence(qsizetype offset) const { return m_breaks.composedCharacterSequence(offset); }

    TextRange chunkRange(qsizetype chunk) const;
    // The chunk whose range holds location (0 <= location < length()).
    qsizetype chunkHolding(qsizetype location) const;

    // The attributes at location and the range over which they hold (within one chunk, one paragraph
    // and one character run; a run never crosses into or out of a grid cell). Inside a grid cell the
    // paragraph format is that of a cell paragraph, the cell is named, and a header cell's font is bold.
    // A location outside the text has no attributes and the empty range at that location.
    ReaderTextAttributes attributes(qsizetype location, TextRange* effectiveRange = nullptr);

    // The characters of range with their runs and paragraph formats (cut to range); the grid tables that
    // lie wholly inside it, shifted with it. An empty or outside range gives an empty string.
    ReaderAttributedString attributedSubstring(TextRange range);

    // The grid cell that holds location, if any.
    std::optional<ReaderGridCell> cell(qsizetype location) const;

    // The chunks in memory, least recently used first.
    const QList<qsizetype>& cachedChunks() const { return m_recency; }

private:
    struct Chunk {
        TextRange range;
        ReaderAttributedString styled;
    };

    qsizetype boundary(qsizetype chunk) const;
    const Chunk& prepared(qsizetype chunk);
    Chunk prepare(qsizetype chunk);
    // The index of the first cell that ends after location (m_cells.size() when none does).
    qsizetype firstCellEndingAfter(qsizetype location) const;

    ReadingDocument m_document;
    CharacterBreaks m_breaks;
    double m_pointSize = 0;
    QList<ReadingDocument::Span> m_validSpans;
    QList<ReaderGridCell> m_cells;
    QList<ReaderGridTable> m_tables;
    double m_minimumWidth = 0;
    QHash<qsizetype, Chunk> m_cache;
    QList<qsizetype> m_recency;
};

}  // namespace tavrine
