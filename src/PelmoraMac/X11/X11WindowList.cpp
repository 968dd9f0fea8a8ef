// The window list and activation of X11Desktop.
#include "PelmoraMac/X11/X11Desktop.h"
#include "PelmoraMac/X11/XcbReplies.h"

#include <signal.h>

#include <algorithm>
#include <cerrno>
#include <vector>

namespace tavrine {
using namespace xcb;
namespace {

// More top-level windows than any desktop shows; the rest of a longer list is not read.
constexpr std::uint32_t kMostWindows = 8192;
// _NET_WM_WINDOW_TYPE lists a window's types, the preferred first; a few are plenty.
constexpr std::uint32_t kMostTypes = 16;

// Everything asked about one window, sent before any answer is read.
struct WindowRequests {
    xcb_get_property_cookie_t process;
    std::optional<xcb_res_query_client_ids_cookie_t> client;
    xcb_get_window_attributes_cookie_t attributes;
    xcb_get_geometry_cookie_t geometry;
    xcb_translate_coordinates_cookie_t origin;
    xcb_get_property_cookie_t type;
    xcb_get_property_cookie_t opacity;
    xcb_get_property_cookie_t frameExtents;
};

}  // namespace

std::optional<X11Rectangle> X11Desktop::frontWindowFrame(pid_t process) const {
    if (m_root == 0 || process <= 0) return std::nullopt;

    // The windows, back to front.
    const auto stackingRequest = propertyRequest(m_connection, m_root, m_stackingAtom, XCB_ATOM_WINDOW, kMostWindows);
    const auto treeRequest = xcb_query_tree(m_connection, m_root);
    const auto stacking = replyOf<xcb_get_property_reply_t>(m_connection, stackingRequest, xcb_get_property_reply);
    const auto tree = replyOf<xcb_query_tree_reply_t>(m_connection, treeRequest, xcb_query_tree_reply);
    std::vector<std::uint32_t> windows;
    if (const std::uint32_t count = cardinalCount(stacking.get(), XCB_ATOM_WINDOW); count > 0) {
        const auto* values = static_cast<const std::uint32_t*>(xcb_get_property_value(stacking.get()));
        windows.assign(values, values + count);
    } else if (tree) {
        const xcb_window_t* children = xcb_query_tree_children(tree.get());
        windows.assign(children, children + xcb_query_tree_children_length(tree.get()));
    }
    std::reverse(windows.begin(), windows.end());

    std::vector<WindowRequests> requests;
    requests.reserve(windows.size());
    for (const std::uint32_t window : windows) {
        WindowRequests request{
            .process = propertyRequest(m_connection, window, m_processAtom, XCB_ATOM_CARDINAL),
            .client = std::nullopt,
            .attributes = xcb_get_window_attributes(m_connection, window),
            .geometry = xcb_get_geometry(m_connection, window),
            .origin = xcb_translate_coordinates(m_connection, window, m_root, 0, 0),
            .type = propertyRequest(m_connection, window, m_windowTypeAtom, XCB_ATOM_ATOM, kMostTypes),
            .opacity = propertyRequest(m_connection, window, m_opacityAtom, XCB_ATOM_CARDINAL),
            .frameExtents = propertyRequest(m_connection, window, m_frameExtentsAtom, XCB_ATOM_CARDINAL, 4),
        };
        if (m_hasResourceExtension) {
            const xcb_res_client_id_spec_t processQuery{window, XCB_RES_CLIENT_ID_MASK_LOCAL_CLIENT_PID};
            request.client = xcb_res_query_client_ids(m_connection, 1, &processQuery);
        }
        requests.push_back(request);
    }

    // Every reply is read, also after the answer is found, so none is left for the connection's owner.
    std::optional<X11Rectangle> found;
    for (const WindowRequests& request : requests) {
        const auto declared = replyOf<xcb_get_property_reply_t>(m_connection, request.process, xcb_get_property_reply);
        auto client = owned<xcb_res_query_client_ids_reply_t>(nullptr);
        if (request.client) {
            client = replyOf<xcb_res_query_client_ids_reply_t>(m_connection, *request.client,
                                                               xcb_res_query_client_ids_reply);
        }
        const auto attributes = replyOf<xcb_get_window_attributes_reply_t>(m_connection, request.attributes,
                                                                           xcb_get_window_attributes_reply);
        const auto geometry = replyOf<xcb_get_geometry_reply_t>(m_connection, request.geometry, xcb_get_geometry_reply);
        const auto origin =
            replyOf<xcb_translate_coordinates_reply_t>(m_connection, request.origin, xcb_translate_coordinates_reply);
        const auto type = replyOf<xcb_get_property_reply_t>(m_connection, request.type, xcb_get_property_reply);
        const auto opacity = replyOf<xcb_get_property_reply_t>(m_connection, request.opacity, xcb_get_property_reply);
        const auto extents =
            replyOf<xcb_get_property_reply_t>(m_connection, request.frameExtents, xcb_get_property_reply);
        if (found) continue;

        if (processFrom(declared.get(), client.get()) != process) continue;
        if (!attributes || attributes->map_state != XCB_MAP_STATE_VIEWABLE || attributes->override_redirect) continue;
        if (const std::uint32_t types = cardinalCount(type.get(), XCB_ATOM_ATOM); types > 0) {
            bool isNormal = false;
            for (std::uint32_t i = 0; i < types; ++i)
                isNormal = isNormal || cardinalAt(type.get(), XCB_ATOM_ATOM, i) == m_normalTypeAtom;
            if (!isNormal) continue;
        }
        if (const auto alpha = cardinalOf(opacity.get(), XCB_ATOM_CARDINAL); alpha && *alpha == 0) continue;
        if (!geometry || !origin || geometry->width == 0 || geometry->height == 0) continue;

        // The decorations a window manager put around the window: left, right, top, bottom.
        const std::uint32_t left = cardinalAt(extents.get(), XCB_ATOM_CARDINAL, 0).value_or(0);
        const std::uint32_t right = cardinalAt(extents.get(), XCB_ATOM_CARDINAL, 1).value_or(0);
        const std::uint32_t top = cardinalAt(extents.get(), XCB_ATOM_CARDINAL, 2).value_or(0);
        const std::uint32_t bottom = cardinalAt(extents.get(), XCB_ATOM_CARDINAL, 3).value_or(0);
        found = X11Rectangle{
            .x = origin->dst_x - int(left),
            .y = origin->dst_y - int(top),
            .width = int(geometry->width + left + right),
            .height = int(geometry->height + top + bottom),
        };
    }
    return found;
}

void X11Desktop::activate(std::uint32_t window, std::uint32_t timestamp) const {
    if (m_root == 0 || window == 0) return;
    if (hasWindowManager()) {
        xcb_client_message_event_t message{};
        message.response_type = XCB_CLIENT_MESSAGE;
        message.format = 32;
        message.window = window;
        message.type = m_activeWindowAtom;
        message.data.data32[0] = 2;  // the request comes from a pager, on the user's behalf
        message.data.data32[1] = timestamp;
        message.data.data32[2] = XCB_WINDOW_NONE;
        xcb_send_event(m_connection, 0, m_root,
                       XCB_EVENT_MASK_SUBSTRUCTURE_REDIRECT | XCB_EVENT_MASK_SUBSTRUCTURE_NOTIFY,
                       reinterpret_cast<const char*>(&message));
    } else {
        const std::uint32_t above[] = {XCB_STACK_MODE_ABOVE};
        xcb_configure_window(m_connection, window, XCB_CONFIG_WINDOW_STACK_MODE, above);
        xcb_set_input_focus(m_connection, XCB_INPUT_FOCUS_POINTER_ROOT, window, timestamp);
    }
    xcb_flush(m_connection);
}

bool X11Desktop::hasWindowManager() const {
    if (m_root == 0) return false;
    const auto request = propertyRequest(m_connection, m_root, m_supportingCheckAtom, XCB_ATOM_WINDOW);
    const auto check = replyOf<xcb_get_property_reply_t>(m_connection, request, xcb_get_property_reply);
    const auto window = cardinalOf(check.get(), XCB_ATOM_WINDOW);
    return window && *window != XCB_WINDOW_NONE;
}

bool X11Desktop::isTerminated(pid_t process) {
    return process > 0 && ::kill(process, 0) != 0 && errno == ESRCH;
}

}  // namespace tavrine
