#pragma once

#include "ReaderCore/Json.h"

namespace tavrine {

// Where a browser window lies on the screen: its top-left corner and its size, in the screen's pixels,
// without the decorations a window manager draws around it. The browser tells its windows' bounds so, and
// the X11 server the geometry of the window in front, so that the two can be matched.
struct BrowserWindowBounds {
    int left = 0;
    int top = 0;
    int width = 0;
    int height = 0;

    bool operator==(const BrowserWindowBounds&) const = default;
};

void writeJson(JsonWriter& writer, const BrowserWindowBounds& bounds);
Decoded<BrowserWindowBounds> decodeJson(const JsonValue& value, const JsonPath& path,
                                        std::type_identity<BrowserWindowBounds>);

}  // namespace tavrine
