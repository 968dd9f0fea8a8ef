#include "ReaderUI/Workspace/ReaderColumnMetrics.h"

#include <algorithm>
#include <cmath>

namespace tavrine {

ReaderColumnMetrics ReaderColumnMetrics::make(double width, double height, double pointSize, Content content) {
    if (!std::isfinite(height)) height = 0;
    if (!std::isfinite(width)) width = 0;
    if (!std::isfinite(pointSize)) pointSize = kDefaultPointSize;

    ReaderColumnMetrics metrics;
    metrics.extra = std::max(pointSize - kDefaultPointSize, 0.0) * 5;
    metrics.minimumHeight = kBaseMinimumHeight + metrics.extra;
    metrics.scrolls = height < metrics.minimumHeight;
    const bool below = content.showsSource || content.hasSourceToolbar;

    double base = 96;
    if (!metrics.scrolls) {
        base = below ? std::clamp(height - 440, 96.0, 156.0) : std::clamp(height - 300, 96.0, 400.0);
    }
    metrics.displayHeight = base + metrics.extra;
    if (metrics.scrolls && content.showsSource) metrics.sourceMinimumHeight = 130;

    const bool roomy = height >= 600 && width >= 500;
    metrics.padding = roomy ? 24 : 12;
    metrics.spacing = roomy ? 16 : 8;
    metrics.alignsTop = below;
    metrics.columnHeight = std::max(height, metrics.minimumHeight);
    return metrics;
}

}  // namespace tavrine
