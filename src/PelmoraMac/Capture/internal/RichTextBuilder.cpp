#include "PelmoraMac/Capture/internal/RichTextBuilder.h"

#include "ReaderCore/Characters.h"

#include <algorithm>

namespace tavrine {

bool RichTextBuilder::append(QStringView text, RichText::Traits traits, Levels paragraph) {
    QString& out = m_result.text;
    if (text.isEmpty()) return out.size() <= m_textLimit;
    if (text.front() == u'\n') dropBlankLine();
    const qsizetype start = out.size();
    const qsizetype room = m_textLimit + 1 - start;
    out.append(text.first(std::min(room, text.size())));
    if (const qsizetype lineFeed = out.lastIndexOf(u'\n'); lineFeed >= start) m_lineStart = lineFeed + 1;
    if (traits.any()) {
        QList<RichText::Run>& runs = m_result.runs;
        if (!runs.isEmpty() && runs.back().end == start && runs.back().traits == traits) {
            runs.back().end = out.size();
        } else {
            runs.append({start, out.size(), traits});
        }
    }
    m_openParagraph = paragraph;
    return out.size() <= m_textLimit;
}

void RichTextBuilder::dropBlankLine() {
    QString& text = m_result.text;
    if (m_lineStart >= text.size()) return;
    for (qsizetype i = m_lineStart; i < text.size(); ++i) {
        if (!isWhitespace(text.at(i).unicode())) return;
    }
    text.truncate(m_lineStart);
    // The runs go with the line; the formatting of paragraphs is recorded only when they end, after this.
    QList<RichText::Run>& runs = m_result.runs;
    while (!runs.isEmpty() && runs.back().end > m_lineStart) {
        if (runs.back().start >= m_lineStart) {
            runs.removeLast();
        } else {
            runs.back().end = m_lineStart;
            break;
        }
    }
}

void RichTextBuilder::endParagraph(Levels paragraph) {
    const qsizetype end = m_result.text.size();
    if (end > m_paragraphStart && (paragraph.headerLevel > 0 || paragraph.listDepth > 0)) {
        m_result.paragraphStyles.append({m_paragraphStart, end, paragraph.headerLevel, paragraph.listDepth});
    }
    m_paragraphStart = end;
}

RichText RichTextBuilder::finish() {
    dropBlankLine();
    endParagraph(m_openParagraph);
    repairSurrogates();
    return std::move(m_result);
}

void RichTextBuilder::repairSurrogates() {
    // A lone surrogate becomes U+FFFD, of the same length, so that offsets stay.
    QString& text = m_result.text;
    for (qsizetype i = 0; i < text.size(); ++i) {
        const QChar c = text.at(i);
        if (c.isHighSurrogate() && i + 1 < text.size() && text.at(i + 1).isLowSurrogate()) {
            ++i;
        } else if (c.isSurrogate()) {
            text[i] = QChar::ReplacementCharacter;
        }
    }
    auto splitsPair = [&](qsizetype offset) {
        return offset > 0 && offset < text.size() && text.at(offset - 1).isHighSurrogate() &&
               text.at(offset).isLowSurrogate();
    };
    for (auto& run : m_result.runs) {
        if (splitsPair(run.start)) ++run.start;
        if (splitsPair(run.end)) ++run.end;
    }
    m_result.runs.removeIf([](const RichText::Run& run) { return run.start >= run.end; });
}

}  // namespace tavrine
