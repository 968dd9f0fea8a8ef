#pragma once

#include <QStringView>

namespace tavrine {

// Whether a text may name a file inside a book: every archive entry name and every resolved reference
// must pass. A safe path is relative, precomposed (NFC), free of control characters (below U+0020 and
// U+007F), of "\", ":", "?" and "#", and of "." and ".." components; only its last component may be
// empty, so a directory name ending in "/" passes while "a//b" does not.
bool isSafeArchivePath(QStringView path);

// Whether text holds a control character that no path or fragment of a book may hold: below U+0020, or
// U+007F.
bool hasControlCharacter(QStringView text);

}  // namespace tavrine
