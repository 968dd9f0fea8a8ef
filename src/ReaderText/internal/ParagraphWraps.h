#pragma once

#include <QList>
#include <QStringView>

namespace tavrine::internal {

// How wide a text shows in a fixed-width font, in columns: an East Asian Wide or Fullwidth character takes
// two, a combining mark or a character that draws nothing (a format character, a control) none, any
// other character one.
qsizetype displayColumns(QStringView text);

// Which line ends of one paragraph, as its source showed it, only wrap the paragraph: the source (a mail
// wrapped at 72 columns, a PDF viewer's copy, a terminal) broke a line there because it was full, not
// because the text ends a line. `lines` are the paragraph's lines in order, without their line feeds; the
// answer holds one flag per line end, lines.size() - 1 of them.
//
// A line end is a wrap when all of these hold:
// - its line is at least kWrapMinimumColumns wide (displayColumns) and at least kWrapShareOfWidest percent
//   as wide as the paragraph's widest line: it is filled to about the width the source wrapped at. A
//   heading, a haiku's or a poem's short lines and the lines of a listing that differ in length stay;
// - its line ends no sentence: its last character, past closing quotes and brackets, is none of
//   。．｡！？.!? ;
// - the next line shows something, and does not start as a list item (a bullet such as ・ • ◦ ● ■ ※;
//   one to three digits closed by . ) 、 ．or ）; a letter closed by ); a number in brackets; a circled
//   number) nor with white space (a Japanese paragraph starts with an ideographic space).
// What Markdown itself makes a block (a heading, a list, a quote, a code block) never reaches a paragraph's
// lines.
QList<bool> paragraphWraps(const QList<QStringView>& lines);

inline constexpr qsizetype kWrapMinimumColumns = 40;
inline constexpr qsizetype kWrapShareOfWidest = 80;

}  // namespace tavrine::internal
