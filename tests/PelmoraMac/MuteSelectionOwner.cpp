// Owns an X11 selection and never answers a request for it, as a hung application does: it takes the
// CLIPBOARD (or, with --primary, the PRIMARY) selection, writes "ready" once it owns it, and ignores
// every request until its input closes.
//   mute-selection-owner [--primary]
#include <xcb/xcb.h>

#include <poll.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>

int main(int argc, char** argv) {
    const bool primary = argc > 1 && std::strcmp(argv[1], "--primary") == 0;
    xcb_connection_t* connection = xcb_connect(nullptr, nullptr);
    if (xcb_connection_has_error(connection)) return 1;
    xcb_screen_t* screen = xcb_setup_roots_iterator(xcb_get_setup(connection)).data;
    const xcb_window_t window = xcb_generate_id(connection);
    const std::uint32_t events[] = {XCB_EVENT_MASK_PROPERTY_CHANGE};
    xcb_create_window(connection, XCB_COPY_FROM_PARENT, window, screen->root, 0, 0, 1, 1, 0,
                      XCB_WINDOW_CLASS_INPUT_ONLY, XCB_COPY_FROM_PARENT, XCB_CW_EVENT_MASK, events);
    // The server's time, from a change of a property of our own, to take the selection with.
    xcb_change_property(connection, XCB_PROP_MODE_APPEND, window, XCB_ATOM_WM_NAME, XCB_ATOM_STRING, 8, 0, nullptr);
    xcb_flush(connection);
    xcb_timestamp_t time = XCB_CURRENT_TIME;
    while (time == XCB_CURRENT_TIME) {
        xcb_generic_event_t* event = xcb_wait_for_event(connection);
        if (!event) return 1;
        if ((event->response_type & 0x7f) == XCB_PROPERTY_NOTIFY) {
            time = reinterpret_cast<xcb_property_notify_event_t*>(event)->time;
        }
        std::free(event);
    }
    xcb_atom_t selection = XCB_ATOM_PRIMARY;
    if (!primary) {
        xcb_intern_atom_reply_t* atom =
            xcb_intern_atom_reply(connection, xcb_intern_atom(connection, 0, 9, "CLIPBOARD"), nullptr);
        if (!atom) return 1;
        selection = atom->atom;
        std::free(atom);
    }
    xcb_set_selection_owner(connection, window, selection, time);
    xcb_get_selection_owner_reply_t* owner =
        xcb_get_selection_owner_reply(connection, xcb_get_selection_owner(connection, selection), nullptr);
    if (!owner || owner->owner != window) return 1;
    std::free(owner);
    std::printf("ready\n");
    std::fflush(stdout);

    pollfd descriptors[2] = {{.fd = STDIN_FILENO, .events = POLLIN, .revents = 0},
                             {.fd = xcb_get_file_descriptor(connection), .events = POLLIN, .revents = 0}};
    while (true) {
        while (xcb_generic_event_t* event = xcb_poll_for_event(connection)) std::free(event);
        if (xcb_connection_has_error(connection)) return 1;
        if (::poll(descriptors, 2, -1) < 0) return 1;
        if (descriptors[0].revents != 0) {
            char byte = 0;
            if (::read(STDIN_FILENO, &byte, 1) <= 0) break;
        }
    }
    xcb_disconnect(connection);
    return 0;
}
