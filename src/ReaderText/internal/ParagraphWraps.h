#pragma once

#include <QList>
#include <QStringView>

namespace tavrine::internal {

// How wide a text shows in a fixed-width font, in columns: an East Asian Wide or Fullwidth character takes
// two, a combining mark or a character that draws nothing (a format character, a control) none, any
// other character one; an East Asian Ambiguous character (… ― ※ ○ × → “ ” ─) takes two in a text that holds
// a wide character, as Japanese fonts, PDF viewers and mailers show it beside Japanese.
qsizetype displayColumns(QStringView text);

// One line of a text as its source showed it.
struct SourceLine {
    // The line as read, without its line feed and without what `margin` stands for.
    QStringView text;
    // The columns the source showed before `text` and that the reading dropped: indentation and quote marks.
    qsizetype margin = 0;
    // The column at which the line's text starts in the source, a list item's marker counted: a line
    // indented past the first line of its paragraph is code or a block of its own.
    qsizetype indent = 0;
    // Its line end lies inside a paragraph (a soft break of Markdown): no other line end is ever joined.
    bool softEnd = false;

    bool operator==(const SourceLine&) const = default;
};

// What becomes of a line end.
enum class LineJoin {
    kept,      // a line feed: the source shows the line as a line
    joined,    // the line only wraps its paragraph: a space, or nothing between two wide characters
    unspaced,  // joined with nothing between: a word hyphenated at the wrap, or a wrap beside a wide character
};

struct LineEnd {
    LineJoin join = LineJoin::kept;
    // The units at the start of the next line that vanish with the join: the quote marks ("＞", "＞＞ ") that
    // a quoted line repeats from the line it continues, and white space before them.
    qsizetype droppedMarks = 0;

    bool operator==(const LineEnd&) const = default;
};

// Which line ends of a text only wrap its paragraphs: its source (a mail, a PDF viewer's copy, a terminal)
// broke the line there because it was full, not because the text ends a line. Answers one LineEnd per
// line, in order; the last line's is kept.
//
// The measure is the width at which the source wraps (a line's width: `margin`, its quote marks ("＞") and
// displayColumns of the rest, white space at its end left out). A line reaches a width W when it is no wider than W and
// the source could not have put more of the next line onto it: W is at most its width plus the next line's first word
// (a run of characters that are neither white space nor wide, after one space unless the line ends in a wide character)
// or, where the next line starts with a wide character, three columns (that character and the odd column it could not
// take). So a Japanese line reaches W from W - 3 on (one character short of full, as when a closing mark moved down
// with the character before it), an English line from W less its next word.
// - Prose: a line whose end is soft, that holds a letter and is none of the lines below that never join
//   for their shape (a table's row, code, an indented line). Evidence: prose before a line that starts
//   with no capital letter (verse capitalises each line; wrapped prose rarely does).
// - W is the width of a line of evidence, at least kWrapMinimumColumns, that the most lines of evidence
//   reach (the wider on a tie): a title, a footnote or an address wider than the column reaches only
//   itself and loses to the column's lines.
// - The text wraps at W when at least kWrapMinimumLines lines of evidence reach it, they are at least half
//   of the prose at least half as wide as W (lines that differ in length, as one line a paragraph does,
//   leave W alone), and more than twice as many as the lines that could have been wraps (below) but end
//   short of W while at least half as wide: verse keeps its lines, while a signature's or a greeting's
//   short lines weigh nothing.
// A line end then joins its lines when the line reaches W and none of these holds:
// - the line ends a sentence (endsSentence), or the next line shows nothing or starts a paragraph or a
//   list item (startsParagraphOrItem);
// - the line closes an utterance and the next opens another (「…」 then 「…」: two speakers);
// - either line is a table's or a listing's row (isTableOrListingRow), both are comma-separated rows
//   with as many separators, or both align columns with runs of spaces;
// - the line is code (endsCodeStatement), or either line is indented past its paragraph's first line;
// - the line holds no letter (a time code, a rule, a row of figures), or the two lines' quote marks differ.
// The first line of the text also joins when it is narrower than W and the source wraps after it: a
// selection that starts mid-line. That is when the next line joins its own next line, and the first line
// runs on into it (runsOnInto: it ends mid-word or mid-phrase; a greeting, a numbered heading or an
// utterance above a paragraph does not). A line that ends in a hyphenated word's half ("tem-", "tem‐") before a
// lowercase letter joins unspaced, and so does a wrap between two wide characters (of a line of Japanese,
// ambiguous ones too) or, in a text of mostly wide characters, between a wide character and anything but a
// letter ("約1200人", "来年度の2.8倍"): English beside a Japanese word keeps its space. A join drops the
// quote marks that the next line repeats.
// Linear in the text's length.
QList<LineEnd> paragraphWraps(const QList<SourceLine>& lines);

inline constexpr qsizetype kWrapMinimumColumns = 24;
inline constexpr qsizetype kWrapMinimumLines = 2;

}  // namespace tavrine::internal
