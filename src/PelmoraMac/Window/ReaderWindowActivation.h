#pragma once

#include <QMargins>

#include <chrono>
#include <optional>

class QWidget;

namespace tavrine {

// Bringing one of the application's top-level windows to the user on an X11 desktop, the way the reader
// window comes up for a hot key or "リーダーを開く".
namespace ReaderWindowActivation {

// Restores the window when it is minimised, brings it to the desktop the user is on (a window on another
// desktop comes here rather than the user going there; a window on this desktop, or on every one, stays),
// shows and raises it, and activates it: a window already on screen at once, one that is being mapped as
// soon as it is exposed. A hidden window left maximised comes back maximised over its own normal geometry,
// which restoring it gives back. The activation request carries the X server's time. Where the application
// does not run on X11 (offscreen), Qt's own show, raise and activation.
void present(QWidget* window);

// The frame the window manager will put around the window, asked before the window is mapped; none when
// the window is already mapped, the application does not run on X11, or the window manager does not answer
// within `deadline`.
std::optional<QMargins> frameMarginsBeforeMapping(QWidget* window, std::chrono::milliseconds deadline);

}  // namespace ReaderWindowActivation
}  // namespace tavrine
