#pragma once

#include <QString>

#include <optional>

struct xcb_connection_t;

namespace tavrine {

// The X11 connection that Qt opened for this application; nothing on another platform (offscreen,
// Wayland) or before the GUI application exists. Qt owns it.
xcb_connection_t* qtX11Connection();

// Why this process cannot show a window on display (a DISPLAY value, such as ":0" or ":0.1"), in a few
// words for the end of a line on stderr; nothing when an X server answers there, lets this process in
// and has the screen the value names. A connection of its own, opened and closed at once, before Qt tries
// the same and aborts on a refusal.
std::optional<QString> x11DisplayRefusal(const QString& display);

}  // namespace tavrine
