#pragma once

#include <QString>
#include <QStringView>

#include <optional>

#include "ReaderEPUB/EPUBReader.h"

namespace tavrine {

// The growing text of one rendered document with its white-space state. Every character of the output
// passes through append(), which refuses, before storing anything, a piece that would take the text
// beyond its limit (reaching the limit exactly is allowed).
//
// Outside preformatted text a run of white space, also across element boundaries, becomes at most one
// space, and no space ever starts the text or follows a line feed or another space. White space here
// is exactly tab, line feed, carriage return and space: a no-break space or a form feed is part of a
// word.
//
// A list item's marker and the item's first block share a line: right after a marker, the boundary of a
// block does not end the line. A line that ends right after a marker loses the marker's space, so that
// no line ends in a space.
class EPUBXHTMLText {
public:
    explicit EPUBXHTMLText(qsizetype limit) : m_limit(limit) {}

    const QString& text() const { return m_text; }
    qsizetype length() const { return m_text.size(); }

    bool pendingSpace() const { return m_pendingSpace; }
    // Nothing has been appended since a list marker.
    bool afterMarker() const { return m_afterMarker; }
    void clearPendingSpace() { m_pendingSpace = false; }

    // Appends one piece as it is, or fails with limit(textUTF16).
    [[nodiscard]] std::optional<EPUBReader::Failure> append(QStringView piece);
    // Appends the text of a text node: verbatim while `preserving`, else with white space collapsed.
    [[nodiscard]] std::optional<EPUBReader::Failure> appendCollapsed(QStringView text, bool preserving);
    // Emits the one space that white space seen before asks for, if it is due, and forgets it.
    [[nodiscard]] std::optional<EPUBReader::Failure> flushPendingSpace();
    // Appends a list item's marker, which ends in a space.
    [[nodiscard]] std::optional<EPUBReader::Failure> appendMarker(QStringView marker);
    // Forgets any pending space and ends the current line, unless the text is empty or the line ended.
    [[nodiscard]] std::optional<EPUBReader::Failure> ensureLineBreak();
    // Where a block starts or ends: ensureLineBreak, except right after a marker, where only the
    // pending space is forgotten and the line goes on: an item's first block shares its marker's line,
    // and a block that showed nothing there ends nothing.
    [[nodiscard]] std::optional<EPUBReader::Failure> blockBoundary();
    // Forgets any pending space and appends a line feed even when the line has ended: the empty lines of
    // `br` and of table cells.
    [[nodiscard]] std::optional<EPUBReader::Failure> appendLineFeed();

private:
    bool spaceIsDue() const;

    QString m_text;
    qsizetype m_limit;
    bool m_pendingSpace = false;
    bool m_afterMarker = false;
};

}  // namespace tavrine
