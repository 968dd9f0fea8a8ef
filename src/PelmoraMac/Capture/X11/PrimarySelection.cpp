#include "PelmoraMac/Capture/X11/PrimarySelection.h"

#include "PelmoraMac/X11/X11Desktop.h"
#include "ReaderCore/Characters.h"

#include <xcb/xcb.h>

#include <poll.h>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <memory>

namespace tavrine {
namespace {

template <typename T>
using XcbPointer = std::unique_ptr<T, decltype(&std::free)>;

template <typename T>
XcbPointer<T> owned(T* pointer) {
    return XcbPointer<T>(pointer, &std::free);
}

struct Disconnect {
    void operator()(xcb_connection_t* connection) const { xcb_disconnect(connection); }
};

xcb_atom_t atomNamed(xcb_connection_t* connection, const char* name) {
    const auto reply = owned(xcb_intern_atom_reply(
        connection, xcb_intern_atom(connection, 0, std::uint16_t(std::strlen(name)), name), nullptr));
    return reply ? reply->atom : xcb_atom_t(XCB_ATOM_NONE);
}

// The next event of the connection that `wanted` accepts, waiting until the deadline; the others are
// dropped. None at the deadline or when the connection fails.
template <typename Wanted>
XcbPointer<xcb_generic_event_t> waitForEvent(xcb_connection_t* connection, CaptureDeadline deadline, Wanted wanted) {
    while (true) {
        while (auto event = owned(xcb_poll_for_event(connection))) {
            if (wanted(event.get())) return event;
        }
        if (xcb_connection_has_error(connection)) return owned<xcb_generic_event_t>(nullptr);
        const auto left = std::chrono::duration<double, std::milli>(deadline - SystemClock::shared().monotonicNow());
        if (left.count() <= 0) return owned<xcb_generic_event_t>(nullptr);
        pollfd descriptor{.fd = xcb_get_file_descriptor(connection), .events = POLLIN, .revents = 0};
        ::poll(&descriptor, 1, int(std::ceil(left.count())));
    }
}

class PrimaryReader {
public:
    PrimaryReader(xcb_connection_t* connection, qsizetype byteLimit, CaptureDeadline deadline)
        : m_connection(connection), m_byteLimit(byteLimit), m_deadline(deadline) {}

    CaptureResult<std::optional<QString>> read(pid_t pid) {
        const auto owner = owned(xcb_get_selection_owner_reply(
            m_connection, xcb_get_selection_owner(m_connection, XCB_ATOM_PRIMARY), nullptr));
        if (!owner || owner->owner == XCB_WINDOW_NONE) return std::optional<QString>{};
        if (X11Desktop(m_connection).creatorProcessOf(owner->owner) != pid) return std::optional<QString>{};

        m_utf8 = atomNamed(m_connection, "UTF8_STRING");
        m_incremental = atomNamed(m_connection, "INCR");
        m_property = atomNamed(m_connection, "TAVRINE_PRIMARY");
        const xcb_screen_t* screen = xcb_setup_roots_iterator(xcb_get_setup(m_connection)).data;
        m_window = xcb_generate_id(m_connection);
        const std::uint32_t events[] = {XCB_EVENT_MASK_PROPERTY_CHANGE};
        xcb_create_window(m_connection, XCB_COPY_FROM_PARENT, m_window, screen->root, 0, 0, 1, 1, 0,
                          XCB_WINDOW_CLASS_INPUT_ONLY, XCB_COPY_FROM_PARENT, XCB_CW_EVENT_MASK, events);
        xcb_convert_selection(m_connection, m_window, XCB_ATOM_PRIMARY, m_utf8, m_property, XCB_CURRENT_TIME);
        xcb_flush(m_connection);

        const auto notified = waitForEvent(m_connection, m_deadline, [](const xcb_generic_event_t* event) {
            return (event->response_type & 0x7f) == XCB_SELECTION_NOTIFY;
        });
        if (!notified) return timedOutOrGone();
        const auto* notify = reinterpret_cast<const xcb_selection_notify_event_t*>(notified.get());
        // The owner has no text to give.
        if (notify->property == XCB_ATOM_NONE) return std::optional<QString>{};
        return readProperty();
    }

private:
    CaptureResult<std::optional<QString>> timedOutOrGone() const {
        if (xcb_connection_has_error(m_connection)) return std::optional<QString>{};
        return tl::unexpected(CaptureFailure::timedOut);
    }

