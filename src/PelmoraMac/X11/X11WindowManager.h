#pragma once

#include <chrono>
#include <cstdint>
#include <optional>

struct xcb_connection_t;

namespace tavrine {

// The widths of the frame a window manager puts around a window, on each side.
struct X11FrameExtents {
    int left = 0;
    int right = 0;
    int top = 0;
    int bottom = 0;

    bool operator==(const X11FrameExtents&) const = default;
};

// What this application asks an EWMH window manager about its own top-level windows: the desktop they
// are on, the frame they will get, their activation. Built on a connection that someone else owns (Qt's,
// in the application), which must outlive it; main thread only, as the windows it asks about are Qt's.
// Construction interns the atoms it needs. Without a window manager, or with one that does not support
// a request, the requests do nothing and the questions have no answer.
class X11WindowManager {
public:
    // _NET_WM_DESKTOP of a window shown on every desktop.
    static constexpr std::uint32_t kAllDesktops = 0xFFFFFFFF;

    explicit X11WindowManager(xcb_connection_t* connection);

    // The window manager on the X11 connection that Qt opened; nothing on another platform.
    static std::optional<X11WindowManager> ofApplication();

    // The desktop shown (_NET_CURRENT_DESKTOP); none when no window manager tells it.
    std::optional<std::uint32_t> currentDesktop() const;
    // The desktop a window is on (_NET_WM_DESKTOP, kAllDesktops for every one); none when it has none.
    std::optional<std::uint32_t> desktopOf(std::uint32_t window) const;

    // Brings a window to the desktop shown, rather than taking the user to the window's: done when the
    // window manager supports _NET_WM_DESKTOP and the window is on another desktop (a window on every
    // desktop, or on the one shown, stays). A window the window manager manages (it has WM_STATE) is
    // moved by a request to the window manager; a withdrawn one has its property rewritten, which the
    // window manager reads when the window is mapped. Whether a move was asked for.
    bool moveToCurrentDesktop(std::uint32_t window) const;

    // The frame the window manager will put around a window that is not mapped yet: asked with
    // _NET_REQUEST_FRAME_EXTENTS, answered by the window manager setting the window's
    // _NET_FRAME_EXTENTS. Waits for that answer no longer than `deadline`; none when the window manager
    // does not support the request or has not answered in time.
    std::optional<X11FrameExtents> requestFrameExtents(std::uint32_t window, std::chrono::milliseconds deadline) const;

    // Asks the window manager to activate one of this application's own windows (_NET_ACTIVE_WINDOW from
    // an application), stamped with `timestamp` (the X server's time of the request), naming the window
    // of ours active now (0 for none). Without a window manager the window is raised and given the
    // focus. The window must be viewable.
    void activate(std::uint32_t window, std::uint32_t timestamp, std::uint32_t current) const;

    // Whether the window manager lists the hint in its _NET_SUPPORTED.
    bool supports(std::uint32_t hint) const;

private:
    xcb_connection_t* m_connection;
    std::uint32_t m_root = 0;
    std::uint32_t m_supportedAtom = 0;
    std::uint32_t m_supportingCheckAtom = 0;
    std::uint32_t m_currentDesktopAtom = 0;
    std::uint32_t m_desktopAtom = 0;
    std::uint32_t m_wmStateAtom = 0;
    std::uint32_t m_requestFrameExtentsAtom = 0;
    std::uint32_t m_frameExtentsAtom = 0;
    std::uint32_t m_activeWindowAtom = 0;
};

}  // namespace tavrine
