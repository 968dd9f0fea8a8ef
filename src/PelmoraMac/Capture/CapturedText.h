#pragma once

#include <QString>
#include <QStringView>

namespace tavrine {

// The object replacement character: where another application's text holds an object (an image, or in a
// web page a link, a paragraph or any other element) in place of that object's own text. It stands for
// something the user sees, never for text to read.
inline constexpr char16_t kObjectReplacementCharacter = u'\uFFFC';

// Whether a captured text leaves nothing to read: it holds only white space, line breaks and object
// replacement characters (the empty text too). Such a text counts as nothing read, whatever road it came by.
bool holdsNothingToRead(QStringView text);

// The text without its object replacement characters.
QString withoutObjectReplacements(QString text);

}  // namespace tavrine
