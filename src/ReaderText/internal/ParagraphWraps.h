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
    unspaced,  // joined with nothing between: a word cut or hyphenated at the wrap, a wrap beside a wide character
};

struct LineEnd {
    LineJoin join = LineJoin::kept;
    // The units at the start of the next line that vanish with the join: the quote marks ("＞", "＞＞ ") that
    // a quoted line repeats from the line it continues, and white space before them; the white space a line
    // hangs under its list item with ("　　").
    qsizetype droppedMarks = 0;

    bool operator==(const LineEnd&) const = default;
};

// Which line ends of a text only wrap its paragraphs: its source (a mail, a PDF viewer's copy, a terminal)
// broke the line there because it was full, not because the text ends a line. Answers one LineEnd per
// line, in order; the last line's is kept.
//
// The measure is the width at which the source wraps (a line's width: `margin`, its quote marks ("＞") and
// displayColumns of the rest, white space at its end left out), found where it applies, as a text may
// hold paragraphs wrapped at several widths (a reply above a quote, Japanese above English).
// - A line reaches a width W when it is no wider than W and the start of the next line would not have
//   fitted after it: its first word (a run of characters that are neither white space nor wide, after one
//   space unless the line ends in a wide character) or its first wide character; with East Asian Ambiguous
//   characters one column wide too, as some tools count them. A line one wide character short of W reaches
//   it only where the rules of Japanese line breaking explain it (the next line's first or second character
//   may not begin a line, or its first may not end one), so that verse of lines one character apart keeps
//   its lines.
// - Prose: a line whose end is soft, that holds a letter and is none of the lines below that never join
//   for their shape (a table's row, code, an indented line). Evidence: prose before a line that starts
//   with no capital letter (verse capitalises each line; wrapped prose rarely does).
// - Words, in Japanese (continuationAt): a prose line's end falls inside a word or the next line carries the
//   line on (a cut), or the next line's particle may carry on a quote or a noun, or a sentence that starts
//   inside the line runs on past its end, as in running prose and never in an item or a line of verse
//   (likely), or neither.
// - Items: a line that starts with a list's marker (startsParagraphOrItem), "い、" "ろ、" in the iroha's order,
//   or a line indented under an item whose words the item's last line cuts (a step's second line).
// - Blocks: the lines between two line ends that are not soft, between lines of another shape (a table's
//   row, a line without a letter other than closing marks alone that a wrap moved down ("。"), a numbered
//   heading that starts a paragraph, a signature's lines after "--") or quote marks of another depth, and
//   after a line that ends a sentence or a paragraph well short of the line before it (a paragraph's end
//   where no empty line follows).
// - The width of some lines is the width of one of their prose lines, at least kWrapMinimumColumns, that
//   the most lines of evidence reach (the wider on a tie). They wrap at it when at least kWrapMinimumLines
//   lines of evidence reach it, they are at least half of the prose at least half as wide, and more than
//   twice the lines against it: a line that could have been a wrap but ends short of it while at least
//   half as wide, or is wider and could have been broken within it (a closing mark hung past the edge
//   aside). No line counts against a width that can be no evidence of verse: the first line of the text
//   (a selection may start anywhere in a line) for ending short, the last line of a block, a line that
//   ends a sentence or an utterance or comes before one that opens an utterance.
// - A block with at least kWrapMinimumLines lines of evidence that end no sentence wraps at its own width
//   where it is at least half the text's (a few short lines alike are a list or verse) and its lines wrap
//   at it; every other block wraps at the text's width (over the evidence of every block) where their
//   lines, judged together, do.
// - A block of mostly wide characters is shown to be wrapped prose where the words at one of its line ends
//   are a cut or likely. One that is not and has three lines or more (a timetable, a menu, a list, verse:
//   lines that each end between words, however alike their widths) wraps only at the width at which the
//   shown blocks of the text wrap together; a shorter one wraps at none where no block of the text is shown
//   or, of other letters, wraps.
// A line end where the words are a cut joins its lines with nothing between, in a block of any length and
// the first line of the text too; any other joins them where the line reaches its block's width. Neither
// joins where one of these holds:
// - the line ends a sentence (endsSentence), or the next line shows nothing or starts a paragraph or a
//   list item (startsParagraphOrItem, or an item as above) other than a line hanging under its item;
// - the line closes an utterance and the next opens another (「…」 then 「…」: two speakers);
// - either line is a table's or a listing's row (isTableOrListingRow), both are comma-separated rows
//   with as many separators, or both align columns with runs of spaces;
// - the line is code (endsCodeStatement), or either line is indented past its paragraph's first line;
// - either line has another shape, or their quote marks differ.
// The first line of the text also joins when it is narrower than its block's width and the source wraps
// after it, where it runs on into the next line (runsOnInto): a selection that starts mid-line. Where it is
// plainly a piece of a line (it or the next starts with a lowercase letter, it starts with what may not
// begin a line, a sentence ends inside it), it is evidence of every width it is no wider than. A
// greeting, a numbered heading or an utterance above a paragraph stays its line. A Japanese text of one
// block that runs on from its first line and whose words are cut at a line end, a selection that starts and
// ends mid-line, wraps at the width of its widest line where that is wider than the first and the last.
// A join leaves nothing between a word hyphenated at the wrap ("tem-", "tem‐") and its lowercase half,
// between two wide characters (of a line of Japanese, ambiguous ones too), and, in a block of mostly wide
// characters, between a wide character and anything ("約1200人", "、iPhone", "5G回線", "kmで"): two words of
// other letters keep their space. It drops the quote marks a joined line repeats and the white space a line
// hangs under its item with.
// Linear in the text's length: the words are asked only of the characters around each line end.
QList<LineEnd> paragraphWraps(const QList<SourceLine>& lines);

inline constexpr qsizetype kWrapMinimumColumns = 24;
inline constexpr qsizetype kWrapMinimumLines = 2;

}  // namespace tavrine::internal
