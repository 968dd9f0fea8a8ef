#include "PelmoraMac/Source/ReaderArticleTextStorage.h"

#include "PelmoraMac/Source/ReaderArticleStyle.h"
#include "ReaderCore/MainThread.h"
#include "ReaderCore/Paragraphs.h"

#include <algorithm>

namespace tavrine {
namespace {

using Kind = ReadingDocument::Span::Kind;

bool isTableKind(Kind kind) {
    return kind == Kind::table || kind == Kind::tableCell || kind == Kind::tableHeader;
}

}  // namespace

ReaderArticleTextStorage::ReaderArticleTextStorage(ReadingDocument document, double pointSize)
    : m_document(std::move(document)), m_breaks(m_document.text), m_pointSize(pointSize) {
    Q_ASSERT(isMainThread());
    if (!m_document.isValid()) return;
    m_validSpans = m_document.spans;
    m_tables = ReaderArticleStyle::gridTables(m_document, pointSize);
    for (const ReaderGridTable& table : m_tables) m_cells.append(table.cells);
    std::ranges::stable_sort(m_cells, {}, [](const ReaderGridCell& cell) { return cell.span.start; });
}

qsizetype ReaderArticleTextStorage::boundary(qsizetype chunk) const {
    const qsizetype nominal = chunk * kChunkLength;
    if (nominal >= length()) return length();
    if (chunk == 0) return 0;
    const TextRange sequence = m_breaks.composedCharacterSequence(nominal);
    // A sequence that also holds the chunk's own nominal start is longer than a chunk: it ends here.
    return sequence.lowerBound > nominal - kChunkLength ? sequence.lowerBound : sequence.upperBound;
}

TextRange ReaderArticleTextStorage::chunkRange(qsizetype chunk) const {
    return {boundary(chunk), boundary(chunk + 1)};
}

qsizetype ReaderArticleTextStorage::chunkHolding(qsizetype location) const {
    Q_ASSERT(location >= 0 && location < length());
    qsizetype chunk = location / kChunkLength;
    // Moved boundaries put a location at most a few chunks away from its nominal one.
    while (location < boundary(chunk)) --chunk;
    while (location >= boundary(chunk + 1)) ++chunk;
    return chunk;
}

ReaderArticleTextStorage::Chunk ReaderArticleTextStorage::prepare(qsizetype chunk) {
    Q_ASSERT(isMainThread());
    const TextRange range = chunkRange(chunk);
    ReadingDocument part{
        .sections = std::nullopt, .text = source().sliced(range.lowerBound, range.length()), .spans = {}};
    for (const ReadingDocument::Span& span : m_validSpans) {
        if (isTableKind(span.kind)) continue;
        const qsizetype start = std::max(span.start, range.lowerBound);
        const qsizetype end = std::min(span.end, range.upperBound);
        if (start >= end) continue;
        part.spans.append(
            {.kind = span.kind, .start = start - range.lowerBound, .end = end - range.lowerBound, .level = span.level});
    }
    Chunk prepared{.range = range, .styled = ReaderArticleStyle::attributedString(part, m_pointSize)};
    m_minimumWidth = std::max(m_minimumWidth, ReaderArticleStyle::minimumWidth(part, m_pointSize, &prepared.styled));
    return prepared;
}

const ReaderArticleTextStorage::Chunk& ReaderArticleTextStorage::prepared(qsizetype chunk) {
    auto cached = m_cache.find(chunk);
    if (cached == m_cache.end()) cached = m_cache.insert(chunk, prepare(chunk));
    m_recency.removeOne(chunk);
    m_recency.append(chunk);
    while (m_recency.size() > kCachedChunks) m_cache.remove(m_recency.takeFirst());
    // Eviction above never drops the chunk just used, but it may rehash: look it up afresh.
    return *m_cache.constFind(chunk);
}

qsizetype ReaderArticleTextStorage::firstCellEndingAfter(qsizetype location) const {
    const auto found =
        std::ranges::upper_bound(m_cells, location, {}, [](const ReaderGridCell& cell) { return cell.span.end; });
    return std::distance(m_cells.begin(), found);
}

std::optional<ReaderGridCell> ReaderArticleTextStorage::cell(qsizetype location) const {
    const qsizetype index = firstCellEndingAfter(location);
    if (index == m_cells.size() || m_cells[index].span.start > location) return std::nullopt;
    return m_cells[index];
}

ReaderTextAttributes ReaderArticleTextStorage::attributes(qsizetype location, TextRange* effectiveRange) {
    if (location < 0 || location >= length()) {
        if (effectiveRange) *effectiveRange = {location, location};
        return {};
    }
    const Chunk& chunk = prepared(chunkHolding(location));
    TextRange run;
    ReaderTextAttributes attributes = chunk.styled.attributes(location - chunk.range.lowerBound, &run);
    run = run.shifted(chunk.range.lowerBound);

    const qsizetype index = firstCellEndingAfter(location);
    if (index < m_cells.size()) {
        const ReaderGridCell& cell = m_cells[index];
        if (cell.span.start > location) {
            run.upperBound = std::min(run.upperBound, cell.span.start);
        } else {
            ReaderArticleStyle::applyCellParagraph(attributes.paragraph, m_pointSize);
            if (cell.isHeader()) ReaderArticleStyle::makeBold(attributes.character);
            run = run.clamped(cell.span.start, cell.span.end);
            attributes.cell = cell;
        }
    }
    if (effectiveRange) *effectiveRange = run;
    return attributes;
}

ReaderAttributedString ReaderArticleTextStorage::attributedSubstring(TextRange range) {
    range = range.clamped(0, length());
    ReaderAttributedString result{
        .text = source().sliced(range.lowerBound, range.length()), .runs = {}, .paragraphs = {}, .tables = {}};
    for (qsizetype position = range.lowerBound; position < range.upperBound;) {
        TextRange run;
        const ReaderTextAttributes attributes = this->attributes(position, &run);
        const qsizetype runEnd = std::min(run.upperBound, range.upperBound);
        if (runEnd <= position) break;
        const int start = static_cast<int>(position - range.lowerBound);
        result.runs.append({start, static_cast<int>(runEnd - position), attributes.character});
        // Runs never cross a paragraph end, so a run that starts at or after the last one starts the next.
        if (result.paragraphs.isEmpty() || result.paragraphs.last().range.upperBound <= start) {
            const qsizetype end = std::min(paragraphEnd(source(), position), range.upperBound);
            result.paragraphs.append({{start, end - range.lowerBound}, attributes.paragraph});
        }
        position = runEnd;
    }
    for (const ReaderGridTable& table : m_tables) {
        if (table.span.start < range.lowerBound || table.span.end > range.upperBound) continue;
        ReaderGridTable shifted = table;
        shifted.span.start -= range.lowerBound;
        shifted.span.end -= range.lowerBound;
        for (ReaderGridCell& cell : shifted.cells) {
            cell.table -= range.lowerBound;
            cell.span.start -= range.lowerBound;
            cell.span.end -= range.lowerBound;
        }
        result.tables.append(std::move(shifted));
    }
    return result;
}

}  // namespace tavrine
