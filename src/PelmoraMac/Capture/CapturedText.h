#pragma once

#include <QString>
#include <QStringView>

namespace tavrine {

// The object replacement character: where another application's text holds an object (an image, or in a
// web page a link, a paragraph or any other element) in place of that object's own text. It stands for
// something the user sees, never for text to read.
inline constexpr char16_t kObjectReplacementCharacter = u'\uFFFC';

// Whether a captured text leaves nothing to read (the empty text too). It holds only:
// - white space and line breaks;
// - control characters (C0 with NUL, DEL, C1), which draw nothing or a box;
// - characters that draw nothing (Unicode's default ignorables: zero-width space, the joiners, the word
//   joiner, bidi marks, embeddings and isolates, the byte-order mark, variation selectors, soft hyphens);
// - the replacement character U+FFFD (what undecodable bytes and an unpaired surrogate become) and the
//   object replacement character.
// Such a text counts as nothing read, whatever road it came by: a reading of it would play boxes, "�" or
// empty frames.
bool holdsNothingToRead(QStringView text);

// The text without its object replacement characters.
QString withoutObjectReplacements(QString text);

// Whether a character is one a browser or toolkit draws, on the accessibility bus too, in place of each
// character of a password field or of text that the page masks: a bullet, a black or white circle, a
// square, a bullet operator.
bool isMaskCharacter(QChar character);

// A run of two or more of one masking character stands for a secret of that length; a lone one may be a
// bullet of the text. The text with every such run taken out, and how many units were taken.
struct UnmaskedText {
    QString text;
    qsizetype maskedUnits = 0;
};
UnmaskedText withoutMaskedRuns(QString text);

}  // namespace tavrine
