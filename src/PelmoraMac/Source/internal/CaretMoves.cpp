#include "PelmoraMac/Source/internal/CaretMoves.h"

#include <QTextBoundaryFinder>

#include <algorithm>

namespace tavrine::CaretMoves {

qsizetype characterAfter(const ReaderArticleTextStorage& text, qsizetype offset) {
    if (offset >= text.length()) return text.length();
    return text.composedCharacterSequence(std::max<qsizetype>(offset, 0)).upperBound;
}

qsizetype characterBefore(const ReaderArticleTextStorage& text, qsizetype offset) {
    if (offset <= 0) return 0;
    return text.composedCharacterSequence(std::min(offset, text.length()) - 1).lowerBound;
}

qsizetype wordStart(const ReaderArticleTextStorage& text, qsizetype offset, bool forward) {
    // Word boundaries as the text engine finds them, in a window around offset.
    const qsizetype length = text.length();
    const qsizetype from = std::max<qsizetype>(offset - kWordWindow, 0);
    const qsizetype to = std::min(offset + kWordWindow, length);
    const QString window = text.source().mid(from, to - from);
    QTextBoundaryFinder words(QTextBoundaryFinder::Word, window);
    words.setPosition(static_cast<int>(offset - from));
    // A move stops where something other than white space starts, or at a line break, as the ordinary
    // view's word moves do.
    qsizetype at = 0;
    for (;;) {
        at = forward ? words.toNextBoundary() : words.toPreviousBoundary();
        if (at < 0) at = forward ? window.size() : 0;
        if (at == 0 || at == window.size()) break;
        const QChar next = window[at];
        if (!next.isSpace() || isLineBreak(next)) return from + at;
    }
    const qsizetype edge = from + at;
    if (edge <= 0 || edge >= length) return edge;
    const TextRange sequence = text.composedCharacterSequence(edge);
    return forward && sequence.lowerBound <= offset ? sequence.upperBound : sequence.lowerBound;
}

TextRange wordAround(const ReaderArticleTextStorage& text, TextRange paragraph, qsizetype offset) {
    const qsizetype from = std::max(paragraph.lowerBound, offset - kWordWindow);
    const qsizetype to = std::min(paragraph.upperBound, offset + kWordWindow);
    const QString window = text.source().mid(from, to - from);
    QTextBoundaryFinder words(QTextBoundaryFinder::Word, window);
    words.setPosition(static_cast<int>(offset - from));
    qsizetype start = offset - from;
    if (!words.isAtBoundary()) start = words.toPreviousBoundary();
    words.setPosition(static_cast<int>(offset - from));
    const qsizetype end = words.toNextBoundary();
    return {from + std::max<qsizetype>(start, 0), from + (end < 0 ? window.size() : end)};
}

qsizetype lineEnd(const ReaderArticleTextStorage& text, TextRange line) {
    if (line.isEmpty() || !isLineBreak(text.source()[line.upperBound - 1])) return line.upperBound;
    return characterBefore(text, line.upperBound);
}

}  // namespace tavrine::CaretMoves
