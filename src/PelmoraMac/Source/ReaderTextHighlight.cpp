#include "PelmoraMac/Source/ReaderTextHighlight.h"

#include "ReaderCore/MainThread.h"

#include <QtGlobal>

namespace tavrine {

void ReaderTextHighlight::apply(std::optional<TextRange> range, InteractionTextView& view, bool reveal, bool force) {
    Q_ASSERT(isMainThread());
    const qsizetype length = view.textLength();
    if (range && (range->lowerBound < 0 || range->upperBound > length || range->isEmpty())) range.reset();
    if (range == m_range && !force) return;
    m_range = range;
    view.drawHighlight(m_kind, range);
    if (range && reveal && view.hasContentHeight()) view.scrollRangeToVisible(*range);
}

void ReaderTextHighlight::remove(InteractionTextView& view) {
    Q_ASSERT(isMainThread());
    m_range.reset();
    view.drawHighlight(m_kind, std::nullopt);
}

}  // namespace tavrine
