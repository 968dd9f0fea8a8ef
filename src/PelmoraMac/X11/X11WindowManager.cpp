#include "PelmoraMac/X11/X11WindowManager.h"

#include "PelmoraMac/X11/X11Connection.h"
#include "PelmoraMac/X11/X11WindowMessages.h"
#include "PelmoraMac/X11/XcbReplies.h"

#include <xcb/xcb.h>

#include <algorithm>
#include <thread>

namespace tavrine {
using namespace xcb;
namespace {

// More hints than any window manager supports; the rest of a longer list is not read.
constexpr std::uint32_t kMostHints = 1024;
// _NET_WM_DESKTOP and _NET_ACTIVE_WINDOW requests say who asks: this application, for its own window.
constexpr auto kFromApplication = static_cast<std::uint32_t>(X11RequestSource::application);
// How often the frame extents are looked for while the window manager has not set them: at once, then less
// often the longer a busy window manager takes, so that a long wait asks the server some hundred times.
constexpr auto kFirstFrameExtentsPoll = std::chrono::milliseconds(1);
constexpr auto kLongestFrameExtentsPoll = std::chrono::milliseconds(20);
// The first value of WM_STATE for a window the window manager has let go.
constexpr std::uint32_t kWithdrawnState = 0;

}  // namespace

X11WindowManager::X11WindowManager(xcb_connection_t* connection) : m_connection(connection) {
    const xcb_setup_t* setup = xcb_get_setup(m_connection);
    if (setup) m_root = xcb_setup_roots_iterator(setup).data->root;
    const auto supported = internAtom(m_connection, "_NET_SUPPORTED");
    const auto supportingCheck = internAtom(m_connection, "_NET_SUPPORTING_WM_CHECK");
    const auto currentDesktop = internAtom(m_connection, "_NET_CURRENT_DESKTOP");
    const auto desktop = internAtom(m_connection, "_NET_WM_DESKTOP");
    const auto wmState = internAtom(m_connection, "WM_STATE");
    const auto requestFrameExtents = internAtom(m_connection, "_NET_REQUEST_FRAME_EXTENTS");
    const auto frameExtents = internAtom(m_connection, "_NET_FRAME_EXTENTS");
    const auto activeWindow = internAtom(m_connection, "_NET_ACTIVE_WINDOW");
    m_supportedAtom = atomOf(m_connection, supported);
    m_supportingCheckAtom = atomOf(m_connection, supportingCheck);
    m_currentDesktopAtom = atomOf(m_connection, currentDesktop);
    m_desktopAtom = atomOf(m_connection, desktop);
    m_wmStateAtom = atomOf(m_connection, wmState);
    m_requestFrameExtentsAtom = atomOf(m_connection, requestFrameExtents);
    m_frameExtentsAtom = atomOf(m_connection, frameExtents);
    m_activeWindowAtom = atomOf(m_connection, activeWindow);
}

std::optional<X11WindowManager> X11WindowManager::ofApplication() {
    xcb_connection_t* connection = qtX11Connection();
    if (!connection) return std::nullopt;
    return X11WindowManager(connection);
}

bool X11WindowManager::supports(std::uint32_t hint) const {
    if (m_root == 0 || hint == XCB_ATOM_NONE) return false;
    const auto checkRequest = propertyRequest(m_connection, m_root, m_supportingCheckAtom, XCB_ATOM_WINDOW);
    const auto supportedRequest = propertyRequest(m_connection, m_root, m_supportedAtom, XCB_ATOM_ATOM, kMostHints);
    const auto check = replyOf<xcb_get_property_reply_t>(m_connection, checkRequest, xcb_get_property_reply);
    const auto supported = replyOf<xcb_get_property_reply_t>(m_connection, supportedRequest, xcb_get_property_reply);
    // A window manager that has gone leaves its list behind; only a running one answers for it.
    const auto running = cardinalOf(check.get(), XCB_ATOM_WINDOW);
    if (!running || *running == XCB_WINDOW_NONE) return false;
    const std::uint32_t count = cardinalCount(supported.get(), XCB_ATOM_ATOM);
    for (std::uint32_t i = 0; i < count; ++i) {
        if (cardinalAt(supported.get(), XCB_ATOM_ATOM, i) == hint) return true;
    }
    return false;
}

std::optional<std::uint32_t> X11WindowManager::currentDesktop() const {
    if (m_root == 0) return std::nullopt;
    const auto request = propertyRequest(m_connection, m_root, m_currentDesktopAtom, XCB_ATOM_CARDINAL);
    const auto reply = replyOf<xcb_get_property_reply_t>(m_connection, request, xcb_get_property_reply);
    return cardinalOf(reply.get(), XCB_ATOM_CARDINAL);
}

std::optional<std::uint32_t> X11WindowManager::desktopOf(std::uint32_t window) const {
    if (window == 0) return std::nullopt;
    const auto request = propertyRequest(m_connection, window, m_desktopAtom, XCB_ATOM_CARDINAL);
    const auto reply = replyOf<xcb_get_property_reply_t>(m_connection, request, xcb_get_property_reply);
    return cardinalOf(reply.get(), XCB_ATOM_CARDINAL);
}

bool X11WindowManager::moveToCurrentDesktop(std::uint32_t window) const {
    if (window == 0 || !supports(m_desktopAtom)) return false;
    const auto currentRequest = propertyRequest(m_connection, m_root, m_currentDesktopAtom, XCB_ATOM_CARDINAL);
    const auto desktopRequest = propertyRequest(m_connection, window, m_desktopAtom, XCB_ATOM_CARDINAL);
    // WM_STATE: a state (Withdrawn 0, Normal 1, Iconic 3) and an icon window.
    const auto stateRequest = xcb_get_property(m_connection, 0, window, m_wmStateAtom, m_wmStateAtom, 0, 2);
    const auto current = replyOf<xcb_get_property_reply_t>(m_connection, currentRequest, xcb_get_property_reply);
    const auto desktop = replyOf<xcb_get_property_reply_t>(m_connection, desktopRequest, xcb_get_property_reply);
    const auto state = replyOf<xcb_get_property_reply_t>(m_connection, stateRequest, xcb_get_property_reply);

    const auto shown = cardinalOf(current.get(), XCB_ATOM_CARDINAL);
    const auto on = cardinalOf(desktop.get(), XCB_ATOM_CARDINAL);
    if (!shown || !on || *on == kAllDesktops || *on == *shown) return false;
    const auto managedState = cardinalOf(state.get(), m_wmStateAtom);
    if (managedState && *managedState != kWithdrawnState) {
        sendToWindowManager(m_connection, m_root, window, m_desktopAtom, *shown, kFromApplication);
    } else {
        const std::uint32_t value = *shown;
        xcb_change_property(m_connection, XCB_PROP_MODE_REPLACE, window, m_desktopAtom, XCB_ATOM_CARDINAL, 32, 1,
                            &value);
    }
    xcb_flush(m_connection);
    return true;
}

std::optional<X11FrameExtents> X11WindowManager::requestFrameExtents(std::uint32_t window,
                                                                     std::chrono::milliseconds deadline) const {
    const auto until = std::chrono::steady_clock::now() + deadline;
    if (window == 0 || !supports(m_requestFrameExtentsAtom)) return std::nullopt;
    // Extents left by an earlier time the window was managed are no answer to this request.
    xcb_delete_property(m_connection, window, m_frameExtentsAtom);
    sendToWindowManager(m_connection, m_root, window, m_requestFrameExtentsAtom);
    xcb_flush(m_connection);
    for (auto poll = kFirstFrameExtentsPoll;; poll = std::min(poll * 2, kLongestFrameExtentsPoll)) {
        const auto request = propertyRequest(m_connection, window, m_frameExtentsAtom, XCB_ATOM_CARDINAL, 4);
        const auto reply = replyOf<xcb_get_property_reply_t>(m_connection, request, xcb_get_property_reply);
        if (cardinalCount(reply.get(), XCB_ATOM_CARDINAL) == 4) {
            return X11FrameExtents{
                .left = int(*cardinalAt(reply.get(), XCB_ATOM_CARDINAL, 0)),
                .right = int(*cardinalAt(reply.get(), XCB_ATOM_CARDINAL, 1)),
                .top = int(*cardinalAt(reply.get(), XCB_ATOM_CARDINAL, 2)),
                .bottom = int(*cardinalAt(reply.get(), XCB_ATOM_CARDINAL, 3)),
            };
        }
        const auto now = std::chrono::steady_clock::now();
        if (now >= until) return std::nullopt;
        std::this_thread::sleep_for(std::min<std::chrono::steady_clock::duration>(poll, until - now));
    }
}

void X11WindowManager::activate(std::uint32_t window, std::uint32_t timestamp, std::uint32_t current) const {
    if (m_root == 0 || window == 0) return;
    if (supports(m_activeWindowAtom)) {
        sendToWindowManager(m_connection, m_root, window, m_activeWindowAtom, kFromApplication, timestamp, current);
    } else {
        raiseAndFocus(m_connection, window, timestamp);
    }
    xcb_flush(m_connection);
}

}  // namespace tavrine
