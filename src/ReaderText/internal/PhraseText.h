#pragma once

#include "ReaderCore/Characters.h"
#include "ReaderCore/ReadingChunk.h"

#include <QList>
#include <QString>
#include <QStringView>

#include <vector>

namespace tavrine::internal {

// Scalar-level text rules that both segmenters share. Whitespace is the Unicode White_Space property
// (spaces, tabs and every line separator); punctuation is the general category P*.

// The scalars whose Character is a line break: LF, VT, FF, CR, NEL, LINE and PARAGRAPH SEPARATOR.
// Each of them always begins a Character of its own (CR LF being the one pair).
constexpr bool isLineBreakScalar(char32_t c) {
    return (c >= 0x0A && c <= 0x0D) || c == 0x85 || c == 0x2028 || c == 0x2029;
}

// The UTF-16 units of a scalar (a lone surrogate counts as one).
constexpr qsizetype scalarLength(char32_t c) {
    return c > 0xFFFF ? 2 : 1;
}

// The scalar that ends just before offset (a lone surrogate is returned as itself).
inline char32_t codePointBefore(QStringView text, qsizetype offset) {
    const char16_t unit = text[offset - 1].unicode();
    if (QChar::isLowSurrogate(unit) && offset >= 2) {
        const char16_t high = text[offset - 2].unicode();
        if (QChar::isHighSurrogate(high)) return QChar::surrogateToUcs4(high, unit);
    }
    return unit;
}

QStringView trimmedOfWhitespace(QStringView text);
QStringView trimmedOfWhitespaceAndPunctuation(QStringView text);

// Characters of a text trimmed of whitespace and punctuation at both ends: the length by which phrases
// of ordinary text are grouped.
qsizetype trimmedLength(QStringView text);

// The boundary that the last visible mark of a phrase gives once whitespace and closing quotes and
// brackets are trimmed: a full stop, exclamation or question mark ends a sentence, a comma, semicolon or
// colon ends a clause. The mark must be a Character of its own ("。" followed by a combining mark is not).
ReadingChunk::Boundary punctuationBoundary(QStringView phrase);

// A chunk with this boundary is the last of its sentence: the next one starts a new sentence index.
constexpr bool closesSentence(ReadingChunk::Boundary boundary) {
    return boundary == ReadingChunk::Boundary::sentence || boundary == ReadingChunk::Boundary::paragraph;
}

// Whether a phrase shows nothing: every scalar is white space (no-break and ideographic spaces
// included), a control character or one that is ignored by default (zero-width spaces and joiners,
// soft hyphens, variation selectors). The empty text shows nothing.
bool showsNothing(QStringView text);

// The chunks of text that end at ends (ascending, the last at the text's end), each with the boundary
// that boundaryOf(start, end) gives it and its sentence index counted along the list. A phrase that
// shows nothing is never a chunk of its own: it joins the phrase before it, or the one after it at the
// start of the text; only a text that shows nothing at all is one such chunk.
template <typename BoundaryOf>
QList<ReadingChunk> chunksEndingAt(const QString& text, const std::vector<qsizetype>& ends, BoundaryOf boundaryOf) {
    std::vector<qsizetype> kept;
    kept.reserve(ends.size());
    qsizetype start = 0;
    for (const qsizetype end : ends) {
        if (!showsNothing(QStringView(text).sliced(start, end - start))) {
            kept.push_back(end);
        } else if (!kept.empty()) {
            kept.back() = end;
        }
        start = end;
    }
    if (kept.empty() && !ends.empty()) kept.push_back(ends.back());
    // A phrase that showed nothing at the end of the text was joined to the one before it; its end is
    // the text's.
    QList<ReadingChunk> chunks;
    chunks.reserve(static_cast<qsizetype>(kept.size()));
    start = 0;
    qsizetype sentenceIndex = 0;
    for (const qsizetype end : kept) {
        const ReadingChunk::Boundary boundary = boundaryOf(start, end);
        chunks.append({{start, end}, text.mid(start, end - start), sentenceIndex, boundary});
        if (closesSentence(boundary)) ++sentenceIndex;
        start = end;
    }
    return chunks;
}

}  // namespace tavrine::internal
