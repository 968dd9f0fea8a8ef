#include "PelmoraMac/X11/X11WindowMessages.h"

#include <xcb/xcb.h>

namespace tavrine {

void sendToWindowManager(xcb_connection_t* connection, std::uint32_t root, std::uint32_t window, std::uint32_t type,
                         std::uint32_t first, std::uint32_t second, std::uint32_t third) {
    xcb_client_message_event_t message{};
    message.response_type = XCB_CLIENT_MESSAGE;
    message.format = 32;
    message.window = window;
    message.type = type;
    message.data.data32[0] = first;
    message.data.data32[1] = second;
    message.data.data32[2] = third;
    xcb_send_event(connection, 0, root, XCB_EVENT_MASK_SUBSTRUCTURE_REDIRECT | XCB_EVENT_MASK_SUBSTRUCTURE_NOTIFY,
                   reinterpret_cast<const char*>(&message));
}

void raiseAndFocus(xcb_connection_t* connection, std::uint32_t window, std::uint32_t timestamp) {
    const std::uint32_t above[] = {XCB_STACK_MODE_ABOVE};
    xcb_configure_window(connection, window, XCB_CONFIG_WINDOW_STACK_MODE, above);
    xcb_set_input_focus(connection, XCB_INPUT_FOCUS_POINTER_ROOT, window, timestamp);
}

}  // namespace tavrine
