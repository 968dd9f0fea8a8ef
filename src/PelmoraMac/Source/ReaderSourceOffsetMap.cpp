#include "PelmoraMac/Source/ReaderSourceOffsetMap.h"

#include <algorithm>

namespace tavrine {

ReaderSourceOffsetMap::ReaderSourceOffsetMap(qsizetype sourceLength)
    : m_sourceLength(std::max<qsizetype>(0, sourceLength)) {}

void ReaderSourceOffsetMap::addBreak(qsizetype offset, qsizetype position) {
    Q_ASSERT(offset > m_segments.last().offset || (offset == 0 && m_segments.size() == 1));
    if (offset == m_segments.last().offset) {
        m_segments.last().position = position;
    } else {
        m_segments.append({offset, position});
    }
}

qsizetype ReaderSourceOffsetMap::toDocument(qsizetype offset) const {
    offset = std::clamp<qsizetype>(offset, 0, m_sourceLength);
    const auto after = std::ranges::upper_bound(m_segments, offset, {}, &Segment::offset);
    const Segment& segment = *(after - 1);
    return segment.position + (offset - segment.offset);
}

qsizetype ReaderSourceOffsetMap::lastPosition(qsizetype i) const {
    const Segment& segment = m_segments[i];
    const qsizetype lastOffset = i + 1 < m_segments.size() ? m_segments[i + 1].offset - 1 : m_sourceLength;
    return segment.position + (lastOffset - segment.offset);
}

qsizetype ReaderSourceOffsetMap::toSource(qsizetype position) const {
    // Last positions never decrease from one segment to the next: search the first that reaches position.
    qsizetype low = 0;
    qsizetype high = m_segments.size();
    while (low < high) {
        const qsizetype middle = (low + high) / 2;
        if (lastPosition(middle) < position) {
            low = middle + 1;
        } else {
            high = middle;
        }
    }
    if (low == m_segments.size()) return m_sourceLength;
    const Segment& segment = m_segments[low];
    return segment.offset + std::max<qsizetype>(0, position - segment.position);
}

}  // namespace tavrine
