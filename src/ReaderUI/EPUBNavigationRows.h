#pragma once

#include "ReaderCore/EPUBBook.h"

#include <QList>
#include <QString>
#include <QStringList>

#include <optional>

namespace tavrine {

// What the workspace shows of an EPUB book's table of contents and import report: the tree as indented
// rows, the entry of the current position, and the Japanese texts for unavailable entries, import
// notices and the author line. Pure functions of their arguments, callable from any thread.
namespace EPUBNavigationRows {

struct Row {
    // The whole entry, children included.
    EPUBBook::Navigation entry;
    // 0 for a top-level entry, one more per level below.
    qsizetype depth = 0;

    // Rows are identified by their entry; two entries with one id give two rows with one identity.
    const QString& id() const { return entry.id; }

    bool operator==(const Row&) const = default;
};

// Every entry of the tree in document order (each entry directly followed by all of its descendants),
// walked without recursion and without any limit on size or depth.
QList<Row> flatten(const QList<EPUBBook::Navigation>& navigation);

// The entry that the position belongs to: of the entries that lead into the current section at or before
// offset, the one with the greatest offset; where offsets tie, the deeper one, then the earlier one.
// Nothing without a current section or without such an entry; entries of other sections never match.
std::optional<QString> currentID(const QList<Row>& rows, const std::optional<QString>& sectionID, qsizetype offset);
std::optional<QString> currentID(const QList<EPUBBook::Navigation>& navigation, const std::optional<QString>& sectionID,
                                 qsizetype offset);

// Why an entry cannot be followed, as one sentence without a full stop.
QString reasonMessage(EPUBBook::Unavailable reason);

// What the import changed or dropped, one sentence per kind present, in a fixed order and each once,
// whatever the order and repetition of the notices; some kinds say nothing.
QStringList noticeMessages(const QList<EPUBBook::Notice>& notices);

// The author line: the first ten names, each cut to its first hundred Characters, joined by "、", with
// "、ほかN名" for the N names left out.
QString creatorLabel(const QStringList& names);

}  // namespace EPUBNavigationRows
}  // namespace tavrine
