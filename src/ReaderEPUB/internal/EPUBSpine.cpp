#include "ReaderEPUB/internal/EPUBSpine.h"

#include "ReaderEPUB/internal/EPUBXMLNamespaces.h"

namespace tavrine {
namespace {
using Failure = EPUBReader::Failure;
using Kind = Failure::Kind;
using NoticeKind = EPUBBook::Notice::Kind;

}  // namespace

EPUBReader::Result<void> EPUBSpine::walk(const CancellationToken& cancellation, QList<EPUBBook::Notice>& notices,
                                         const EPUBSpineDocumentStep& showDocument) const {
    const EPUBXMLNode::Elements itemrefs = spine.children(u"itemref", EPUBXMLNamespace::opf);
    if (itemrefs.empty()) return failWith(Kind::emptyContent);
    QSet<QString> seen;
    for (const EPUBXMLNode* itemref : itemrefs) {
        if (cancellation.isCancelled()) return tl::unexpected(Failure::cancelled());
        const QString idref = itemref->attribute(u"idref").value_or(QString());
        const EPUBManifestItem* item = manifest.item(idref);
        if (!item || seen.contains(idref)) return failWith(Kind::invalidPackage);
        seen.insert(idref);
        const std::optional<QString> linear = itemref->attribute(u"linear");
        if (linear && *linear != u"yes" && *linear != u"no") return failWith(Kind::invalidPackage);
        // A plain substring test on the raw attribute, so that "rendition:layout-pre-paginated" matches;
        // it comes before the non-linear omission because a fixed layout refuses the book as a whole.
        if (itemref->attribute(u"properties").value_or(QString()).contains(u"layout-pre-paginated")) {
            return failWith(Kind::fixedLayout);
        }
        if (linear == u"no") {
            notices.append({NoticeKind::omittedNonlinear, item->path});
            continue;
        }
        if (guideTableOfContents.contains(item->path)) {
            notices.append({NoticeKind::omittedNavigation, item->path});
            continue;
        }
        // A document shown in the reading order must be text through and through: an image, a script or
        // a switch between renditions cannot be read without losing content.
        if (item->media != EPUBManifest::kXHTMLMediaType) return failWith(Kind::unsupportedContent);
        if (item->properties.contains(QStringLiteral("scripted")) ||
            item->properties.contains(QStringLiteral("switch"))) {
            return failWith(Kind::unsupportedContent);
        }
        if (auto shown = showDocument(*item, idref); !shown) return shown;
    }
    return {};
}

}  // namespace tavrine
