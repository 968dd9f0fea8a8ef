#pragma once

#include "ReaderCore/CancellationToken.h"
#include "ReaderCore/ReadingDocument.h"

#include <QByteArrayView>
#include <QString>

#include <tl/expected.hpp>

namespace tavrine {

// Turns a Markdown text into a reading document that reads like a book chapter: CommonMark with GitHub
// tables, strikethrough, task lists and permissive autolinks, each block on lines of its own, with
// paragraph, heading, list, quote, code, table and emphasis spans and no sections. Raw HTML, link
// targets and the boxes of task lists are left out; an image reads as a placeholder with its
// alternative text.
//
// Stateless: calls may run at the same time on any threads. The conversion checks no token: within the
// input limit it takes well under a millisecond, so a cancellation is seen right after it.
class MarkdownReader {
public:
    enum class Failure {
        empty,       // blank input, or a blank converted text
        tooLong,     // more than kMaximumLength UTF-16 units, before or after conversion
        tooComplex,  // containers nested deeper than kMaximumNesting, or a table with more columns
        unreadable,  // the parser failed, or its result is no valid document
        cancelled,   // the token was cancelled before or during the conversion
    };
    using Result = tl::expected<ReadingDocument, Failure>;

    // What a line end inside a paragraph (a soft break) becomes.
    enum class LineEnds {
        // A space, or nothing between two wide characters (softBreakVanishesBetween): a text wrapped by
        // hand, as a Markdown file is, reads as the paragraph it was written as.
        joined,
        // A line feed: a text whose every line end is one its source shows (a web page's selection, whose
        // lines are its blocks, <br>s and <pre> lines) keeps each of them, a heading apart from the
        // sentence after it.
        kept,
        // Joined where the line end only wraps its paragraph (the line is filled to the width at which
        // several lines of its paragraph, or of the text, wrap and ends no sentence: internal::paragraphWraps;
        // nothing between a wide character and anything but a letter, quote marks such as "＞" that the next
        // line repeats dropped), a line feed as `kept` anywhere else: a mail, a PDF viewer's copy or a
        // terminal's text wrapped at a fixed width reads as its paragraphs, while a heading, a poem's lines,
        // an utterance, a list item, a table's row, code or a sentence's end stays a line.
        unwrapped,
    };

    // The limit of the Markdown text and of the converted text alike, in UTF-16 units.
    static constexpr qsizetype kMaximumLength = 20'000;
    // The deepest nesting of quotes and lists together, and the widest table: span levels stay within
    // what a valid document allows.
    static constexpr qint64 kMaximumNesting = 100;

    // The document of a Markdown text. In this order: a text longer than kMaximumLength is tooLong and a
    // blank one empty, before any conversion; the token is checked before and after the conversion; a
    // converted document that is not valid is unreadable, one whose text is longer than kMaximumLength
    // tooLong, one whose text is blank empty.
    static Result read(const QString& markdown, const CancellationToken& cancellation = CancellationToken::none());
    // The same, each line end inside a paragraph read as `lineEnds` asks.
    static Result readWithLineEnds(const QString& markdown, LineEnds lineEnds,
                                   const CancellationToken& cancellation = CancellationToken::none());
    // The same, each line end inside a paragraph kept as a line feed (LineEnds::kept).
    static Result readKeepingLineEnds(const QString& markdown,
                                      const CancellationToken& cancellation = CancellationToken::none());

    // The conversion itself, without the limits of read() and without its checks of the result: UTF-8 in
    // (malformed sequences read as U+FFFD), the document, tooComplex or unreadable out.
    static Result convert(QByteArrayView utf8, LineEnds lineEnds = LineEnds::joined);

    MarkdownReader() = delete;
};

}  // namespace tavrine
