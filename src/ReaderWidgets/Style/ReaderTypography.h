#pragma once

#include <QFont>
#include <QString>

namespace tavrine {

// The reading font: the face of the phrase display, of the phrase width the chunker fits to, and the
// family of the reader's other texts. Sizes are in logical pixels (a size of N points is N pixels).
// Every function may be called from any thread: each returns a new font that shares nothing with fonts
// of other threads.
class ReaderTypography {
public:
    ReaderTypography() = delete;

    // The size of the reference font that phrases are fitted to, and the display's default size.
    static constexpr double kDefaultReadingSize = 34;

    // "Noto Sans CJK JP" when it is installed, else the family of the desktop's default font.
    static QString readingFontFamily();

    // The reading family at size (rounded to a whole pixel, at least 1; a size that is not finite gives
    // the default size), medium weight requested. Where the family has no medium face, the nearest one
    // is used.
    static QFont readingFont(double size);

    static QFont defaultReadingFont() { return readingFont(kDefaultReadingSize); }
};

}  // namespace tavrine
