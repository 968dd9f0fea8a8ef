#pragma once

#include "ReaderCore/CancellationToken.h"
#include "ReaderCore/Characters.h"
#include "ReaderCore/SearchFold.h"
#include "ReaderCore/TextRange.h"

#include <QString>

#include <memory>
#include <vector>

namespace tavrine {

// A text folded for searching (SearchFold), with the way back from every folded unit to the composed
// character sequence of the source that it came from. Folded from the start on demand, so a search that
// finds its query early folds little. Move-only; belongs to the thread that folds it, and once complete
// (fully folded) it may be read from any thread.
class FoldedText {
public:
    FoldedText(const QString& source, SearchFold fold);
    FoldedText(FoldedText&&) noexcept;
    FoldedText& operator=(FoldedText&&) noexcept;
    ~FoldedText();

    const QString& source() const { return m_source; }
    SearchFold fold() const { return m_fold; }
    // The fold of the source up to foldedUpTo().
    QStringView folded() const { return QStringView(m_folded).first(m_foldedLength); }
    // How far the source is folded: always the end of a composed character sequence (or 0).
    qsizetype foldedUpTo() const { return m_sourceFolded; }
    bool isComplete() const { return m_sourceFolded == m_source.size(); }

    // Folds on until at least sourceOffset, stopping at the end of the sequence that reaches it.
    void foldTo(qsizetype sourceOffset);
    // Folds the rest, checking the token every few thousand units; false when it was cancelled first.
    bool foldAll(const CancellationToken& token);

    // The source range of the sequences that folded units [lowerBound, upperBound) came from: a hit in
    // the fold, widened to whole sequences of the source. The range must be folded and not empty.
    TextRange sourceRange(TextRange foldedRange) const;
    // Where the sequence of the source that starts at sourceOffset (a folded sequence boundary) begins
    // in the fold.
    qsizetype foldedOffset(qsizetype sourceOffset) const;

private:
    // A sequence whose source or fold is not exactly one unit long. All others map one unit to one
    // unit, so the map stores only these, in text order.
    struct Piece {
        qsizetype sourceStart;
        qsizetype sourceLength;
        qsizetype foldedStart;
        qsizetype foldedLength;
    };

    void foldSequenceAt(qsizetype offset);
    void reserveFolded(qsizetype extra);
    TextRange sourceOfFoldedUnit(qsizetype foldedOffset) const;

    QString m_source;
    SearchFold m_fold;
    QString m_folded;  // m_foldedLength units in use, the rest reserved
    qsizetype m_foldedLength = 0;
    qsizetype m_sourceFolded = 0;
    std::vector<Piece> m_pieces;
    // Made on the first sequence that the table cannot fold, dropped once the text is complete.
    std::unique_ptr<CharacterBreaks> m_breaks;
};

}  // namespace tavrine
