// The requests to the window manager about the application's own windows and the X server's time, on a
// real X server without a window manager: the test plays the window manager on a connection of its own,
// in a thread of its own, since the frame-extents request holds the main thread while it waits.
#include "PelmoraMac/Window/ReaderWindowActivation.h"
#include "PelmoraMac/X11/X11Connection.h"
#include "PelmoraMac/X11/X11ServerTime.h"
#include "PelmoraMac/X11/X11WindowManager.h"

#include "support/EventLoop.h"

#include <gtest/gtest.h>
#include <QThread>
#include <QWidget>
#include <QWindow>

#include <poll.h>
#include <xcb/xcb.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace tavrine {
namespace {
using namespace std::chrono_literals;

xcb_atom_t atom(xcb_connection_t* connection, const std::string& name) {
    xcb_intern_atom_reply_t* reply = xcb_intern_atom_reply(
        connection, xcb_intern_atom(connection, 0, std::uint16_t(name.size()), name.c_str()), nullptr);
    const xcb_atom_t value = reply ? reply->atom : xcb_atom_t(XCB_ATOM_NONE);
    std::free(reply);
    return value;
}

void setCardinals(xcb_connection_t* connection, xcb_window_t window, xcb_atom_t property, xcb_atom_t type,
                  const std::vector<std::uint32_t>& values) {
    xcb_generic_error_t* error = xcb_request_check(
        connection, xcb_change_property_checked(connection, XCB_PROP_MODE_REPLACE, window, property, type, 32,
                                                std::uint32_t(values.size()), values.data()));
    EXPECT_EQ(error, nullptr);
    std::free(error);
}

std::vector<std::uint32_t> cardinals(xcb_connection_t* connection, xcb_window_t window, xcb_atom_t property) {
    xcb_get_property_reply_t* reply = xcb_get_property_reply(
        connection, xcb_get_property(connection, 0, window, property, XCB_ATOM_ANY, 0, 16), nullptr);
    std::vector<std::uint32_t> values;
    if (reply && reply->format == 32) {
        const auto* data = static_cast<const std::uint32_t*>(xcb_get_property_value(reply));
        values.assign(data, data + xcb_get_property_value_length(reply) / 4);
    }
    std::free(reply);
    return values;
}

// The values of a property once it holds `expected`, or once the test's time is up: a request made on the
// application's connection reaches the server in its own time, as late as a loaded machine makes it.
std::vector<std::uint32_t> cardinalsOnce(xcb_connection_t* connection, xcb_window_t window, xcb_atom_t property,
                                         const std::vector<std::uint32_t>& expected) {
    const auto until = std::chrono::steady_clock::now() + test::patience();
    std::vector<std::uint32_t> values = cardinals(connection, window, property);
    while (values != expected && std::chrono::steady_clock::now() < until) {
        std::this_thread::sleep_for(5ms);
        values = cardinals(connection, window, property);
    }
    return values;
}

// A client message the window manager received: its type, the window it names and its first values.
struct Message {
    xcb_atom_t type = 0;
    xcb_window_t window = 0;
    std::uint32_t data[3] = {};
};

// An EWMH window manager reduced to what the requests under test ask of it: it announces itself with the
// hints it is given, keeps the root's _NET_CURRENT_DESKTOP, records every client message sent to it and
// answers _NET_REQUEST_FRAME_EXTENTS after `answerDelay` with the extents 4, 5, 20, 6.
class FakeWindowManager {
public:
    FakeWindowManager(const std::vector<std::string>& hints, std::chrono::milliseconds answerDelay)
        : m_connection(xcb_connect(nullptr, nullptr)), m_answerDelay(answerDelay) {
        m_root = xcb_setup_roots_iterator(xcb_get_setup(m_connection)).data->root;
        const std::uint32_t redirect[] = {XCB_EVENT_MASK_SUBSTRUCTURE_REDIRECT};
        xcb_generic_error_t* error = xcb_request_check(
            m_connection, xcb_change_window_attributes_checked(m_connection, m_root, XCB_CW_EVENT_MASK, redirect));
        EXPECT_EQ(error, nullptr) << "another window manager runs";
        std::free(error);
        m_check = xcb_generate_id(m_connection);
        xcb_create_window(m_connection, 0, m_check, m_root, -1, -1, 1, 1, 0, XCB_WINDOW_CLASS_INPUT_ONLY,
                          XCB_COPY_FROM_PARENT, 0, nullptr);
        setCardinals(m_connection, m_root, atom(m_connection, "_NET_SUPPORTING_WM_CHECK"), XCB_ATOM_WINDOW, {m_check});
        std::vector<std::uint32_t> supported;
        for (const std::string& hint : hints) supported.push_back(atom(m_connection, hint));
        setCardinals(m_connection, m_root, atom(m_connection, "_NET_SUPPORTED"), XCB_ATOM_ATOM, supported);
        setCardinals(m_connection, m_root, atom(m_connection, "_NET_CURRENT_DESKTOP"), XCB_ATOM_CARDINAL, {0});
        m_requestFrameExtents = atom(m_connection, "_NET_REQUEST_FRAME_EXTENTS");
        m_frameExtents = atom(m_connection, "_NET_FRAME_EXTENTS");
        m_thread = std::thread([this] { run(); });
    }

