#pragma once

#include <optional>

namespace tavrine {

// Where the reader window stood on one display: the distances from the left and the top edge of the
// display's visible frame to the window frame's left and top edges, and the frame's size when known.
// Stored by ReaderWindowPositionStore as {"x", "top", "width"?, "height"?}, the size left out when absent.
struct ReaderWindowPosition {
    double x = 0;
    double top = 0;
    std::optional<double> width{};
    std::optional<double> height{};

    bool operator==(const ReaderWindowPosition&) const = default;
};

}  // namespace tavrine
