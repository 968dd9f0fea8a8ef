#include "ReaderUI/Library/LibrarySearchWindows.h"

#include <algorithm>

namespace tavrine {

LibrarySearchWindows::LibrarySearchWindows(const QString& text, qsizetype queryLength)
    : m_breaks(text),
      m_length(text.size()),
      // An empty query still overlaps as one unit would.
      m_overlap(std::min(kOverlapPerQueryUnit * std::max<qsizetype>(queryLength, 1), m_length)) {}

std::optional<TextRange> LibrarySearchWindows::next() {
    if (m_done || m_start >= m_length) return std::nullopt;
    qsizetype end = std::min(m_start + kStep + m_overlap, m_length);
    if (end < m_length) end = m_breaks.composedCharacterSequence(end).upperBound;
    const TextRange window{m_start, end};

    const qsizetype step = std::min(m_start + kStep, m_length);
    if (step == m_length) {
        m_done = true;
    } else {
        const TextRange held = m_breaks.composedCharacterSequence(step);
        // Starting at the held sequence keeps windows on sequence starts; its end guarantees progress.
        m_start = held.lowerBound > m_start ? held.lowerBound : held.upperBound;
    }
    return window;
}

QList<TextRange> librarySearchWindows(const QString& text, qsizetype queryLength) {
    QList<TextRange> windows;
    LibrarySearchWindows walk(text, queryLength);
    for (std::optional<TextRange> window = walk.next(); window; window = walk.next()) windows.append(*window);
    return windows;
}

}  // namespace tavrine
