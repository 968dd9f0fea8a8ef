#pragma once

#include "ReaderCore/Json.h"

namespace tavrine {

// Where a browser window lies on the screen: its top-left corner and its size, without the decorations a
// window manager draws around it. The X11 server tells the window in front so, in the screen's pixels; the
// browser tells its own windows so too, but in its device-independent units, the pixels divided by the scale
// factor it draws with.
struct BrowserWindowBounds {
    int left = 0;
    int top = 0;
    int width = 0;
    int height = 0;

    bool operator==(const BrowserWindowBounds&) const = default;
};

// Whether the window the browser tells at `window` (in its units) may be the one at `screen` (in pixels): the
// same window at one scale factor, whichever, each edge within one unit of the screen's edge taken to the
// browser's units. The browser rounds its units outwards from the pixels, with a floating-point error that
// can add a unit beyond an edge that falls on a whole unit. At scale 1 the bounds are those of the screen,
// give or take that unit.
bool mayBeWindowAt(const BrowserWindowBounds& window, const BrowserWindowBounds& screen);

void writeJson(JsonWriter& writer, const BrowserWindowBounds& bounds);
Decoded<BrowserWindowBounds> decodeJson(const JsonValue& value, const JsonPath& path,
                                        std::type_identity<BrowserWindowBounds>);

}  // namespace tavrine
