#include "ReaderEPUB/internal/EPUBReaderOperation.h"

#include "ReaderEPUB/internal/EPUBContainer.h"
#include "ReaderEPUB/internal/EPUBNavigationReader.h"
#include "ReaderEPUB/internal/EPUBNotices.h"
#include "ReaderEPUB/internal/EPUBPackageMetadata.h"
#include "ReaderEPUB/internal/EPUBXHTML.h"
#include "ReaderEPUB/internal/EPUBXML.h"

namespace tavrine {
namespace {
using namespace Qt::StringLiterals;
using Failure = EPUBReader::Failure;
using Kind = Failure::Kind;

const QString kContainerPath = u"META-INF/container.xml"_s;
const QString kEncryptionPath = u"META-INF/encryption.xml"_s;
const QString kRightsPath = u"META-INF/rights.xml"_s;

}  // namespace

EPUBReader::Operation::Operation(EPUBArchiveFiles files, Limits limits, CancellationToken cancellation)
    : m_files(std::move(files)), m_limits(limits), m_cancellation(std::move(cancellation)) {}

EPUBReader::Result<EPUBBook> EPUBReader::Operation::run() {
    auto package = readPackage();
    if (!package) return tl::unexpected(package.error());
    const auto walked = walkSpine(
        *package, [&](const Item& item, const QString& idref) { return appendSpineDocument(*package, item, idref); });
    if (!walked) return tl::unexpected(walked.error());
    // Every spine document may have been left out: a book needs some text to read.
    if (m_assembly.isEmpty()) return failWith(Kind::emptyContent);

    auto document = m_assembly.readingDocument(m_cancellation);
    if (!document) return tl::unexpected(document.error());
    auto navigation = readNavigation(*package);
    if (!navigation) return tl::unexpected(navigation.error());
    auto links = m_assembly.links(m_files);
    if (m_cancellation.isCancelled()) return tl::unexpected(Failure::cancelled());

    return EPUBBook{std::move(*document), std::move(package->metadata),         std::move(*navigation),
                    std::move(links),     EPUBNotices::finalNotices(m_notices), package->path};
}

// Each document that passes the spine's gates is rendered with what is left of the book's text limit
// and appended to the book's text, in spine order. Parsing comes first, so that a document missing from
// the archive or not well formed fails where the walk reaches it, after every earlier document.
EPUBReader::Result<void> EPUBReader::Operation::appendSpineDocument(const Package& package, const Item& item,
                                                                    const QString& idref) {
    const auto root = parse(item.path);
    if (!root) return tl::unexpected(root.error());
    auto rendered = EPUBXHTML(m_limits.textUTF16 - m_assembly.length(), m_cancellation).render(**root);
    if (!rendered) {
        // An EPUB 3 navigation document in the reading order often holds nothing but its table of
        // contents, which is never read as text: it is left out, not refused.
        const bool isNavigationDocument = package.navigation.kind == EPUBNavigationKind::navigationDocument &&
                                          item.path == package.navigation.item.path;
        if (rendered.error() != Failure::of(Kind::emptyContent) || !isNavigationDocument) {
            return tl::unexpected(rendered.error());
        }
        m_notices.append({EPUBBook::Notice::Kind::omittedNavigation, item.path});
        return {};
    }
    EPUBNotices::appendRendered(m_notices, rendered->notices, item.path);
    m_assembly.append(item.path, package.path + u'#' + idref, std::move(*rendered));
    return {};
}

EPUBReader::Result<QList<EPUBBook::Navigation>> EPUBReader::Operation::readNavigation(const Package& package) {
    const QString& path = package.navigation.item.path;
    const auto root = parse(path);
    if (!root) return tl::unexpected(root.error());
    EPUBNavigationReader reader(m_limits.navigation, m_cancellation);
    auto entries = package.navigation.kind == EPUBNavigationKind::navigationDocument
                       ? reader.readNavigationDocument(**root, path)
                       : reader.readNCX(**root, path);
    if (!entries) return tl::unexpected(entries.error());
    const bool unresolved =
        EPUBNavigationReader::resolve(*entries, [&](const QString& reference) { return destination(reference, path); });
    if (unresolved) m_notices.append({EPUBBook::Notice::Kind::unresolvedNavigation, path});
    return std::move(*entries);
}

EPUBReader::Result<const EPUBXMLNode*> EPUBReader::Operation::parse(const QString& path) {
    if (m_cancellation.isCancelled()) return tl::unexpected(Failure::cancelled());
    if (const auto cached = m_parsed.find(path); cached != m_parsed.end()) return cached->second.get();
    const auto file = m_files.constFind(path);
    if (file == m_files.cend()) return failWith(Kind::missingResource);
    auto root = EPUBXML(m_limits, m_xmlBudget, m_cancellation).parse(*file);
    if (!root) return tl::unexpected(root.error());
    return m_parsed.emplace(path, std::move(*root)).first->second.get();
}

EPUBReader::Result<QStringList> EPUBReader::Operation::checkEncryption() {
    // Rights management of any kind, whatever the file says.
    if (m_files.contains(kRightsPath)) return failWith(Kind::encrypted);
    if (!m_files.contains(kEncryptionPath)) return QStringList();
    const auto root = parse(kEncryptionPath);
    if (!root) return tl::unexpected(root.error());
    return obfuscatedResources(**root);
}

EPUBReader::Result<EPUBReader::Operation::Package> EPUBReader::Operation::readPackage() {
    const auto container = parse(kContainerPath);
    if (!container) return tl::unexpected(container.error());
    auto path = packagePathFromContainer(**container);
    if (!path) return tl::unexpected(path.error());

    const auto obfuscated = checkEncryption();
    if (!obfuscated) return tl::unexpected(obfuscated.error());

    const auto root = parse(*path);
    if (!root) return tl::unexpected(root.error());
    const auto document = EPUBPackageDocument::read(**root);
    if (!document) return tl::unexpected(document.error());
    if (const auto layout = checkFixedLayoutMetadata(*document->metadata); !layout) {
        return tl::unexpected(layout.error());
    }

    auto manifest = EPUBManifest::read(*document->manifest, *path, m_cancellation);
    if (!manifest) return tl::unexpected(manifest.error());
    if (const auto fonts = manifest->checkObfuscatedResources(*obfuscated); !fonts) {
        return tl::unexpected(fonts.error());
    }
    auto navigation = manifest->navigationSource(document->version, *document->spine);
    if (!navigation) return tl::unexpected(navigation.error());

    Package package;
    package.metadata = readPackageMetadata(*document->metadata, document->uniqueIdentifier, m_notices);
    package.guideTableOfContents = guideTableOfContents(*document->package, *path);
    package.path = std::move(*path);
    package.version = document->version;
    package.manifest = std::move(*manifest);
    package.navigation = std::move(*navigation);
    package.spine = document->spine;
    return package;
}

EPUBReader::Result<void> EPUBReader::Operation::walkSpine(const Package& package,
                                                          const EPUBSpineDocumentStep& showDocument) {
    const EPUBSpine spine{*package.spine, package.manifest, package.guideTableOfContents};
    return spine.walk(m_cancellation, m_notices, showDocument);
}

}  // namespace tavrine
