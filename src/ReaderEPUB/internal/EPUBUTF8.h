#pragma once

#include "ReaderCore/Characters.h"

#include <QByteArray>
#include <QByteArrayView>
#include <QString>

#include <optional>

namespace tavrine {

// The text of bytes that are strict UTF-8 (decodeUTF8Strictly) and do not begin with a byte-order mark,
// which a reader of the name would drop.
inline std::optional<QString> decodeUTF8Exactly(QByteArrayView bytes) {
    if (bytes.startsWith("\xEF\xBB\xBF")) return std::nullopt;
    return decodeUTF8Strictly(bytes);
}

// Appends the UTF-8 form of one Unicode scalar value.
inline void appendUTF8(QByteArray& out, char32_t c) {
    if (c < 0x80) {
        out.append(char(c));
    } else if (c < 0x800) {
        out.append(char(0xC0 | (c >> 6)));
        out.append(char(0x80 | (c & 0x3F)));
    } else if (c < 0x10000) {
        out.append(char(0xE0 | (c >> 12)));
        out.append(char(0x80 | ((c >> 6) & 0x3F)));
        out.append(char(0x80 | (c & 0x3F)));
    } else {
        out.append(char(0xF0 | (c >> 18)));
        out.append(char(0x80 | ((c >> 12) & 0x3F)));
        out.append(char(0x80 | ((c >> 6) & 0x3F)));
        out.append(char(0x80 | (c & 0x3F)));
    }
}

}  // namespace tavrine
