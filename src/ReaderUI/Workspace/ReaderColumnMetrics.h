#pragma once

#include <optional>

namespace tavrine {

// The sizes of the reading column for the space offered to it, in logical pixels: how tall the display
// is, whether the column scrolls, its padding and spacing. A larger display text makes the display, and
// the least height the column needs, taller by five pixels per point above the default size.
struct ReaderColumnMetrics {
    static constexpr double kDefaultPointSize = 34;
    static constexpr double kBaseMinimumHeight = 440;

    // What the column holds below the controls.
    struct Content {
        bool showsSource = false;
        bool hasSourceToolbar = false;
    };

    // max(pointSize − 34, 0) × 5.
    double extra = 0;
    // 440 + extra: below it the column keeps this height and scrolls.
    double minimumHeight = kBaseMinimumHeight;
    bool scrolls = false;
    double displayHeight = 0;
    // Only while scrolling with the source shown: the least height of the source area.
    std::optional<double> sourceMinimumHeight;
    double padding = 0;
    double spacing = 0;
    // The blocks sit at the top (with a source area or toolbar below them), else centred.
    bool alignsTop = false;
    // max(height, minimumHeight): the height of the column's content.
    double columnHeight = 0;

    // For an offered width and height and the display's point size. A height or size that is not finite
    // counts as 0 and the default size.
    static ReaderColumnMetrics make(double width, double height, double pointSize, Content content);

    bool operator==(const ReaderColumnMetrics&) const = default;
};

}  // namespace tavrine
