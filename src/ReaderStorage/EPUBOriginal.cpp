#include "ReaderStorage/EPUBOriginal.h"

#include "ReaderStorage/internal/PathNames.h"

#include "ReaderStorage/internal/Sha256.h"

namespace tavrine {
namespace {
using namespace Qt::StringLiterals;

constexpr qsizetype kDigestLength = 64;

// 0-9, a-f, A-F and their fullwidth forms.
bool isHexDigit(char16_t c) {
    const auto in = [c](char16_t low, char16_t high) { return c >= low && c <= high; };
    return in(u'0', u'9') || in(u'a', u'f') || in(u'A', u'F') || in(0xFF10, 0xFF19) || in(0xFF21, 0xFF26) ||
           in(0xFF41, 0xFF46);
}

}  // namespace

bool EPUBOriginal::isValid() const {
    if (!isFileNameWithExtension(filename, u"epub")) return false;
    if (byteCount < 1 || byteCount > kByteLimit) return false;
    if (sha256.size() != kDigestLength) return false;
    return std::all_of(sha256.cbegin(), sha256.cend(), [](QChar c) { return isHexDigit(c.unicode()); });
}

QString sha256Hex(QByteArrayView bytes) {
    Sha256 digest;
    digest.add(bytes);
    return QString::fromLatin1(digest.result().toHex());
}

void writeJson(JsonWriter& writer, const EPUBOriginal& original) {
    JsonObjectWriter(writer)
        .field(u"byteCount", original.byteCount)
        .field(u"filename", original.filename)
        .field(u"sha256", original.sha256);
}

Decoded<EPUBOriginal> decodeJson(const JsonValue& value, const JsonPath& path, std::type_identity<EPUBOriginal>) {
    JsonObjectDecoder decoder(value, path);
    EPUBOriginal original;
    original.filename = decoder.required<QString>(u"filename");
    original.byteCount = decoder.required<qint64>(u"byteCount");
    original.sha256 = decoder.required<QString>(u"sha256");
    return decoder.finish(std::move(original));
}

}  // namespace tavrine
