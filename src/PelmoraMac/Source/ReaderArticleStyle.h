#pragma once

#include "PelmoraMac/Source/ReaderAttributedString.h"
#include "ReaderCore/ReadingDocument.h"

#include <QFont>
#include <QList>
#include <QTextBlockFormat>
#include <QTextTableFormat>

#include <array>
#include <optional>

namespace tavrine {

// The typography of the source pane: turns a document into the styled, read-only text it shows (body,
// headings, lists, quotes, code, strong and emphasised runs, tables as grids) and measures the narrowest
// width that lays it out without clipping a character or a table column. Stateless: every call builds its
// result afresh. Main thread only (fonts and their metrics).
//
// Every length scales with the point size the caller passes: scale = point size / 15. A size of N points
// is N logical pixels; font sizes are rounded to a whole pixel, other lengths stay fractional.
//
// An invalid document (ReadingDocument::isValid) is shown in the body style alone: no span is styled and
// no table is a grid. A table that fails the grid check reads as its cells' text one after another.
namespace ReaderArticleStyle {

// The span kinds that shape paragraph styles.
inline constexpr std::array blockKinds{
    ReadingDocument::Span::Kind::paragraph, ReadingDocument::Span::Kind::heading,
    ReadingDocument::Span::Kind::listItem,  ReadingDocument::Span::Kind::quote,
    ReadingDocument::Span::Kind::codeBlock,
};

// Quote depth and list level together indent at most this deep.
inline constexpr qint64 kMaximumIndentDepth = 12;
inline constexpr qint64 kMaximumGridColumns = 32;
inline constexpr qsizetype kMaximumGridCells = 2'000;

// The text with its runs, paragraph formats and grid tables; its characters are exactly the document's.
ReaderAttributedString attributedString(const ReadingDocument& document, double pointSize);

// The smallest layout width in points: the widest composed character sequence plus its paragraph's
// indent, plus 24, and at least scale × 96 per column of the widest grid table plus 18. Builds the styled
// text when none is given; a given one must be that of this document at this size.
double minimumWidth(const ReadingDocument& document, double pointSize,
                    const ReaderAttributedString* attributedString = nullptr);

// The cells of a table span in grid order, or nothing when the span is not a table that can be shown as
// a grid: 1 to 32 columns, 1 to 2,000 cells in a multiple of the columns, the table starting a line, its
// tableCell and tableHeader spans tiling it exactly, each ending with a line feed. Unless skipValidation
// is set (the caller validated the document already), an invalid document has no grid.
std::optional<QList<ReadingDocument::Span>> tableCells(const ReadingDocument::Span& span,
                                                       const ReadingDocument& document, bool skipValidation);

// The grid tables of a valid document, in document order, with their cells' places and boxes.
QList<ReaderGridTable> gridTables(const ReadingDocument& document, double pointSize);

// The pieces the styling is made of, shared by the storages that style a text a part at a time.

// The body font: the reading family, regular, at the point size.
QFont bodyFont(double pointSize);
// The paragraph format of body text: line height 4 × scale, spacing after 10 × scale.
QTextBlockFormat baseParagraphFormat(double pointSize);
// The format of a grid table of that many columns: collapsed borders, width 100 %, equal columns.
QTextTableFormat tableFormat(int columns);
// The box of a grid cell: padding 7 × scale, a 0.5-point border, top alignment, the pane background
// for a header cell.
QTextTableCellFormat cellFormat(bool isHeader, double pointSize);
// A paragraph inside a grid cell: spacing 3 × scale after, none before, no indents; the line height kept.
void applyCellParagraph(QTextBlockFormat& format, double pointSize);
// The bold face of a run's font, as strong text and header cells show it.
void makeBold(QTextCharFormat& format);

}  // namespace ReaderArticleStyle

}  // namespace tavrine
