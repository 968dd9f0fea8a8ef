#include "ReaderCore/Characters.h"

#include "ReaderCore/internal/CharacterScan.h"

#include <QStringDecoder>

#include <unicode/ubrk.h>
#include <unicode/uchar.h>

#include <algorithm>
#include <bit>
#include <utility>

namespace tavrine {
namespace {
using internal::LazyCharacterIterator;
using internal::scanCharacterBoundaries;

// Offsets analysed at once by CharacterBreaks: a multiple of 64, so a block is whole words of bits.
constexpr qsizetype kBlockLength = 4096;
// A few queries that the scalars cannot settle go to ICU one by one before their block is analysed whole:
// the analysis pays only for many queries (a segmenter's walk), not for a few scattered ones (a
// document's section boundaries).
constexpr std::uint8_t kDirectQueriesPerBlock = 64;

// The iterator of a CharacterBreaks, opened on first need and kept for its later blocks.
struct OwnedIterator {
    UBreakIterator*& iterator;
    QStringView text;
    UBreakIterator* get() {
        if (!iterator) iterator = internal::openCharacterIterator(text);
        return iterator;
    }
};

}  // namespace

CharacterBreaks::CharacterBreaks(const QString& text)
    : m_text(text),
      m_bits(static_cast<std::size_t>(text.size() / 64 + 1), 0),
      m_analysedBlocks(static_cast<std::size_t>(text.size() / kBlockLength + 1), false),
      m_directQueries(m_analysedBlocks.size(), 0) {
    // The ends are boundaries whatever the text holds.
    m_bits[0] |= 1;
    m_bits[static_cast<std::size_t>(text.size() >> 6)] |= std::uint64_t{1} << (text.size() & 63);
}

CharacterBreaks::~CharacterBreaks() {
    closeIterator();
}

CharacterBreaks::CharacterBreaks(CharacterBreaks&& other) noexcept
    : m_text(std::move(other.m_text)),
      m_bits(std::move(other.m_bits)),
      m_analysedBlocks(std::move(other.m_analysedBlocks)),
      m_directQueries(std::move(other.m_directQueries)),
      m_iterator(std::exchange(other.m_iterator, nullptr)) {}

CharacterBreaks& CharacterBreaks::operator=(CharacterBreaks&& other) noexcept {
    if (this != &other) {
        closeIterator();
        // ICU reads the buffer in place; moving a QString keeps its buffer, so the iterator stays valid.
        m_text = std::move(other.m_text);
        m_bits = std::move(other.m_bits);
        m_analysedBlocks = std::move(other.m_analysedBlocks);
        m_directQueries = std::move(other.m_directQueries);
        m_iterator = std::exchange(other.m_iterator, nullptr);
    }
    return *this;
}

void CharacterBreaks::closeIterator() {
    if (m_iterator) ubrk_close(m_iterator);
    m_iterator = nullptr;
}

void CharacterBreaks::analyseBlockOf(qsizetype offset) const {
    const auto block = static_cast<std::size_t>(offset / kBlockLength);
    if (m_analysedBlocks[block]) return;
    m_analysedBlocks[block] = true;
    const qsizetype from = std::max<qsizetype>(1, static_cast<qsizetype>(block) * kBlockLength);
    const qsizetype to = std::min(m_text.size(), static_cast<qsizetype>(block + 1) * kBlockLength);
    OwnedIterator icu{m_iterator, m_text};
    std::uint64_t* bits = m_bits.data();
    scanCharacterBoundaries(m_text, from, to, icu, [bits](qsizetype boundary) {
        bits[boundary >> 6] |= std::uint64_t{1} << (boundary & 63);
        return true;
    });
}

internal::Join CharacterBreaks::localJoinAt(qsizetype offset) const {
    if (offset <= 0 || offset >= m_text.size()) return internal::Join::boundary;
    return internal::joinAt(m_text, offset, internal::InertUnits::shared());
}

bool CharacterBreaks::asksICUDirectly(qsizetype offset) const {
    const auto block = static_cast<std::size_t>(offset / kBlockLength);
    if (m_analysedBlocks[block] || m_directQueries[block] >= kDirectQueriesPerBlock) return false;
    ++m_directQueries[block];
    return true;
}

UBreakIterator* CharacterBreaks::iterator() const {
    OwnedIterator icu{m_iterator, m_text};
    return icu.get();
}

bool CharacterBreaks::isBoundary(qsizetype offset) const {
    if (offset < 0 || offset > m_text.size()) return false;
    // Most offsets are settled by the scalars around them, without the block's analysis.
    if (const auto join = localJoinAt(offset); join != internal::Join::unknown) return join == internal::Join::boundary;
    if (asksICUDirectly(offset)) return ubrk_isBoundary(iterator(), static_cast<int32_t>(offset)) != 0;
    analyseBlockOf(offset);
    return bit(offset);
}

qsizetype CharacterBreaks::next(qsizetype offset) const {
    if (offset >= m_text.size()) return m_text.size();
    if (offset < 0) return 0;
    // A few steps settled by the scalars alone, the usual way to the next boundary.
    for (qsizetype candidate = offset + 1; candidate <= offset + 4; ++candidate) {
        const auto join = localJoinAt(candidate);
        if (join == internal::Join::boundary) return candidate;
        if (join != internal::Join::unknown) continue;
        if (asksICUDirectly(candidate)) {
            const int32_t result = ubrk_following(iterator(), static_cast<int32_t>(offset));
            return result == UBRK_DONE ? m_text.size() : result;
        }
        break;
    }
    // The end of the text is always marked, so the walk stops there at the latest.
    for (qsizetype candidate = offset + 1;;) {
        analyseBlockOf(candidate);
        const qsizetype blockEnd = std::min(m_text.size() + 1, (candidate / kBlockLength + 1) * kBlockLength);
        while (candidate < blockEnd) {
            const std::uint64_t word = m_bits[static_cast<std::size_t>(candidate >> 6)] >> (candidate & 63);
            if (word != 0) return candidate + std::countr_zero(word);
            candidate = (candidate | 63) + 1;
        }
    }
}

qsizetype CharacterBreaks::previous(qsizetype offset) const {
    if (offset <= 0) return 0;
    if (offset > m_text.size()) return m_text.size();
    for (qsizetype candidate = offset - 1; candidate >= offset - 4; --candidate) {
        const auto join = localJoinAt(candidate);
        if (join == internal::Join::boundary) return candidate;
        if (join != internal::Join::unknown) continue;
        if (asksICUDirectly(candidate)) {
            // ICU first moves an offset between the halves of a surrogate pair back to the pair's start and
            // then looks before that, so it would skip a boundary at the pair's start.
            const bool insidePair =
                offset < m_text.size() && m_text.at(offset).isLowSurrogate() && m_text.at(offset - 1).isHighSurrogate();
            if (insidePair && isBoundary(offset - 1)) return offset - 1;
            const int32_t result = ubrk_preceding(iterator(), static_cast<int32_t>(offset));
            return result == UBRK_DONE ? 0 : result;
        }
        break;
    }
    // Offset 0 is always marked, so the walk stops there at the latest.
    for (qsizetype candidate = offset - 1;;) {
        analyseBlockOf(candidate);
        const qsizetype blockStart = candidate / kBlockLength * kBlockLength;
        while (candidate >= blockStart) {
            const int shift = 63 - static_cast<int>(candidate & 63);
            const std::uint64_t word = m_bits[static_cast<std::size_t>(candidate >> 6)] << shift;
            if (word != 0) return candidate - std::countl_zero(word);
            candidate = (candidate & ~qsizetype{63}) - 1;
        }
    }
}

qsizetype CharacterBreaks::characterStart(qsizetype offset) const {
    return isBoundary(offset) ? offset : previous(offset);
}

bool CharacterBreaks::startsWithCombiningMark(qsizetype offset) const {
    return (U_GET_GC_MASK(codePointAt(m_text, offset)) & U_GC_M_MASK) != 0;
}

TextRange CharacterBreaks::composedCharacterSequence(qsizetype offset) const {
    Q_ASSERT(offset >= 0 && offset < m_text.size());
    qsizetype start = characterStart(offset);
    while (start > 0 && startsWithCombiningMark(start)) start = previous(start);
    qsizetype end = next(offset);
    while (end < m_text.size() && startsWithCombiningMark(end)) end = next(end);
    return {start, end};
}

qsizetype characterCount(QStringView text) {
    // Printable ASCII never joins its neighbours: one unit, one Character.
    if (std::all_of(text.begin(), text.end(), [](QChar c) { return c.unicode() >= 0x20 && c.unicode() <= 0x7E; })) {
        return text.size();
    }
    LazyCharacterIterator icu(text, /*shared=*/true);
    qsizetype characters = 1;  // the one that ends at the end of the text
    scanCharacterBoundaries(text, 1, text.size(), icu, [&](qsizetype) {
        ++characters;
        return true;
    });
    return characters;
}

bool forEachCharacter(QStringView text, const std::function<bool(TextRange)>& visit) {
    if (text.isEmpty()) return true;
    // An iterator of its own, if one is needed: visit may count Characters, which re-points the shared one.
    LazyCharacterIterator icu(text, /*shared=*/false);
    qsizetype start = 0;
    const bool finished = scanCharacterBoundaries(text, 1, text.size(), icu, [&](qsizetype boundary) {
        const TextRange character{start, boundary};
        start = boundary;
        return visit(character);
    });
    return finished && visit({start, text.size()});
}

QString firstCharacters(const QString& text, qsizetype count) {
    // Every Character takes at least one unit, so a text no longer than count needs no analysis.
    if (text.size() <= count) return text;
    if (count <= 0) return QString();
    LazyCharacterIterator icu(text, /*shared=*/true);
    qsizetype taken = 0;
    qsizetype end = text.size();
    scanCharacterBoundaries(text, 1, text.size(), icu, [&](qsizetype boundary) {
        if (++taken < count) return true;
        end = boundary;
        return false;
    });
    return text.left(end);
}

bool isNonASCIIWhitespace(char32_t c) {
    return u_isUWhiteSpace(static_cast<UChar32>(c)) != 0;
}

bool isBlank(QStringView text) {
    // No white-space scalar lies outside the Basic Multilingual Plane, so a unit-wise test is exact: a
    // surrogate means there is text.
    return std::all_of(text.begin(), text.end(), [](QChar c) { return isWhitespace(c.unicode()); });
}

CharacterLengthCheck checkCharacterLengths(QStringView text, const CancellationToken& cancellation) {
    if (text.size() <= kWholeTextLimit) return CharacterLengthCheck::passed;
    LazyCharacterIterator icu(text, /*shared=*/false);
    auto result = CharacterLengthCheck::passed;
    qsizetype start = 0;
    auto check = [&](qsizetype boundary) {
        if (cancellation.isCancelled()) {
            result = CharacterLengthCheck::cancelled;
        } else if (boundary - start > kCharacterUTF16Limit) {
            result = CharacterLengthCheck::overlongCharacter;
        }
        start = boundary;
        return result == CharacterLengthCheck::passed;
    };
    if (scanCharacterBoundaries(text, 1, text.size(), icu, check)) check(text.size());
    return result;
}

std::optional<QString> decodeUTF8Strictly(QByteArrayView bytes) {
    QStringDecoder decoder(QStringConverter::Utf8,
                           QStringConverter::Flag::Stateless | QStringConverter::Flag::ConvertInitialBom);
    QString text = decoder.decode(bytes);
    if (decoder.hasError()) return std::nullopt;
    return text;
}

bool isStrictUTF8Of(QByteArrayView bytes, QStringView text) {
    const auto* in = reinterpret_cast<const unsigned char*>(bytes.data());
    const unsigned char* const end = in + bytes.size();
    const char16_t* units = text.utf16();
    const char16_t* const unitsEnd = units + text.size();
    const auto continuation = [](unsigned char c) { return (c & 0xC0) == 0x80; };
    while (in < end) {
        const unsigned char c = *in;
        if (c < 0x80) {
            if (units == unitsEnd || *units != c) return false;
            ++in;
            ++units;
            continue;
        }
        // The well-formed sequences of the Unicode standard (table 3-7): no overlong form, no encoded
        // surrogate, nothing past U+10FFFF, nothing cut off.
        char32_t scalar = 0;
        if (c >= 0xC2 && c <= 0xDF) {
            if (end - in < 2 || !continuation(in[1])) return false;
            scalar = ((c & 0x1F) << 6) | (in[1] & 0x3F);
            in += 2;
        } else if (c >= 0xE0 && c <= 0xEF) {
            if (end - in < 3 || !continuation(in[1]) || !continuation(in[2])) return false;
            if ((c == 0xE0 && in[1] < 0xA0) || (c == 0xED && in[1] > 0x9F)) return false;
            scalar = ((c & 0x0F) << 12) | ((in[1] & 0x3F) << 6) | (in[2] & 0x3F);
            in += 3;
        } else if (c >= 0xF0 && c <= 0xF4) {
            if (end - in < 4 || !continuation(in[1]) || !continuation(in[2]) || !continuation(in[3])) return false;
            if ((c == 0xF0 && in[1] < 0x90) || (c == 0xF4 && in[1] > 0x8F)) return false;
            scalar = ((c & 0x07) << 18) | ((in[1] & 0x3F) << 12) | ((in[2] & 0x3F) << 6) | (in[3] & 0x3F);
            in += 4;
        } else {
            return false;
        }
        if (QChar::requiresSurrogates(scalar)) {
            if (unitsEnd - units < 2 || units[0] != QChar::highSurrogate(scalar) ||
                units[1] != QChar::lowSurrogate(scalar)) {
                return false;
            }
            units += 2;
        } else {
            if (units == unitsEnd || *units != scalar) return false;
            ++units;
        }
    }
    return units == unitsEnd;
}

}  // namespace tavrine
