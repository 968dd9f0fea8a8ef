#pragma once

#include <QFont>
#include <QStringView>

namespace tavrine {

// How wide a phrase is when it is shown: the measure the chunker fits phrases to, and the widest
// Character the phrase display makes room for. Every function may be called from any thread (the
// chunking of a long reading calls width() on the prepared reading's own thread): each builds its font
// metrics where it runs and shares no font object with another thread.
class PhraseWidthMeasurer {
public:
    PhraseWidthMeasurer() = delete;

    // The typographic width (the sum of advances) of text set as one line in the default reading font.
    static double width(QStringView text);

    // The same measure in font. The font is taken by value: the copy belongs to the calling thread.
    static double width(QStringView text, QFont font);

    // The widest phrase the chunker keeps whole: eight "あ" in the default reading font, measured once.
    static double referenceWidth();

    // The room the widest Character of text needs, each Character set alone in font: the larger of its
    // advance and the right edge of its ink, less the part of the ink left of its origin. 0 for an empty
    // text. Each distinct Character is measured once per call.
    static double widestCharacterWidth(QStringView text, QFont font);
};

}  // namespace tavrine
