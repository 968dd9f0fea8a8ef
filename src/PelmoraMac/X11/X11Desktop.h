#pragma once

#include <sys/types.h>
#include <cstdint>
#include <optional>
#include <string>

struct xcb_connection_t;

namespace tavrine {

// A top-level window of another client, and the process it belongs to when that can be known.
struct X11Window {
    std::uint32_t id = 0;
    std::optional<pid_t> pid{};

    bool operator==(const X11Window&) const = default;
};

// The two names of a window's WM_CLASS property: its instance and its class (either may be empty).
struct X11WindowClass {
    std::string instance;
    std::string className;

    bool operator==(const X11WindowClass&) const = default;
};

// A window's frame (its window manager's decorations included) in the root window's coordinates: the
// top-left corner, y growing downwards.
struct X11Rectangle {
    int x = 0;
    int y = 0;
    int width = 0;
    int height = 0;

    bool operator==(const X11Rectangle&) const = default;
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
    // The WM_CLASS of a top-level window; none when it has none.
    std::optional<X11WindowClass> windowClass(std::uint32_t window) const;
    // The process of the client that created the window, as the X-Resource extension tells it (what
    // the window itself may claim is not asked); none when the server does not know it.
    std::optional<pid_t> creatorProcessOf(std::uint32_t window) const;

    // The frame of the frontmost window of a process: the first, front to back, of the top-level
    // windows (the window manager's _NET_CLIENT_LIST_STACKING, else the root's children) that belongs to
    // the process (as frontWindow() tells it), is viewable, is of the normal type (no
    // _NET_WM_WINDOW_TYPE, or one that names the normal type; never an override-redirect window), is not
    // made fully transparent by _NET_WM_WINDOW_OPACITY, and has a positive size. Nothing when no window
    // qualifies. Two round trips, whatever the number of windows.
    std::optional<X11Rectangle> frontWindowFrame(pid_t process) const;

    // The window's own rectangle (without the decorations a window manager put around it) in the root
    // window's coordinates; nothing when the window does not exist. One round trip.
    std::optional<X11Rectangle> windowBounds(std::uint32_t window) const;

    // Brings a window to the front with the keyboard focus: with a window manager, a _NET_ACTIVE_WINDOW
    // request as a pager makes it (which focus-stealing prevention lets through); without one, the
    // window is raised and given the focus. `timestamp` is the X time of the user's action that asked
    // for it, or 0 (the current time).
    void activate(std::uint32_t window, std::uint32_t timestamp = 0) const;

    // Whether a window manager that follows the EWMH runs.
    bool hasWindowManager() const;

    // The process has ended: signalling it fails with ESRCH. A process of another user is running.
    static bool isTerminated(pid_t process);

private:
    std::optional<std::uint32_t> topLevelOf(std::uint32_t window) const;
    std::optional<pid_t> processOf(std::uint32_t window) const;
    // The X-Resource request of a window's creator (its sequence number), and the process of its reply.
    std::optional<unsigned int> clientRequest(std::uint32_t window) const;
    std::optional<pid_t> creatorProcessFrom(unsigned int request) const;

    xcb_connection_t* m_connection;
    std::uint32_t m_root = 0;
    std::uint32_t m_activeWindowAtom = 0;
    std::uint32_t m_processAtom = 0;
    std::uint32_t m_stackingAtom = 0;
    std::uint32_t m_windowTypeAtom = 0;
    std::uint32_t m_normalTypeAtom = 0;
    std::uint32_t m_opacityAtom = 0;
    std::uint32_t m_frameExtentsAtom = 0;
    std::uint32_t m_supportingCheckAtom = 0;
    bool m_hasResourceExtension = false;
};

}  // namespace tavrine
