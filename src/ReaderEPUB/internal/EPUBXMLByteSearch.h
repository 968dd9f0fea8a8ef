#pragma once

#include <QByteArrayView>
#include <cstring>

namespace tavrine {

// The first occurrence of `needle` in `haystack` at or after `from`, or -1. The C library's search,
// several times faster than QByteArrayView::indexOf on the megabytes of a book's documents. A needle
// longer than what remains is not searched for: an empty document has no characters to point at, and
// the C library may not be handed its null pointer.
inline qsizetype findBytes(QByteArrayView haystack, QByteArrayView needle, qsizetype from = 0) {
    if (from < 0 || from > haystack.size() || needle.size() > haystack.size() - from) return -1;
    if (needle.isEmpty()) return from;
    const void* found =
        memmem(haystack.data() + from, std::size_t(haystack.size() - from), needle.data(), std::size_t(needle.size()));
    return found ? static_cast<const char*>(found) - haystack.data() : -1;
}

}  // namespace tavrine
