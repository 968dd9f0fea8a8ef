#pragma once

#include <cstdint>

struct xcb_connection_t;

namespace tavrine {

// Who asks the window manager for a change of a window: an application for its own windows, a pager on
// the user's behalf for another program's.
enum class X11RequestSource : std::uint32_t { application = 1, pager = 2 };

// Sends the window manager a client message of the type about window, with up to three 32-bit values, as
// window managers take requests: to the root window, with substructure redirect and notify. Not flushed.
void sendToWindowManager(xcb_connection_t* connection, std::uint32_t root, std::uint32_t window, std::uint32_t type,
                         std::uint32_t first = 0, std::uint32_t second = 0, std::uint32_t third = 0);

// Without a window manager to ask: raises window above its siblings and gives it the input focus at
// timestamp. Not flushed.
void raiseAndFocus(xcb_connection_t* connection, std::uint32_t window, std::uint32_t timestamp);

}  // namespace tavrine
