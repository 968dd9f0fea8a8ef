#pragma once

#include <QStringView>

#include <unicode/ubrk.h>

#include <cstdint>

namespace tavrine::internal {

// Character boundaries without asking ICU where the scalars on both sides settle it alone.
//
// A scalar whose grapheme cluster break property is Other, Control, CR, LF, LV or LVT (a precomposed
// Hangul syllable) is "inert": no rule of extended grapheme clusters joins it to an inert scalar after
// it, except CR LF. Every joining rule needs a scalar of another class on one side: an Extend, ZWJ or
// SpacingMark after, a Prepend before, a jamo L before or V or T after, two regional indicators, a ZWJ
// before a pictograph, or a linker (an Extend) before a conjunct's consonant. So between two inert
// scalars lies a boundary, and only the stretches of text around other scalars go to ICU. Latin, kana,
// ideographs and most punctuation are inert; combining marks, joiners, variation selectors and flags are
// not.
bool isInertScalar(char32_t c);

// The inert units of the Basic Multilingual Plane, one bit each (surrogates never set): read for nearly
// every unit of every text, so it is worked out once from ICU's properties.
class InertUnits {
public:
    static const InertUnits& shared();
    bool contains(char16_t unit) const { return (m_bits[unit >> 6] >> (unit & 63)) & 1; }

private:
    InertUnits();
    std::uint64_t m_bits[0x10000 / 64] = {};
};

enum class Join : std::uint8_t { boundary, inside, unknown };

// joinAt's answer when the two units around offset are not both inert.
Join joinAroundSurrogates(QStringView text, qsizetype offset, const InertUnits& inert);

// What the scalars around offset (0 < offset < text.size()) say: a boundary, no boundary (inside a
// surrogate pair or CR LF), or unknown (a scalar that is not inert, or a lone surrogate, on either side).
inline Join joinAt(QStringView text, qsizetype offset, const InertUnits& inert) {
    const char16_t before = text[offset - 1].unicode();
    const char16_t after = text[offset].unicode();
    // The common case, two units of the Basic Multilingual Plane outside the surrogates.
    if (inert.contains(before) && inert.contains(after)) {
        return before == u'\r' && after == u'\n' ? Join::inside : Join::boundary;
    }
    return joinAroundSurrogates(text, offset, inert);
}

// The ICU character iterator over the whole text, opened on the first run of positions that the
// scalars cannot settle.
class LazyCharacterIterator {
public:
    // shared: re-point the calling thread's counting iterator instead of opening one of its own.
    LazyCharacterIterator(QStringView text, bool shared) : m_text(text), m_shared(shared) {}
    ~LazyCharacterIterator();
    LazyCharacterIterator(const LazyCharacterIterator&) = delete;
    LazyCharacterIterator& operator=(const LazyCharacterIterator&) = delete;

    UBreakIterator* get();

private:
    QStringView m_text;
    bool m_shared = false;
    UBreakIterator* m_iterator = nullptr;
};

// Opens an ICU character iterator over text (the text must outlive it).
UBreakIterator* openCharacterIterator(QStringView text);

// Calls found(offset) for every Character boundary in [from, to), in order, 0 < from <= to <=
// text.size(); stops, returning false, as soon as found returns false. icu.get() gives an ICU character
// iterator over the whole text (a LazyCharacterIterator, say), asked for only when the scalars leave a
// boundary unsettled.
template <typename Iterator, typename Found>
bool scanCharacterBoundaries(QStringView text, qsizetype from, qsizetype to, Iterator& icu, Found found) {
    const InertUnits& inert = InertUnits::shared();
    const char16_t* units = text.utf16();
    for (qsizetype offset = from; offset < to;) {
        // The common case first, with the unit before offset looked up once: a run of inert units.
        char16_t before = units[offset - 1];
        bool beforeIsInert = inert.contains(before);
        while (offset < to) {
            const char16_t after = units[offset];
            const bool afterIsInert = inert.contains(after);
            if (!(beforeIsInert && afterIsInert)) break;
            if ((before != u'\r' || after != u'\n') && !found(offset)) return false;
            before = after;
            ++offset;
        }
        if (offset == to) break;

        const Join join = joinAroundSurrogates(text, offset, inert);
        if (join == Join::boundary) {
            if (!found(offset)) return false;
            ++offset;
            continue;
        }
        if (join == Join::inside) {
            ++offset;
            continue;
        }
        // A run of unsettled positions: ICU's boundaries from its first position up to the next position
        // that the scalars settle.
        qsizetype runEnd = offset + 1;
        while (runEnd < to && joinAt(text, runEnd, inert) == Join::unknown) ++runEnd;
        UBreakIterator* iterator = icu.get();
        for (int32_t boundary = ubrk_following(iterator, static_cast<int32_t>(offset - 1));
             boundary != UBRK_DONE && boundary < runEnd; boundary = ubrk_next(iterator)) {
            if (!found(boundary)) return false;
        }
        offset = runEnd;
    }
    return true;
}

}  // namespace tavrine::internal
