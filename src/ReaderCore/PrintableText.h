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

}  // namespace tavrine
