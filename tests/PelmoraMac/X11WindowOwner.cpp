// Shows windows for the X11 desktop tests, as another application would, on its own connection: a
// top-level window with a child, both mapped, the top-level with _NET_WM_PID when a number is given
// (any number: a client may name any process). Writes "<top-level> <child>" once both are on screen,
// then lives until its standard input ends.
//   x11-window-owner [--pid N]
#include <xcb/xcb.h>

#include <unistd.h>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>

int main(int argc, char** argv) {
    long declaredPid = 0;
    if (argc == 3 && std::strcmp(argv[1], "--pid") == 0) declaredPid = std::strtol(argv[2], nullptr, 10);

    xcb_connection_t* connection = xcb_connect(nullptr, nullptr);
    if (xcb_connection_has_error(connection)) return 1;
    xcb_screen_t* screen = xcb_setup_roots_iterator(xcb_get_setup(connection)).data;

    const xcb_window_t top = xcb_generate_id(connection);
    const std::uint32_t events[] = {XCB_EVENT_MASK_STRUCTURE_NOTIFY};
    xcb_create_window(connection, XCB_COPY_FROM_PARENT, top, screen->root, 10, 10, 200, 100, 0,
                      XCB_WINDOW_CLASS_INPUT_OUTPUT, screen->root_visual, XCB_CW_EVENT_MASK, events);
    const xcb_window_t child = xcb_generate_id(connection);
    xcb_create_window(connection, XCB_COPY_FROM_PARENT, child, top, 5, 5, 50, 50, 0, XCB_WINDOW_CLASS_INPUT_OUTPUT,
                      screen->root_visual, 0, nullptr);
    if (declaredPid > 0) {
        const char name[] = "_NET_WM_PID";
        xcb_intern_atom_reply_t* atom =
            xcb_intern_atom_reply(connection, xcb_intern_atom(connection, 0, sizeof name - 1, name), nullptr);
        const std::uint32_t value = std::uint32_t(declaredPid);
        xcb_change_property(connection, XCB_PROP_MODE_REPLACE, top, atom->atom, XCB_ATOM_CARDINAL, 32, 1, &value);
        std::free(atom);
    }
    xcb_map_window(connection, child);
    xcb_map_window(connection, top);
    xcb_flush(connection);

    // Viewable once the server says it is mapped: only then may it take the input focus.
    while (xcb_generic_event_t* event = xcb_wait_for_event(connection)) {
        const bool mapped = (event->response_type & 0x7f) == XCB_MAP_NOTIFY;
        std::free(event);
        if (mapped) break;
    }
    std::printf("%u %u\n", top, child);
    std::fflush(stdout);
    char buffer[64];
    while (::read(STDIN_FILENO, buffer, sizeof buffer) > 0) {
    }
    xcb_disconnect(connection);
    return 0;
}
