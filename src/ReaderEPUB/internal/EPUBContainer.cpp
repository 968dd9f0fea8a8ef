#include "ReaderEPUB/internal/EPUBContainer.h"

#include "ReaderEPUB/internal/EPUBReference.h"
#include "ReaderEPUB/internal/EPUBXMLNamespaces.h"

namespace tavrine {
namespace {
using Failure = EPUBReader::Failure;
using Kind = Failure::Kind;

// References in both META-INF documents are relative to the archive root, as if they were made by a
// file at the root.
constexpr QStringView kContainerReferrer = u"container.xml";
constexpr QStringView kEncryptionReferrer = u"encryption.xml";

constexpr QStringView kPackageMediaType = u"application/oebps-package+xml";
// The font obfuscation of the EPUB container format, and the older one of the first EPUB readers.
constexpr QStringView kIDPFObfuscation = u"http://www.idpf.org/2008/embedding";
constexpr QStringView kAdobeObfuscation = u"http://ns.adobe.com/pdf/enc#RC";

const EPUBXMLNode* firstChild(const EPUBXMLNode& node, QStringView name, QStringView namespaceName) {
    const EPUBXMLNode::Elements found = node.children(name, namespaceName);
    return found.empty() ? nullptr : found.front();
}

}  // namespace

EPUBReader::Result<QString> packagePathFromContainer(const EPUBXMLNode& container) {
    if (!container.is(u"container", EPUBXMLNamespace::container)) return failWith(Kind::invalidPackage);
    const EPUBXMLNode::Elements rootfilesElements = container.children(u"rootfiles", EPUBXMLNamespace::container);
    if (rootfilesElements.size() != 1) return failWith(Kind::invalidPackage);
    const EPUBXMLNode::Elements rootfiles =
        rootfilesElements.front()->children(u"rootfile", EPUBXMLNamespace::container);
    if (rootfiles.size() != 1) return failWith(Kind::multipleRenditions);
    const EPUBXMLNode& rootfile = *rootfiles.front();
    if (rootfile.attribute(u"media-type") != kPackageMediaType) return failWith(Kind::invalidPackage);
    const std::optional<QString> fullPath = rootfile.attribute(u"full-path");
    return resolveResource(fullPath ? std::optional<QStringView>(*fullPath) : std::nullopt, kContainerReferrer);
}

EPUBReader::Result<QStringList> obfuscatedResources(const EPUBXMLNode& encryption) {
    if (!encryption.is(u"encryption", EPUBXMLNamespace::container)) return failWith(Kind::encrypted);
    QStringList paths;
    for (const EPUBXMLNode* data : encryption.elements()) {
        if (!data->is(u"EncryptedData", EPUBXMLNamespace::xmlEncryption)) return failWith(Kind::encrypted);
        const EPUBXMLNode* method = firstChild(*data, u"EncryptionMethod", EPUBXMLNamespace::xmlEncryption);
        const std::optional<QString> algorithm = method ? method->attribute(u"Algorithm") : std::nullopt;
        if (algorithm != kIDPFObfuscation && algorithm != kAdobeObfuscation) return failWith(Kind::encrypted);

        const EPUBXMLNode* cipherData = firstChild(*data, u"CipherData", EPUBXMLNamespace::xmlEncryption);
        const EPUBXMLNode* reference =
            cipherData ? firstChild(*cipherData, u"CipherReference", EPUBXMLNamespace::xmlEncryption) : nullptr;
        const std::optional<QString> uri = reference ? reference->attribute(u"URI") : std::nullopt;
        if (!uri) return failWith(Kind::encrypted);
        auto path = resolveResource(QStringView(*uri), kEncryptionReferrer);
        if (!path) return tl::unexpected(path.error());
        paths.append(*path);
    }
    return paths;
}

}  // namespace tavrine
