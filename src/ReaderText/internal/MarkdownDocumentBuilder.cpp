#include "ReaderText/internal/MarkdownDocumentBuilder.h"

#include "ReaderText/internal/ParagraphWraps.h"

#include <algorithm>
#include <cstdint>

namespace tavrine::internal {
namespace {
using namespace Qt::StringLiterals;
using Failure = MarkdownReader::Failure;

bool nests(MD_BLOCKTYPE type) {
    return type == MD_BLOCK_QUOTE || type == MD_BLOCK_UL || type == MD_BLOCK_OL;
}

}  // namespace

int MarkdownDocumentBuilder::fail(Failure failure) {
    m_failure = failure;
    return 1;
}

// Where a block starts or ends: a line ends, except right after a list marker, where the line goes on:
// an item's first block shares its marker's line, and a block that showed nothing there ends nothing.
void MarkdownDocumentBuilder::blockBoundary() {
    if (m_text.afterMarker()) {
        m_text.dropSoftBreak();
    } else {
        endLine();
    }
}

// A soft break held at the end of a block that showed nothing must not reach into the next block. A
// line that ends right after a marker loses the marker's space.
void MarkdownDocumentBuilder::endLine() {
    m_text.dropSoftBreak();
    if (!m_text.atLineStart()) m_text.appendLineFeed();
}

// Called after every write to the text, with the offset at which the written piece begins.
void MarkdownDocumentBuilder::wrote(qsizetype start) {
    for (auto it = m_inlineSpans.rbegin(); it != m_inlineSpans.rend() && it->start == kStartsWithNextText; ++it) {
        it->start = start;
    }
}

void MarkdownDocumentBuilder::recordSpan(Kind kind, qsizetype start, qint64 level) {
    if (start >= 0 && start < m_text.length()) m_spans.append({kind, start, m_text.length(), level});
}

// Where an unwrapped text's line began its text in the source, read from the source line up to that
// text: the white space and quote marks before it (the margin, in columns, tabs stopping every four), then
// a list item's marker and the white space after it (which, with the margin, make the indent). Only a
// short stretch is looked at: a longer one holds text, and the line starts at no margin.
void MarkdownDocumentBuilder::noteLineStart(const MD_CHAR* text) {
    if (m_lineEnds != MarkdownReader::LineEnds::unwrapped || m_imageDepth > 0) return;
    if (!(m_text.atLineStart() || m_text.afterMarker())) return;
    if (!m_lineStarts.empty() && m_lineStarts.back().offset == m_text.length()) return;
    const auto begin = reinterpret_cast<std::uintptr_t>(m_input.data());
    const auto at = reinterpret_cast<std::uintptr_t>(text);
    if (at < begin || at - begin > std::uintptr_t(m_input.size())) return;
    constexpr qsizetype kLongestPrefix = 64;
    const qsizetype end = qsizetype(at - begin);
    qsizetype lineStart = end;
    while (lineStart > 0 && end - lineStart < kLongestPrefix && m_input[lineStart - 1] != '\n' &&
           m_input[lineStart - 1] != '\r') {
        --lineStart;
    }
    if (lineStart > 0 && m_input[lineStart - 1] != '\n' && m_input[lineStart - 1] != '\r') return;
    const QByteArrayView prefix = m_input.sliced(lineStart, end - lineStart);

    qsizetype column = 0;
    qsizetype i = 0;
    const auto isBlank = [](char c) { return c == ' ' || c == '\t'; };
    const auto advance = [&] { column = prefix[i++] == '\t' ? (column / 4 + 1) * 4 : column + 1; };
    while (i < prefix.size() && (isBlank(prefix[i]) || prefix[i] == '>')) advance();
    LineStart start{m_text.length(), column, column};
    qsizetype marker = i;
    while (marker < prefix.size() && marker - i < 9 && prefix[marker] >= '0' && prefix[marker] <= '9') ++marker;
    const bool numbered = marker > i && marker < prefix.size() && (prefix[marker] == '.' || prefix[marker] == ')');
    const bool bullet = marker == i && marker < prefix.size() && QByteArrayView("-+*").contains(prefix[marker]);
    if (numbered || bullet) {
        ++marker;
        if (marker == prefix.size() || isBlank(prefix[marker])) {
            while (i < marker) advance();
            while (i < prefix.size() && isBlank(prefix[i])) advance();
            start.indent = column;
        }
    }
    m_lineStarts.push_back(start);
}

// Once the whole text is written: its lines, each with where its source line began its text and whether
// a soft break ends it, are measured together, and the soft breaks that only wrap are joined.
void MarkdownDocumentBuilder::joinWrappedLines() {
    if (m_softBreaks.empty()) return;
    const QString& text = m_text.text();
    QList<SourceLine> lines;
    std::vector<qsizetype> lineEnds;
    auto lineStart = m_lineStarts.cbegin();
    auto softBreak = m_softBreaks.cbegin();
    for (qsizetype start = 0;;) {
        qsizetype end = text.indexOf(u'\n', start);
        if (end < 0) end = text.size();
        SourceLine line{QStringView(text).sliced(start, end - start)};
        while (lineStart != m_lineStarts.cend() && lineStart->offset < start) ++lineStart;
        if (lineStart != m_lineStarts.cend() && lineStart->offset <= end) {
            line.margin = lineStart->margin;
            line.indent = lineStart->indent;
        }
        while (softBreak != m_softBreaks.cend() && *softBreak < end) ++softBreak;
        line.softEnd = softBreak != m_softBreaks.cend() && *softBreak == end;
        lines.append(line);
        lineEnds.push_back(end);
        if (end == text.size()) break;
        start = end + 1;
    }
    const QList<LineEnd> ends = paragraphWraps(lines);
    lines.clear();
    m_softBreaks.clear();
    m_lineStarts.clear();
    // Last to first, so that each offset still holds its line feed; the spans move by the units that
    // vanished before their ends, each listed at its offset before the joins, in ascending order once
    // reversed.
    std::vector<qsizetype> vanished;
    for (qsizetype i = ends.size() - 1; i >= 0; --i) {
        if (ends[i].join == LineJoin::kept) continue;
        const qsizetype end = lineEnds[size_t(i)];
        const qsizetype marks = ends[i].droppedMarks;
        for (qsizetype unit = end + marks; unit > end; --unit) vanished.push_back(unit);
        if (m_text.joinLines(end, ends[i].join == LineJoin::unspaced, marks)) vanished.push_back(end);
    }
    if (vanished.empty()) return;
    std::reverse(vanished.begin(), vanished.end());
    const auto movedBack = [&vanished](qsizetype offset) {
        return qsizetype(std::lower_bound(vanished.cbegin(), vanished.cend(), offset) - vanished.cbegin());
    };
    for (ReadingDocument::Span& span : m_spans) {
        span.start -= movedBack(span.start);
        span.end -= movedBack(span.end);
    }
}

int MarkdownDocumentBuilder::enterBlock(MD_BLOCKTYPE type, const void* detail) {
    if (nests(type) && qint64(m_lists.size()) + m_quoteDepth >= MarkdownReader::kMaximumNesting) {
        return fail(Failure::tooComplex);
    }
    switch (type) {
    case MD_BLOCK_TABLE:
        if (static_cast<const MD_BLOCK_TABLE_DETAIL*>(detail)->col_count > MarkdownReader::kMaximumNesting) {
            return fail(Failure::tooComplex);
        }
        blockBoundary();
        break;
    case MD_BLOCK_UL: m_lists.push_back({false, 1}); break;
    case MD_BLOCK_OL: m_lists.push_back({true, static_cast<const MD_BLOCK_OL_DETAIL*>(detail)->start}); break;
    case MD_BLOCK_QUOTE:
        ++m_quoteDepth;
        blockBoundary();
        break;
    case MD_BLOCK_HR: endLine(); break;
    case MD_BLOCK_LI:
    case MD_BLOCK_H:
    case MD_BLOCK_CODE:
    case MD_BLOCK_P: blockBoundary(); break;
    // Cells start lines of their own: the table started one, and every cell ends its line.
    case MD_BLOCK_DOC:
    case MD_BLOCK_HTML:
    case MD_BLOCK_THEAD:
    case MD_BLOCK_TBODY:
    case MD_BLOCK_TR:
    case MD_BLOCK_TH:
    case MD_BLOCK_TD: break;
    }
    m_blocks.push_back({type, m_text.length()});

    if (type == MD_BLOCK_LI) {
        const bool ordered = !m_lists.empty() && m_lists.back().ordered;
        wrote(m_text.appendMarker(ordered ? QString::number(m_lists.back().nextNumber++) + u". "_s : u"• "_s));
    }
    return 0;
}

int MarkdownDocumentBuilder::leaveBlock(MD_BLOCKTYPE type, const void* detail) {
    if (m_blocks.empty() || m_blocks.back().type != type) return 0;
    const qsizetype start = m_blocks.back().start;
    m_blocks.pop_back();
    switch (type) {
    case MD_BLOCK_QUOTE:
        blockBoundary();
        recordSpan(Kind::quote, start, m_quoteDepth);
        --m_quoteDepth;
        break;
    case MD_BLOCK_UL:
    case MD_BLOCK_OL: m_lists.pop_back(); break;
    case MD_BLOCK_LI:
        endLine();
        recordSpan(Kind::listItem, start, qint64(m_lists.size()));
        break;
    case MD_BLOCK_H:
        blockBoundary();
        recordSpan(Kind::heading, start, static_cast<const MD_BLOCK_H_DETAIL*>(detail)->level);
        break;
    case MD_BLOCK_CODE:
        blockBoundary();
        recordSpan(Kind::codeBlock, start, 0);
        break;
    case MD_BLOCK_P:
        blockBoundary();
        recordSpan(Kind::paragraph, start, 0);
        break;
    case MD_BLOCK_TH:
    case MD_BLOCK_TD: {
        // Also an empty cell is a line, so every row has as many lines as the table has columns. An
        // empty first cell on a marker's line ends that line in place of the marker's space: the cell,
        // and the table around it, take that line feed.
        const bool endsMarkerLine = m_text.afterMarker();
        m_text.appendLineFeed();
        wrote(start);
        const qsizetype cellStart = endsMarkerLine ? start - 1 : start;
        if (endsMarkerLine) {
            for (OpenBlock& block : m_blocks) {
                if (block.start == start) block.start = cellStart;
            }
        }
        recordSpan(type == MD_BLOCK_TH ? Kind::tableHeader : Kind::tableCell, cellStart, 0);
        break;
    }
    case MD_BLOCK_TABLE:
        recordSpan(Kind::table, start, static_cast<const MD_BLOCK_TABLE_DETAIL*>(detail)->col_count);
        break;
    case MD_BLOCK_DOC:
    case MD_BLOCK_HR:
    case MD_BLOCK_HTML:
    case MD_BLOCK_THEAD:
    case MD_BLOCK_TBODY:
    case MD_BLOCK_TR: break;
    }
    return 0;
}

// Strikethrough and links give their text only (an autolink's text is its address); an image gives a
// placeholder for itself and everything inside it.
int MarkdownDocumentBuilder::enterSpan(MD_SPANTYPE type) {
    if (type == MD_SPAN_IMG) {
        if (m_imageDepth++ == 0) m_alternative.clear();
        return 0;
    }
    if (m_imageDepth > 0) return 0;
    std::optional<Kind> kind;
    if (type == MD_SPAN_EM) kind = Kind::emphasis;
    if (type == MD_SPAN_STRONG) kind = Kind::strong;
    if (type == MD_SPAN_CODE) kind = Kind::code;
    m_inlineSpans.push_back({type, kind, kStartsWithNextText});
    return 0;
}

int MarkdownDocumentBuilder::leaveSpan(MD_SPANTYPE type) {
    if (type == MD_SPAN_IMG) {
        if (m_imageDepth > 0 && --m_imageDepth == 0) writePlaceholder();
        return 0;
    }
    if (m_imageDepth > 0 || m_inlineSpans.empty() || m_inlineSpans.back().type != type) return 0;
    const InlineSpan span = m_inlineSpans.back();
    m_inlineSpans.pop_back();
    if (span.kind) recordSpan(*span.kind, span.start, 0);
    return 0;
}

// Addresses are compared as integers: a pointer outside the input may belong to no array at all. A text
// that starts in the input, or in the stretch right after it where an offset that ran past the end would
// point, must end in it. Farther away a pointer cannot be told from one to the parser's constants, which
// lie wholly outside the input and are never longer than kLongestConstantText.
bool MarkdownDocumentBuilder::isTrustworthy(const MD_CHAR* text, MD_SIZE size) const {
    if (size == 0) return true;
    if (!text) return false;
    const auto begin = reinterpret_cast<std::uintptr_t>(m_input.data());
    const auto end = begin + std::uintptr_t(m_input.size());
    const auto start = reinterpret_cast<std::uintptr_t>(text);
    if (start >= begin && start - begin <= std::uintptr_t(m_input.size()) + kLongestConstantText) {
        return start <= end && size <= end - start;
    }
    return size <= kLongestConstantText && (start > end || size <= begin - start);
}

int MarkdownDocumentBuilder::text(MD_TEXTTYPE type, const MD_CHAR* pointer, MD_SIZE size) {
    if (!isTrustworthy(pointer, size)) return fail(Failure::unreadable);
    const QByteArrayView text(pointer, qsizetype(size));
    if (m_imageDepth > 0) {
        writeAlternativeText(type, text);
    } else {
        if (type != MD_TEXT_SOFTBR && type != MD_TEXT_BR) noteLineStart(pointer);
        writeText(type, text);
    }
    return 0;
}

// Raw HTML, inline or as a block, is left out.
void MarkdownDocumentBuilder::writeText(MD_TEXTTYPE type, QByteArrayView text) {
    switch (type) {
    case MD_TEXT_NORMAL:
    case MD_TEXT_CODE:
    case MD_TEXT_LATEXMATH: wrote(m_text.appendUTF8(text)); break;
    case MD_TEXT_NULLCHAR: wrote(m_text.append(u"\uFFFD")); break;
    case MD_TEXT_ENTITY: wrote(m_text.appendCharacterReference(text)); break;
    case MD_TEXT_SOFTBR:
        if (m_lineEnds == MarkdownReader::LineEnds::kept) {
            writeLineFeed();
        } else if (m_lineEnds == MarkdownReader::LineEnds::unwrapped) {
            writeLineFeed();
            if (m_text.length() > 0 && m_text.text().back() == u'\n') m_softBreaks.push_back(m_text.length() - 1);
        } else {
            m_text.appendSoftBreak();
        }
        break;
    case MD_TEXT_BR: writeLineFeed(); break;
    case MD_TEXT_HTML: break;
    }
}

// Right after a marker the line feed takes the marker's space's place; it ends the marker's line, and
// spans waiting for their first text begin after it.
void MarkdownDocumentBuilder::writeLineFeed() {
    const qsizetype start = m_text.length();
    m_text.appendLineFeed();
    wrote(start);
}

// An alternative text is one line: a hard break in it is a space.
void MarkdownDocumentBuilder::writeAlternativeText(MD_TEXTTYPE type, QByteArrayView text) {
    switch (type) {
    case MD_TEXT_NORMAL:
    case MD_TEXT_CODE:
    case MD_TEXT_LATEXMATH: m_alternative.appendUTF8(text); break;
    case MD_TEXT_NULLCHAR: m_alternative.append(u"\uFFFD"); break;
    case MD_TEXT_ENTITY: m_alternative.appendCharacterReference(text); break;
    case MD_TEXT_SOFTBR: m_alternative.appendSoftBreak(); break;
    case MD_TEXT_BR: m_alternative.append(u" "); break;
    case MD_TEXT_HTML: break;
    }
}

void MarkdownDocumentBuilder::writePlaceholder() {
    const QString alternative = m_alternative.text().trimmed();
    wrote(m_text.append(alternative.isEmpty() ? u"［画像］"_s : u"［画像："_s + alternative + u"］"_s));
}

ReadingDocument MarkdownDocumentBuilder::takeDocument() {
    joinWrappedLines();
    m_text.chopLineFeeds();
    const qsizetype length = m_text.length();
    QList<ReadingDocument::Span> spans;
    spans.reserve(m_spans.size());
    for (ReadingDocument::Span span : std::as_const(m_spans)) {
        span.end = std::min(span.end, length);
        if (span.start < span.end) spans.append(span);
    }
    return ReadingDocument{std::nullopt, m_text.text(), std::move(spans)};
}

}  // namespace tavrine::internal
