#include "ReaderEPUB/internal/EPUBXHTMLText.h"

namespace tavrine {
namespace {
using Failure = EPUBReader::Failure;

bool isCollapsibleSpace(QChar c) {
    return c == u' ' || c == u'\n' || c == u'\t' || c == u'\r';
}

}  // namespace

std::optional<Failure> EPUBXHTMLText::append(QStringView piece) {
    if (piece.isEmpty()) return std::nullopt;
    if (piece.size() > m_limit - m_text.size()) return Failure::limit(EPUBReader::ResourceLimit::textUTF16);
    m_text.append(piece);
    return std::nullopt;
}

bool EPUBXHTMLText::spaceIsDue() const {
    return m_pendingSpace && !m_text.isEmpty() && m_text.back() != u' ' && m_text.back() != u'\n';
}

std::optional<Failure> EPUBXHTMLText::flushPendingSpace() {
    const bool due = spaceIsDue();
    m_pendingSpace = false;
    return due ? append(u" ") : std::nullopt;
}

std::optional<Failure> EPUBXHTMLText::appendCollapsed(QStringView text, bool preserving) {
    if (preserving) return append(text);
    qsizetype index = 0;
    while (index < text.size()) {
        if (isCollapsibleSpace(text[index])) {
            m_pendingSpace = true;
            ++index;
            continue;
        }
        qsizetype end = index + 1;
        while (end < text.size() && !isCollapsibleSpace(text[end])) ++end;
        if (auto failure = flushPendingSpace()) return failure;
        if (auto failure = append(text.sliced(index, end - index))) return failure;
        // White space after the word (if any) sets the pending space again on the next turn.
        index = end;
    }
    return std::nullopt;
}

std::optional<Failure> EPUBXHTMLText::ensureLineBreak() {
    m_pendingSpace = false;
    if (m_text.isEmpty() || m_text.back() == u'\n') return std::nullopt;
    return append(u"\n");
}

std::optional<Failure> EPUBXHTMLText::appendLineFeed() {
    m_pendingSpace = false;
    return append(u"\n");
}

}  // namespace tavrine
