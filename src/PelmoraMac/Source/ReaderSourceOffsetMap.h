#pragma once

#include "ReaderCore/TextRange.h"

#include <QList>

namespace tavrine {

// Positions of the ordinary view's text document against offsets of the source text, both ways.
//
// They differ in two places: the text document keeps CR LF as one paragraph break (one position for two
// units), and each grid table takes one position more than its cells' text (a mark before its first cell,
// the cells' closing line feeds becoming the marks between cells and after the last). Everything that
// crosses the text document (selection, highlights, hit tests, the visible character) goes through one
// map; copy and search read the source text, never the document's plain text.
class ReaderSourceOffsetMap {
public:
    // The identity over a text of that length.
    explicit ReaderSourceOffsetMap(qsizetype sourceLength = 0);

    qsizetype sourceLength() const { return m_sourceLength; }

    // The document position of a source offset (clamped to 0...sourceLength). Never decreasing; the LF
    // of a CR LF pair has the position of its CR.
    qsizetype toDocument(qsizetype offset) const;
    // The first source offset whose position is at or after position: a CR LF break gives its CR, a
    // table's leading mark the table's first unit; a position past the text gives sourceLength.
    qsizetype toSource(qsizetype position) const;

    TextRange toDocument(TextRange range) const { return {toDocument(range.lowerBound), toDocument(range.upperBound)}; }
    TextRange toSource(TextRange range) const { return {toSource(range.lowerBound), toSource(range.upperBound)}; }

    // From offset on (until the next break) units map one to one from position on. Breaks are added in
    // increasing order of offset.
    void addBreak(qsizetype offset, qsizetype position);

    bool operator==(const ReaderSourceOffsetMap&) const = default;

private:
    struct Segment {
        qsizetype offset = 0;
        qsizetype position = 0;
        bool operator==(const Segment&) const = default;
    };

    // The last position of segment i (that of its last unit; for the last segment, of the text's end).
    qsizetype lastPosition(qsizetype i) const;

    QList<Segment> m_segments{{0, 0}};
    qsizetype m_sourceLength = 0;
};

}  // namespace tavrine
