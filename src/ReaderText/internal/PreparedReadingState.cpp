#include "ReaderText/internal/PreparedReadingState.h"

#include "ReaderCore/Characters.h"
#include "ReaderText/internal/PhraseText.h"

#include <algorithm>

namespace tavrine::internal {
namespace {

// Where a partition may start just after, when no line break is near: sentence ends, space and tab.
bool isSoftBreak(char16_t unit) {
    switch (unit) {
    case u'。':
    case u'！':
    case u'？':
    case u'.':
    case u'!':
    case u'?':
    case u' ':
    case u'\t': return true;
    default: return false;
    }
}

bool holdsLineBreak(QStringView text) {
    return std::any_of(text.begin(), text.end(), [](QChar c) { return isLineBreakScalar(c.unicode()); });
}

// The index of the chunk with exactly this range in a list that tiles a piece.
std::optional<qsizetype> indexOf(const QList<ReadingChunk>& chunks, const TextRange& range) {
    const auto it = std::lower_bound(chunks.begin(), chunks.end(), range.lowerBound,
                                     [](const ReadingChunk& c, qsizetype o) { return c.sourceRange.lowerBound < o; });
    if (it == chunks.end() || it->sourceRange != range) return std::nullopt;
    return it - chunks.begin();
}

}  // namespace

PreparedReadingState::PreparedReadingState(QString text, QList<ReadingDocument::Section> sections,
                                           ConnectorPhraseRefiner::Width width, double maximumWidth,
                                           std::shared_ptr<const TextSegmenting> segmenter, CancellationToken lifetime)
    : m_text(std::move(text)),
      m_sections(std::move(sections)),
      m_partitionLength(m_text.size() <= kWholeTextLimit && m_sections.isEmpty() ? std::max<qsizetype>(m_text.size(), 1)
                                                                                 : PreparedReading::kPartitionSize),
      m_width(std::move(width)),
      m_maximumWidth(maximumWidth),
      m_segmenter(std::move(segmenter)),
      m_lifetime(std::move(lifetime)) {
    Q_ASSERT(m_width && m_segmenter);
}

const CharacterBreaks& PreparedReadingState::breaks() {
    if (!m_breaks) m_breaks.emplace(m_text);
    return *m_breaks;
}

qsizetype PreparedReadingState::backSearchCandidate(qsizetype nominal) const {
    const qsizetype floor = nominal - std::min(nominal, kBackSearch);
    for (qsizetype i = nominal - 1; i >= floor; --i)
        if (isLineBreakScalar(m_text.at(i).unicode())) return i + 1;
    for (qsizetype i = nominal - 1; i >= floor; --i)
        if (isSoftBreak(m_text.at(i).unicode())) return i + 1;
    return nominal;
}

qsizetype PreparedReadingState::partitionStart(qsizetype k) {
    const qsizetype length = m_text.size();
    if (k < 1) return 0;
    // Checked before multiplying, so that no index overflows.
    if (k > length / m_partitionLength) return length;
    const qsizetype nominal = k * m_partitionLength;
    if (nominal >= length) return length;
    if (const auto memo = m_boundaries.constFind(k); memo != m_boundaries.constEnd()) return *memo;

    const qsizetype start = breaks().composedCharacterSequence(backSearchCandidate(nominal)).lowerBound;
    m_boundaries.insert(k, start);
    return start;
}

qsizetype PreparedReadingState::partitionIndex(qsizetype offset) {
    const qsizetype length = m_text.size();
    offset = std::clamp<qsizetype>(offset, 0, std::max<qsizetype>(length - 1, 0));
    // The nominal index is a first guess: later partitions may start before offset once moved back, and a
    // partition can even be empty when one long Character swallows it.
    qsizetype k = offset / m_partitionLength;
    while ((k + 1) * m_partitionLength < length && partitionStart(k + 1) <= offset) ++k;
    return k;
}

PreparedReadingState::Result<QList<ReadingChunk>> PreparedReadingState::chunksAround(qsizetype offset,
                                                                                     const CancellationToken& token) {
    offset = std::clamp<qsizetype>(offset, 0, std::max<qsizetype>(m_text.size() - 1, 0));
    const qsizetype k = partitionIndex(offset);
    const qsizetype partitionFrom = partitionStart(k);
    const qsizetype partitionTo = partitionStart(k + 1);

    const auto section = std::upper_bound(m_sections.begin(), m_sections.end(), offset,
                                          [](qsizetype o, const ReadingDocument::Section& s) { return o < s.end; });
    if (section == m_sections.end()) return chunks(partitionFrom, partitionTo, false, token);
    return chunks(std::max(partitionFrom, section->start), std::min(section->end, partitionTo),
                  section->end <= partitionTo, token);
}

PreparedReadingState::Result<QList<ReadingChunk>> PreparedReadingState::chunks(qsizetype from, qsizetype to,
                                                                               bool endsSection,
                                                                               const CancellationToken& token) {
    if (isCancelled(token)) return tl::unexpected(PreparedReadingFailure::cancelled);
    from = std::clamp<qsizetype>(from, 0, m_text.size());
    to = std::clamp<qsizetype>(to, 0, m_text.size());
    if (const auto cached = m_cache.constFind(from); cached != m_cache.constEnd()) {
        touch(from);
        return *cached;
    }
    if (from >= to) return QList<ReadingChunk>();

    const QString piece = m_text.sliced(from, to - from);
    QList<ReadingChunk> chunks =
        ConnectorPhraseRefiner::refine(m_segmenter->segment(piece), piece, m_width, m_maximumWidth);
    if (chunks.isEmpty()) {
        // A blank piece is still shown, so that every position of the text lies in some chunk.
        chunks.append({{0, piece.size()},
                       piece,
                       0,
                       holdsLineBreak(piece) ? ReadingChunk::Boundary::paragraph : ReadingChunk::Boundary::none});
    }
    for (ReadingChunk& chunk : chunks) chunk.sourceRange = chunk.sourceRange.shifted(from);
    if (endsSection) chunks.last().boundary = ReadingChunk::Boundary::paragraph;

    if (isCancelled(token)) return tl::unexpected(PreparedReadingFailure::cancelled);
    m_cache.insert(from, chunks);
    touch(from);
    while (m_recency.size() > PreparedReading::kCacheLimit) m_cache.remove(m_recency.takeFirst());
    return chunks;
}

void PreparedReadingState::touch(qsizetype key) {
    m_recency.removeAll(key);
    m_recency.append(key);
}

PreparedReadingState::Result<std::optional<ReadingChunk>> PreparedReadingState::chunkAt(
    qsizetype offset, const CancellationToken& token) {
    const auto chunks = chunksAround(offset, token);
    if (!chunks) return tl::unexpected(chunks.error());
    const auto it = std::upper_bound(chunks->begin(), chunks->end(), offset,
                                     [](qsizetype o, const ReadingChunk& c) { return o < c.sourceRange.upperBound; });
    if (it == chunks->end()) return std::optional<ReadingChunk>();
    return std::optional<ReadingChunk>(*it);
}

PreparedReadingState::Result<PreparedReadingState::PlacedChunk> PreparedReadingState::place(
    const ReadingChunk& chunk, const CancellationToken& token) {
    if (isCancelled(token)) return tl::unexpected(PreparedReadingFailure::cancelled);
    auto chunks = chunksAround(chunk.sourceRange.lowerBound, token);
    if (!chunks) return tl::unexpected(chunks.error());
    const auto index = indexOf(*chunks, chunk.sourceRange);
    return PlacedChunk{std::move(*chunks), index};
}

PreparedReadingState::Result<ReadingChunk> PreparedReadingState::sentenceStart(const ReadingChunk& chunk,
                                                                               const CancellationToken& token) {
    ReadingChunk current = chunk;
    while (true) {
        const auto placed = place(current, token);
        if (!placed) return tl::unexpected(placed.error());
        if (!placed->index) return current;
        for (qsizetype i = *placed->index; i > 0; --i)
            if (closesSentence(placed->chunks.at(i - 1).boundary)) return placed->chunks.at(i);

        // The sentence may have begun in an earlier piece.
        const ReadingChunk& first = placed->chunks.first();
        if (first.sourceRange.lowerBound <= 0) return first;
        const auto before = chunkAt(first.sourceRange.lowerBound - 1, token);
        if (!before) return tl::unexpected(before.error());
        // The last guard only keeps the walk moving back when sections do not tile the text.
        if (!*before || closesSentence((*before)->boundary) ||
            (*before)->sourceRange.lowerBound >= first.sourceRange.lowerBound)
            return first;
        current = **before;
    }
}

PreparedReadingState::Result<qsizetype> PreparedReadingState::sentenceOffset(qsizetype offset, bool forward,
                                                                             const CancellationToken& token) {
    const auto found = chunkAt(offset, token);
    if (!found) return tl::unexpected(found.error());
    if (!*found) return offset;
    const ReadingChunk chunk = **found;

    if (forward) {
        ReadingChunk current = chunk;
        while (true) {
            const auto placed = place(current, token);
            if (!placed) return tl::unexpected(placed.error());
            if (!placed->index) return offset;
            const QList<ReadingChunk>& chunks = placed->chunks;
            for (qsizetype i = *placed->index; i < chunks.size(); ++i) {
                if (!closesSentence(chunks.at(i).boundary)) continue;
                const qsizetype end = chunks.at(i).sourceRange.upperBound;
                return end < m_text.size() ? end : offset;
            }
            const qsizetype pieceEnd = chunks.last().sourceRange.upperBound;
            if (pieceEnd >= m_text.size()) return offset;
            const auto next = chunkAt(pieceEnd, token);
            if (!next) return tl::unexpected(next.error());
            if (!*next || (*next)->sourceRange.upperBound <= pieceEnd) return offset;
            current = **next;
        }
    }

    const auto start = sentenceStart(chunk, token);
    if (!start) return tl::unexpected(start.error());
    if (start->sourceRange.lowerBound < offset) return start->sourceRange.lowerBound;
    if (start->sourceRange.lowerBound <= 0) return 0;
    const auto before = chunkAt(start->sourceRange.lowerBound - 1, token);
    if (!before) return tl::unexpected(before.error());
    if (!*before) return 0;
    const auto previous = sentenceStart(**before, token);
    if (!previous) return tl::unexpected(previous.error());
    return previous->sourceRange.lowerBound;
}

ReadingSourceWindow PreparedReadingState::sourceWindow(const ReadingDocument& document, qsizetype offset) {
    // The analysis serves only a long document whose text is this reading's.
    const bool ownText = document.text.size() == m_text.size() &&
                         (document.text.constData() == m_text.constData() || document.text == m_text);
    const bool cut = document.text.size() > kWholeTextLimit;
    return ReadingSourceWindow::around(document, offset, ownText && cut ? &breaks() : nullptr);
}

}  // namespace tavrine::internal
