// Offers one file by drag and drop on its own X11 connection, as a file manager would, speaking the
// source side of the XDND protocol (version 5) itself: a window titled "drag-source" at the position
// given; a press of the first mouse button in it starts a drag of the file's URL (text/uri-list), moving
// the pointer tells the XDND-aware window under it where the drag is, and the release drops there. Writes
// "ready" once the window is on screen, "dragging" once the press has started the drag, "accepted" each time
// the window under the pointer answers that it takes the drop there, then, when the drag has ended, the
// action the target performed ("copy") or "none", and exits. The data is served to whoever asks while the drag lasts.
//   drag-source FILE X Y
#include <xcb/xcb.h>

#include <cctype>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>

namespace {

struct Free {
    void operator()(void* pointer) const { std::free(pointer); }
};
template <typename T>
using Reply = std::unique_ptr<T, Free>;

xcb_connection_t* connection = nullptr;
xcb_window_t root = 0;

xcb_atom_t atom(const char* name) {
    const Reply<xcb_intern_atom_reply_t> reply(
        xcb_intern_atom_reply(connection, xcb_intern_atom(connection, 0, std::strlen(name), name), nullptr));
    return reply ? reply->atom : xcb_atom_t(XCB_ATOM_NONE);
}

// The file's URL, its bytes outside the unreserved set percent-encoded.
std::string fileURL(const char* path) {
    std::string url = "file://";
    for (const unsigned char c : std::string(path)) {
        if (std::isalnum(c) || std::strchr("/-._~", c)) {
            url += char(c);
        } else {
            char escaped[4];
            std::snprintf(escaped, sizeof escaped, "%%%02X", c);
            url += escaped;
        }
    }
    return url;
}

bool isAware(xcb_window_t window, xcb_atom_t aware) {
    const Reply<xcb_get_property_reply_t> reply(xcb_get_property_reply(
        connection, xcb_get_property(connection, 0, window, aware, XCB_ATOM_ATOM, 0, 1), nullptr));
    return reply && reply->type == XCB_ATOM_ATOM && xcb_get_property_value_length(reply.get()) >= 4;
}

// The outermost XDND-aware window under the point, descending from the root; none when there is none.
xcb_window_t awareWindowAt(std::int16_t x, std::int16_t y, xcb_atom_t aware, xcb_window_t self) {
    xcb_window_t window = root;
    for (;;) {
        const Reply<xcb_translate_coordinates_reply_t> reply(xcb_translate_coordinates_reply(
            connection, xcb_translate_coordinates(connection, root, window, x, y), nullptr));
        if (!reply || reply->child == XCB_WINDOW_NONE) return XCB_WINDOW_NONE;
        window = reply->child;
        if (window == self) return XCB_WINDOW_NONE;
        if (isAware(window, aware)) return window;
    }
}

void send(xcb_window_t to, xcb_atom_t type, std::uint32_t d0, std::uint32_t d1, std::uint32_t d2, std::uint32_t d3,
          std::uint32_t d4) {
    xcb_client_message_event_t message{};
    message.response_type = XCB_CLIENT_MESSAGE;
    message.format = 32;
    message.window = to;
    message.type = type;
    message.data.data32[0] = d0;
    message.data.data32[1] = d1;
    message.data.data32[2] = d2;
    message.data.data32[3] = d3;
    message.data.data32[4] = d4;
    xcb_send_event(connection, 0, to, XCB_EVENT_MASK_NO_EVENT, reinterpret_cast<const char*>(&message));
    xcb_flush(connection);
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 4) {
        std::fprintf(stderr, "usage: drag-source FILE X Y\n");
        return 2;
    }
    const std::string data = fileURL(argv[1]) + "\r\n";
    connection = xcb_connect(nullptr, nullptr);
    if (xcb_connection_has_error(connection)) return 1;
    xcb_screen_t* screen = xcb_setup_roots_iterator(xcb_get_setup(connection)).data;
    root = screen->root;
    const xcb_atom_t aware = atom("XdndAware"), enter = atom("XdndEnter"), position = atom("XdndPosition"),
                     status = atom("XdndStatus"), leave = atom("XdndLeave"), drop = atom("XdndDrop"),
                     finished = atom("XdndFinished"), selection = atom("XdndSelection"), copy = atom("XdndActionCopy"),
                     uriList = atom("text/uri-list"), targets = atom("TARGETS");

