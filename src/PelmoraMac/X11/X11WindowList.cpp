// The window list and activation of X11Desktop.
#include "PelmoraMac/X11/X11Desktop.h"
#include "PelmoraMac/X11/X11WindowMessages.h"
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

// The atoms the questions about a window name.
struct WindowAtoms {
    std::uint32_t process = 0;
    std::uint32_t windowType = 0;
    std::uint32_t normalType = 0;
    std::uint32_t opacity = 0;
    std::uint32_t frameExtents = 0;
};

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

// Their answers; any may be missing (the window went away, or has no such property).
struct WindowReplies {
    Pointer<xcb_get_property_reply_t> process = owned<xcb_get_property_reply_t>(nullptr);
    Pointer<xcb_res_query_client_ids_reply_t> client = owned<xcb_res_query_client_ids_reply_t>(nullptr);
    Pointer<xcb_get_window_attributes_reply_t> attributes = owned<xcb_get_window_attributes_reply_t>(nullptr);
    Pointer<xcb_get_geometry_reply_t> geometry = owned<xcb_get_geometry_reply_t>(nullptr);
    Pointer<xcb_translate_coordinates_reply_t> origin = owned<xcb_translate_coordinates_reply_t>(nullptr);
    Pointer<xcb_get_property_reply_t> type = owned<xcb_get_property_reply_t>(nullptr);
    Pointer<xcb_get_property_reply_t> opacity = owned<xcb_get_property_reply_t>(nullptr);
    Pointer<xcb_get_property_reply_t> frameExtents = owned<xcb_get_property_reply_t>(nullptr);
};

// The top-level windows, front to back: the window manager's stacking list, or without one the root's
// children (which the server keeps bottom to top).
std::vector<std::uint32_t> windowsFrontToBack(xcb_connection_t* connection, std::uint32_t root,
                                              std::uint32_t stackingAtom) {
    const auto stackingRequest = propertyRequest(connection, root, stackingAtom, XCB_ATOM_WINDOW, kMostWindows);
    const auto treeRequest = xcb_query_tree(connection, root);
    const auto stacking = replyOf<xcb_get_property_reply_t>(connection, stackingRequest, xcb_get_property_reply);
    const auto tree = replyOf<xcb_query_tree_reply_t>(connection, treeRequest, xcb_query_tree_reply);
    std::vector<std::uint32_t> windows;
    if (const std::uint32_t count = cardinalCount(stacking.get(), XCB_ATOM_WINDOW); count > 0) {
        const auto* values = static_cast<const std::uint32_t*>(xcb_get_property_value(stacking.get()));
        windows.assign(values, values + count);
    } else if (tree) {
        const xcb_window_t* children = xcb_query_tree_children(tree.get());
        windows.assign(children, children + xcb_query_tree_children_length(tree.get()));
    }
    std::reverse(windows.begin(), windows.end());
    return windows;
}

WindowRequests requestWindow(xcb_connection_t* connection, std::uint32_t window, std::uint32_t root,
                             const WindowAtoms& atoms, bool askResourceExtension) {
    WindowRequests request{
        .process = propertyRequest(connection, window, atoms.process, XCB_ATOM_CARDINAL),
        .client = std::nullopt,
        .attributes = xcb_get_window_attributes(connection, window),
        .geometry = xcb_get_geometry(connection, window),
        .origin = xcb_translate_coordinates(connection, window, root, 0, 0),
        .type = propertyRequest(connection, window, atoms.windowType, XCB_ATOM_ATOM, kMostTypes),
        .opacity = propertyRequest(connection, window, atoms.opacity, XCB_ATOM_CARDINAL),
        .frameExtents = propertyRequest(connection, window, atoms.frameExtents, XCB_ATOM_CARDINAL, 4),
    };
    if (askResourceExtension) {
        const xcb_res_client_id_spec_t processQuery{window, XCB_RES_CLIENT_ID_MASK_LOCAL_CLIENT_PID};
        request.client = xcb_res_query_client_ids(connection, 1, &processQuery);
    }
    return request;
}

WindowReplies readReplies(xcb_connection_t* connection, const WindowRequests& request) {
    WindowReplies replies;
    replies.process = replyOf<xcb_get_property_reply_t>(connection, request.process, xcb_get_property_reply);
    if (request.client) {
        replies.client =
            replyOf<xcb_res_query_client_ids_reply_t>(connection, *request.client, xcb_res_query_client_ids_reply);
    }
    replies.attributes =
        replyOf<xcb_get_window_attributes_reply_t>(connection, request.attributes, xcb_get_window_attributes_reply);
    replies.geometry = replyOf<xcb_get_geometry_reply_t>(connection, request.geometry, xcb_get_geometry_reply);
    replies.origin =
        replyOf<xcb_translate_coordinates_reply_t>(connection, request.origin, xcb_translate_coordinates_reply);
    replies.type = replyOf<xcb_get_property_reply_t>(connection, request.type, xcb_get_property_reply);
    replies.opacity = replyOf<xcb_get_property_reply_t>(connection, request.opacity, xcb_get_property_reply);
    replies.frameExtents = replyOf<xcb_get_property_reply_t>(connection, request.frameExtents, xcb_get_property_reply);
    return replies;
}

