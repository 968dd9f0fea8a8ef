#pragma once

#include "ReaderText/TextSegmenting.h"

#include <QStringView>

namespace tavrine {

// The segmenter every caller uses. It cuts the text into lines; a line that holds Japanese script goes
// through the BudouX phrase model, any other line through the natural-language segmenter. Line breaks
// and blank lines stay inside the chunk before them (at the very start of the text, inside the first
// chunk), so the chunks tile the text.
class BudouXSegmenter final : public TextSegmenting {
public:
    QList<ReadingChunk> segment(const QString& text) const override;

    // A scalar of kana, CJK ideographs (the BMP blocks and planes 2 and 3) or half-width katakana.
    static bool containsJapanese(QStringView text);

    // Paragraph when the phrase's trailing whitespace holds a line break; otherwise the punctuation
    // that ends it decides (sentence, clause or none).
    static ReadingChunk::Boundary boundary(QStringView phrase);
};

}  // namespace tavrine
