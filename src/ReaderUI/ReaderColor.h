#pragma once

#include <cstdint>

namespace tavrine {

// An opaque or translucent sRGB colour of the reader's palette: 8-bit components and an alpha between 0
// and 1. A plain value, so the palette needs no GUI library; the widgets convert it where they paint.
struct ReaderColor {
    std::uint8_t red = 0;
    std::uint8_t green = 0;
    std::uint8_t blue = 0;
    double alpha = 1.0;

    // The same components under another alpha.
    constexpr ReaderColor withAlpha(double newAlpha) const { return {red, green, blue, newAlpha}; }

    bool operator==(const ReaderColor&) const = default;
};

}  // namespace tavrine
