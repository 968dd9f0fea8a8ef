#pragma once

#include <QString>

#include <cstdint>

namespace tavrine::bench {

// The text of the book 草枕 from the shared sample EPUB, spine document after spine document, one line
// per paragraph, ruby readings left out. Empty when the book is not beside the project.
QString kusamakuraText();

// Plain English prose made from a fixed vocabulary: sentences of varied length with commas, questions,
// quotations, numbers, the odd compound ("read/write", "C++", "cost+benefit") and URL, in paragraphs
// separated by blank lines. The same seed gives the same text.
QString englishProse(qsizetype length, std::uint32_t seed);

// text repeated until it is exactly length units long, never ending inside a surrogate pair.
QString repeatedTo(const QString& text, qsizetype length);

}  // namespace tavrine::bench
