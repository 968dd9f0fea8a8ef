#pragma once

#include <sys/types.h>
#include <cstdint>
#include <optional>

struct xcb_connection_t;

namespace tavrine {

// A top-level window of another client, and the process it belongs to when that can be known.
struct X11Window {
    std::uint32_t id = 0;
    std::optional<pid_t> pid{};

    bool operator==(const X11Window&) const = default;
};

// The X11 desktop as the window manager and the server describe it: the one place that asks the server
// about other clients' windows. Built on a connection that someone else owns (Qt's, in the
// application), which must outlive it. Construction interns the atoms it needs; after that its const
// members may be called from any thread (xcb serialises the connection's requests), which the capture
// does from its pool thread. Requests are sent together and their replies read afterwards, so a query
// costs one round trip per step, not one per request.
class X11Desktop {
public:
    explicit X11Desktop(xcb_connection_t* connection);

    // The desktop on the X11 connection that Qt opened; nothing when the application runs on another
    // platform (offscreen, Wayland).
    static std::optional<X11Desktop> ofApplication();

    // The window in front: the window manager's _NET_ACTIVE_WINDOW (none when it names no window);
    // where no window manager sets that property, the top-level window that holds the input focus (none
    // when the focus is nowhere or follows the pointer). Its process is its _NET_WM_PID, else the
    // process of the client that created it, as the X-Resource extension tells it; none when neither
    // knows.
    std::optional<X11Window> frontWindow() const;
    // The process of the front window, when there is one and it is known.
    std::optional<pid_t> frontProcess() const;

private:
    std::optional<std::uint32_t> topLevelOf(std::uint32_t window) const;
    std::optional<pid_t> processOf(std::uint32_t window) const;

    xcb_connection_t* m_connection;
    std::uint32_t m_root = 0;
    std::uint32_t m_activeWindowAtom = 0;
    std::uint32_t m_processAtom = 0;
    bool m_hasResourceExtension = false;
};

}  // namespace tavrine