    // The property's type and size without its value.
    XcbPointer<xcb_get_property_reply_t> peek() const {
        return owned(xcb_get_property_reply(
            m_connection, xcb_get_property(m_connection, 0, m_window, m_property, XCB_GET_PROPERTY_TYPE_ANY, 0, 0),
            nullptr));
    }
    XcbPointer<xcb_get_property_reply_t> take(std::uint32_t bytes) const {
        return owned(xcb_get_property_reply(
            m_connection,
            xcb_get_property(m_connection, 1, m_window, m_property, XCB_GET_PROPERTY_TYPE_ANY, 0, (bytes + 3) / 4),
            nullptr));
    }

    CaptureResult<std::optional<QString>> readProperty() {
        const auto header = peek();
        if (!header) return std::optional<QString>{};
        QByteArray bytes;
        if (header->type == m_incremental) {
            // The owner announces a lower bound of the size and then sends the text in pieces.
            const auto announced = take(4);
            if (!announced || xcb_get_property_value_length(announced.get()) < 4) return std::optional<QString>{};
            std::uint32_t size = 0;
            std::memcpy(&size, xcb_get_property_value(announced.get()), sizeof size);
            if (qsizetype(size) > m_byteLimit) return tl::unexpected(CaptureFailure::tooLong);
            auto pieces = readPieces();
            if (!pieces) return tl::unexpected(pieces.error());
            bytes = *pieces;
        } else {
            if (header->type != m_utf8 || header->format != 8) return std::optional<QString>{};
            if (qsizetype(header->bytes_after) > m_byteLimit) return tl::unexpected(CaptureFailure::tooLong);
            const auto value = take(header->bytes_after);
            if (!value) return std::optional<QString>{};
            bytes = QByteArray(static_cast<const char*>(xcb_get_property_value(value.get())),
                               xcb_get_property_value_length(value.get()));
        }
        auto text = decodeUTF8Strictly(bytes);
        if (!text) return tl::unexpected(CaptureFailure::selectionUnknown);
        return std::optional(std::move(*text));
    }

    // The incremental transfer: each new value of the property is a piece, an empty one ends it.
    CaptureResult<QByteArray> readPieces() {
        QByteArray bytes;
        while (true) {
            const auto changed = waitForEvent(m_connection, m_deadline, [this](const xcb_generic_event_t* event) {
                if ((event->response_type & 0x7f) != XCB_PROPERTY_NOTIFY) return false;
                const auto* notify = reinterpret_cast<const xcb_property_notify_event_t*>(event);
                return notify->atom == m_property && notify->state == XCB_PROPERTY_NEW_VALUE;
            });
            if (!changed) {
                if (xcb_connection_has_error(m_connection)) return tl::unexpected(CaptureFailure::unavailable);
                return tl::unexpected(CaptureFailure::timedOut);
            }
            const auto header = peek();
            if (!header) return tl::unexpected(CaptureFailure::unavailable);
            if (bytes.size() + qsizetype(header->bytes_after) > m_byteLimit) {
                return tl::unexpected(CaptureFailure::tooLong);
            }
            const auto piece = take(header->bytes_after);
            if (!piece) return tl::unexpected(CaptureFailure::unavailable);
            const int length = xcb_get_property_value_length(piece.get());
            xcb_flush(m_connection);
            if (length == 0) return bytes;
            bytes.append(static_cast<const char*>(xcb_get_property_value(piece.get())), length);
        }
    }

    xcb_connection_t* m_connection;
    qsizetype m_byteLimit;
    CaptureDeadline m_deadline;
    xcb_window_t m_window = 0;
    xcb_atom_t m_utf8 = 0;
    xcb_atom_t m_incremental = 0;
    xcb_atom_t m_property = 0;
};

}  // namespace

CaptureResult<std::optional<QString>> readPrimarySelection(pid_t pid, qsizetype unitLimit, CaptureDeadline deadline) {
    std::unique_ptr<xcb_connection_t, Disconnect> connection(xcb_connect(nullptr, nullptr));
    if (xcb_connection_has_error(connection.get())) return std::optional<QString>{};
    // A UTF-16 unit takes at most three bytes of UTF-8: more bytes than this are more units than allowed.
    return PrimaryReader(connection.get(), unitLimit * 3, deadline).read(pid);
}

}  // namespace tavrine