    ~FakeWindowManager() {
        m_stop = true;
        m_thread.join();
        for (const char* name : {"_NET_SUPPORTING_WM_CHECK", "_NET_SUPPORTED", "_NET_CURRENT_DESKTOP"}) {
            xcb_delete_property(m_connection, m_root, atom(m_connection, name));
        }
        xcb_destroy_window(m_connection, m_check);
        xcb_disconnect(m_connection);
    }

    xcb_connection_t* connection() const { return m_connection; }

    // The types of every message received so far, in order.
    std::vector<xcb_atom_t> types() {
        const std::lock_guard lock(m_mutex);
        std::vector<xcb_atom_t> types;
        for (const Message& message : m_messages) types.push_back(message.type);
        return types;
    }

    // The messages of a type received so far, once at least `count` have come (or the test's time is up).
    // Qt sends messages of its own about its windows (their _NET_WM_STATE) as it sees fit.
    std::vector<Message> messages(xcb_atom_t type, std::size_t count = 0) {
        const auto until = std::chrono::steady_clock::now() + test::patience();
        for (;;) {
            std::vector<Message> found;
            {
                const std::lock_guard lock(m_mutex);
                for (const Message& message : m_messages) {
                    if (message.type == type) found.push_back(message);
                }
            }
            if (found.size() >= count || std::chrono::steady_clock::now() >= until) return found;
            std::this_thread::sleep_for(5ms);
        }
    }

private:
    void run() {
        pollfd readable{.fd = xcb_get_file_descriptor(m_connection), .events = POLLIN, .revents = 0};
        while (!m_stop) {
            while (xcb_generic_event_t* event = xcb_poll_for_event(m_connection)) {
                if ((event->response_type & 0x7f) == XCB_MAP_REQUEST) {
                    xcb_map_window(m_connection, reinterpret_cast<xcb_map_request_event_t*>(event)->window);
                    xcb_flush(m_connection);
                } else if ((event->response_type & 0x7f) == XCB_CONFIGURE_REQUEST) {
                    configureAsAsked(*reinterpret_cast<xcb_configure_request_event_t*>(event));
                } else if ((event->response_type & 0x7f) == XCB_CLIENT_MESSAGE) {
                    const auto* received = reinterpret_cast<const xcb_client_message_event_t*>(event);
                    Message message{.type = received->type, .window = received->window, .data = {}};
                    std::memcpy(message.data, received->data.data32, sizeof message.data);
                    {
                        const std::lock_guard lock(m_mutex);
                        m_messages.push_back(message);
                    }
                    if (message.type == m_requestFrameExtents) {
                        std::this_thread::sleep_for(m_answerDelay);
                        const std::uint32_t extents[] = {4, 5, 20, 6};
                        xcb_change_property(m_connection, XCB_PROP_MODE_REPLACE, message.window, m_frameExtents,
                                            XCB_ATOM_CARDINAL, 32, 4, extents);
                        xcb_flush(m_connection);
                    }
                }
                std::free(event);
            }
            ::poll(&readable, 1, 10);
        }
    }

    // The window's own request, granted as it is (no frame, no placement of ours).
    void configureAsAsked(const xcb_configure_request_event_t& request) {
        std::vector<std::uint32_t> values;
        const std::uint16_t mask = request.value_mask & ~std::uint16_t(XCB_CONFIG_WINDOW_SIBLING);
        if (mask & XCB_CONFIG_WINDOW_X) values.push_back(std::uint32_t(request.x));
        if (mask & XCB_CONFIG_WINDOW_Y) values.push_back(std::uint32_t(request.y));
        if (mask & XCB_CONFIG_WINDOW_WIDTH) values.push_back(request.width);
        if (mask & XCB_CONFIG_WINDOW_HEIGHT) values.push_back(request.height);
        if (mask & XCB_CONFIG_WINDOW_BORDER_WIDTH) values.push_back(request.border_width);
        if (mask & XCB_CONFIG_WINDOW_STACK_MODE) values.push_back(request.stack_mode);
        xcb_configure_window(m_connection, request.window, mask, values.data());
        xcb_flush(m_connection);
    }

