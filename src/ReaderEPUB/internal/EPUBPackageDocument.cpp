#include "ReaderEPUB/internal/EPUBPackageDocument.h"

#include "ReaderEPUB/internal/EPUBReference.h"
#include "ReaderEPUB/internal/EPUBXMLNamespaces.h"

namespace tavrine {
namespace {
using Failure = EPUBReader::Failure;
using Kind = Failure::Kind;

const EPUBXMLNode* onlyChild(const EPUBXMLNode& node, QStringView name) {
    const EPUBXMLNode::Elements found = node.children(name, EPUBXMLNamespace::opf);
    return found.size() == 1 ? found.front() : nullptr;
}

}  // namespace

EPUBReader::Result<EPUBPackageDocument> EPUBPackageDocument::read(const EPUBXMLNode& root) {
    if (!root.is(u"package", EPUBXMLNamespace::opf)) return failWith(Kind::invalidPackage);
    // Exactly as written: "3.0.1" or " 3.0" is a version this reader does not know.
    const std::optional<QString> version = root.attribute(u"version");
    EPUBPackageDocument document;
    if (version == u"3.0") {
        document.version = EPUBPackageVersion::epub3;
    } else if (version == u"2.0") {
        document.version = EPUBPackageVersion::epub2;
    } else {
        return failWith(Kind::unsupportedVersion);
    }
    document.package = &root;
    document.metadata = onlyChild(root, u"metadata");
    if (!document.metadata) return failWith(Kind::invalidPackage);
    document.manifest = onlyChild(root, u"manifest");
    if (!document.manifest) return failWith(Kind::invalidPackage);
    document.spine = onlyChild(root, u"spine");
    if (!document.spine) return failWith(Kind::invalidPackage);
    document.uniqueIdentifier = root.attribute(u"unique-identifier");
    return document;
}

EPUBReader::Result<void> checkFixedLayoutMetadata(const EPUBXMLNode& metadata) {
    for (const EPUBXMLNode* meta : metadata.children(u"meta", EPUBXMLNamespace::opf)) {
        // Any prefix: the EPUB 3 property is "rendition:layout".
        const std::optional<QString> property = meta->attribute(u"property");
        if (property && property->endsWith(u":layout") && meta->text().trimmed() == u"pre-paginated") {
            return failWith(Kind::fixedLayout);
        }
        const std::optional<QString> name = meta->attribute(u"name");
        if ((name == u"fixed-layout" || name == u"ibooks:fixed-layout") && meta->attribute(u"content") == u"true") {
            return failWith(Kind::fixedLayout);
        }
    }
    return {};
}

QSet<QString> guideTableOfContents(const EPUBXMLNode& package, QStringView packagePath) {
    QSet<QString> paths;
    for (const EPUBXMLNode* guide : package.children(u"guide", EPUBXMLNamespace::opf)) {
        for (const EPUBXMLNode* reference : guide->children(u"reference", EPUBXMLNamespace::opf)) {
            if (reference->attribute(u"type") != u"toc") continue;
            const std::optional<QString> href = reference->attribute(u"href");
            if (!href) continue;
            if (const auto resolved = resolveReference(*href, packagePath)) paths.insert(resolved->path);
        }
    }
    return paths;
}

}  // namespace tavrine
