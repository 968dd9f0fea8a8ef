#pragma once

#include <QString>
#include <QStringView>

namespace tavrine {

// A name from outside (a file name, a path, a key of a stored file, a display's name) made safe to show in
// a line of a terminal or of a notice: every control character (C0, DEL, C1), line and paragraph
// separator and bidirectional embedding, override or isolate is written as an escape, "\x1B" below U+0100
// and "\u202E" above, so that nothing in the name moves the cursor, starts a terminal sequence, breaks the
// line or turns the text around. Everything else is kept as it is.
QString escapingControlCharacters(QStringView text);

// A name or title drawn on one line of the window (a list row, the toolbar, a confirmation, a sheet, a
// window title), whatever it came from: a file name, a book's metadata, a captured page. Each run of
// white space that holds a line break (CR LF, LF, VT, FF, CR, NEL, U+2028, U+2029) or a tab becomes one
// space, since a title broken over lines (as a book's metadata often is) reads as words; every other
// character that escapingControlCharacters escapes is escaped as it does, so that an override cannot turn
// the name round behind the user's back ("photo\u202Egpj.txt" is not drawn as "phototxt.jpg"). The name
// thus reads on one line in the order it is stored. Only what is drawn changes; stored text stays as it is.
QString oneLineText(QStringView text);

}  // namespace tavrine
