#pragma once

#include "ReaderEPUB/EPUBReader.h"
#include "ReaderEPUB/internal/EPUBXMLNode.h"

#include <QSet>
#include <QString>
#include <optional>

namespace tavrine {

// The two package versions read: an EPUB 3 book's table of contents is its navigation document, an
// EPUB 2 book's its NCX, never the other.
enum class EPUBPackageVersion {
    epub2,
    epub3,
};

// The package document's root and its three required sections, as pointers into its parsed tree.
struct EPUBPackageDocument {
    EPUBPackageVersion version = EPUBPackageVersion::epub3;
    const EPUBXMLNode* package = nullptr;
    const EPUBXMLNode* metadata = nullptr;
    const EPUBXMLNode* manifest = nullptr;
    const EPUBXMLNode* spine = nullptr;
    // The package's "unique-identifier" attribute: the id of the identifier that names the book.
    std::optional<QString> uniqueIdentifier;

    // The root must be a package element whose version is exactly "2.0" or "3.0" (else
    // unsupportedVersion), with exactly one metadata, one manifest and one spine element (else, as for
    // another root, invalidPackage).
    static EPUBReader::Result<EPUBPackageDocument> read(const EPUBXMLNode& root);
};

// Refuses a book whose metadata declares a fixed (pre-paginated) layout, by the EPUB 3 layout property
// or by the older "fixed-layout" name: fixedLayout. A book is read whole or not at all.
EPUBReader::Result<void> checkFixedLayoutMetadata(const EPUBXMLNode& metadata);

// The archive paths that the package's guide names as its table of contents, fragments dropped. A
// reference that does not resolve is no table of contents and is skipped.
QSet<QString> guideTableOfContents(const EPUBXMLNode& package, QStringView packagePath);

}  // namespace tavrine
