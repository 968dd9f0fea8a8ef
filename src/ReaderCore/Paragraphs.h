#pragma once

#include "ReaderCore/TextRange.h"

#include <QStringView>

namespace tavrine {

// Paragraphs as the source text is laid out: a paragraph ends after LF, CR, the pair CR LF (one
// separator) or U+2029 PARAGRAPH SEPARATOR, its separator included, or at the end of the text. U+0085
// (NEXT LINE) and U+2028 (LINE SEPARATOR) break lines inside a paragraph; they end none.

// The end of the paragraph that holds offset (0 <= offset <= length), its separator included.
qsizetype paragraphEnd(QStringView text, qsizetype offset);

// The paragraph that holds offset (0 <= offset <= length), its separator included. An offset between
// the CR and the LF of a pair lies in the paragraph that the pair ends; the end of a text that ends with
// a separator holds the empty paragraph after it.
TextRange paragraphRange(QStringView text, qsizetype offset);

}  // namespace tavrine
