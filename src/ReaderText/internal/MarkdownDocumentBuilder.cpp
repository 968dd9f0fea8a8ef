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

// The lines of a block's text run from the line that holds its first soft break to the end of the text
// (a hard break parts two of them too); nothing else has been written since the block's text began.
void MarkdownDocumentBuilder::joinWrappedLines() {
    if (m_softBreaks.empty()) return;
    const QString& text = m_text.text();
    const qsizetype front = m_softBreaks.front();
    const qsizetype first = front > 0 ? text.lastIndexOf(u'\n', front - 1) + 1 : 0;
    QList<QStringView> lines;
    std::vector<qsizetype> lineEnds;
    for (qsizetype start = first; start < text.size();) {
        qsizetype end = text.indexOf(u'\n', start);
        if (end < 0) end = text.size();
        lines.append(QStringView(text).sliced(start, end - start));
        lineEnds.push_back(end);
        start = end + 1;
    }
    const QList<bool> wraps = paragraphWraps(lines);
    std::vector<qsizetype> joined;
    for (qsizetype i = 0; i < wraps.size(); ++i) {
        const bool soft = std::binary_search(m_softBreaks.cbegin(), m_softBreaks.cend(), lineEnds[size_t(i)]);
        if (soft && wraps[i]) joined.push_back(lineEnds[size_t(i)]);
    }
    m_softBreaks.clear();
    // Last to first, so that each offset still holds its line feed; the spans move by what vanished before
    // their ends.
    std::vector<qsizetype> vanished;
    for (auto it = joined.crbegin(); it != joined.crend(); ++it) {
        if (m_text.joinLines(*it)) vanished.push_back(*it);
    }
    if (vanished.empty()) return;
    std::reverse(vanished.begin(), vanished.end());
    const auto movedBack = [&vanished](qsizetype offset) {
        return qsizetype(std::lower_bound(vanished.cbegin(), vanished.cend(), offset) - vanished.cbegin());
    };
    for (ReadingDocument::Span& span : m_spans) {
        if (span.end <= first) continue;
        span.start -= movedBack(span.start);
        span.end -= movedBack(span.end);
    }
}

int MarkdownDocumentBuilder::enterBlock(MD_BLOCKTYPE type, const void* detail) {
    joinWrappedLines();
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
    joinWrappedLines();
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
