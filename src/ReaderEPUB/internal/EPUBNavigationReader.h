#pragma once

#include "ReaderCore/CancellationToken.h"
#include "ReaderCore/EPUBBook.h"
#include "ReaderEPUB/EPUBReader.h"
#include "ReaderEPUB/internal/EPUBXMLNode.h"

#include <QList>
#include <QSet>
#include <QString>
#include <functional>

namespace tavrine {

// Reads a book's table of contents, as written, from its EPUB 3 navigation document or its NCX. Every
// entry gets an identifier made of the source's archive path and its zero-based place at each level
// ("OEBPS/nav.xhtml/2/0"); the file's own ids are not used for that. Entries come back with their
// label and reference and a `group` destination; resolve() gives them their places in the text.
//
// One reader serves one import: the entries of every table it reads count against one navigation limit.
// Used on the import's thread.
class EPUBNavigationReader {
public:
    EPUBNavigationReader(qint64 limit, CancellationToken cancellation)
        : m_limit(limit), m_cancellation(std::move(cancellation)) {}

    // The one "nav" whose epub:type holds "toc", at any depth, with exactly one list. The root must be
    // an XHTML html element (else invalidXML). No such nav, several, or a list that breaks the shape
    // (every list item holds exactly one "a" with an href or one "span" as its label, a non-empty
    // label, and at most one nested list, nothing else) is invalidPackage.
    EPUBReader::Result<QList<EPUBBook::Navigation>> readNavigationDocument(const EPUBXMLNode& root,
                                                                           const QString& path);

    // The navigation points of the one navMap, which holds at least one. The root must be an NCX
    // element (else invalidXML). A point needs exactly one navLabel with exactly one text, a non-empty
    // label, and exactly one content with a src (else invalidPackage); two points with one id are
    // ambiguousContent. Page lists, navigation lists and play order are not read.
    EPUBReader::Result<QList<EPUBBook::Navigation>> readNCX(const EPUBXMLNode& root, const QString& path);

    // Entries read so far, at every depth; more than the limit fails at the first entry beyond it with
    // limit(navigation).
    qint64 count() const { return m_count; }

    // Gives every entry of the tree its destination: an entry without reference is a `group`, any other
    // takes what `destination` answers for its reference. Returns whether some referenced entry leads
    // nowhere.
    using DestinationOf = std::function<EPUBBook::Destination(const QString& reference)>;
    static bool resolve(QList<EPUBBook::Navigation>& entries, const DestinationOf& destination);

private:
    using Result = EPUBReader::Result<QList<EPUBBook::Navigation>>;

    Result readList(const EPUBXMLNode& list, const QString& prefix);
    EPUBReader::Result<EPUBBook::Navigation> readItem(const EPUBXMLNode& item, qsizetype index, const QString& prefix);
    Result readNavPoints(const EPUBXMLNode& parent, const QString& prefix, QSet<QString>& seen);
    // Counts one more entry; the cancellation and the limit are checked per entry.
    std::optional<EPUBReader::Failure> countEntry();

    qint64 m_limit;
    CancellationToken m_cancellation;
    qint64 m_count = 0;
};

}  // namespace tavrine
