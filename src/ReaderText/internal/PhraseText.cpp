#include "ReaderText/internal/PhraseText.h"

#include "ReaderCore/Characters.h"

#include <unicode/uchar.h>

#include <array>

namespace tavrine::internal {
namespace {

// The general category P* of ASCII, one bit per scalar, taken from ICU once: most scalars that phrases
// are trimmed of are ASCII.
struct AsciiPunctuation {
    std::array<bool, 128> marks{};
    AsciiPunctuation() {
        for (char32_t c = 0; c < 128; ++c) marks[c] = u_ispunct(static_cast<UChar32>(c)) != 0;
    }
};

bool isPunctuation(char32_t c) {
    static const AsciiPunctuation ascii;
    if (c < 128) return ascii.marks[c];
    return u_ispunct(static_cast<UChar32>(c)) != 0;
}

// The nine closing quotes and brackets that may follow the mark that ends a phrase.
constexpr bool isClosingMark(char16_t c) {
    switch (c) {
    case u'"':
    case u'\'':
    case u')':
    case u']':
    case u'\u2019':
    case u'\u201D':
    case u'\u300D':
    case u'\u300F':
    case u'\uFF09': return true;
    default: return false;
    }
}

constexpr bool endsSentence(char16_t c) {
    return c == u'。' || c == u'！' || c == u'？' || c == u'.' || c == u'!' || c == u'?';
}

constexpr bool endsClause(char16_t c) {
    return c == u'、' || c == u'，' || c == u',' || c == u';' || c == u'；' || c == u':' || c == u'：';
}

template <typename Predicate>
QStringView trimmedScalars(QStringView text, Predicate drop) {
    qsizetype start = 0;
    qsizetype end = text.size();
    while (start < end) {
        const char32_t c = codePointAt(text, start);
        if (!drop(c)) break;
        start += scalarLength(c);
    }
    while (end > start) {
        const char32_t c = codePointBefore(text, end);
        if (!drop(c)) break;
        end -= scalarLength(c);
    }
    return text.sliced(start, end - start);
}

}  // namespace

bool showsNothing(QStringView text) {
    for (qsizetype i = 0; i < text.size();) {
        const char32_t c = codePointAt(text, i);
        i += scalarLength(c);
        if (isWhitespace(c)) continue;
        const auto scalar = static_cast<UChar32>(c);
        if (u_charType(scalar) == U_CONTROL_CHAR || u_hasBinaryProperty(scalar, UCHAR_DEFAULT_IGNORABLE_CODE_POINT)) {
            continue;
        }
        return false;
    }
    return true;
}

QStringView trimmedOfWhitespace(QStringView text) {
    return trimmedScalars(text, [](char32_t c) { return isWhitespace(c); });
}

QStringView trimmedOfWhitespaceAndPunctuation(QStringView text) {
    return trimmedScalars(text, [](char32_t c) { return isWhitespace(c) || isPunctuation(c); });
}

qsizetype trimmedLength(QStringView text) {
    return characterCount(trimmedOfWhitespaceAndPunctuation(text));
}

ReadingChunk::Boundary punctuationBoundary(QStringView phrase) {
    QStringView rest = trimmedOfWhitespace(phrase);
    while (!rest.isEmpty() && isClosingMark(rest.front().unicode())) rest = rest.sliced(1);
    while (!rest.isEmpty() && isClosingMark(rest.back().unicode())) rest.chop(1);
    if (rest.isEmpty()) return ReadingChunk::Boundary::none;

    const char16_t last = rest.back().unicode();
    ReadingChunk::Boundary boundary = ReadingChunk::Boundary::none;
    if (endsSentence(last)) {
        boundary = ReadingChunk::Boundary::sentence;
    } else if (endsClause(last)) {
        boundary = ReadingChunk::Boundary::clause;
    } else {
        return boundary;
    }
    // The mark is a Character of its own unless a prepended concatenation mark (as in Arabic number
    // signs) joins it to the scalar before: no other rule of extended grapheme clusters can keep these
    // marks from starting a Character.
    if (rest.size() > 1) {
        const char32_t before = codePointBefore(rest, rest.size() - 1);
        if (u_getIntPropertyValue(static_cast<UChar32>(before), UCHAR_GRAPHEME_CLUSTER_BREAK) == U_GCB_PREPEND) {
            return ReadingChunk::Boundary::none;
        }
    }
    return boundary;
}

}  // namespace tavrine::internal
