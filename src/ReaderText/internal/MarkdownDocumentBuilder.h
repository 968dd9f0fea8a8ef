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
// - spans are listed as their elements finish, inner before outer.
// Each callback answers 0 to go on, anything else to stop the parser, with failure() set.
class MarkdownDocumentBuilder {
public:
    explicit MarkdownDocumentBuilder(qsizetype expectedLength) { m_text.reserve(expectedLength); }

    int enterBlock(MD_BLOCKTYPE type, const void* detail);
    int leaveBlock(MD_BLOCKTYPE type, const void* detail);
    int enterSpan(MD_SPANTYPE type);
    int leaveSpan(MD_SPANTYPE type);
    int text(MD_TEXTTYPE type, QByteArrayView text);

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
    void blockBoundary();
    void endLine();
    void wrote(qsizetype start);
    void writeText(MD_TEXTTYPE type, QByteArrayView text);
    void writeAlternativeText(MD_TEXTTYPE type, QByteArrayView text);
    void writePlaceholder();
    void recordSpan(Kind kind, qsizetype start, qint64 level);

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
};

}  // namespace tavrine::internal
