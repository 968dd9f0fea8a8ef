#include "ReaderUI/Workspace/ReaderNavigationFrames.h"

#include <algorithm>

namespace tavrine {

ReaderNavigationFrames ReaderNavigationFrames::make(double width, double height, bool showsNavigation) {
    if (!showsNavigation) return {{0, 0, width, height}, {}, {}};
    if (width >= kSideBySideMinimumWidth) {
        const double readingX = kPaneWidth + kDividerThickness;
        return {{readingX, 0, width - readingX, height},
                {0, 0, kPaneWidth, height},
                {kPaneWidth, 0, kDividerThickness, height}};
    }
    // Written so that a height that is not a number gives a pane of 0 rather than spreading NaN.
    double share = kStackedMaximumShare * height;
    if (!(share >= 0)) share = 0;
    const double preferred = std::max(kStackedPreferredShare * height, kStackedPreferredHeight);
    const double paneHeight = std::min(preferred < share ? preferred : share, kStackedMaximumHeight);
    double readingHeight = height - paneHeight - kDividerThickness;
    if (!(readingHeight >= 0)) readingHeight = 0;
    return {{0, paneHeight + kDividerThickness, width, readingHeight},
            {0, 0, width, paneHeight},
            {0, paneHeight, width, kDividerThickness}};
}

}  // namespace tavrine
