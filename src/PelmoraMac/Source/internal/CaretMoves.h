#pragma once

#include "PelmoraMac/Source/ReaderArticleTextStorage.h"
#include "ReaderCore/TextRange.h"

#include <QChar>

namespace tavrine::CaretMoves {

// Word moves and double-click word selection look this far around the caret: a move never looks further,
// however long the run without a stop.
inline constexpr qsizetype kWordWindow = 256;

// A line feed, a carriage return or a paragraph separator: the caret stays before it at a line's end.
inline bool isLineBreak(QChar character) {
    return character == u'\n' || character == u'\r' || character == QChar(0x2029);
}

// The offset after the composed character sequence at offset (the text's end at or past it), and the
// start of the one before offset (0 at or before the start): the caret never lands inside a sequence.
qsizetype characterAfter(const ReaderArticleTextStorage& text, qsizetype offset);
qsizetype characterBefore(const ReaderArticleTextStorage& text, qsizetype offset);

// The start of the next or the previous word from offset, as Ctrl with an arrow moves: a move stops where
// something other than white space starts (a word or punctuation) or at a line break. With no stop inside
// the window, the window's edge, kept off the inside of a composed character sequence and never offset
// itself while there is text to move over.
qsizetype wordStart(const ReaderArticleTextStorage& text, qsizetype offset, bool forward);

// The word that holds offset (0 <= offset < length) inside its paragraph, as a double click selects it;
// at most a window's length on each side of offset.
TextRange wordAround(const ReaderArticleTextStorage& text, TextRange paragraph, qsizetype offset);

// Where End puts the caret on a visual line: its end, but before the line break that ends it.
qsizetype lineEnd(const ReaderArticleTextStorage& text, TextRange line);

}  // namespace tavrine::CaretMoves