    xcb_connection_t* m_connection;
    std::chrono::milliseconds m_answerDelay;
    xcb_window_t m_root = 0;
    xcb_window_t m_check = 0;
    xcb_atom_t m_requestFrameExtents = 0;
    xcb_atom_t m_frameExtents = 0;
    std::atomic<bool> m_stop = false;
    std::mutex m_mutex;
    std::vector<Message> m_messages;
    std::thread m_thread;
};

const std::vector<std::string> kAllHints = {"_NET_WM_DESKTOP", "_NET_CURRENT_DESKTOP", "_NET_REQUEST_FRAME_EXTENTS",
                                            "_NET_FRAME_EXTENTS", "_NET_ACTIVE_WINDOW"};

class X11WindowManagerTest : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_NE(qtX11Connection(), nullptr) << "the X11 tests run on the xcb platform"; }
    X11WindowManager manager() const { return X11WindowManager(qtX11Connection()); }
    // A top-level window of this application, not shown.
    std::uint32_t hiddenWindow() { return std::uint32_t(m_widget.winId()); }

    QWidget m_widget;
};

TEST_F(X11WindowManagerTest, TheServerTimeIsTheServersClockNow) {
    // A time the server stamped on an event of another client, then ours: never earlier, and moving on
    // with the server's clock.
    xcb_connection_t* other = xcb_connect(nullptr, nullptr);
    const xcb_window_t root = xcb_setup_roots_iterator(xcb_get_setup(other)).data->root;
    const xcb_window_t window = xcb_generate_id(other);
    const std::uint32_t mask[] = {XCB_EVENT_MASK_PROPERTY_CHANGE};
    xcb_create_window(other, 0, window, root, 0, 0, 1, 1, 0, XCB_WINDOW_CLASS_INPUT_ONLY, XCB_COPY_FROM_PARENT,
                      XCB_CW_EVENT_MASK, mask);
    xcb_change_property(other, XCB_PROP_MODE_APPEND, window, XCB_ATOM_WM_NAME, XCB_ATOM_STRING, 8, 0, nullptr);
    xcb_flush(other);
    std::uint32_t stamped = 0;
    while (xcb_generic_event_t* event = xcb_wait_for_event(other)) {
        const bool change = (event->response_type & 0x7f) == XCB_PROPERTY_NOTIFY;
        if (change) stamped = reinterpret_cast<xcb_property_notify_event_t*>(event)->time;
        std::free(event);
        if (change) break;
    }
    xcb_disconnect(other);

    const std::uint32_t first = x11ServerTime();
    QThread::msleep(60);
    const std::uint32_t second = x11ServerTime();
    ASSERT_NE(stamped, 0U);
    EXPECT_GE(first, stamped);
    EXPECT_GE(second - first, 55U);
    EXPECT_LT(second - first, 10'000U);
}

TEST_F(X11WindowManagerTest, FrameExtentsAreTakenOnlyWhenTheWindowManagerAnswersInTime) {
    // Waits that must not happen are given a long deadline: returning well before it shows they did not.
    {
        // No window manager runs: nothing, at once.
        const auto started = std::chrono::steady_clock::now();
        EXPECT_EQ(manager().requestFrameExtents(hiddenWindow(), 5s), std::nullopt);
        EXPECT_LT(std::chrono::steady_clock::now() - started, 2s);
    }
    {
        // A window manager that answers is waited for as long as the test may run.
        FakeWindowManager wm(kAllHints, 20ms);
        EXPECT_EQ(manager().requestFrameExtents(hiddenWindow(), test::patience()),
                  (X11FrameExtents{.left = 4, .right = 5, .top = 20, .bottom = 6}));
        const auto messages = wm.messages(atom(wm.connection(), "_NET_REQUEST_FRAME_EXTENTS"), 1);
        ASSERT_EQ(messages.size(), 1U);
        EXPECT_EQ(messages[0].window, hiddenWindow());
    }
    {
        // Extents left on the window from before are no answer; a late answer is none either.
        FakeWindowManager wm(kAllHints, 1'500ms);
        const auto started = std::chrono::steady_clock::now();
        EXPECT_EQ(manager().requestFrameExtents(hiddenWindow(), 100ms), std::nullopt);
        const auto waited = std::chrono::steady_clock::now() - started;
        EXPECT_GE(waited, 100ms);
        EXPECT_LT(waited, 1'400ms);
    }
    {
        // A window manager that does not support the request is not asked.
        FakeWindowManager wm({"_NET_ACTIVE_WINDOW"}, 0ms);
        const auto started = std::chrono::steady_clock::now();
        EXPECT_EQ(manager().requestFrameExtents(hiddenWindow(), 5s), std::nullopt);
        EXPECT_LT(std::chrono::steady_clock::now() - started, 2s);
        EXPECT_TRUE(wm.messages(atom(wm.connection(), "_NET_REQUEST_FRAME_EXTENTS")).empty());
    }
}

TEST_F(X11WindowManagerTest, AWindowOnAnotherDesktopIsBroughtToTheOneShown) {
    FakeWindowManager wm(kAllHints, 0ms);
    xcb_connection_t* connection = wm.connection();
    const xcb_atom_t desktop = atom(connection, "_NET_WM_DESKTOP");
    const xcb_atom_t state = atom(connection, "WM_STATE");
    const std::uint32_t window = hiddenWindow();
    const X11WindowManager requests = manager();

    // Managed (WM_STATE Normal) on desktop 2: the window manager is asked to move it to desktop 1.
    setCardinals(connection, window, state, state, {1, 0});
    setCardinals(connection, window, desktop, XCB_ATOM_CARDINAL, {1});
    EXPECT_EQ(requests.desktopOf(window), 1U);
    EXPECT_EQ(requests.currentDesktop(), 0U);
    EXPECT_TRUE(requests.moveToCurrentDesktop(window));
    const auto messages = wm.messages(desktop, 1);
    ASSERT_EQ(messages.size(), 1U);
    EXPECT_EQ(messages[0].window, window);
    EXPECT_EQ(messages[0].data[0], 0U);
    EXPECT_EQ(messages[0].data[1], 1U) << "asked by an application";

    // On the desktop shown, or on every desktop: it stays.
    setCardinals(connection, window, desktop, XCB_ATOM_CARDINAL, {0});
    EXPECT_FALSE(requests.moveToCurrentDesktop(window));
    setCardinals(connection, window, desktop, XCB_ATOM_CARDINAL, {X11WindowManager::kAllDesktops});
    EXPECT_FALSE(requests.moveToCurrentDesktop(window));

    // Withdrawn (WM_STATE Withdrawn, or none): its property is rewritten for its next mapping.
    setCardinals(connection, window, state, state, {0, 0});
    setCardinals(connection, window, desktop, XCB_ATOM_CARDINAL, {1});
    EXPECT_TRUE(requests.moveToCurrentDesktop(window));
    EXPECT_EQ(cardinalsOnce(connection, window, desktop, {0}), (std::vector<std::uint32_t>{0}));
    xcb_delete_property(connection, window, state);
    setCardinals(connection, window, desktop, XCB_ATOM_CARDINAL, {1});
    EXPECT_TRUE(requests.moveToCurrentDesktop(window));
    EXPECT_EQ(cardinalsOnce(connection, window, desktop, {0}), (std::vector<std::uint32_t>{0}));
    EXPECT_EQ(wm.messages(desktop).size(), 1U);
}

TEST_F(X11WindowManagerTest, APresentedWindowComesToTheDesktopShownThenIsActivatedWithTheServersTime) {
    FakeWindowManager wm(kAllHints, 0ms);
    xcb_connection_t* connection = wm.connection();
    const xcb_atom_t desktop = atom(connection, "_NET_WM_DESKTOP");
    const xcb_atom_t active = atom(connection, "_NET_ACTIVE_WINDOW");
    const std::uint32_t window = hiddenWindow();
    m_widget.resize(200, 100);
    // Left on desktop 2 when it was last shown.
    setCardinals(connection, window, desktop, XCB_ATOM_CARDINAL, {1});

    // Being mapped: activated once exposed, stamped no earlier than now on the server.
    const std::uint32_t before = x11ServerTime();
    ReaderWindowActivation::present(&m_widget);
    EXPECT_EQ(cardinalsOnce(connection, window, desktop, {0}), (std::vector<std::uint32_t>{0}));
    ASSERT_TRUE(test::processEventsUntil([&] { return !wm.messages(active).empty(); }));
    ASSERT_TRUE(m_widget.windowHandle()->isExposed());
    auto activations = wm.messages(active);
    ASSERT_EQ(activations.size(), 1U);
    EXPECT_EQ(activations[0].window, window);
    EXPECT_EQ(activations[0].data[0], 1U);
    EXPECT_GE(activations[0].data[1], before);
    EXPECT_NE(activations[0].data[1], 0U);

    // On screen, managed, and on desktop 2 again: asked to come here first, then activated at once.
    setCardinals(connection, window, atom(connection, "WM_STATE"), atom(connection, "WM_STATE"), {1, 0});
    setCardinals(connection, window, desktop, XCB_ATOM_CARDINAL, {1});
    ReaderWindowActivation::present(&m_widget);
    activations = wm.messages(active, 2);
    ASSERT_EQ(activations.size(), 2U);
    EXPECT_GE(activations[1].data[1], activations[0].data[1]);
    const std::vector<xcb_atom_t> types = wm.types();
    const auto moved = std::find(types.begin(), types.end(), desktop);
    ASSERT_NE(moved, types.end());
    EXPECT_LT(moved - types.begin(), std::find(std::next(moved), types.end(), active) - types.begin())
        << "moved before it is activated";
    EXPECT_EQ(wm.messages(desktop).at(0).data[0], 0U);
}

}  // namespace
}  // namespace tavrine
