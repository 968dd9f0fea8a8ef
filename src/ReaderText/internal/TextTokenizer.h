#pragma once

#include "ReaderCore/TextRange.h"

#include <QStringView>

#include <vector>

namespace tavrine::internal {

// Sentences and words of a text, from ICU's break iterators. Each thread keeps its own iterators and
// points them at every new text, since opening one costs far more than a short text takes to analyse.
// Ranges are UTF-16 offsets into the text passed in; each call replaces what ranges held (callers keep
// one vector per thread, so a long text costs no allocation per line).

enum class TokenizerLanguage { japanese, english };

// The sentences, tiling the text (trailing spaces belong to the sentence before them).
void sentenceRanges(QStringView text, std::vector<TextRange>& ranges);

// The words, in order: letters, numbers, kana and ideographs, never spaces, punctuation or symbols.
// Japanese runs are cut by ICU's dictionary.
void wordRanges(QStringView text, TokenizerLanguage language, std::vector<TextRange>& ranges);

}  // namespace tavrine::internal
