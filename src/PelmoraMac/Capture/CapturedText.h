#pragma once

#include <QList>
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

// Whether a character is one that a web browser draws, and gives as the text, in place of each character
// of text that its page masks: the bullet, white bullet and black square of -webkit-text-security's disc,
// circle and square (U+2022, U+25E6, U+25A0), one per character the reader sees. Nothing else is: black
// and white circles (●, ○), stars and crosses written in a text are the text's own.
bool isBrowserMaskCharacter(QChar character);

// A text read from a web page that cannot tell which of its characters the page masks (a page read over the
// accessibility bus, where masked text is nothing but these characters and is marked in no other way) with
// every such character taken out but those at the places `clearMarks` gives (ascending: marks known to be
// the page's own text), and how many units were taken. A masked character alone is one of them, so each one
// goes, however short its run. White space around a run taken out becomes one space inside a line and
// nothing at its ends, as the page script leaves it.
struct UnmaskedText {
    QString text;
    qsizetype maskedUnits = 0;
};
UnmaskedText withoutBrowserMasks(const QString& text, const QList<qsizetype>& clearMarks = {});

}  // namespace tavrine
