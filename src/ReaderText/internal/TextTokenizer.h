#pragma once

#include "ReaderCore/TextRange.h"

#include <QList>
#include <QStringView>

namespace tavrine::internal {

// Sentences and words of a text, from ICU's break iterators. Each thread keeps its own iterators and
// points them at every new text, since opening one costs far more than a short text takes to analyse.
// Ranges are UTF-16 offsets into the text passed in.

enum class TokenizerLanguage { japanese, english };

// The sentences, tiling the text (trailing spaces belong to the sentence before them).
QList<TextRange> sentenceRanges(QStringView text);

// The words, in order: letters, numbers, kana and ideographs, never spaces, punctuation or symbols.
// Japanese runs are cut by ICU's dictionary.
QList<TextRange> wordRanges(QStringView text, TokenizerLanguage language);

}  // namespace tavrine::internal
