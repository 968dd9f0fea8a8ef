#pragma once

#include <QStringView>

namespace tavrine::internal {

// What one line of a plain text shows by its characters alone, for telling a line its source wrapped from
// one the source shows as a line. Each takes the line without its line feed and without the indentation
// the source put before it.

// Its last character, past white space and closing quotes and brackets, is one of 。．｡！？.!?
bool endsSentence(QStringView line);

// A sentence ends inside it and more text follows: "た。それから" or "ago. Then".
bool holdsSentenceEndBeforeItsEnd(QStringView line);

// It starts a paragraph or an item of a list that Markdown does not know: white space (a Japanese
// paragraph starts with an ideographic space), a bullet (・ • ◦ ● ■ ※ and others), a circled number,
// one to three digits or kanji numerals closed by . ) 、 ．or ） and not followed by another numeral
// ("1.5倍" is a number, "一、二度" a count, no item), a letter closed by ), or a number in brackets ("(1)",
// "（一）"). Items counted in kana ("い、" "ろ、") need the lines around them: ParagraphWraps tells them.
bool startsParagraphOrItem(QStringView line);

// An utterance in Japanese quotes: the line closes one (it ends in 」 or 』) or opens one (it starts
// with 「 or 『).
bool closesUtterance(QStringView line);
bool opensUtterance(QStringView line);

// A line of code: it ends in ; { or }.
bool endsCodeStatement(QStringView line);

// A letter of any script, a split word's first half ("tem-", "tem‐"), a lowercase letter first.
bool holdsLetter(QStringView line);
bool endsInHyphenatedWord(QStringView line);
bool startsWithLowercase(QStringView line);

// A row of a table or a listing, which is a line whatever its width:
// - a line drawn with box-drawing characters (a row, a border, a cell's edge: any of them but a horizontal
//   line, or a horizontal line that touches no other character), or a pipe at either end ("| a | b |"); two
//   horizontal lines between words ("長い──本当に長い") are a dash;
// - a tab after its first character (tab-separated values);
// - the mode of a file listing at its start ("-rw-r--r--", "drwxr-xr-x").
bool isTableOrListingRow(QStringView line);

// How many commas it holds as a separator of comma-separated values: with no space after them and not
// between a digit and three more ("1,234" is a number, "2024-01-05,12000" two values). Two neighbouring
// lines with the same count, not zero, are two rows of one table.
qsizetype separatingCommas(QStringView line);

// A heading numbered as a book's parts are: "第三章", "第2節 …", "Chapter 2", "Part II: …", "Section 3. …".
bool isNumberedHeading(QStringView line);

// The first line of a copied text runs on into the next: it is what was selected of a line, cut mid-word
// or mid-phrase. It ends in a kana or a comma of Japanese; in a Latin letter or a figure with a lowercase
// word at its end, at its start or at the next line's start; in a Han character while it holds a
// sentence's end or starts with a kana. A greeting ("Dear Ann,"), a line ending in a colon, a numbered
// heading, an item, a line that ends a sentence or an utterance stands alone.
bool runsOnInto(QStringView line, QStringView next);

// The quote marks that Japanese mailers and boards put before a quoted line: "＞", "＞＞" and so on, and
// the white space around them. `depth` counts the marks, `length` (in units) takes the white space before
// them and one space after them.
struct QuoteMarks {
    qsizetype depth = 0;
    qsizetype length = 0;

    bool operator==(const QuoteMarks&) const = default;
};
QuoteMarks quoteMarks(QStringView line);

// A mail's signature starts after it: "--" (a mailer's "-- " with its space trimmed).
bool isSignatureSeparator(QStringView line);

// The rules of Japanese line breaking: a character that may not begin a line (closing brackets, 、。,
// small kana, ー, …) and one that may not end a line (opening brackets).
bool mayNotStartLine(char32_t c);
bool mayNotEndLine(char32_t c);

// It aligns columns: a run of two spaces or more (ideographic spaces too, as a menu aligns its prices)
// between two characters, other than after a sentence's end. Two neighbouring such lines are rows of one
// table (a listing such as ps or df prints).
bool alignsColumns(QStringView line);

}  // namespace tavrine::internal
