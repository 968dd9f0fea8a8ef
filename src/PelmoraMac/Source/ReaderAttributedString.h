#pragma once

#include "ReaderCore/ReadingDocument.h"
#include "ReaderCore/TextRange.h"

#include <QList>
#include <QString>
#include <QTextBlockFormat>
#include <QTextLayout>
#include <QTextTableCellFormat>

#include <optional>

namespace tavrine {

// One cell of a table laid out as a grid: its span (tableCell or tableHeader), the start of its table
// span (which names the table), its place in the grid and the look of its box.
struct ReaderGridCell {
    ReadingDocument::Span span;
    qsizetype table = 0;
    int row = 0;
    int column = 0;
    int columns = 1;
    // Padding, border and vertical alignment; a header cell's background.
    QTextTableCellFormat format;

    bool isHeader() const { return span.kind == ReadingDocument::Span::Kind::tableHeader; }
    TextRange range() const { return {span.start, span.end}; }

    bool operator==(const ReaderGridCell&) const = default;
};

// A table that passed the grid check, with its cells in grid order (row by row).
struct ReaderGridTable {
    ReadingDocument::Span span;
    QList<ReaderGridCell> cells;

    int columns() const { return static_cast<int>(span.level); }
    int rows() const { return cells.isEmpty() ? 0 : static_cast<int>(cells.size()) / columns(); }

    bool operator==(const ReaderGridTable&) const = default;
};

// The paragraph style of one paragraph: line height (LineDistanceHeight), spacing before and after (top
// and bottom margin), head indent (left margin) and the first line's offset from it (text indent).
struct ReaderStyledParagraph {
    TextRange range;
    QTextBlockFormat format;

    bool operator==(const ReaderStyledParagraph&) const = default;
};

// What the styling gives one location: the character format (font, slanted (italic) for
// emphasis, foreground, background), the paragraph format, and the grid cell it lies in, if any.
struct ReaderTextAttributes {
    QTextCharFormat character;
    QTextBlockFormat paragraph;
    std::optional<ReaderGridCell> cell;

    bool operator==(const ReaderTextAttributes&) const = default;
};

// A styled text as a plain value: the characters, unchanged, and their styling.
//
// `runs` tile the text in order, one character format each, offsets in UTF-16 units from the start of
// `text` (a run may have the same format as its neighbour). `paragraphs` tile it too, one per paragraph
// (Paragraphs.h); an empty text has neither. `tables` are the grid tables in document order; a text
// without grids has none.
struct ReaderAttributedString {
    QString text;
    QList<QTextLayout::FormatRange> runs;
    QList<ReaderStyledParagraph> paragraphs;
    QList<ReaderGridTable> tables;

    // The index of the run / paragraph that holds offset (0 <= offset < text.size()).
    qsizetype runIndex(qsizetype offset) const;
    qsizetype paragraphIndex(qsizetype offset) const;

    // The character and paragraph format at offset (0 <= offset < text.size()), and the range over which
    // both hold: the run cut to the paragraph. The cell is left empty; the grid tables answer for cells.
    ReaderTextAttributes attributes(qsizetype offset, TextRange* effectiveRange = nullptr) const;

    bool operator==(const ReaderAttributedString&) const = default;
};

}  // namespace tavrine
