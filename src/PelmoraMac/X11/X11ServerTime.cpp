#include "PelmoraMac/X11/X11ServerTime.h"

#include "PelmoraMac/X11/XcbReplies.h"

#include <poll.h>
#include <xcb/xcb.h>

#include <cstdlib>
#include <mutex>

namespace tavrine {
using namespace xcb;
namespace {

// The connection and the unmapped window whose property is appended to.
class TimeWindow {
public:
    ~TimeWindow() { close(); }

    std::uint32_t now(std::chrono::milliseconds deadline) {
        const auto until = std::chrono::steady_clock::now() + deadline;
        if (!open()) return 0;
        const xcb_void_cookie_t append =
            xcb_change_property(m_connection, XCB_PROP_MODE_APPEND, m_window, m_atom, XCB_ATOM_STRING, 8, 0, nullptr);
        xcb_flush(m_connection);
        // An event carries the low 16 bits of the last request the server had read when it made it: ours,
        // not the answer to an earlier call that gave up waiting.
        const auto sequence = std::uint16_t(append.sequence);
        for (;;) {
            while (xcb_generic_event_t* event = xcb_poll_for_event(m_connection)) {
                const auto held = owned(event);
                if ((event->response_type & 0x7f) != XCB_PROPERTY_NOTIFY) continue;
                const auto* change = reinterpret_cast<const xcb_property_notify_event_t*>(event);
                if (change->window == m_window && change->atom == m_atom && change->sequence == sequence) {
                    return change->time;
                }
            }
            if (xcb_connection_has_error(m_connection)) {
                close();
                return 0;
            }
            const auto left =
                std::chrono::ceil<std::chrono::milliseconds>(until - std::chrono::steady_clock::now()).count();
            if (left <= 0) return 0;
            pollfd readable{.fd = xcb_get_file_descriptor(m_connection), .events = POLLIN, .revents = 0};
            ::poll(&readable, 1, int(left));
        }
    }

private:
    bool open() {
        if (m_connection) return true;
        xcb_connection_t* connection = xcb_connect(nullptr, nullptr);
        if (xcb_connection_has_error(connection)) {
            xcb_disconnect(connection);
            return false;
        }
        const xcb_setup_t* setup = xcb_get_setup(connection);
        const xcb_screen_t* screen = setup ? xcb_setup_roots_iterator(setup).data : nullptr;
        if (!screen) {
            xcb_disconnect(connection);
            return false;
        }
        const auto atomRequest = internAtom(connection, "_TAVRINE_SERVER_TIME");
        m_window = xcb_generate_id(connection);
        // Input-only and override-redirect: no window manager ever takes an interest in it.
        const std::uint32_t values[] = {1, XCB_EVENT_MASK_PROPERTY_CHANGE};
        xcb_create_window(connection, 0, m_window, screen->root, -1, -1, 1, 1, 0, XCB_WINDOW_CLASS_INPUT_ONLY,
                          XCB_COPY_FROM_PARENT, XCB_CW_OVERRIDE_REDIRECT | XCB_CW_EVENT_MASK, values);
        m_atom = atomOf(connection, atomRequest);
        m_connection = connection;
        if (m_atom == XCB_ATOM_NONE) {
            close();
            return false;
        }
        return true;
    }

    void close() {
        if (m_connection) xcb_disconnect(m_connection);
        m_connection = nullptr;
    }

    xcb_connection_t* m_connection = nullptr;
    xcb_window_t m_window = 0;
    xcb_atom_t m_atom = 0;
};

}  // namespace

std::uint32_t x11ServerTime(std::chrono::milliseconds deadline) {
    static std::mutex mutex;
    static TimeWindow window;
    const std::lock_guard lock(mutex);
    return window.now(deadline);
}

}  // namespace tavrine
