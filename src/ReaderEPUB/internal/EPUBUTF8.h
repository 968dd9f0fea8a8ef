#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QString>

#include <optional>

namespace tavrine {

// The text of bytes that decode to exactly themselves: ill-formed UTF-8, which decodes to replacement
// characters, and a leading byte-order mark, which decoding drops, change the bytes on the way back.
inline std::optional<QString> decodeUTF8Exactly(QByteArrayView bytes) {
    QString text = QString::fromUtf8(bytes);
    if (text.toUtf8() != bytes) return std::nullopt;
    return text;
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
