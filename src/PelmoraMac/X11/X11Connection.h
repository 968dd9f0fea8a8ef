#pragma once

struct xcb_connection_t;
class QString;

namespace tavrine {

// The X11 connection that Qt opened for this application; nothing on another platform (offscreen,
// Wayland) or before the GUI application exists. Qt owns it.
xcb_connection_t* qtX11Connection();

// Whether an X server answers at display (a DISPLAY value, such as ":0") and lets this process in: a
// connection of its own, opened and closed at once, before Qt tries the same and aborts on a refusal.
bool opensX11Display(const QString& display);

}  // namespace tavrine
