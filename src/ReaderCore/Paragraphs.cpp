#include "ReaderCore/Paragraphs.h"

namespace tavrine {
namespace {

constexpr char16_t kParagraphSeparator = 0x2029;

// Whether a separator ends just before offset.
bool endsParagraph(QStringView text, qsizetype offset) {
    const char16_t unit = text[offset - 1].unicode();
    return unit == u'\n' || unit == u'\r' || unit == kParagraphSeparator;
}

}  // namespace

qsizetype paragraphEnd(QStringView text, qsizetype offset) {
    Q_ASSERT(offset >= 0 && offset <= text.size());
    const qsizetype length = text.size();
    for (qsizetype i = offset; i < length; ++i) {
        const char16_t unit = text[i].unicode();
        if (unit == u'\n' || unit == kParagraphSeparator) return i + 1;
        if (unit == u'\r') return i + 1 < length && text[i + 1] == u'\n' ? i + 2 : i + 1;
    }
    return length;
}

TextRange paragraphRange(QStringView text, qsizetype offset) {
    Q_ASSERT(offset >= 0 && offset <= text.size());
    qsizetype start = offset;
    // The LF of a pair belongs to the paragraph its CR ends.
    if (start > 0 && start < text.size() && text[start] == u'\n' && text[start - 1] == u'\r') --start;
    while (start > 0 && !endsParagraph(text, start)) --start;
    return {start, paragraphEnd(text, offset)};
}

}  // namespace tavrine
