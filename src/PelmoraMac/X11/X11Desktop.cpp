#include "PelmoraMac/X11/X11Desktop.h"

#include "PelmoraMac/X11/X11Connection.h"
#include "PelmoraMac/X11/XcbReplies.h"

#include <xcb/res.h>
#include <xcb/xcb.h>

#include <cstdlib>

namespace tavrine {
using namespace xcb;

namespace {

// The answer to a query of a window's client (clientRequest), nothing when the server gave none.
Pointer<xcb_res_query_client_ids_reply_t> clientReply(xcb_connection_t* connection, unsigned int request) {
    return replyOf<xcb_res_query_client_ids_reply_t>(connection, xcb_res_query_client_ids_cookie_t{request},
                                                     xcb_res_query_client_ids_reply);
}

}  // namespace

X11Desktop::X11Desktop(xcb_connection_t* connection) : m_connection(connection) {
    const xcb_setup_t* setup = xcb_get_setup(m_connection);
    if (setup) m_root = xcb_setup_roots_iterator(setup).data->root;
    const auto activeWindow = internAtom(m_connection, "_NET_ACTIVE_WINDOW");
    const auto process = internAtom(m_connection, "_NET_WM_PID");
    const auto stacking = internAtom(m_connection, "_NET_CLIENT_LIST_STACKING");
    const auto windowType = internAtom(m_connection, "_NET_WM_WINDOW_TYPE");
    const auto normalType = internAtom(m_connection, "_NET_WM_WINDOW_TYPE_NORMAL");
    const auto opacity = internAtom(m_connection, "_NET_WM_WINDOW_OPACITY");
    const auto frameExtents = internAtom(m_connection, "_NET_FRAME_EXTENTS");
    const auto supportingCheck = internAtom(m_connection, "_NET_SUPPORTING_WM_CHECK");
    m_activeWindowAtom = atomOf(m_connection, activeWindow);
    m_processAtom = atomOf(m_connection, process);
    m_stackingAtom = atomOf(m_connection, stacking);
    m_windowTypeAtom = atomOf(m_connection, windowType);
    m_normalTypeAtom = atomOf(m_connection, normalType);
    m_opacityAtom = atomOf(m_connection, opacity);
    m_frameExtentsAtom = atomOf(m_connection, frameExtents);
    m_supportingCheckAtom = atomOf(m_connection, supportingCheck);
    const xcb_query_extension_reply_t* resource = xcb_get_extension_data(m_connection, &xcb_res_id);
    m_hasResourceExtension = resource && resource->present;
}

std::optional<X11Desktop> X11Desktop::ofApplication() {
    xcb_connection_t* connection = qtX11Connection();
    if (!connection) return std::nullopt;
    return X11Desktop(connection);
}

std::optional<X11Window> X11Desktop::frontWindow() const {
    if (m_root == 0) return std::nullopt;
    const auto activeRequest = propertyRequest(m_connection, m_root, m_activeWindowAtom, XCB_ATOM_WINDOW);
    const auto focusRequest = xcb_get_input_focus(m_connection);
    const auto active = replyOf<xcb_get_property_reply_t>(m_connection, activeRequest, xcb_get_property_reply);
    const auto focus = replyOf<xcb_get_input_focus_reply_t>(m_connection, focusRequest, xcb_get_input_focus_reply);

    std::optional<std::uint32_t> window;
    if (const auto activeWindow = cardinalOf(active.get(), XCB_ATOM_WINDOW)) {
        // A window manager keeps the property; None means that no window is active.
        if (*activeWindow == XCB_WINDOW_NONE) return std::nullopt;
        window = *activeWindow;
    } else {
        if (!focus || focus->focus == XCB_INPUT_FOCUS_NONE || focus->focus == XCB_INPUT_FOCUS_POINTER_ROOT ||
            focus->focus == m_root) {
            return std::nullopt;
        }
        window = topLevelOf(focus->focus);
    }
    if (!window) return std::nullopt;
    return X11Window{.id = *window, .pid = processOf(*window)};
}

std::optional<X11WindowClass> X11Desktop::windowClass(std::uint32_t window) const {
    // Two short Latin-1 names, each ended by a NUL; 256 bytes hold any real one.
    const auto request = xcb_get_property(m_connection, 0, window, XCB_ATOM_WM_CLASS, XCB_ATOM_STRING, 0, 64);
    const auto reply = replyOf<xcb_get_property_reply_t>(m_connection, request, xcb_get_property_reply);
    if (!reply || reply->type != XCB_ATOM_STRING || reply->format != 8) return std::nullopt;
    const std::string value(static_cast<const char*>(xcb_get_property_value(reply.get())),
                            std::size_t(xcb_get_property_value_length(reply.get())));
    const std::size_t end = value.find('\0');
    X11WindowClass names{.instance = value.substr(0, end), .className = {}};
    if (end != std::string::npos) {
        const std::size_t classEnd = value.find('\0', end + 1);
        names.className = value.substr(end + 1, classEnd == std::string::npos ? std::string::npos : classEnd - end - 1);
    }
    return names;
}

std::optional<pid_t> X11Desktop::frontProcess() const {
    const auto window = frontWindow();
    return window ? window->pid : std::nullopt;
}

// The ancestor of the window whose parent is the root (the window itself when it is a top-level one).
std::optional<std::uint32_t> X11Desktop::topLevelOf(std::uint32_t window) const {
    // Each step needs the answer of the one before; a window tree is never this deep.
    for (int depth = 0; depth < 64; ++depth) {
        const auto tree =
            replyOf<xcb_query_tree_reply_t>(m_connection, xcb_query_tree(m_connection, window), xcb_query_tree_reply);
        if (!tree) return std::nullopt;
        if (tree->parent == m_root || tree->parent == XCB_WINDOW_NONE) return window;
        window = tree->parent;
    }
    return std::nullopt;
}

std::optional<pid_t> X11Desktop::processOf(std::uint32_t window) const {
    const auto propertyCookie = propertyRequest(m_connection, window, m_processAtom, XCB_ATOM_CARDINAL);
    const std::optional<unsigned int> clientCookie = clientRequest(window);
    const auto property = replyOf<xcb_get_property_reply_t>(m_connection, propertyCookie, xcb_get_property_reply);
    Pointer<xcb_res_query_client_ids_reply_t> client = owned<xcb_res_query_client_ids_reply_t>(nullptr);
    if (clientCookie) client = clientReply(m_connection, *clientCookie);
    return processFrom(property.get(), client.get());
}

std::optional<pid_t> X11Desktop::creatorProcessOf(std::uint32_t window) const {
    const auto cookie = clientRequest(window);
    return cookie ? creatorProcessFrom(*cookie) : std::nullopt;
}

std::optional<unsigned int> X11Desktop::clientRequest(std::uint32_t window) const {
    if (!m_hasResourceExtension) return std::nullopt;
    const xcb_res_client_id_spec_t processQuery{window, XCB_RES_CLIENT_ID_MASK_LOCAL_CLIENT_PID};
    return xcb_res_query_client_ids(m_connection, 1, &processQuery).sequence;
}

std::optional<pid_t> X11Desktop::creatorProcessFrom(unsigned int request) const {
    const auto client = clientReply(m_connection, request);
    return processFrom(nullptr, client.get());
}

}  // namespace tavrine
