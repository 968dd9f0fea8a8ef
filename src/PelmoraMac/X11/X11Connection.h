#pragma once

struct xcb_connection_t;

namespace tavrine {

// The X11 connection that Qt opened for this application; nothing on another platform (offscreen,
// Wayland) or before the GUI application exists. Qt owns it.
xcb_connection_t* qtX11Connection();

}  // namespace tavrine
