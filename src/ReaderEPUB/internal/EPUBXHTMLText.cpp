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
    // The marker's space goes when the line ends right after it.
    const bool dropsMarkerSpace = m_afterMarker && piece.front() == u'\n';
    const qsizetype kept = m_text.size() - (dropsMarkerSpace ? 1 : 0);
    if (piece.size() > m_limit - kept) return Failure::limit(EPUBReader::ResourceLimit::textUTF16);
    if (dropsMarkerSpace) m_text.chop(1);
    m_text.append(piece);
    m_afterMarker = false;
    return std::nullopt;
}

std::optional<Failure> EPUBXHTMLText::appendMarker(QStringView marker) {
    Q_ASSERT(marker.endsWith(u' '));
    auto failure = append(marker);
    m_afterMarker = !failure;
    return failure;
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

std::optional<Failure> EPUBXHTMLText::blockBoundary() {
    if (!m_afterMarker) return ensureLineBreak();
    m_pendingSpace = false;
    return std::nullopt;
}

std::optional<Failure> EPUBXHTMLText::appendLineFeed() {
    m_pendingSpace = false;
    return append(u"\n");
}

}  // namespace tavrine
