// A system tray of its own on its own X11 connection, as a desktop panel provides one: a panel window of
// WIDTH × HEIGHT at the screen's top-left corner, filled with COLOUR (#rrggbb), that takes the tray
// manager selection of screen 0 (_NET_SYSTEM_TRAY_S0), announces it with the MANAGER message on the
// root window and docks every icon that asks (SYSTEM_TRAY_REQUEST_DOCK) by the XEmbed protocol: side by
// side from the panel's left edge, each in a square as tall as the panel, in the first place a destroyed
// icon left free. Writes "manager 0x…" once it owns the selection, then "docked 0x…" with each docked icon
// window; runs until killed. The panel's end hands the docked icons back to the root window (the save set).
//   tray-manager COLOUR WIDTH HEIGHT
#include <xcb/xcb.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <vector>

namespace {

struct Free {
    void operator()(void* pointer) const { std::free(pointer); }
};
template <typename T>
using Reply = std::unique_ptr<T, Free>;

xcb_connection_t* connection = nullptr;

xcb_atom_t atom(const char* name) {
    const Reply<xcb_intern_atom_reply_t> reply(
        xcb_intern_atom_reply(connection, xcb_intern_atom(connection, 0, std::strlen(name), name), nullptr));
    return reply ? reply->atom : xcb_atom_t(XCB_ATOM_NONE);
}

void sendClientMessage(xcb_window_t destination, xcb_window_t window, xcb_atom_t type, uint32_t eventMask,
                       const uint32_t (&data)[5]) {
    xcb_client_message_event_t message{};
    message.response_type = XCB_CLIENT_MESSAGE;
    message.format = 32;
    message.window = window;
    message.type = type;
    std::memcpy(message.data.data32, data, sizeof data);
    xcb_send_event(connection, 0, destination, eventMask, reinterpret_cast<const char*>(&message));
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 4 || std::strlen(argv[1]) != 7 || argv[1][0] != '#') {
        std::fprintf(stderr, "usage: tray-manager #RRGGBB WIDTH HEIGHT\n");
        return 2;
    }
    const uint32_t colour = uint32_t(std::strtoul(argv[1] + 1, nullptr, 16));
    const auto width = uint16_t(std::atoi(argv[2]));
    const auto height = uint16_t(std::atoi(argv[3]));
    connection = xcb_connect(nullptr, nullptr);
    if (xcb_connection_has_error(connection)) {
        std::fprintf(stderr, "tray-manager: cannot open the display\n");
        return 1;
    }
    const xcb_screen_t* screen = xcb_setup_roots_iterator(xcb_get_setup(connection)).data;
    const xcb_atom_t selection = atom("_NET_SYSTEM_TRAY_S0");
    const xcb_atom_t opcode = atom("_NET_SYSTEM_TRAY_OPCODE");
    const xcb_atom_t manager = atom("MANAGER");
    const xcb_atom_t xembed = atom("_XEMBED");
    const xcb_atom_t orientation = atom("_NET_SYSTEM_TRAY_ORIENTATION");

    // A true-colour screen takes the colour as its pixel value.
    const xcb_window_t panel = xcb_generate_id(connection);
    const uint32_t values[] = {colour, 1, XCB_EVENT_MASK_SUBSTRUCTURE_NOTIFY};
    xcb_create_window(connection, XCB_COPY_FROM_PARENT, panel, screen->root, 0, 0, width, height, 0,
                      XCB_WINDOW_CLASS_INPUT_OUTPUT, screen->root_visual,
                      XCB_CW_BACK_PIXEL | XCB_CW_OVERRIDE_REDIRECT | XCB_CW_EVENT_MASK, values);
    const uint32_t horizontal = 0;
    xcb_change_property(connection, XCB_PROP_MODE_REPLACE, panel, orientation, XCB_ATOM_CARDINAL, 32, 1, &horizontal);
    xcb_map_window(connection, panel);

    xcb_set_selection_owner(connection, panel, selection, XCB_CURRENT_TIME);
    const Reply<xcb_get_selection_owner_reply_t> owner(
        xcb_get_selection_owner_reply(connection, xcb_get_selection_owner(connection, selection), nullptr));
    if (!owner || owner->owner != panel) {
        std::fprintf(stderr, "tray-manager: another client holds _NET_SYSTEM_TRAY_S0\n");
        return 1;
    }
    sendClientMessage(screen->root, screen->root, manager, XCB_EVENT_MASK_STRUCTURE_NOTIFY,
                      {XCB_CURRENT_TIME, selection, panel, 0, 0});
    xcb_flush(connection);
    std::printf("manager 0x%x\n", panel);
    std::fflush(stdout);

    // The icon in each place, from the left; 0 where none is.
    std::vector<xcb_window_t> places;
    while (xcb_generic_event_t* event = xcb_wait_for_event(connection)) {
        const std::unique_ptr<xcb_generic_event_t, Free> owned(event);
        const auto type = event->response_type & 0x7f;
        if (type == XCB_DESTROY_NOTIFY) {
            const xcb_window_t gone = reinterpret_cast<const xcb_destroy_notify_event_t*>(event)->window;
            for (xcb_window_t& place : places) {
                if (place == gone) place = 0;
            }
            continue;
        }
        if (type != XCB_CLIENT_MESSAGE) continue;
        const auto* message = reinterpret_cast<const xcb_client_message_event_t*>(event);
        // SYSTEM_TRAY_REQUEST_DOCK is opcode 0; the icon's window is the third value.
        if (message->type != opcode || message->data.data32[1] != 0) continue;
        const xcb_window_t icon = message->data.data32[2];
        std::size_t place = 0;
        while (place < places.size() && places[place] != 0) ++place;
        if (place == places.size()) places.push_back(0);
        places[place] = icon;
        xcb_change_save_set(connection, XCB_SET_MODE_INSERT, icon);
        xcb_reparent_window(connection, icon, panel, int16_t(place * height), 0);
        const uint32_t geometry[] = {uint32_t(height), uint32_t(height)};
        xcb_configure_window(connection, icon, XCB_CONFIG_WINDOW_WIDTH | XCB_CONFIG_WINDOW_HEIGHT, geometry);
        xcb_map_window(connection, icon);
        // XEMBED_EMBEDDED_NOTIFY (0), with the embedder and protocol version 0.
        sendClientMessage(icon, icon, xembed, XCB_EVENT_MASK_NO_EVENT, {XCB_CURRENT_TIME, 0, 0, panel, 0});
        xcb_flush(connection);
        std::printf("docked 0x%x\n", icon);
        std::fflush(stdout);
    }
    return 0;
}
