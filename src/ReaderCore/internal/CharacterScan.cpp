#include "ReaderCore/internal/CharacterScan.h"

#include <QChar>

#include <unicode/uchar.h>

#include <memory>

namespace tavrine::internal {
namespace {

bool hasInertBreakClass(char32_t c) {
    switch (u_getIntPropertyValue(static_cast<UChar32>(c), UCHAR_GRAPHEME_CLUSTER_BREAK)) {
    case U_GCB_OTHER:
    case U_GCB_CONTROL:
    case U_GCB_CR:
    case U_GCB_LF:
    case U_GCB_LV:
    case U_GCB_LVT: return true;
    default: return false;
    }
}

struct IteratorCloser {
    void operator()(UBreakIterator* iterator) const { ubrk_close(iterator); }
};

UBreakIterator* pointAt(UBreakIterator* iterator, QStringView text) {
    UErrorCode status = U_ZERO_ERROR;
    ubrk_setText(iterator, reinterpret_cast<const UChar*>(text.utf16()), static_cast<int32_t>(text.size()), &status);
    if (U_FAILURE(status)) qFatal("ICU character break iterator rejected a text: %s", u_errorName(status));
    return iterator;
}

// One iterator per thread for short texts: re-pointing it at a new text is far cheaper than opening one.
UBreakIterator* sharedIterator(QStringView text) {
    thread_local std::unique_ptr<UBreakIterator, IteratorCloser> iterator(openCharacterIterator(u""));
    return pointAt(iterator.get(), text);
}

}  // namespace

InertUnits::InertUnits() {
    for (char32_t c = 0; c <= 0xFFFF; ++c) {
        if (!QChar::isSurrogate(c) && hasInertBreakClass(c)) m_bits[c >> 6] |= std::uint64_t{1} << (c & 63);
    }
}

const InertUnits& InertUnits::shared() {
    static const InertUnits units;
    return units;
}

bool isInertScalar(char32_t c) {
    if (c <= 0xFFFF) return InertUnits::shared().contains(static_cast<char16_t>(c));
    return c <= 0x10FFFF && hasInertBreakClass(c);
}

Join joinAroundSurrogates(QStringView text, qsizetype offset, const InertUnits& inert) {
    const char16_t before = text[offset - 1].unicode();
    const char16_t after = text[offset].unicode();
    if (QChar::isHighSurrogate(before) && QChar::isLowSurrogate(after)) return Join::inside;

    bool beforeIsInert = inert.contains(before);
    if (QChar::isLowSurrogate(before)) {
        if (offset < 2 || !QChar::isHighSurrogate(text[offset - 2].unicode())) return Join::unknown;
        beforeIsInert = isInertScalar(QChar::surrogateToUcs4(text[offset - 2].unicode(), before));
    }
    if (!beforeIsInert) return Join::unknown;
    if (QChar::isHighSurrogate(after)) {
        if (offset + 1 >= text.size() || !QChar::isLowSurrogate(text[offset + 1].unicode())) return Join::unknown;
        return isInertScalar(QChar::surrogateToUcs4(after, text[offset + 1].unicode())) ? Join::boundary
                                                                                        : Join::unknown;
    }
    return inert.contains(after) ? Join::boundary : Join::unknown;
}

UBreakIterator* openCharacterIterator(QStringView text) {
    UErrorCode status = U_ZERO_ERROR;
    UBreakIterator* iterator = ubrk_open(UBRK_CHARACTER, "", reinterpret_cast<const UChar*>(text.utf16()),
                                         static_cast<int32_t>(text.size()), &status);
    if (U_FAILURE(status)) qFatal("ICU character break iterator unavailable: %s", u_errorName(status));
    return iterator;
}

LazyCharacterIterator::~LazyCharacterIterator() {
    if (m_iterator && !m_shared) ubrk_close(m_iterator);
}

UBreakIterator* LazyCharacterIterator::get() {
    if (!m_iterator) m_iterator = m_shared ? sharedIterator(m_text) : openCharacterIterator(m_text);
    return m_iterator;
}

}  // namespace tavrine::internal
