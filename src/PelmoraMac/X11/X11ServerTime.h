#pragma once

#include <chrono>
#include <cstdint>

namespace tavrine {

// The X server's time now, asked the ICCCM way: a zero-length append to a property of a window of our own
// (never mapped) changes nothing, yet the server announces it with a PropertyNotify stamped with its
// clock. Requests that move the focus carry it, so that a window manager's focus-stealing prevention
// weighs them against the user's last action on the server's own clock, which a request stamped
// CurrentTime (0) gives it no means to do.
//
// Asked on a connection of its own to the display (DISPLAY), opened at the first call and kept, so that
// no event of Qt's connection is read by anyone but Qt. Any thread; calls are serialised. 0 (CurrentTime)
// when there is no display or its server does not answer within `deadline` (one round trip; a server
// that takes a second for it is not answering).
std::uint32_t x11ServerTime(std::chrono::milliseconds deadline = std::chrono::seconds(1));

}  // namespace tavrine
