#pragma once

#include "ReaderCore/CancellationToken.h"
#include "ReaderEPUB/EPUBReader.h"
#include "ReaderEPUB/internal/EPUBPackageDocument.h"
#include "ReaderEPUB/internal/EPUBXMLNode.h"

#include <QHash>
#include <QSet>
#include <QString>
#include <QStringList>
#include <vector>

namespace tavrine {

// One item of a package's manifest.
struct EPUBManifestItem {
    QString id;     // unique in the manifest, never empty
    QString path;   // the archive path its href resolves to, unique in the manifest
    QString media;  // the media type as written (compared exactly)
    QSet<QString> properties;

    bool operator==(const EPUBManifestItem&) const = default;
};

// How the table of contents is read: from the EPUB 3 navigation document or from the NCX.
enum class EPUBNavigationKind {
    navigationDocument,
    ncx,
};

struct EPUBNavigationSource {
    EPUBManifestItem item;
    EPUBNavigationKind kind = EPUBNavigationKind::navigationDocument;

    bool operator==(const EPUBNavigationSource&) const = default;
};

// The items of a package's manifest, looked up by id or by archive path.
class EPUBManifest {
public:
    static constexpr QStringView kXHTMLMediaType = u"application/xhtml+xml";

    // Reads the item children of the manifest element, resolving each href against the package path.
    // An item without id or media type, with a repeated id or with an href that names no file of the
    // archive is invalidPackage; two items for one archive path are ambiguousContent. Checks the
    // cancellation token per item. Whether each file exists is not looked at here.
    static EPUBReader::Result<EPUBManifest> read(const EPUBXMLNode& manifest, QStringView packagePath,
                                                 const CancellationToken& cancellation);

    // In document order.
    const std::vector<EPUBManifestItem>& items() const { return m_items; }
    const EPUBManifestItem* item(const QString& id) const;
    const EPUBManifestItem* itemAtPath(const QString& path) const;

    // Every obfuscated path must be a font of the manifest (fonts are never read, so their obfuscation
    // hides nothing the reader needs); anything else is encrypted.
    EPUBReader::Result<void> checkObfuscatedResources(const QStringList& paths) const;

    // The table of contents the book is read with. More than one item with the "nav" property is
    // ambiguousContent. EPUB 3: exactly one such item, an XHTML document; EPUB 2: the item that the
    // spine's "toc" attribute names, an NCX. Anything else is invalidPackage: neither version falls back
    // on the other's source.
    EPUBReader::Result<EPUBNavigationSource> navigationSource(EPUBPackageVersion version,
                                                              const EPUBXMLNode& spine) const;

private:
    std::vector<EPUBManifestItem> m_items;
    QHash<QString, qsizetype> m_indexByID;
    QHash<QString, qsizetype> m_indexByPath;
};

}  // namespace tavrine
