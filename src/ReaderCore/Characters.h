#pragma once

#include "ReaderCore/CancellationToken.h"
#include "ReaderCore/TextRange.h"

#include <QByteArrayView>
#include <QString>

#include <cstdint>
#include <functional>
#include <optional>
#include <vector>

struct UBreakIterator;

namespace tavrine {
namespace internal {
enum class Join : std::uint8_t;
}  // namespace internal

// Character (extended grapheme cluster) boundaries of one text: analysed once, then queried many times
// at random offsets. The text is held by a shared copy, so it outlives every query. Not thread-safe: an
// instance belongs to the thread that uses it.
//
// Most offsets are settled by the scalars on either side; the others go to ICU, one by one for the first
// few queries of a block, then by analysing the block whole, kept as one bit per offset.
//
// "Composed character sequences" are Characters too, except that a Character which begins with a
// combining mark (after a line break, say, or at a section edge) belongs to the one before it.
class CharacterBreaks {
public:
    explicit CharacterBreaks(const QString& text);
    ~CharacterBreaks();
    CharacterBreaks(CharacterBreaks&&) noexcept;
    CharacterBreaks& operator=(CharacterBreaks&&) noexcept;
    CharacterBreaks(const CharacterBreaks&) = delete;
    CharacterBreaks& operator=(const CharacterBreaks&) = delete;

    qsizetype length() const { return m_text.size(); }

    // 0 and length() are boundaries; offsets outside the text are not.
    bool isBoundary(qsizetype offset) const;
    // The first boundary after offset (length() when there is none).
    qsizetype next(qsizetype offset) const;
    // The last boundary before offset (0 when there is none).
    qsizetype previous(qsizetype offset) const;
    // The start of the Character that holds offset (offset itself when it is a boundary).
    qsizetype characterStart(qsizetype offset) const;

    // The composed character sequence that holds offset, for 0 <= offset < length().
    TextRange composedCharacterSequence(qsizetype offset) const;
    bool isComposedSequenceStart(qsizetype offset) const {
        return composedCharacterSequence(offset).lowerBound == offset;
    }

private:
    bool startsWithCombiningMark(qsizetype offset) const;
    bool bit(qsizetype offset) const { return (m_bits[offset >> 6] >> (offset & 63)) & 1; }
    // What the scalars around offset alone say (0 and length() are boundaries).
    internal::Join localJoinAt(qsizetype offset) const;
    void analyseBlockOf(qsizetype offset) const;
    // Whether a query at offset goes to ICU itself rather than to its block's analysis.
    bool asksICUDirectly(qsizetype offset) const;
    UBreakIterator* iterator() const;
    void closeIterator();

    QString m_text;
    // Bit k: offset k is a boundary, for the blocks already analysed.
    mutable std::vector<std::uint64_t> m_bits;
    mutable std::vector<bool> m_analysedBlocks;
    mutable std::vector<std::uint8_t> m_directQueries;
    // Opened on the first stretch of text whose boundaries its scalars alone cannot settle.
    mutable UBreakIterator* m_iterator = nullptr;
};

// The number of Characters of a text, as a user counts them: a family emoji of seven scalars is one,
// "か" followed by a combining voiced mark is one, CR LF is one.
qsizetype characterCount(QStringView text);

// Hands the range of each Character of text to visit, in order, in one sequential pass (much cheaper
// per Character than random access); stops, returning false, as soon as visit returns false.
bool forEachCharacter(QStringView text, const std::function<bool(TextRange)>& visit);

// The first `count` Characters of text (the whole text when it has no more), never splitting one: the
// cut that every display of a name or title makes.
QString firstCharacters(const QString& text, qsizetype count);

// The code point that starts at offset (a lone surrogate is returned as itself).
inline char32_t codePointAt(QStringView text, qsizetype offset) {
    const char16_t unit = text[offset].unicode();
    if (QChar::isHighSurrogate(unit) && offset + 1 < text.size()) {
        const char16_t low = text[offset + 1].unicode();
        if (QChar::isLowSurrogate(low)) return QChar::surrogateToUcs4(unit, low);
    }
    return unit;
}

// isWhitespace past ASCII.
bool isNonASCIIWhitespace(char32_t c);

// Whether a scalar is white space or a line break (the Unicode White_Space property): tab, U+000A to
// U+000D, U+0085 and the space, line and paragraph separators (no-break and ideographic spaces included,
// zero-width ones not). Every such scalar lies in the Basic Multilingual Plane.
inline bool isWhitespace(char32_t c) {
    if (c < 0x80) return c == 0x20 || (c >= 0x09 && c <= 0x0D);
    return isNonASCIIWhitespace(c);
}

// Whether text holds nothing but white space and line breaks (isWhitespace). The empty text is blank.
bool isBlank(QStringView text);

// A text of at most this many UTF-16 units is handled whole: it is prepared as one piece, it is its own
// source window, and the length of its Characters is never checked.
inline constexpr qsizetype kWholeTextLimit = 20'000;
// The most UTF-16 units that one Character of a longer text may hold: a Character hundreds of units
// long cannot be cut into phrases without breaking it.
inline constexpr qsizetype kCharacterUTF16Limit = 256;

enum class CharacterLengthCheck {
    passed,
    overlongCharacter,  // a Character of more than kCharacterUTF16Limit units in a long text
    cancelled,
};
// Checks the Characters of a text longer than kWholeTextLimit against kCharacterUTF16Limit, in one pass
// that looks at cancellation before each Character; a shorter text passes unread.
CharacterLengthCheck checkCharacterLengths(QStringView text,
                                           const CancellationToken& cancellation = CancellationToken::none());

// Strict UTF-8: any ill-formed sequence (overlong forms, encoded surrogates, values past U+10FFFF, a
// sequence cut off at the end) fails. A byte-order mark is kept as U+FEFF, never skipped silently: a
// caller whose format allows one drops it first.
std::optional<QString> decodeUTF8Strictly(QByteArrayView bytes);

// Whether decodeUTF8Strictly(bytes) would give exactly text, found without making the text: one pass that
// decodes and compares as it goes, stopping at the first difference.
bool isStrictUTF8Of(QByteArrayView bytes, QStringView text);

}  // namespace tavrine
