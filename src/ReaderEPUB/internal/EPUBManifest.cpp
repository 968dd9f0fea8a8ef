#include "ReaderEPUB/internal/EPUBManifest.h"

#include "ReaderEPUB/internal/EPUBReference.h"
#include "ReaderEPUB/internal/EPUBXMLNamespaces.h"

namespace tavrine {
namespace {
using Failure = EPUBReader::Failure;
using Kind = Failure::Kind;

constexpr QStringView kNCXMediaType = u"application/x-dtbncx+xml";

bool isFont(QStringView media) {
    return media.startsWith(u"font/") || media == u"application/vnd.ms-opentype" || media == u"application/font-sfnt" ||
           media == u"application/font-woff";
}

}  // namespace

EPUBReader::Result<EPUBManifest> EPUBManifest::read(const EPUBXMLNode& manifest, QStringView packagePath,
                                                    const CancellationToken& cancellation) {
    EPUBManifest result;
    for (const EPUBXMLNode* element : manifest.children(u"item", EPUBXMLNamespace::opf)) {
        if (cancellation.isCancelled()) return tl::unexpected(Failure::cancelled());
        EPUBManifestItem item;
        item.id = element->attribute(u"id").value_or(QString());
        if (item.id.isEmpty() || result.m_indexByID.contains(item.id)) return failWith(Kind::invalidPackage);
        item.media = element->attribute(u"media-type").value_or(QString());
        if (item.media.isEmpty()) return failWith(Kind::invalidPackage);
        const std::optional<QString> href = element->attribute(u"href");
        auto path = resolveResource(href ? std::optional<QStringView>(*href) : std::nullopt, packagePath);
        if (!path) return tl::unexpected(path.error());
        item.path = std::move(*path);
        // Two items for one file would give it two identities (two sections, two media types).
        if (result.m_indexByPath.contains(item.path)) return failWith(Kind::ambiguousContent);
        item.properties = whiteSpaceSeparatedTokens(element->attribute(u"properties").value_or(QString()));

        const auto index = qsizetype(result.m_items.size());
        result.m_indexByID.insert(item.id, index);
        result.m_indexByPath.insert(item.path, index);
        result.m_items.push_back(std::move(item));
    }
    return result;
}

const EPUBManifestItem* EPUBManifest::item(const QString& id) const {
    const auto found = m_indexByID.constFind(id);
    return found == m_indexByID.cend() ? nullptr : &m_items[std::size_t(*found)];
}

const EPUBManifestItem* EPUBManifest::itemAtPath(const QString& path) const {
    const auto found = m_indexByPath.constFind(path);
    return found == m_indexByPath.cend() ? nullptr : &m_items[std::size_t(*found)];
}

EPUBReader::Result<void> EPUBManifest::checkObfuscatedResources(const QStringList& paths) const {
    for (const QString& path : paths) {
        const EPUBManifestItem* font = itemAtPath(path);
        if (!font || !isFont(font->media)) return failWith(Kind::encrypted);
    }
    return {};
}

EPUBReader::Result<EPUBNavigationSource> EPUBManifest::navigationSource(EPUBPackageVersion version,
                                                                        const EPUBXMLNode& spine) const {
    const EPUBManifestItem* navigationDocument = nullptr;
    for (const EPUBManifestItem& candidate : m_items) {
        if (!candidate.properties.contains(QStringLiteral("nav"))) continue;
        if (navigationDocument) return failWith(Kind::ambiguousContent);
        navigationDocument = &candidate;
    }
    if (version == EPUBPackageVersion::epub3) {
        if (!navigationDocument || navigationDocument->media != kXHTMLMediaType) return failWith(Kind::invalidPackage);
        return EPUBNavigationSource{*navigationDocument, EPUBNavigationKind::navigationDocument};
    }
    const std::optional<QString> toc = spine.attribute(u"toc");
    const EPUBManifestItem* ncx = toc ? item(*toc) : nullptr;
    if (!ncx || ncx->media != kNCXMediaType) return failWith(Kind::invalidPackage);
    return EPUBNavigationSource{*ncx, EPUBNavigationKind::ncx};
}

}  // namespace tavrine
