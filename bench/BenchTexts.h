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

// A long page as news sites make them: an article of about 12,000 characters, its paragraphs with links and
// emphasis in them, among some 14,000 elements: a navigation bar, a menu the page keeps hidden, a side bar
// of related stories and a footer, about 380 KB in all. `head` goes into its head after the title.
QString longNewsPage(const QString& title, const QString& head = {});

// text repeated until it is exactly length units long, never ending inside a surrogate pair.
QString repeatedTo(const QString& text, qsizetype length);

}  // namespace tavrine::bench
