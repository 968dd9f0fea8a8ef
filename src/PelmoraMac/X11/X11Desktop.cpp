#include "PelmoraMac/X11/X11Desktop.h"

#include "PelmoraMac/X11/X11Connection.h"

#include <xcb/res.h>
#include <xcb/xcb.h>

#include <cstdlib>
#include <cstring>
#include <memory>

namespace tavrine {
namespace {

// A reply or an error of xcb, freed with the C allocator as xcb asks.
template <typename T>
using XcbPointer = std::unique_ptr<T, decltype(&std::free)>;

template <typename T>
XcbPointer<T> owned(T* pointer) {
    return XcbPointer<T>(pointer, &std::free);
}

// The reply of a request whose errors are handed back here (and freed), never to Qt's event queue.
template <typename Reply, typename Cookie, typename ReplyFunction>
XcbPointer<Reply> replyOf(xcb_connection_t* connection, Cookie cookie, ReplyFunction replyFunction) {
    xcb_generic_error_t* error = nullptr;
    auto reply = owned(replyFunction(connection, cookie, &error));
    std::free(error);
    return reply;
}

xcb_intern_atom_cookie_t internAtom(xcb_connection_t* connection, const char* name) {
    return xcb_intern_atom(connection, 0, std::uint16_t(std::strlen(name)), name);
}

std::uint32_t atomOf(xcb_connection_t* connection, xcb_intern_atom_cookie_t cookie) {
    const auto reply = replyOf<xcb_intern_atom_reply_t>(connection, cookie, xcb_intern_atom_reply);
    return reply ? reply->atom : std::uint32_t(XCB_ATOM_NONE);
}

// A property of one 32-bit value of the given type: its value, or nothing when the window has no such
// property.
std::optional<std::uint32_t> cardinalOf(const xcb_get_property_reply_t* reply, xcb_atom_t type) {
    if (!reply || reply->type != type || reply->format != 32 || xcb_get_property_value_length(reply) < 4) {
        return std::nullopt;
    }
    std::uint32_t value = 0;
    std::memcpy(&value, xcb_get_property_value(reply), sizeof value);
    return value;
}

xcb_get_property_cookie_t propertyRequest(xcb_connection_t* connection, std::uint32_t window, std::uint32_t atom,
                                          xcb_atom_t type) {
    return xcb_get_property(connection, 0, window, atom, type, 0, 1);
}

}  // namespace

X11Desktop::X11Desktop(xcb_connection_t* connection) : m_connection(connection) {
    const xcb_setup_t* setup = xcb_get_setup(m_connection);
    if (setup) m_root = xcb_setup_roots_iterator(setup).data->root;
    const auto activeWindow = internAtom(m_connection, "_NET_ACTIVE_WINDOW");
    const auto process = internAtom(m_connection, "_NET_WM_PID");
    m_activeWindowAtom = atomOf(m_connection, activeWindow);
    m_processAtom = atomOf(m_connection, process);
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
    std::optional<xcb_res_query_client_ids_cookie_t> clientCookie;
    if (m_hasResourceExtension) {
        const xcb_res_client_id_spec_t specification{window, XCB_RES_CLIENT_ID_MASK_LOCAL_CLIENT_PID};
        clientCookie = xcb_res_query_client_ids(m_connection, 1, &specification);
    }
    const auto property = replyOf<xcb_get_property_reply_t>(m_connection, propertyCookie, xcb_get_property_reply);
    XcbPointer<xcb_res_query_client_ids_reply_t> client = owned<xcb_res_query_client_ids_reply_t>(nullptr);
    if (clientCookie) {
        client = replyOf<xcb_res_query_client_ids_reply_t>(m_connection, *clientCookie, xcb_res_query_client_ids_reply);
    }

    if (const auto declared = cardinalOf(property.get(), XCB_ATOM_CARDINAL); declared && *declared > 0) {
        return pid_t(*declared);
    }
    if (!client) return std::nullopt;
    for (auto ids = xcb_res_query_client_ids_ids_iterator(client.get()); ids.rem > 0;
         xcb_res_client_id_value_next(&ids)) {
        if ((ids.data->spec.mask & XCB_RES_CLIENT_ID_MASK_LOCAL_CLIENT_PID) == 0 || ids.data->length < 4) continue;
        const std::uint32_t value = *xcb_res_client_id_value_value(ids.data);
        if (value > 0) return pid_t(value);
    }
    return std::nullopt;
}

}  // namespace tavrine
