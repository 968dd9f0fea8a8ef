#pragma once

#include "PelmoraMac/Source/InteractionTextView.h"

namespace tavrine {

// One highlight over a range of the source text: the phrase being played (dark text on the amber band)
// or the current match (underlined in the colour of its text). It remembers the range it applied and
// does nothing when asked for the same range again, which keeps following playback cheap. Main thread
// only.
class ReaderTextHighlight {
public:
    explicit ReaderTextHighlight(InteractionTextView::Highlight kind) : m_kind(kind) {}

    InteractionTextView::Highlight kind() const { return m_kind; }
    const std::optional<TextRange>& range() const { return m_range; }

    // A range that is absent, empty, starts below 0 or ends after the text counts as none: the previous
    // highlight goes and nothing is drawn. The same range again (or none again) does nothing unless
    // force. With reveal, a drawn range is scrolled into view once the text has a height.
    void apply(std::optional<TextRange> range, InteractionTextView& view, bool reveal, bool force = false);
    // Removes the highlight and forgets its range (before a load, so no range outlives its text).
    void remove(InteractionTextView& view);

private:
    InteractionTextView::Highlight m_kind;
    std::optional<TextRange> m_range;
};

}  // namespace tavrine
