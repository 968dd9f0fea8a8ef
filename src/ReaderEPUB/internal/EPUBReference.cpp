#include "ReaderEPUB/internal/EPUBReference.h"

#include "ReaderEPUB/internal/EPUBArchivePath.h"
#include "ReaderEPUB/internal/EPUBUTF8.h"

#include <QByteArray>
#include <QList>

namespace tavrine {
namespace {
using Error = EPUBBookReferenceError;

int hexValue(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

// Strict percent decoding: every "%" must be followed by two hexadecimal digits, and the bytes after
// decoding must be UTF-8. (QByteArray::fromPercentEncoding passes malformed escapes through silently.)
std::optional<QString> percentDecoded(QStringView text) {
    const QByteArray encoded = text.toUtf8();
    QByteArray decoded;
    decoded.reserve(encoded.size());
    for (qsizetype i = 0; i < encoded.size(); ++i) {
        if (encoded[i] != '%') {
            decoded.append(encoded[i]);
            continue;
        }
        if (i + 2 >= encoded.size()) return std::nullopt;
        const int high = hexValue(encoded[i + 1]);
        const int low = hexValue(encoded[i + 2]);
        if (high < 0 || low < 0) return std::nullopt;
        decoded.append(static_cast<char>(high * 16 + low));
        i += 2;
    }
    return decodeUTF8Exactly(decoded);
}

}  // namespace

tl::expected<EPUBResolvedReference, EPUBBookReferenceError> resolveReference(QStringView reference,
                                                                             QStringView referringPath) {
    // A lone surrogate has no UTF-8 form and cannot be decoded.
    if (!reference.isValidUtf16()) return tl::unexpected(Error::invalid);
    if (reference.contains(u'?')) return tl::unexpected(Error::invalid);
    if (reference.contains(u'\\') || reference.startsWith(u'/')) return tl::unexpected(Error::invalid);
    if (hasControlCharacter(reference)) return tl::unexpected(Error::invalid);

    const qsizetype hash = reference.indexOf(u'#');
    const QStringView pathPart = hash < 0 ? reference : reference.first(hash);
    // A scheme is only looked for before the fragment: "a.xhtml#x:y" is an ordinary reference.
    if (pathPart.contains(u':')) return tl::unexpected(Error::external);

    const std::optional<QString> decodedPath = percentDecoded(pathPart);
    if (!decodedPath) return tl::unexpected(Error::invalid);
    if (decodedPath->contains(u'\\') || decodedPath->contains(u':') || decodedPath->startsWith(u'/') ||
        decodedPath->contains(u'#') || decodedPath->contains(u'?')) {
        return tl::unexpected(Error::invalid);
    }
    // An encoded separator would let a name hide a directory step from every later check.
    const QString lowered = pathPart.toString().toLower();
    if (lowered.contains(u"%2f") || lowered.contains(u"%5c")) return tl::unexpected(Error::invalid);

    QList<QStringView> components = referringPath.split(u'/', Qt::SkipEmptyParts);
    if (!pathPart.isEmpty()) {
        if (!components.isEmpty()) components.removeLast();  // the referring file's own name
        const QStringView decoded(*decodedPath);
        for (const QStringView piece : decoded.split(u'/')) {
            if (piece == u"..") {
                if (components.isEmpty()) return tl::unexpected(Error::invalid);
                components.removeLast();
            } else if (piece == u".") {
                continue;
            } else if (piece.isEmpty()) {
                return tl::unexpected(Error::invalid);
            } else {
                components.append(piece);
            }
        }
    }

    QString path;
    for (qsizetype i = 0; i < components.size(); ++i) {
        if (i > 0) path += u'/';
        path += components[i];
    }
    if (!isSafeArchivePath(path) || path.endsWith(u'/')) return tl::unexpected(Error::invalid);

    if (hash < 0) return EPUBResolvedReference{path, std::nullopt};
    const std::optional<QString> fragment = percentDecoded(reference.sliced(hash + 1));
    if (!fragment || fragment->contains(u'#') || hasControlCharacter(*fragment)) {
        return tl::unexpected(Error::invalid);
    }
    if (fragment->isEmpty()) return EPUBResolvedReference{path, std::nullopt};
    return EPUBResolvedReference{path, *fragment};
}

EPUBReader::Result<QString> resolveResource(std::optional<QStringView> reference, QStringView referringPath) {
    using Kind = EPUBReader::Failure::Kind;
    if (!reference || reference->isEmpty()) return failWith(Kind::invalidPackage);
    const auto resolved = resolveReference(*reference, referringPath);
    if (!resolved || resolved->fragment) return failWith(Kind::invalidPackage);
    return resolved->path;
}

}  // namespace tavrine
