#include "ReaderEPUB/internal/EPUBBookAssembly.h"

#include "ReaderCore/Characters.h"
#include "ReaderEPUB/internal/EPUBReference.h"

namespace tavrine {
namespace {
using Failure = EPUBReader::Failure;
using Unavailable = EPUBBook::Unavailable;

}  // namespace

void EPUBBookAssembly::append(const QString& path, QString sectionID, EPUBRendered rendered) {
    const qsizetype start = m_text.size();
    const qsizetype end = start + rendered.text.size();
    m_sections.append({sectionID, rendered.title, start, end});
    m_text += rendered.text;
    m_spans.reserve(m_spans.size() + rendered.spans.size());
    for (ReadingDocument::Span span : rendered.spans) {
        span.start += start;
        span.end += start;
        m_spans.append(span);
    }
    m_indexByPath.insert(path, qsizetype(m_documents.size()));
    m_documents.push_back({path, std::move(sectionID), start, std::move(rendered.anchors), std::move(rendered.links)});
}

const EPUBBookAssembly::Document* EPUBBookAssembly::document(const QString& path) const {
    const auto index = m_indexByPath.constFind(path);
    return index == m_indexByPath.cend() ? nullptr : &m_documents[size_t(*index)];
}

EPUBReader::Result<ReadingDocument> EPUBBookAssembly::readingDocument(const CancellationToken& cancellation) const {
    switch (checkCharacterLengths(m_text, cancellation)) {
    case CharacterLengthCheck::passed: break;
    case CharacterLengthCheck::overlongCharacter:
        return tl::unexpected(Failure::limit(EPUBReader::ResourceLimit::graphemeUTF16));
    case CharacterLengthCheck::cancelled: return tl::unexpected(Failure::cancelled());
    }
    ReadingDocument document{m_sections, m_text, m_spans};
    if (!document.isValid()) return failWith(Failure::Kind::ambiguousContent);
    return document;
}

EPUBBook::Destination EPUBBookAssembly::destination(QStringView reference, QStringView referringPath,
                                                    const EPUBArchiveFiles& files) const {
    const auto resolved = resolveReference(reference, referringPath);
    if (!resolved) {
        return EPUBBook::Destination::unavailable(resolved.error() == EPUBBookReferenceError::external
                                                      ? Unavailable::externalReference
                                                      : Unavailable::invalidReference);
    }
    if (!files.contains(resolved->path)) return EPUBBook::Destination::unavailable(Unavailable::missingResource);
    // In the archive but not in the text: outside the spine, not linear, or a table of contents.
    const Document* target = document(resolved->path);
    if (!target) return EPUBBook::Destination::unavailable(Unavailable::excludedResource);
    if (!resolved->fragment) return EPUBBook::Destination::position(target->sectionID, target->start);
    const auto anchor = target->anchors.constFind(*resolved->fragment);
    if (anchor == target->anchors.cend()) return EPUBBook::Destination::unavailable(Unavailable::missingAnchor);
    return EPUBBook::Destination::position(target->sectionID, target->start + *anchor);
}

QList<EPUBBook::Link> EPUBBookAssembly::links(const EPUBArchiveFiles& files) const {
    QList<EPUBBook::Link> links;
    for (const Document& document : m_documents) {
        for (const EPUBRendered::Link& link : document.links) {
            links.append({document.start + link.start, document.start + link.end, link.reference,
                          destination(link.reference, document.path, files)});
        }
    }
    return links;
}

}  // namespace tavrine
