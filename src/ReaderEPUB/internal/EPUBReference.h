#pragma once

#include "ReaderEPUB/EPUBReader.h"

#include <QString>
#include <QStringView>
#include <tl/expected.hpp>

#include <optional>

namespace tavrine {

// Why a reference inside a book names none of its files: `invalid` (malformed, a query, an absolute or
// escaping path, an encoded separator, an unsafe result) or `external` (it has a scheme, like a web
// address).
enum class EPUBBookReferenceError {
    invalid,
    external,
};

// A reference resolved to an archive path, with its decoded fragment (never empty when present).
struct EPUBResolvedReference {
    QString path;
    std::optional<QString> fragment;

    bool operator==(const EPUBResolvedReference&) const = default;
};

// Resolves a reference that the file at `referringPath` makes to a file of the same book, relative to
// that file's directory; a reference with an empty path ("#note", or "#") names the referring file
// itself. The result is not looked up: whether the file exists is the caller's question.
tl::expected<EPUBResolvedReference, EPUBBookReferenceError> resolveReference(QStringView reference,
                                                                             QStringView referringPath);

// The archive path of a file that the package requires a reference to name: an absent or empty
// reference, one that does not resolve, or one that carries a fragment is `invalidPackage`.
EPUBReader::Result<QString> resolveResource(std::optional<QStringView> reference, QStringView referringPath);

}  // namespace tavrine
