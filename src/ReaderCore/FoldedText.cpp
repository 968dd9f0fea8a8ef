#include "ReaderCore/FoldedText.h"

#include <algorithm>

namespace tavrine {
namespace {

// How much is folded between two looks at the cancellation token.
constexpr qsizetype kFoldStep = 16'384;

}  // namespace

FoldedText::FoldedText(const QString& source, SearchFold fold) : m_source(source), m_fold(fold) {}
FoldedText::FoldedText(FoldedText&&) noexcept = default;
FoldedText& FoldedText::operator=(FoldedText&&) noexcept = default;
FoldedText::~FoldedText() = default;

void FoldedText::reserveFolded(qsizetype extra) {
    const qsizetype needed = m_foldedLength + extra;
    if (m_folded.size() >= needed) return;
    // Folds are rarely longer than their source: grow to the rest of the source, or geometrically.
    const qsizetype rest = m_source.size() - m_sourceFolded;
    m_folded.resize(std::max({needed, m_foldedLength + rest, m_folded.size() * 3 / 2}));
}

void FoldedText::foldTo(qsizetype sourceOffset) {
    const qsizetype until = std::min(sourceOffset, m_source.size());
    while (m_sourceFolded < until) {
        reserveFolded(until - m_sourceFolded);
        auto* out = reinterpret_cast<char16_t*>(m_folded.data()) + m_foldedLength;
        const qsizetype stopped = m_fold.foldSimpleRun(m_source, m_sourceFolded, until, out);
        m_foldedLength += stopped - m_sourceFolded;
        m_sourceFolded = stopped;
        if (m_sourceFolded < until) foldSequenceAt(m_sourceFolded);
    }
    if (isComplete()) {
        m_breaks.reset();
        m_folded.truncate(m_foldedLength);
    }
}

bool FoldedText::foldAll(const CancellationToken& token) {
    while (!isComplete()) {
        if (token.isCancelled()) return false;
        foldTo(m_sourceFolded + kFoldStep);
    }
    return true;
}

void FoldedText::foldSequenceAt(qsizetype offset) {
    if (!m_breaks) m_breaks = std::make_unique<CharacterBreaks>(m_source);
    // offset is a boundary of the walk; clamp in case the analysis ever disagrees, so no unit folds twice.
    const TextRange sequence{offset, m_breaks->composedCharacterSequence(offset).upperBound};
    const QString folded = m_fold.foldSequence(QStringView(m_source).sliced(sequence.lowerBound, sequence.length()));
    reserveFolded(folded.size());
    std::copy(folded.cbegin(), folded.cend(), m_folded.begin() + m_foldedLength);
    if (sequence.length() != 1 || folded.size() != 1)
        m_pieces.push_back({sequence.lowerBound, sequence.length(), m_foldedLength, folded.size()});
    m_foldedLength += folded.size();
    m_sourceFolded = sequence.upperBound;
}

TextRange FoldedText::sourceOfFoldedUnit(qsizetype foldedOffset) const {
    Q_ASSERT(foldedOffset >= 0 && foldedOffset < m_foldedLength);
    // The last piece that starts at or before the unit; pieces that fold to nothing share their start
    // with what follows them, so the last of them is the one that can hold the unit.
    const auto after =
        std::upper_bound(m_pieces.begin(), m_pieces.end(), foldedOffset,
                         [](qsizetype offset, const Piece& piece) { return offset < piece.foldedStart; });
    if (after == m_pieces.begin()) return {foldedOffset, foldedOffset + 1};
    const Piece& piece = *std::prev(after);
    if (foldedOffset < piece.foldedStart + piece.foldedLength)
        return {piece.sourceStart, piece.sourceStart + piece.sourceLength};
    // One-to-one units since the end of that piece.
    const qsizetype source =
        piece.sourceStart + piece.sourceLength + (foldedOffset - piece.foldedStart - piece.foldedLength);
    return {source, source + 1};
}

TextRange FoldedText::sourceRange(TextRange foldedRange) const {
    Q_ASSERT(!foldedRange.isEmpty() && foldedRange.upperBound <= m_foldedLength);
    return {sourceOfFoldedUnit(foldedRange.lowerBound).lowerBound,
            sourceOfFoldedUnit(foldedRange.upperBound - 1).upperBound};
}

qsizetype FoldedText::foldedOffset(qsizetype sourceOffset) const {
    Q_ASSERT(sourceOffset >= 0 && sourceOffset <= m_sourceFolded);
    const auto after =
        std::upper_bound(m_pieces.begin(), m_pieces.end(), sourceOffset,
                         [](qsizetype offset, const Piece& piece) { return offset < piece.sourceStart; });
    if (after == m_pieces.begin()) return sourceOffset;
    const Piece& piece = *std::prev(after);
    if (sourceOffset < piece.sourceStart + piece.sourceLength) return piece.foldedStart;
    return piece.foldedStart + piece.foldedLength + (sourceOffset - piece.sourceStart - piece.sourceLength);
}

}  // namespace tavrine
