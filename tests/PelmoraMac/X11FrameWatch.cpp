// Watches the top-level windows of an X display as a window manager frames and maps them, for the tests
// of where a window first appears. Prints one line per event, as it comes:
//   create WINDOW X Y WIDTH HEIGHT     a top-level window made (a client's, or a window manager's frame)
//   configure WINDOW X Y WIDTH HEIGHT  a top-level window moved or resized
//   map WINDOW                         a top-level window mapped
//   reparent CLIENT TOP-LEVEL          a client window put into a frame: the frame's top-level window
//   request-frame-extents WINDOW       a client asked the window manager for the frame it will give WINDOW
// after a first line "ready" once it receives them. Runs until its standard input ends.
//   x11-frame-watch
#include <poll.h>
#include <unistd.h>
#include <xcb/xcb.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>

namespace {

// The child of the root that holds a window (the window itself when it is one).
xcb_window_t topLevelOf(xcb_connection_t* connection, xcb_window_t root, xcb_window_t window) {
    for (int depth = 0; depth < 64; ++depth) {
        xcb_query_tree_reply_t* tree = xcb_query_tree_reply(connection, xcb_query_tree(connection, window), nullptr);
        if (!tree) return window;
        const xcb_window_t parent = tree->parent;
        std::free(tree);
        if (parent == root || parent == XCB_WINDOW_NONE) return window;
        window = parent;
    }
    return window;
}

}  // namespace

int main() {
    xcb_connection_t* connection = xcb_connect(nullptr, nullptr);
    if (xcb_connection_has_error(connection)) return 1;
    const xcb_window_t root = xcb_setup_roots_iterator(xcb_get_setup(connection)).data->root;
    const std::uint32_t mask[] = {XCB_EVENT_MASK_SUBSTRUCTURE_NOTIFY};
    xcb_generic_error_t* error =
        xcb_request_check(connection, xcb_change_window_attributes_checked(connection, root, XCB_CW_EVENT_MASK, mask));
    if (error) return 1;
    // The question goes to the root window, where the window manager takes it; this watcher sees it too.
    const char kRequestFrameExtents[] = "_NET_REQUEST_FRAME_EXTENTS";
    xcb_intern_atom_reply_t* atom = xcb_intern_atom_reply(
        connection, xcb_intern_atom(connection, 0, sizeof kRequestFrameExtents - 1, kRequestFrameExtents), nullptr);
    if (!atom) return 1;
    const xcb_atom_t requestFrameExtents = atom->atom;
    std::free(atom);
    std::printf("ready\n");
    std::fflush(stdout);

    pollfd sources[] = {{.fd = xcb_get_file_descriptor(connection), .events = POLLIN, .revents = 0},
                        {.fd = STDIN_FILENO, .events = POLLIN, .revents = 0}};
    for (;;) {
        while (xcb_generic_event_t* event = xcb_poll_for_event(connection)) {
            switch (event->response_type & 0x7f) {
            case XCB_CREATE_NOTIFY: {
                const auto* created = reinterpret_cast<xcb_create_notify_event_t*>(event);
                if (created->parent == root && !created->override_redirect) {
                    std::printf("create %u %d %d %u %u\n", created->window, created->x, created->y, created->width,
                                created->height);
                }
                break;
            }
            case XCB_CONFIGURE_NOTIFY: {
                const auto* configured = reinterpret_cast<xcb_configure_notify_event_t*>(event);
                if (configured->event == root && !configured->override_redirect) {
                    std::printf("configure %u %d %d %u %u\n", configured->window, configured->x, configured->y,
                                configured->width, configured->height);
                }
                break;
            }
            case XCB_MAP_NOTIFY: {
                const auto* mapped = reinterpret_cast<xcb_map_notify_event_t*>(event);
                if (mapped->event == root && !mapped->override_redirect) std::printf("map %u\n", mapped->window);
                break;
            }
            case XCB_REPARENT_NOTIFY: {
                const auto* reparented = reinterpret_cast<xcb_reparent_notify_event_t*>(event);
                if (reparented->event == root && reparented->parent != root) {
                    std::printf("reparent %u %u\n", reparented->window,
                                topLevelOf(connection, root, reparented->parent));
                }
                break;
            }
            case XCB_CLIENT_MESSAGE: {
                const auto* message = reinterpret_cast<xcb_client_message_event_t*>(event);
                if (message->type == requestFrameExtents) std::printf("request-frame-extents %u\n", message->window);
                break;
            }
            default: break;
            }
            std::free(event);
        }
        std::fflush(stdout);
        if (xcb_connection_has_error(connection)) return 1;
        if (::poll(sources, 2, -1) < 0) return 1;
        if (sources[1].revents != 0) {
            char buffer[64];
            if (::read(STDIN_FILENO, buffer, sizeof buffer) <= 0) break;
        }
    }
    xcb_disconnect(connection);
    return 0;
}
