#include "ReaderCore/ReadingSourceWindow.h"

#include "ReaderCore/Characters.h"

#include <algorithm>

namespace tavrine {

ReadingSourceWindow ReadingSourceWindow::around(const ReadingDocument& document, qsizetype offset,
                                                const CharacterBreaks* breaks) {
    const qsizetype length = document.text.size();
    if (length <= kWholeTextLimit) return {document, {0, length}, length};

    std::optional<CharacterBreaks> ownBreaks;
    if (!breaks) breaks = &ownBreaks.emplace(document.text);
    Q_ASSERT(breaks->length() == length);

    const qsizetype position = std::clamp<qsizetype>(offset, 0, length - 1);
    const qsizetype leadStart = position - kLead;
    qsizetype start = std::max<qsizetype>(leadStart, 0);
    // The nominal end comes from the start before it is moved back to a sequence start.
    const qsizetype nominalEnd = start + kWindowLength;
    qsizetype end = std::min(nominalEnd, length);
    if (leadStart >= 1) start = breaks->composedCharacterSequence(start).lowerBound;
    if (nominalEnd < length) end = breaks->composedCharacterSequence(nominalEnd).upperBound;

    ReadingSourceWindow window;
    window.sourceRange = {start, end};
    window.totalLength = length;
    window.document.text = document.text.mid(start, end - start);
    for (const auto& span : document.spans) {
        const qsizetype lower = std::max(span.start, start);
        const qsizetype upper = std::min(span.end, end);
        if (lower < upper) window.document.spans.append({span.kind, lower - start, upper - start, span.level});
    }
    return window;
}

std::optional<TextRange> ReadingSourceWindow::localRange(std::optional<TextRange> range) const {
    if (!range) return std::nullopt;
    const qsizetype lower = std::max(range->lowerBound, sourceRange.lowerBound);
    const qsizetype upper = std::min(range->upperBound, sourceRange.upperBound);
    if (lower >= upper) return std::nullopt;
    return TextRange{lower, upper}.shifted(-sourceRange.lowerBound);
}

}  // namespace tavrine