    const xcb_window_t window = xcb_generate_id(connection);
    const std::uint32_t values[] = {screen->white_pixel, XCB_EVENT_MASK_BUTTON_PRESS | XCB_EVENT_MASK_BUTTON_RELEASE |
                                                             XCB_EVENT_MASK_POINTER_MOTION | XCB_EVENT_MASK_EXPOSURE};
    xcb_create_window(connection, XCB_COPY_FROM_PARENT, window, root, std::int16_t(std::atoi(argv[2])),
                      std::int16_t(std::atoi(argv[3])), 160, 100, 0, XCB_WINDOW_CLASS_INPUT_OUTPUT, screen->root_visual,
                      XCB_CW_BACK_PIXEL | XCB_CW_EVENT_MASK, values);
    const char title[] = "drag-source";
    xcb_change_property(connection, XCB_PROP_MODE_REPLACE, window, XCB_ATOM_WM_NAME, XCB_ATOM_STRING, 8,
                        sizeof title - 1, title);
    xcb_map_window(connection, window);
    xcb_flush(connection);

    bool ready = false;
    bool dragging = false;
    xcb_window_t target = XCB_WINDOW_NONE;
    bool accepted = false;
    bool dropped = false;
    while (xcb_generic_event_t* raw = xcb_wait_for_event(connection)) {
        const std::unique_ptr<xcb_generic_event_t, Free> event(raw);
        switch (event->response_type & 0x7f) {
        case XCB_EXPOSE:
            if (!ready) {
                ready = true;
                std::printf("ready\n");
                std::fflush(stdout);
            }
            break;
        case XCB_BUTTON_PRESS: {
            const auto* press = reinterpret_cast<xcb_button_press_event_t*>(raw);
            if (press->detail != 1 || dragging || dropped) break;
            // The press grabs the pointer until the release: the motion is ours wherever it goes.
            dragging = true;
            xcb_set_selection_owner(connection, window, selection, press->time);
            xcb_flush(connection);
            std::printf("dragging\n");
            std::fflush(stdout);
            break;
        }
        case XCB_MOTION_NOTIFY: {
            if (!dragging) break;
            const auto* motion = reinterpret_cast<xcb_motion_notify_event_t*>(raw);
            const xcb_window_t under = awareWindowAt(motion->root_x, motion->root_y, aware, window);
            if (under != target) {
                if (target != XCB_WINDOW_NONE) send(target, leave, window, 0, 0, 0, 0);
                target = under;
                accepted = false;
                if (target != XCB_WINDOW_NONE) send(target, enter, window, 5u << 24, uriList, 0, 0);
            }
            if (target != XCB_WINDOW_NONE) {
                send(target, position, window, 0,
                     (std::uint32_t(std::uint16_t(motion->root_x)) << 16) | std::uint16_t(motion->root_y), motion->time,
                     copy);
            }
            break;
        }
        case XCB_BUTTON_RELEASE: {
            const auto* release = reinterpret_cast<xcb_button_release_event_t*>(raw);
            if (!dragging || release->detail != 1) break;
            dragging = false;
            if (target != XCB_WINDOW_NONE && accepted) {
                dropped = true;
                send(target, drop, window, 0, release->time, 0, 0);
            } else {
                if (target != XCB_WINDOW_NONE) send(target, leave, window, 0, 0, 0, 0);
                std::printf("none\n");
                return 0;
            }
            break;
        }
        case XCB_CLIENT_MESSAGE: {
            const auto* message = reinterpret_cast<xcb_client_message_event_t*>(raw);
            if (message->type == status && message->data.data32[0] == target) {
                accepted = (message->data.data32[1] & 1) != 0;
                if (accepted) {
                    std::printf("accepted\n");
                    std::fflush(stdout);
                }
            } else if (message->type == finished && dropped) {
                const bool performed = (message->data.data32[1] & 1) != 0 && message->data.data32[2] == copy;
                std::printf("%s\n", performed ? "copy" : "none");
                return 0;
            }
            break;
        }
        case XCB_SELECTION_REQUEST: {
            const auto* request = reinterpret_cast<xcb_selection_request_event_t*>(raw);
            xcb_selection_notify_event_t notify{};
            notify.response_type = XCB_SELECTION_NOTIFY;
            notify.time = request->time;
            notify.requestor = request->requestor;
            notify.selection = request->selection;
            notify.target = request->target;
            const xcb_atom_t property = request->property ? request->property : request->target;
            if (request->target == uriList) {
                xcb_change_property(connection, XCB_PROP_MODE_REPLACE, request->requestor, property, uriList, 8,
                                    std::uint32_t(data.size()), data.data());
                notify.property = property;
            } else if (request->target == targets) {
                const xcb_atom_t offered[] = {targets, uriList};
                xcb_change_property(connection, XCB_PROP_MODE_REPLACE, request->requestor, property, XCB_ATOM_ATOM, 32,
                                    2, offered);
                notify.property = property;
            }
            xcb_send_event(connection, 0, request->requestor, XCB_EVENT_MASK_NO_EVENT,
                           reinterpret_cast<const char*>(&notify));
            xcb_flush(connection);
            break;
        }
        default: break;
        }
    }
    return 1;
}
