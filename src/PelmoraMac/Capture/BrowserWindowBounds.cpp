#include "PelmoraMac/Capture/BrowserWindowBounds.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <utility>

namespace tavrine {

bool mayBeWindowAt(const BrowserWindowBounds& window, const BrowserWindowBounds& screen) {
    if (window.width <= 0 || window.height <= 0 || screen.width <= 0 || screen.height <= 0) return false;
    // The units per pixel (one over the scale factor) for which every edge agrees: an interval, narrowed edge
    // by edge, of the u for which the screen's edge in pixels p, taken to units, is within one of the
    // browser's e: e - 1 <= p * u <= e + 1.
    double low = 0;
    double high = std::numeric_limits<double>::infinity();
    const std::pair<qint64, qint64> edges[] = {
        {screen.left, window.left},
        {screen.top, window.top},
        {qint64(screen.left) + screen.width, qint64(window.left) + window.width},
        {qint64(screen.top) + screen.height, qint64(window.top) + window.height}};
    for (const auto& [pixels, units] : edges) {
        if (pixels == 0) {
            if (std::abs(units) > 1) return false;
            continue;
        }
        double from = double(units - 1) / double(pixels);
        double to = double(units + 1) / double(pixels);
        if (from > to) std::swap(from, to);
        low = std::max(low, from);
        high = std::min(high, to);
    }
    return high > 0 && low <= high;
}

void writeJson(JsonWriter& writer, const BrowserWindowBounds& bounds) {
    JsonObjectWriter(writer)
        .field(u"height", bounds.height)
        .field(u"left", bounds.left)
        .field(u"top", bounds.top)
        .field(u"width", bounds.width);
}

Decoded<BrowserWindowBounds> decodeJson(const JsonValue& value, const JsonPath& path,
                                        std::type_identity<BrowserWindowBounds>) {
    JsonObjectDecoder decoder(value, path);
    BrowserWindowBounds bounds;
    bounds.left = decoder.required<int>(u"left");
    bounds.top = decoder.required<int>(u"top");
    bounds.width = decoder.required<int>(u"width");
    bounds.height = decoder.required<int>(u"height");
    return decoder.finish(std::move(bounds));
}

}  // namespace tavrine
