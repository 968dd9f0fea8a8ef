#include "PelmoraMac/Capture/X11/X11SelectionTransfer.h"

#include "PelmoraMac/X11/XcbReplies.h"

#include <xcb/xcb.h>

#include <poll.h>

#include <cmath>
#include <cstring>

namespace tavrine {
namespace {

using xcb::owned;
using xcb::Pointer;

// The next event that `wanted` accepts, waiting until the deadline; the others are dropped. None at
// the deadline or when the connection fails.
template <typename Wanted>
Pointer<xcb_generic_event_t> waitForEvent(xcb_connection_t* connection, CaptureDeadline deadline, Wanted wanted) {
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

// The bytes of a property value, whatever its format (xcb gives its length in bytes).
QByteArray bytesOf(const xcb_get_property_reply_t* reply) {
    return QByteArray(static_cast<const char*>(xcb_get_property_value(reply)), xcb_get_property_value_length(reply));
}

}  // namespace

std::unique_ptr<X11SelectionTransfer> X11SelectionTransfer::open(CaptureDeadline deadline) {
    xcb_connection_t* connection = xcb_connect(nullptr, nullptr);
    if (xcb_connection_has_error(connection)) {
        xcb_disconnect(connection);
        return nullptr;
    }
    return std::unique_ptr<X11SelectionTransfer>(new X11SelectionTransfer(connection, deadline));
}

X11SelectionTransfer::X11SelectionTransfer(xcb_connection_t* connection, CaptureDeadline deadline)
    : m_connection(connection), m_deadline(deadline) {
    const xcb_screen_t* screen = xcb_setup_roots_iterator(xcb_get_setup(m_connection)).data;
    m_window = xcb_generate_id(m_connection);
    const std::uint32_t events[] = {XCB_EVENT_MASK_PROPERTY_CHANGE};
    xcb_create_window(m_connection, XCB_COPY_FROM_PARENT, m_window, screen->root, 0, 0, 1, 1, 0,
                      XCB_WINDOW_CLASS_INPUT_ONLY, XCB_COPY_FROM_PARENT, XCB_CW_EVENT_MASK, events);
    m_property = atom("TAVRINE_SELECTION");
    m_incremental = atom("INCR");
}

X11SelectionTransfer::~X11SelectionTransfer() {
    xcb_disconnect(m_connection);
}

std::uint32_t X11SelectionTransfer::atom(const char* name) {
    return xcb::atomOf(m_connection, xcb::internAtom(m_connection, name));
}

std::uint32_t X11SelectionTransfer::owner(std::uint32_t selection) {
    const auto reply = xcb::replyOf<xcb_get_selection_owner_reply_t>(
        m_connection, xcb_get_selection_owner(m_connection, selection), xcb_get_selection_owner_reply);
    return reply ? reply->owner : std::uint32_t(XCB_WINDOW_NONE);
}

SelectionTransferResult<std::optional<QByteArray>> X11SelectionTransfer::convert(std::uint32_t selection,
                                                                                 std::uint32_t target,
                                                                                 qsizetype byteLimit) {
    xcb_convert_selection(m_connection, m_window, selection, target, m_property, XCB_CURRENT_TIME);
    xcb_flush(m_connection);
    const auto notified = waitForEvent(m_connection, m_deadline, [&](const xcb_generic_event_t* event) {
        if ((event->response_type & 0x7f) != XCB_SELECTION_NOTIFY) return false;
        const auto* notify = reinterpret_cast<const xcb_selection_notify_event_t*>(event);
        return notify->requestor == m_window && notify->selection == selection && notify->target == target;
    });
    if (!notified) {
        if (xcb_connection_has_error(m_connection)) return tl::unexpected(SelectionTransferFailure::lost);
        return tl::unexpected(SelectionTransferFailure::timedOut);
    }
    // The owner (or the server, for a selection without one) refused the target.
    if (reinterpret_cast<const xcb_selection_notify_event_t*>(notified.get())->property == XCB_ATOM_NONE) {
        return std::optional<QByteArray>{};
    }

    // The type and size first, without the value.
    const auto header = xcb::replyOf<xcb_get_property_reply_t>(
        m_connection, xcb_get_property(m_connection, 0, m_window, m_property, XCB_GET_PROPERTY_TYPE_ANY, 0, 0),
        xcb_get_property_reply);
    if (!header) return tl::unexpected(SelectionTransferFailure::lost);
    if (header->type == m_incremental) {
        // The owner announces a lower bound of the size, and sends the data in pieces once the
        // announcement is deleted.
        const auto announced = xcb::replyOf<xcb_get_property_reply_t>(
            m_connection, xcb_get_property(m_connection, 1, m_window, m_property, XCB_GET_PROPERTY_TYPE_ANY, 0, 1),
            xcb_get_property_reply);
        if (!announced || xcb_get_property_value_length(announced.get()) < 4 || announced->format != 32) {
            return std::optional<QByteArray>{};
        }
        std::uint32_t size = 0;
        std::memcpy(&size, xcb_get_property_value(announced.get()), sizeof size);
        if (qsizetype(size) > byteLimit) return tl::unexpected(SelectionTransferFailure::tooLarge);
        xcb_flush(m_connection);
        auto pieces = readIncrementally(byteLimit);
        if (!pieces) return tl::unexpected(pieces.error());
        return std::optional(std::move(*pieces));
    }
    if (qsizetype(header->bytes_after) > byteLimit) return tl::unexpected(SelectionTransferFailure::tooLarge);
    const auto value = xcb::replyOf<xcb_get_property_reply_t>(
        m_connection,
        xcb_get_property(m_connection, 1, m_window, m_property, XCB_GET_PROPERTY_TYPE_ANY, 0,
                         (header->bytes_after + 3) / 4),
        xcb_get_property_reply);
    if (!value) return tl::unexpected(SelectionTransferFailure::lost);
    m_format = value->format;
    return std::optional(bytesOf(value.get()));
}

SelectionTransferResult<QByteArray> X11SelectionTransfer::readIncrementally(qsizetype byteLimit) {
    QByteArray bytes;
    while (true) {
        const auto changed = waitForEvent(m_connection, m_deadline, [this](const xcb_generic_event_t* event) {
            if ((event->response_type & 0x7f) != XCB_PROPERTY_NOTIFY) return false;
            const auto* notify = reinterpret_cast<const xcb_property_notify_event_t*>(event);
            return notify->window == m_window && notify->atom == m_property && notify->state == XCB_PROPERTY_NEW_VALUE;
        });
        if (!changed) {
            if (xcb_connection_has_error(m_connection)) return tl::unexpected(SelectionTransferFailure::lost);
            return tl::unexpected(SelectionTransferFailure::timedOut);
        }
        const auto header = xcb::replyOf<xcb_get_property_reply_t>(
            m_connection, xcb_get_property(m_connection, 0, m_window, m_property, XCB_GET_PROPERTY_TYPE_ANY, 0, 0),
            xcb_get_property_reply);
        if (!header) return tl::unexpected(SelectionTransferFailure::lost);
        if (bytes.size() + qsizetype(header->bytes_after) > byteLimit) {
            return tl::unexpected(SelectionTransferFailure::tooLarge);
        }
        // Deleting the piece asks the owner for the next one.
        const auto piece = xcb::replyOf<xcb_get_property_reply_t>(
            m_connection,
            xcb_get_property(m_connection, 1, m_window, m_property, XCB_GET_PROPERTY_TYPE_ANY, 0,
                             (header->bytes_after + 3) / 4),
            xcb_get_property_reply);
        if (!piece) return tl::unexpected(SelectionTransferFailure::lost);
        xcb_flush(m_connection);
        const QByteArray data = bytesOf(piece.get());
        if (data.isEmpty()) return bytes;
        m_format = piece->format;
        bytes.append(data);
    }
}

SelectionTransferResult<std::optional<QList<std::uint32_t>>> X11SelectionTransfer::convertToNumbers(
    std::uint32_t selection, std::uint32_t target) {
    // Far more targets than any owner offers.
    constexpr qsizetype kNumbersLimit = 64 * 1024;
    auto data = convert(selection, target, kNumbersLimit);
    if (!data) return tl::unexpected(data.error());
    if (!*data || m_format != 32) return std::optional<QList<std::uint32_t>>{};
    QList<std::uint32_t> numbers((*data)->size() / 4);
    std::memcpy(numbers.data(), (*data)->constData(), numbers.size() * sizeof(std::uint32_t));
    return std::optional(std::move(numbers));
}

SelectionTransferResult<std::optional<std::uint32_t>> X11SelectionTransfer::acquisitionTime(std::uint32_t selection) {
    auto numbers = convertToNumbers(selection, atom("TIMESTAMP"));
    if (!numbers) return tl::unexpected(numbers.error());
    std::optional<std::uint32_t> time;
    if (*numbers && !(*numbers)->isEmpty() && (*numbers)->first() != XCB_CURRENT_TIME) time = (*numbers)->first();
    return time;
}

SelectionTransferResult<std::optional<QList<std::uint32_t>>> X11SelectionTransfer::targets(std::uint32_t selection) {
    return convertToNumbers(selection, atom("TARGETS"));
}

}  // namespace tavrine
