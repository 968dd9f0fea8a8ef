#include "PelmoraMac/Capture/X11/X11InputActivity.h"

#include "PelmoraMac/X11/XcbReplies.h"
#include "ReaderCore/MainThread.h"

#include <QDeadlineTimer>
#include <QSocketNotifier>

#include <xcb/xcb.h>
#include <xcb/xcbext.h>

#include <poll.h>
#include <sys/uio.h>

#include <algorithm>
#include <cstring>

namespace tavrine {
namespace {

// Server times wrap: `a` is later than `b` when it lies less than half the range ahead of it.
bool isLater(std::uint32_t a, std::uint32_t b) {
    return std::int32_t(a - b) > 0;
}

// The requests and events of the input extension, version 2, as its protocol lays them out (there is no
// xcb library for it here): requests are sent whole through xcb_send_request.
constexpr std::uint8_t kQueryVersion = 47;
constexpr std::uint8_t kSelectEvents = 46;
constexpr std::uint16_t kAllMasterDevices = 1;
constexpr std::uint16_t kRawKeyPress = 13;
constexpr std::uint16_t kRawButtonPress = 15;
// The raw events of a device's presses, since 2.1 delivered whatever grabs are active.
constexpr std::uint16_t kWantedMajor = 2;
constexpr std::uint16_t kWantedMinor = 2;

// Sends one request of the extension, its bytes whole (the header's major opcode and length are
// filled in by xcb); its sequence number.
unsigned int sendRequest(xcb_connection_t* connection, std::uint8_t majorOpcode, void* bytes, std::size_t size,
                         bool hasReply) {
    iovec parts[3] = {};
    parts[2].iov_base = bytes;
    parts[2].iov_len = size;
    xcb_protocol_request_t request{
        .count = 1, .ext = nullptr, .opcode = majorOpcode, .isvoid = std::uint8_t(hasReply ? 0 : 1)};
    return xcb_send_request(connection, XCB_REQUEST_CHECKED, &parts[2], &request);
}

// Announces the version this client speaks; whether the server speaks 2.1 or later.
bool queryVersion(xcb_connection_t* connection, std::uint8_t majorOpcode) {
    std::uint8_t request[8] = {majorOpcode, kQueryVersion, 0, 0};
    std::memcpy(request + 4, &kWantedMajor, 2);
    std::memcpy(request + 6, &kWantedMinor, 2);
    const unsigned int sequence = sendRequest(connection, majorOpcode, request, sizeof request, true);
    xcb_generic_error_t* error = nullptr;
    const auto reply = xcb::owned(static_cast<std::uint8_t*>(xcb_wait_for_reply(connection, sequence, &error)));
    std::free(error);
    if (!reply) return false;
    std::uint16_t major = 0;
    std::uint16_t minor = 0;
    std::memcpy(&major, reply.get() + 8, 2);
    std::memcpy(&minor, reply.get() + 10, 2);
    return major > 2 || (major == 2 && minor >= 1);
}

// Asks for the raw key and button presses of every master device, on the root window.
bool selectRawPresses(xcb_connection_t* connection, std::uint8_t majorOpcode, std::uint32_t root) {
    std::uint8_t request[20] = {majorOpcode, kSelectEvents, 0, 0};
    const std::uint16_t maskCount = 1;
    const std::uint16_t maskLength = 1;  // in 4-byte units
    const std::uint32_t mask = (1U << kRawKeyPress) | (1U << kRawButtonPress);
    std::memcpy(request + 4, &root, 4);
    std::memcpy(request + 8, &maskCount, 2);
    std::memcpy(request + 12, &kAllMasterDevices, 2);
    std::memcpy(request + 14, &maskLength, 2);
    std::memcpy(request + 16, &mask, 4);
    const unsigned int sequence = sendRequest(connection, majorOpcode, request, sizeof request, false);
    const auto error = xcb::owned(xcb_request_check(connection, xcb_void_cookie_t{sequence}));
    return !error;
}

// The server's time now: the time of a change of a property of a window of our own.
std::optional<std::uint32_t> serverTime(xcb_connection_t* connection, std::uint32_t root) {
    const std::uint32_t window = xcb_generate_id(connection);
    const std::uint32_t events[] = {XCB_EVENT_MASK_PROPERTY_CHANGE};
    xcb_create_window(connection, XCB_COPY_FROM_PARENT, window, root, 0, 0, 1, 1, 0, XCB_WINDOW_CLASS_INPUT_ONLY,
                      XCB_COPY_FROM_PARENT, XCB_CW_EVENT_MASK, events);
    xcb_change_property(connection, XCB_PROP_MODE_APPEND, window, XCB_ATOM_WM_NAME, XCB_ATOM_STRING, 8, 0, nullptr);
    xcb_flush(connection);
    std::optional<std::uint32_t> time;
    const QDeadlineTimer deadline(1'000);
    while (!time && !deadline.hasExpired() && !xcb_connection_has_error(connection)) {
        const auto event = xcb::owned(xcb_poll_for_event(connection));
        if (!event) {
            pollfd descriptor{.fd = xcb_get_file_descriptor(connection), .events = POLLIN, .revents = 0};
            ::poll(&descriptor, 1, int(std::max<qint64>(deadline.remainingTime(), 1)));
            continue;
        }
        if ((event->response_type & 0x7f) != XCB_PROPERTY_NOTIFY) continue;
        const auto* notify = reinterpret_cast<const xcb_property_notify_event_t*>(event.get());
        if (notify->window == window) time = notify->time;
    }
    xcb_destroy_window(connection, window);
    xcb_flush(connection);
    return time;
}

}  // namespace

bool selectionMayBeCurrent(const X11InputHistory& history, std::uint32_t takenAt) {
    if (!history.watching || takenAt == 0 || isLater(history.since, takenAt)) return false;
    if (history.lastButtonPress && isLater(*history.lastButtonPress, takenAt)) return false;
    if (history.lastActivation && isLater(*history.lastActivation, takenAt)) return false;
    auto later = std::find_if(history.keyPresses.cbegin(), history.keyPresses.cend(),
                              [&](const X11InputHistory::KeyPress& press) { return isLater(press.time, takenAt); });
    if (later == history.keyPresses.cend()) return true;
    // Every later press must be the last key: the hot key, held or pressed again.
    const std::uint8_t last = history.keyPresses.back().keycode;
    return std::all_of(later, history.keyPresses.cend(),
                       [&](const X11InputHistory::KeyPress& press) { return press.keycode == last; });
}

X11InputHistory X11InputLog::history() const {
    std::scoped_lock lock(m_mutex);
    return m_history;
}

void X11InputLog::start(std::uint32_t time) {
    std::scoped_lock lock(m_mutex);
    m_history = X11InputHistory{.watching = true, .since = time};
}

void X11InputLog::stop() {
    std::scoped_lock lock(m_mutex);
    m_history.watching = false;
}

void X11InputLog::buttonPressed(std::uint32_t time) {
    std::scoped_lock lock(m_mutex);
    m_history.lastButtonPress = time;
}

void X11InputLog::keyPressed(std::uint32_t time, std::uint8_t keycode) {
    std::scoped_lock lock(m_mutex);
    auto& presses = m_history.keyPresses;
    if (presses.size() == X11InputHistory::kKeyLimit) presses.erase(presses.begin());
    presses.push_back({.time = time, .keycode = keycode});
}

void X11InputLog::activeWindowChanged(std::uint32_t time) {
    std::scoped_lock lock(m_mutex);
    m_history.lastActivation = time;
}

X11InputWatch::X11InputWatch() = default;

X11InputWatch::~X11InputWatch() {
    m_notifier.reset();
    if (m_connection) xcb_disconnect(m_connection);
}

std::shared_ptr<const X11InputLog> X11InputWatch::log() const {
    return m_log;
}

bool X11InputWatch::start() {
    Q_ASSERT(isMainThread());
    if (m_notifier) return true;
    if (!m_connection) {
        m_connection = xcb_connect(nullptr, nullptr);
        if (xcb_connection_has_error(m_connection)) {
            xcb_disconnect(m_connection);
            m_connection = nullptr;
            return false;
        }
    }
    m_root = xcb_setup_roots_iterator(xcb_get_setup(m_connection)).data->root;
    static constexpr char kExtension[] = "XInputExtension";
    const auto extension = xcb::replyOf<xcb_query_extension_reply_t>(
        m_connection, xcb_query_extension(m_connection, sizeof kExtension - 1, kExtension), xcb_query_extension_reply);
    if (!extension || !extension->present) return false;
    m_inputOpcode = extension->major_opcode;
    if (!queryVersion(m_connection, m_inputOpcode) || !selectRawPresses(m_connection, m_inputOpcode, m_root)) {
        return false;
    }

    const auto mapping = xcb::replyOf<xcb_get_modifier_mapping_reply_t>(
        m_connection, xcb_get_modifier_mapping(m_connection), xcb_get_modifier_mapping_reply);
    if (mapping) {
        const xcb_keycode_t* keycodes = xcb_get_modifier_mapping_keycodes(mapping.get());
        for (int index = 0; index < xcb_get_modifier_mapping_keycodes_length(mapping.get()); ++index) {
            if (keycodes[index] != 0) m_modifiers[keycodes[index]] = true;
        }
    }
    m_activeWindowAtom = xcb::atomOf(m_connection, xcb::internAtom(m_connection, "_NET_ACTIVE_WINDOW"));
    const std::uint32_t rootEvents[] = {XCB_EVENT_MASK_PROPERTY_CHANGE};
    xcb_change_window_attributes(m_connection, m_root, XCB_CW_EVENT_MASK, rootEvents);
    m_activeWindow = activeWindow();
    const auto now = serverTime(m_connection, m_root);
    if (!now) return false;
    m_log->start(*now);

    m_notifier = std::make_unique<QSocketNotifier>(xcb_get_file_descriptor(m_connection), QSocketNotifier::Read);
    QObject::connect(m_notifier.get(), &QSocketNotifier::activated, m_notifier.get(), [this] { readEvents(); });
    // Events that came while the watch was set up.
    readEvents();
    return true;
}

void X11InputWatch::readEvents() {
    while (auto event = xcb::owned(xcb_poll_for_event(m_connection))) {
        handle(reinterpret_cast<const std::uint8_t*>(event.get()));
    }
    if (xcb_connection_has_error(m_connection) && m_notifier && m_notifier->isEnabled()) {
        m_notifier->setEnabled(false);
        m_log->stop();
    }
}

std::uint32_t X11InputWatch::activeWindow() const {
    const auto reply = xcb::replyOf<xcb_get_property_reply_t>(
        m_connection, xcb_get_property(m_connection, 0, m_root, m_activeWindowAtom, XCB_GET_PROPERTY_TYPE_ANY, 0, 1),
        xcb_get_property_reply);
    // Window managers set it as a WINDOW; any type is read as its one 32-bit value.
    if (!reply || reply->format != 32 || xcb_get_property_value_length(reply.get()) < 4) return 0;
    std::uint32_t window = 0;
    std::memcpy(&window, xcb_get_property_value(reply.get()), sizeof window);
    return window;
}

void X11InputWatch::handle(const std::uint8_t* event) {
    const std::uint8_t type = event[0] & 0x7f;
    if (type == XCB_PROPERTY_NOTIFY) {
        const auto* notify = reinterpret_cast<const xcb_property_notify_event_t*>(event);
        if (notify->window != m_root || notify->atom != m_activeWindowAtom) return;
        // Window managers write the property again with the same window at times: only another window
        // counts.
        const std::uint32_t window = activeWindow();
        if (window != m_activeWindow) {
            m_activeWindow = window;
            m_log->activeWindowChanged(notify->time);
        }
        return;
    }
    if (type != XCB_GE_GENERIC || event[1] != m_inputOpcode) return;
    // A raw event: its type at byte 8, its time at 12, its detail (key code, button) at 16.
    std::uint16_t eventType = 0;
    std::uint32_t time = 0;
    std::uint32_t detail = 0;
    std::memcpy(&eventType, event + 8, 2);
    std::memcpy(&time, event + 12, 4);
    std::memcpy(&detail, event + 16, 4);
    if (eventType == kRawButtonPress) {
        // The wheel's buttons scroll; they select nothing and clear nothing.
        if (detail < 4 || detail > 7) m_log->buttonPressed(time);
    } else if (eventType == kRawKeyPress && detail < m_modifiers.size() && !m_modifiers[detail]) {
        m_log->keyPressed(time, std::uint8_t(detail));
    }
}

}  // namespace tavrine