// Whether the window is one of process that a person sees: mapped, managed, of the normal type when it
// names types, not wholly transparent, and of some size.
bool isVisibleWindowOf(const WindowReplies& window, pid_t process, std::uint32_t normalType) {
    if (processFrom(window.process.get(), window.client.get()) != process) return false;
    const auto& attributes = window.attributes;
    if (!attributes || attributes->map_state != XCB_MAP_STATE_VIEWABLE || attributes->override_redirect) return false;
    if (const std::uint32_t types = cardinalCount(window.type.get(), XCB_ATOM_ATOM); types > 0) {
        bool isNormal = false;
        for (std::uint32_t i = 0; i < types; ++i)
            isNormal = isNormal || cardinalAt(window.type.get(), XCB_ATOM_ATOM, i) == normalType;
        if (!isNormal) return false;
    }
    if (const auto alpha = cardinalOf(window.opacity.get(), XCB_ATOM_CARDINAL); alpha && *alpha == 0) return false;
    return window.geometry && window.origin && window.geometry->width > 0 && window.geometry->height > 0;
}

// The window with the decorations a window manager put around it (left, right, top, bottom).
X11Rectangle frameOf(const WindowReplies& window) {
    const auto* extents = window.frameExtents.get();
    const std::uint32_t left = cardinalAt(extents, XCB_ATOM_CARDINAL, 0).value_or(0);
    const std::uint32_t right = cardinalAt(extents, XCB_ATOM_CARDINAL, 1).value_or(0);
    const std::uint32_t top = cardinalAt(extents, XCB_ATOM_CARDINAL, 2).value_or(0);
    const std::uint32_t bottom = cardinalAt(extents, XCB_ATOM_CARDINAL, 3).value_or(0);
    return X11Rectangle{
        .x = window.origin->dst_x - int(left),
        .y = window.origin->dst_y - int(top),
        .width = int(window.geometry->width + left + right),
        .height = int(window.geometry->height + top + bottom),
    };
}

}  // namespace

std::optional<X11Rectangle> X11Desktop::frontWindowFrame(pid_t process) const {
    if (m_root == 0 || process <= 0) return std::nullopt;
    const WindowAtoms atoms{m_processAtom, m_windowTypeAtom, m_normalTypeAtom, m_opacityAtom, m_frameExtentsAtom};
    const std::vector<std::uint32_t> windows = windowsFrontToBack(m_connection, m_root, m_stackingAtom);
    std::vector<WindowRequests> requests;
    requests.reserve(windows.size());
    for (const std::uint32_t window : windows)
        requests.push_back(requestWindow(m_connection, window, m_root, atoms, m_hasResourceExtension));
    // Every reply is read, also after the answer is found, so none is left for the connection's owner.
    std::optional<X11Rectangle> found;
    for (const WindowRequests& request : requests) {
        const WindowReplies window = readReplies(m_connection, request);
        if (!found && isVisibleWindowOf(window, process, atoms.normalType)) found = frameOf(window);
    }
    return found;
}

std::optional<X11Rectangle> X11Desktop::windowBounds(std::uint32_t window) const {
    if (m_root == 0 || window == 0) return std::nullopt;
    const auto geometryRequest = xcb_get_geometry(m_connection, window);
    const auto originRequest = xcb_translate_coordinates(m_connection, window, m_root, 0, 0);
    const auto geometry = replyOf<xcb_get_geometry_reply_t>(m_connection, geometryRequest, xcb_get_geometry_reply);
    const auto origin =
        replyOf<xcb_translate_coordinates_reply_t>(m_connection, originRequest, xcb_translate_coordinates_reply);
    if (!geometry || !origin) return std::nullopt;
    return X11Rectangle{.x = origin->dst_x, .y = origin->dst_y, .width = geometry->width, .height = geometry->height};
}

void X11Desktop::activate(std::uint32_t window, std::uint32_t timestamp) const {
    if (m_root == 0 || window == 0) return;
    if (hasWindowManager()) {
        // Asked as a pager on the user's behalf: the window is another program's.
        sendToWindowManager(m_connection, m_root, window, m_activeWindowAtom,
                            static_cast<std::uint32_t>(X11RequestSource::pager), timestamp, XCB_WINDOW_NONE);
    } else {
        raiseAndFocus(m_connection, window, timestamp);
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
