#pragma once

#include <QHash>
#include <QList>
#include <QSet>
#include <QString>

#include <optional>
#include <set>

#include "ReaderCore/CancellationToken.h"
#include "ReaderEPUB/EPUBReader.h"
#include "ReaderEPUB/internal/EPUBRendered.h"
#include "ReaderEPUB/internal/EPUBXHTMLText.h"
#include "ReaderEPUB/internal/EPUBXMLNode.h"

namespace tavrine {
namespace EPUBXHTMLElements {
struct Rule;
}

// Turns one parsed XHTML content document into reading text with spans, anchors, links, a title and
// the kinds of notice it gave rise to. It reads the element tree only: it never fetches another file,
// never follows a reference and never evaluates styles. What it shows is decided by element names and
// a few attributes (hidden, epub:type, start, value, alt, href, colspan, rowspan and the identifiers).
// Content that cannot be shown as text (scripts, forms, embedded objects, any element outside the
// XHTML namespace) fails the document instead of vanishing; content that is left out is reported as a
// notice kind.
//
// One renderer renders one document once, on the import's thread.
class EPUBXHTML {
public:
    // `limit` is the part of the book's text budget (in UTF-16 units) still free; `cancellation` is the
    // import's, checked before each element and each child node.
    EPUBXHTML(qsizetype limit, CancellationToken cancellation)
        : m_text(limit), m_cancellation(std::move(cancellation)) {}

    // Renders the document whose root element is `root`. Fails with invalidXML (the root is not an
    // XHTML html element with exactly one XHTML body), unsupportedContent, ambiguousContent (an empty or
    // repeated identifier anywhere in the document), limit(textUTF16), emptyContent (no text but white
    // space) or Failure::cancelled().
    EPUBReader::Result<EPUBRendered> render(const EPUBXMLNode& root);

private:
    using Failure = EPUBReader::Failure;
    using Step = std::optional<Failure>;
    using SpanKind = ReadingDocument::Span::Kind;

    Step collectIdentifiers(const EPUBXMLNode& element);
    Step visit(const EPUBXMLNode& element);
    Step renderContent(const EPUBXMLNode& element);
    Step renderBlockOrInline(const EPUBXMLNode& element, const EPUBXHTMLElements::Rule& rule);
    Step renderList(const EPUBXMLNode& list);
    Step renderListItem(const EPUBXMLNode& item, bool ordered, qint64 number);
    Step renderImage(const EPUBXMLNode& image);
    void recordAnchor(const EPUBXMLNode& element);
    void recordSpan(SpanKind kind, qsizetype start, qint64 level);
    QHash<QString, qsizetype> alignedAnchors() const;

    // Tables (EPUBXHTMLTable.cpp).
    Step renderTable(const EPUBXMLNode& table);
    Step renderGrid(const EPUBXMLNode& table, qsizetype columns);
    Step renderRowGroup(const EPUBXMLNode& group, qsizetype columns);
    Step renderRow(const EPUBXMLNode& row, qsizetype columns);

    Step checkCancellation() const { return m_cancellation.isCancelled() ? Step(Failure::cancelled()) : std::nullopt; }

    EPUBXHTMLText m_text;
    CancellationToken m_cancellation;
    QList<ReadingDocument::Span> m_spans;
    QHash<QString, qsizetype> m_anchors;
    QSet<QString> m_identifiers;
    QList<EPUBRendered::Link> m_links;
    std::set<EPUBBook::Notice::Kind> m_notices;
    qint64 m_listDepth = 0;
    qint64 m_quoteDepth = 0;
    int m_preserving = 0;
    std::optional<QString> m_firstHeading;
};

}  // namespace tavrine
