#include "ReaderText/internal/TextTokenizer.h"

#include <unicode/ubrk.h>

#include <memory>

namespace tavrine::internal {
namespace {

struct IteratorCloser {
    void operator()(UBreakIterator* iterator) const { ubrk_close(iterator); }
};
using Iterator = std::unique_ptr<UBreakIterator, IteratorCloser>;

Iterator openIterator(UBreakIteratorType type, const char* locale) {
    UErrorCode status = U_ZERO_ERROR;
    Iterator iterator(ubrk_open(type, locale, nullptr, 0, &status));
    if (U_FAILURE(status)) qFatal("ICU break iterator for %s unavailable: %s", locale, u_errorName(status));
    return iterator;
}

UBreakIterator* pointedAt(UBreakIterator* iterator, QStringView text) {
    UErrorCode status = U_ZERO_ERROR;
    ubrk_setText(iterator, reinterpret_cast<const UChar*>(text.utf16()), static_cast<int32_t>(text.size()), &status);
    if (U_FAILURE(status)) qFatal("ICU break iterator rejected a text: %s", u_errorName(status));
    return iterator;
}

}  // namespace

void sentenceRanges(QStringView text, std::vector<TextRange>& ranges) {
    thread_local Iterator sentences = openIterator(UBRK_SENTENCE, "");
    UBreakIterator* iterator = pointedAt(sentences.get(), text);
    ranges.clear();
    qsizetype start = ubrk_first(iterator);
    for (int32_t end = ubrk_next(iterator); end != UBRK_DONE; end = ubrk_next(iterator)) {
        ranges.push_back({start, end});
        start = end;
    }
}

void wordRanges(QStringView text, TokenizerLanguage language, std::vector<TextRange>& ranges) {
    thread_local Iterator japanese = openIterator(UBRK_WORD, "ja");
    thread_local Iterator english = openIterator(UBRK_WORD, "en");
    UBreakIterator* iterator =
        pointedAt(language == TokenizerLanguage::japanese ? japanese.get() : english.get(), text);
    ranges.clear();
    qsizetype start = ubrk_first(iterator);
    for (int32_t end = ubrk_next(iterator); end != UBRK_DONE; end = ubrk_next(iterator)) {
        // Spaces, punctuation and symbols come back with the "none" status: they are not words.
        if (ubrk_getRuleStatus(iterator) >= UBRK_WORD_NONE_LIMIT) ranges.push_back({start, end});
        start = end;
    }
}

}  // namespace tavrine::internal
