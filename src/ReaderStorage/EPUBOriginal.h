#pragma once

#include "ReaderCore/Json.h"

#include <QByteArrayView>
#include <QString>

namespace tavrine {

// The record by which a stored reading refers to the copy of its EPUB file that the store keeps in its
// originals folder: the user's file name, the length and the SHA-256 digest of the bytes. A plain value;
// building or decoding one checks nothing, isValid() checks its form and the store verifies the file.
struct EPUBOriginal {
    // The largest EPUB file the library takes (32 MiB).
    static constexpr qint64 kByteLimit = 33'554'432;

    QString filename;
    qint64 byteCount = 0;
    // 64 lower-case hexadecimal digits, as sha256Hex() writes them.
    QString sha256;

    // A bare file name ending in ".epub" (any case), 1 to kByteLimit bytes and 64 hexadecimal digits
    // (either case, fullwidth forms included). Only a lower-case digest can match the file afterwards.
    bool isValid() const;

    bool operator==(const EPUBOriginal&) const = default;
};

// The SHA-256 digest of bytes as 64 lower-case hexadecimal digits, two per byte in order.
QString sha256Hex(QByteArrayView bytes);

void writeJson(JsonWriter& writer, const EPUBOriginal& original);
Decoded<EPUBOriginal> decodeJson(const JsonValue& value, const JsonPath& path, std::type_identity<EPUBOriginal>);

}  // namespace tavrine
