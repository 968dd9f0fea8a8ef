#pragma once

#include <QHash>
#include <QList>
#include <QString>

#include <optional>
#include <set>

#include "ReaderCore/EPUBBook.h"
#include "ReaderCore/ReadingDocument.h"

namespace tavrine {

// The text of one content document of a book, as the book assembly receives it. Every offset is a
// UTF-16 offset into `text`, counted from the start of this document; the assembly shifts them into
// the book's text.
struct EPUBRendered {
    // A hyperlink: the range [start, end) of the text rendered inside an `a` element (never empty) and
    // its `href` exactly as written, neither trimmed nor resolved.
    struct Link {
        qsizetype start = 0;
        qsizetype end = 0;
        QString reference;

        bool operator==(const Link&) const = default;
    };

    // Never empty or white space only; ends with a line feed.
    QString text;
    // Structure and emphasis ranges, in the order in which their elements finished (inner before outer).
    QList<ReadingDocument::Span> spans;
    // Element identifier to the offset at which the element's text starts, moved back to the start of
    // the composed character sequence that holds it. Elements whose text would start at the very end,
    // and elements that were left out, have no anchor.
    QHash<QString, qsizetype> anchors;
    // The trimmed text of the first heading that produced text (a heading nested in another finishes
    // first and wins).
    std::optional<QString> title;
    // In the order in which their elements finished.
    QList<Link> links;
    // What was left out of this document or replaced, each kind once.
    std::set<EPUBBook::Notice::Kind> notices;

    bool operator==(const EPUBRendered&) const = default;
};

}  // namespace tavrine
