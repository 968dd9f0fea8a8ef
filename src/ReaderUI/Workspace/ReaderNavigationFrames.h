#pragma once

#include <QRectF>

namespace tavrine {

// Where the reading area, the table-of-contents pane and the rule between them go in a space of a given
// size: with the pane, beside the reading area at the leading edge when the space is wide, else above it;
// without it, the reading area takes everything. Rectangles are relative to the space's top-left corner.
// A pure function of its arguments.
struct ReaderNavigationFrames {
    // At least this wide (exactly this counts), the pane stands beside the reading area.
    static constexpr double kSideBySideMinimumWidth = 760;
    static constexpr double kPaneWidth = 260;
    static constexpr double kDividerThickness = 1;
    // Stacked, the pane is at most this share of the height and this high, and prefers at least the
    // smaller share or the least height within those limits.
    static constexpr double kStackedMaximumShare = 0.4;
    static constexpr double kStackedPreferredShare = 0.32;
    static constexpr double kStackedPreferredHeight = 140;
    static constexpr double kStackedMaximumHeight = 220;

    QRectF reading;
    QRectF pane;
    QRectF divider;

    // A width that is not a number stacks; a height that is not a number, or too small for the rule,
    // leaves the reading area 0 high.
    static ReaderNavigationFrames make(double width, double height, bool showsNavigation);

    bool operator==(const ReaderNavigationFrames&) const = default;
};

}  // namespace tavrine
