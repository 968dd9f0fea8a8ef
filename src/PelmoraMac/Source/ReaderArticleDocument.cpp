#include "PelmoraMac/Source/ReaderArticleDocument.h"

#include "PelmoraMac/Source/ReaderArticleStyle.h"
#include "PelmoraMac/Source/ReaderAttributedString.h"
#include "ReaderCore/MainThread.h"

#include <QTextCursor>
#include <QTextTable>

namespace tavrine {
namespace {

constexpr char16_t kBeginningOfFrame = 0xFDD0;
constexpr char16_t kEndOfFrame = 0xFDD1;

// The units of a paragraph's content as the text document may hold them: its structure marks replaced.
QString insertable(QStringView content) {
    QString text = content.toString();
    for (QChar& unit : text) {
        if (unit.unicode() == kBeginningOfFrame || unit.unicode() == kEndOfFrame) unit = QChar::ReplacementCharacter;
    }
    return text;
}

qsizetype separatorLength(QStringView text, TextRange paragraph) {
    if (paragraph.isEmpty()) return 0;
    const char16_t last = text[paragraph.upperBound - 1].unicode();
    if (last == u'\n') {
        return paragraph.length() >= 2 && text[paragraph.upperBound - 2] == u'\r' ? 2 : 1;
    }
    return last == u'\r' || last == 0x2029 ? 1 : 0;
}

class Builder {
public:
    explicit Builder(const ReaderAttributedString& styled)
        : m_styled(styled),
          m_document(std::make_unique<QTextDocument>()),
          m_cursor(m_document.get()),
          m_offsets(styled.text.size()) {
        m_document->setUndoRedoEnabled(false);
    }

    ReaderArticleDocument build() {
        m_cursor.beginEditBlock();
        qsizetype table = 0;
        const QList<ReaderStyledParagraph>& paragraphs = m_styled.paragraphs;
        for (qsizetype i = 0; i < paragraphs.size();) {
            const qsizetype start = paragraphs[i].range.lowerBound;
            if (table < m_styled.tables.size() && m_styled.tables[table].span.start == start) {
                i = insertTable(m_styled.tables[table++], i);
                continue;
            }
            alignBlockStart(start);
            insertParagraph(paragraphs[i]);
            if (separatorLength(m_styled.text, paragraphs[i].range) > 0) {
                breakParagraph(paragraphs[i].range);
                // Also after the last paragraph: the empty one after a final separator keeps its format.
                m_cursor.insertBlock();
            }
            ++i;
        }
        m_cursor.endEditBlock();
        return {std::move(m_document), std::move(m_offsets)};
    }

private:
    // Where a paragraph's first unit lands: at the cursor. Whatever the text document put before it (a
    // table's leading mark) becomes a break in the map.
    void alignBlockStart(qsizetype offset) {
        if (m_offsets.toDocument(offset) != m_cursor.position()) m_offsets.addBreak(offset, m_cursor.position());
    }

    void insertParagraph(const ReaderStyledParagraph& paragraph) {
        const QString& text = m_styled.text;
        const qsizetype contentEnd = paragraph.range.upperBound - separatorLength(text, paragraph.range);
        m_cursor.setBlockFormat(paragraph.format);
        // An empty line is as tall as the font of its separator.
        m_cursor.setBlockCharFormat(m_styled.runs[m_styled.runIndex(paragraph.range.lowerBound)].format);
        for (qsizetype run = m_styled.runIndex(paragraph.range.lowerBound), offset = paragraph.range.lowerBound;
             offset < contentEnd; ++run) {
            const QTextLayout::FormatRange& range = m_styled.runs[run];
            const qsizetype end = std::min<qsizetype>(range.start + range.length, contentEnd);
            if (end > offset) {
                m_cursor.insertText(insertable(QStringView(text).sliced(offset, end - offset)), range.format);
            }
            offset = std::max(offset, end);
        }
    }

    // The paragraph's separator is at the cursor: the LF of a CR LF pair shares its CR's position.
    void breakParagraph(TextRange paragraph) {
        if (separatorLength(m_styled.text, paragraph) == 2) {
            m_offsets.addBreak(paragraph.upperBound - 1, m_cursor.position());
        }
    }

    // Inserts the table whose first cell starts paragraph i; returns the index of the paragraph after it.
    qsizetype insertTable(const ReaderGridTable& grid, qsizetype i) {
        const QList<ReaderStyledParagraph>& paragraphs = m_styled.paragraphs;
        QTextTable* table =
            m_cursor.insertTable(grid.rows(), grid.columns(), ReaderArticleStyle::tableFormat(grid.columns()));
        for (const ReaderGridCell& cell : grid.cells) {
            QTextTableCell target = table->cellAt(cell.row, cell.column);
            m_cursor = target.firstCursorPosition();
            bool first = true;
            for (; i < paragraphs.size() && paragraphs[i].range.lowerBound < cell.span.end; ++i) {
                if (!first) m_cursor.insertBlock();
                first = false;
                alignBlockStart(paragraphs[i].range.lowerBound);
                insertParagraph(paragraphs[i]);
                breakParagraph(paragraphs[i].range);
            }
            // The cell's box is the format of the mark before its first block, which that block's
            // character format shares: set last, it replaces what the first paragraph put there.
            target.setFormat(cell.format);
        }
        m_cursor.setPosition(table->lastPosition() + 1);
        return i;
    }

    const ReaderAttributedString& m_styled;
    std::unique_ptr<QTextDocument> m_document;
    QTextCursor m_cursor;
    ReaderSourceOffsetMap m_offsets;
};

}  // namespace

ReaderArticleDocument ReaderArticleDocument::build(const ReaderAttributedString& styled) {
    Q_ASSERT(isMainThread());
    return Builder(styled).build();
}

}  // namespace tavrine
