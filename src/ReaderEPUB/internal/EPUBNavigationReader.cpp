#include "ReaderEPUB/internal/EPUBNavigationReader.h"

#include "ReaderEPUB/internal/EPUBXMLNamespaces.h"

namespace tavrine {
namespace {
using namespace Qt::StringLiterals;
using Failure = EPUBReader::Failure;
using Kind = Failure::Kind;
using Navigation = EPUBBook::Navigation;

QString entryID(const QString& prefix, qsizetype index) {
    return prefix + u'/' + QString::number(index);
}

}  // namespace

std::optional<Failure> EPUBNavigationReader::countEntry() {
    if (m_cancellation.isCancelled()) return Failure::cancelled();
    if (++m_count > m_limit) return Failure::limit(EPUBReader::ResourceLimit::navigation);
    return std::nullopt;
}

EPUBNavigationReader::Result EPUBNavigationReader::readNavigationDocument(const EPUBXMLNode& root,
                                                                          const QString& path) {
    if (!root.is(u"html", EPUBXMLNamespace::xhtml)) return failWith(Kind::invalidXML);
    // Landmarks and page lists are navs too; only the table of contents is read.
    const EPUBXMLNode* tableOfContents = nullptr;
    for (const EPUBXMLNode* nav : EPUBXMLNode::descendants(root.elements(), u"nav", EPUBXMLNamespace::xhtml)) {
        if (!nav->epubTypes().contains(u"toc"_s)) continue;
        if (tableOfContents) return failWith(Kind::invalidPackage);
        tableOfContents = nav;
    }
    if (!tableOfContents) return failWith(Kind::invalidPackage);
    const EPUBXMLNode::Elements lists = tableOfContents->children(u"ol", EPUBXMLNamespace::xhtml);
    if (lists.size() != 1) return failWith(Kind::invalidPackage);
    return readList(*lists.front(), path);
}

EPUBNavigationReader::Result EPUBNavigationReader::readList(const EPUBXMLNode& list, const QString& prefix) {
    const EPUBXMLNode::Elements items = list.children(u"li", EPUBXMLNamespace::xhtml);
    if (items.empty() || list.elements().size() != items.size()) return failWith(Kind::invalidPackage);
    QList<Navigation> entries;
    entries.reserve(qsizetype(items.size()));
    for (size_t index = 0; index < items.size(); ++index) {
        auto entry = readItem(*items[index], qsizetype(index), prefix);
        if (!entry) return tl::unexpected(entry.error());
        entries.append(std::move(*entry));
    }
    return entries;
}

EPUBReader::Result<Navigation> EPUBNavigationReader::readItem(const EPUBXMLNode& item, qsizetype index,
                                                              const QString& prefix) {
    if (auto failure = countEntry()) return tl::unexpected(*failure);
    Navigation entry;
    entry.id = entryID(prefix, index);

    const EPUBXMLNode::Elements elements = item.elements();
    const EPUBXMLNode* labelElement = nullptr;
    for (const EPUBXMLNode* element : elements) {
        if (!element->is(u"a", EPUBXMLNamespace::xhtml) && !element->is(u"span", EPUBXMLNamespace::xhtml)) continue;
        if (labelElement) return failWith(Kind::invalidPackage);
        labelElement = element;
    }
    if (!labelElement) return failWith(Kind::invalidPackage);
    entry.label = labelElement->text().trimmed();
    if (entry.label.isEmpty()) return failWith(Kind::invalidPackage);
    // A span heads a group of entries and leads nowhere itself.
    if (labelElement->name() == u"a") {
        entry.reference = labelElement->attribute(u"href");
        if (!entry.reference) return failWith(Kind::invalidPackage);
    }

    const EPUBXMLNode::Elements lists = item.children(u"ol", EPUBXMLNamespace::xhtml);
    if (lists.size() > 1 || elements.size() != lists.size() + 1) return failWith(Kind::invalidPackage);
    if (!lists.empty()) {
        auto children = readList(*lists.front(), entry.id);
        if (!children) return tl::unexpected(children.error());
        entry.children = std::move(*children);
    }
    return entry;
}

EPUBNavigationReader::Result EPUBNavigationReader::readNCX(const EPUBXMLNode& root, const QString& path) {
    if (!root.is(u"ncx", EPUBXMLNamespace::ncx)) return failWith(Kind::invalidXML);
    const EPUBXMLNode::Elements maps = root.children(u"navMap", EPUBXMLNamespace::ncx);
    if (maps.size() != 1 || maps.front()->children(u"navPoint", EPUBXMLNamespace::ncx).empty()) {
        return failWith(Kind::invalidPackage);
    }
    QSet<QString> seen;
    return readNavPoints(*maps.front(), path, seen);
}

EPUBNavigationReader::Result EPUBNavigationReader::readNavPoints(const EPUBXMLNode& parent, const QString& prefix,
                                                                 QSet<QString>& seen) {
    const EPUBXMLNode::Elements points = parent.children(u"navPoint", EPUBXMLNamespace::ncx);
    QList<Navigation> entries;
    entries.reserve(qsizetype(points.size()));
    for (size_t index = 0; index < points.size(); ++index) {
        const EPUBXMLNode& point = *points[index];
        if (auto failure = countEntry()) return tl::unexpected(*failure);
        if (const std::optional<QString> id = point.identifier()) {
            if (seen.contains(*id)) return failWith(Kind::ambiguousContent);
            seen.insert(*id);
        }
        const EPUBXMLNode::Elements labels = point.children(u"navLabel", EPUBXMLNamespace::ncx);
        if (labels.size() != 1) return failWith(Kind::invalidPackage);
        const EPUBXMLNode::Elements texts = labels.front()->children(u"text", EPUBXMLNamespace::ncx);
        if (texts.size() != 1) return failWith(Kind::invalidPackage);
        const EPUBXMLNode::Elements contents = point.children(u"content", EPUBXMLNamespace::ncx);
        if (contents.size() != 1) return failWith(Kind::invalidPackage);

        Navigation entry;
        entry.id = entryID(prefix, qsizetype(index));
        entry.label = texts.front()->text().trimmed();
        if (entry.label.isEmpty()) return failWith(Kind::invalidPackage);
        entry.reference = contents.front()->attribute(u"src");
        if (!entry.reference) return failWith(Kind::invalidPackage);
        auto children = readNavPoints(point, entry.id, seen);
        if (!children) return tl::unexpected(children.error());
        entry.children = std::move(*children);
        entries.append(std::move(entry));
    }
    return entries;
}

bool EPUBNavigationReader::resolve(QList<Navigation>& entries, const DestinationOf& destination) {
    bool unresolved = false;
    for (Navigation& entry : entries) {
        if (entry.reference) {
            entry.destination = destination(*entry.reference);
            unresolved = unresolved || !entry.destination.asPosition();
        } else {
            entry.destination = EPUBBook::Destination::unavailable(EPUBBook::Unavailable::group);
        }
        unresolved = resolve(entry.children, destination) || unresolved;
    }
    return unresolved;
}

}  // namespace tavrine
