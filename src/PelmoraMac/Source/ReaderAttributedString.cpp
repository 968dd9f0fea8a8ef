#include "PelmoraMac/Source/ReaderAttributedString.h"

#include <algorithm>

namespace tavrine {

qsizetype ReaderAttributedString::runIndex(qsizetype offset) const {
    Q_ASSERT(offset >= 0 && offset < text.size());
    const auto found = std::ranges::upper_bound(runs, offset, {}, &QTextLayout::FormatRange::start);
    return std::distance(runs.begin(), found) - 1;
}

qsizetype ReaderAttributedString::paragraphIndex(qsizetype offset) const {
    Q_ASSERT(offset >= 0 && offset < text.size());
    const auto found = std::ranges::upper_bound(paragraphs, offset, {},
                                                [](const ReaderStyledParagraph& p) { return p.range.lowerBound; });
    return std::distance(paragraphs.begin(), found) - 1;
}

ReaderTextAttributes ReaderAttributedString::attributes(qsizetype offset, TextRange* effectiveRange) const {
    const QTextLayout::FormatRange& run = runs[runIndex(offset)];
    const ReaderStyledParagraph& paragraph = paragraphs[paragraphIndex(offset)];
    if (effectiveRange) {
        *effectiveRange = {std::max<qsizetype>(run.start, paragraph.range.lowerBound),
                           std::min<qsizetype>(run.start + run.length, paragraph.range.upperBound)};
    }
    return {.character = run.format, .paragraph = paragraph.format, .cell = std::nullopt};
}

}  // namespace tavrine
