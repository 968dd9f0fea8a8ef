#pragma once

#include "ReaderCore/ReadingDocument.h"
#include "ReaderText/MarkdownReader.h"
#include "ReaderText/internal/MarkdownText.h"

#include <md4c.h>

#include <optional>
#include <vector>

namespace tavrine::internal {

// Receives the parser's walk of one Markdown document, in document order, and builds the reading
// document from it:
// - every block starts a line and ends its line with one line feed, without empty lines between
//   blocks; a block's span takes its closing line feed, and an element that produced no text has none;
// - a list item starts with its marker ("n. " counted from the list's start, or "• "), its first block
//   on the marker's line (a first block that shows nothing ends no line there); a line that ends right
//   after a marker loses the marker's space; lists are not indented, their depth is the item's level,
//   as a quote's depth is the quote's level;
// - a table is one line per cell, header cells first, every row as wide as the header;
// - spans are listed as their elements finish, inner before outer;
// - with LineEnds::unwrapped, a soft break is first written as a line feed, then, once the whole text is
//   known, joined where it only wraps its paragraph (paragraphWraps, which measures the source's wrap
//   width block by block), the quote marks ("＞") its next line repeats dropped, the spans after it moved
//   back.
// Each callback answers 0 to go on, anything else to stop the parser, with failure() set.
//
// The parser is trusted with nothing it reports: a text that reaches beyond the input (a size from an
// overflow, a pointer past the end) is unreadable before a byte of it is read. The only texts from
// outside the input are the parser's own constants (a line feed, a code block's indentation, the empty
// string of a NUL), never longer than kLongestConstantText. The texts inside spans' and blocks' details
// are never read.
class MarkdownDocumentBuilder {
public:
    static constexpr MD_SIZE kLongestConstantText = 16;

    // The input the parser reads, as it was handed to it; the builder keeps a view of it. A soft break
    // in the main text becomes what `lineEnds` asks for; in an image's alternative text, which is one
    // line, it is always joined.
    explicit MarkdownDocumentBuilder(QByteArrayView input,
                                     MarkdownReader::LineEnds lineEnds = MarkdownReader::LineEnds::joined)
        : m_input(input), m_lineEnds(lineEnds) {
        m_text.reserve(input.size());
    }

    int enterBlock(MD_BLOCKTYPE type, const void* detail);
    int leaveBlock(MD_BLOCKTYPE type, const void* detail);
    int enterSpan(MD_SPANTYPE type);
    int leaveSpan(MD_SPANTYPE type);
    int text(MD_TEXTTYPE type, const MD_CHAR* text, MD_SIZE size);

    std::optional<MarkdownReader::Failure> failure() const { return m_failure; }
    // The document, its line feeds at the very end dropped and its spans cut to the shorter text.
    ReadingDocument takeDocument();

private:
    using Kind = ReadingDocument::Span::Kind;
    // An inline span whose first text has not been written yet: a soft break held before it may still
    // become a space, which must stay outside the span.
    static constexpr qsizetype kStartsWithNextText = -1;

    struct OpenBlock {
        MD_BLOCKTYPE type;
        qsizetype start = 0;
    };
    struct InlineSpan {
        MD_SPANTYPE type;
        std::optional<Kind> kind;
        qsizetype start = kStartsWithNextText;
    };
    struct List {
        bool ordered = false;
        qint64 nextNumber = 1;
    };

    int fail(MarkdownReader::Failure failure);
    bool isTrustworthy(const MD_CHAR* text, MD_SIZE size) const;
    void blockBoundary();
    void endLine();
    void wrote(qsizetype start);
    void writeText(MD_TEXTTYPE type, QByteArrayView text);
    void writeLineFeed();
    void writeAlternativeText(MD_TEXTTYPE type, QByteArrayView text);
    void writePlaceholder();
    void recordSpan(Kind kind, qsizetype start, qint64 level);
    void noteLineStart(const MD_CHAR* text);
    void joinWrappedLines();

    QByteArrayView m_input;
    MarkdownReader::LineEnds m_lineEnds;
    MarkdownText m_text;
    QList<ReadingDocument::Span> m_spans;
    // What is open, innermost last. On some malformed input the parser reports a leave without its
    // enter: a leave that does not match the innermost open element is ignored.
    std::vector<OpenBlock> m_blocks;
    std::vector<List> m_lists;
    std::vector<InlineSpan> m_inlineSpans;
    qint64 m_quoteDepth = 0;
    // Inside an image (images nest in alternative texts), every piece of text goes to its alternative.
    int m_imageDepth = 0;
    MarkdownText m_alternative;
    std::optional<MarkdownReader::Failure> m_failure;
    // With LineEnds::unwrapped: the line feeds written for soft breaks, in order, each joined or kept
    // once the whole text is known (joinWrappedLines, as the document is taken); and where the source
    // line of each written line began its text (noteLineStart).
    struct LineStart {
        qsizetype offset = 0;  // in the text
        qsizetype margin = 0;
        qsizetype indent = 0;
    };
    std::vector<qsizetype> m_softBreaks;
    std::vector<LineStart> m_lineStarts;
};

}  // namespace tavrine::internal
