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

// The same, the event's absence told as a failure: the display lost, else the deadline passed.
template <typename Wanted>
SelectionTransferResult<Pointer<xcb_generic_event_t>> awaitEvent(xcb_connection_t* connection, CaptureDeadline deadline,
                                                                 Wanted wanted) {
    auto event = waitForEvent(connection, deadline, wanted);
    if (event) return event;
    return tl::unexpected(xcb_connection_has_error(connection) ? SelectionTransferFailure::lost
                                                               : SelectionTransferFailure::timedOut);
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
    m_root = xcb_setup_roots_iterator(xcb_get_setup(m_connection)).data->root;
    createWindow();
    m_property = atom("TAVRINE_SELECTION");
    m_incremental = atom("INCR");
}

X11SelectionTransfer::~X11SelectionTransfer() {
    xcb_disconnect(m_connection);
}

void X11SelectionTransfer::createWindow() {
    m_window = xcb_generate_id(m_connection);
    const std::uint32_t events[] = {XCB_EVENT_MASK_PROPERTY_CHANGE};
    xcb_create_window(m_connection, XCB_COPY_FROM_PARENT, m_window, m_root, 0, 0, 1, 1, 0, XCB_WINDOW_CLASS_INPUT_ONLY,
                      XCB_COPY_FROM_PARENT, XCB_CW_EVENT_MASK, events);
}

std::uint32_t X11SelectionTransfer::atom(const char* name) {
    return xcb::atomOf(m_connection, xcb::internAtom(m_connection, name));
}

std::uint32_t X11SelectionTransfer::owner(std::uint32_t selection) {
    const auto reply = xcb::replyOf<xcb_get_selection_owner_reply_t>(
        m_connection, xcb_get_selection_owner(m_connection, selection), xcb_get_selection_owner_reply);
    return reply ? reply->owner : std::uint32_t(XCB_WINDOW_NONE);
}

SelectionTransferResult<std::optional<SelectionValue>> X11SelectionTransfer::convert(std::uint32_t selection,
                                                                                     std::uint32_t target,
                                                                                     qsizetype byteLimit) {
    xcb_convert_selection(m_connection, m_window, selection, target, m_property, XCB_CURRENT_TIME);
    xcb_flush(m_connection);
    const auto notified = awaitEvent(m_connection, m_deadline, [&](const xcb_generic_event_t* event) {
        if ((event->response_type & 0x7f) != XCB_SELECTION_NOTIFY) return false;
        const auto* notify = reinterpret_cast<const xcb_selection_notify_event_t*>(event);
        return notify->requestor == m_window && notify->selection == selection && notify->target == target;
    });
    if (!notified) return tl::unexpected(notified.error());
    // The owner (or the server, for a selection without one) refused the target.
    if (reinterpret_cast<const xcb_selection_notify_event_t*>(notified->get())->property == XCB_ATOM_NONE) {
        return std::optional<SelectionValue>{};
    }

    // The type and size first, without the value.
    const auto header = xcb::replyOf<xcb_get_property_reply_t>(
        m_connection, xcb_get_property(m_connection, 0, m_window, m_property, XCB_GET_PROPERTY_TYPE_ANY, 0, 0),
        xcb_get_property_reply);
    if (!header) return tl::unexpected(SelectionTransferFailure::lost);
    if (header->type == m_incremental) {
        // The owner may announce a lower bound of the size (xclip does not); it sends the data in pieces
        // once the announcement is deleted.
        const auto announced = xcb::replyOf<xcb_get_property_reply_t>(
            m_connection, xcb_get_property(m_connection, 0, m_window, m_property, m_incremental, 0, 1),
            xcb_get_property_reply);
        if (!announced) return tl::unexpected(SelectionTransferFailure::lost);
        if (const auto size = xcb::cardinalOf(announced.get(), m_incremental); size && qsizetype(*size) > byteLimit) {
            // Not begun: the owner waits for a deletion that never comes, and gives up as its own rules
            // say (when the window it writes to is gone, at the latest). A fresh window keeps whatever
            // it might still write from the conversions that follow.
            xcb_destroy_window(m_connection, m_window);
            createWindow();
            return tl::unexpected(SelectionTransferFailure::tooLarge);
        }
        xcb_delete_property(m_connection, m_window, m_property);
        xcb_flush(m_connection);
        auto value = readIncrementally(byteLimit);
        if (!value) return tl::unexpected(value.error());
        return std::optional(std::move(*value));
    }
    if (qsizetype(header->bytes_after) > byteLimit) {
        xcb_delete_property(m_connection, m_window, m_property);
        return tl::unexpected(SelectionTransferFailure::tooLarge);
    }
    const auto value = xcb::replyOf<xcb_get_property_reply_t>(
        m_connection,
        xcb_get_property(m_connection, 1, m_window, m_property, XCB_GET_PROPERTY_TYPE_ANY, 0,
                         (header->bytes_after + 3) / 4),
        xcb_get_property_reply);
    if (!value) return tl::unexpected(SelectionTransferFailure::lost);
    return std::optional(SelectionValue{.type = value->type, .format = value->format, .bytes = bytesOf(value.get())});
}

SelectionTransferResult<std::uint32_t> X11SelectionTransfer::nextPiece() {
    const auto changed = awaitEvent(m_connection, m_deadline, [this](const xcb_generic_event_t* event) {
        if ((event->response_type & 0x7f) != XCB_PROPERTY_NOTIFY) return false;
        const auto* notify = reinterpret_cast<const xcb_property_notify_event_t*>(event);
        return notify->window == m_window && notify->atom == m_property && notify->state == XCB_PROPERTY_NEW_VALUE;
    });
    if (!changed) return tl::unexpected(changed.error());
    const auto header = xcb::replyOf<xcb_get_property_reply_t>(
        m_connection, xcb_get_property(m_connection, 0, m_window, m_property, XCB_GET_PROPERTY_TYPE_ANY, 0, 0),
        xcb_get_property_reply);
    if (!header) return tl::unexpected(SelectionTransferFailure::lost);
    return header->bytes_after;
}

SelectionTransferResult<SelectionValue> X11SelectionTransfer::readIncrementally(qsizetype byteLimit) {
    SelectionValue value;
    while (true) {
        const auto size = nextPiece();
        if (!size) return tl::unexpected(size.error());
        if (value.bytes.size() + qsizetype(*size) > byteLimit) {
            xcb_delete_property(m_connection, m_window, m_property);
            xcb_flush(m_connection);
            skipIncrementally();
            return tl::unexpected(SelectionTransferFailure::tooLarge);
        }
        // Reading the piece deletes it, which asks the owner for the next one; the empty piece ends the
        // transfer.
        const auto piece = xcb::replyOf<xcb_get_property_reply_t>(
            m_connection,
            xcb_get_property(m_connection, 1, m_window, m_property, XCB_GET_PROPERTY_TYPE_ANY, 0, (*size + 3) / 4),
            xcb_get_property_reply);
        if (!piece) return tl::unexpected(SelectionTransferFailure::lost);
        xcb_flush(m_connection);
        const QByteArray data = bytesOf(piece.get());
        if (data.isEmpty()) return value;
        value.type = piece->type;
        value.format = piece->format;
        value.bytes.append(data);
    }
}

void X11SelectionTransfer::skipIncrementally() {
    while (true) {
        const auto size = nextPiece();
        if (!size) return;
        xcb_delete_property(m_connection, m_window, m_property);
        xcb_flush(m_connection);
        if (*size == 0) return;
    }
}

SelectionTransferResult<std::optional<SelectionValue>> X11SelectionTransfer::convertMetadata(std::uint32_t selection,
                                                                                             std::uint32_t target,
                                                                                             qsizetype byteLimit) {
    auto value = convert(selection, target, byteLimit);
    if (!value && value.error() == SelectionTransferFailure::tooLarge) return std::optional<SelectionValue>{};
    return value;
}

SelectionTransferResult<std::optional<std::uint32_t>> X11SelectionTransfer::acquisitionTime(std::uint32_t selection) {
    const std::uint32_t timestamp = atom("TIMESTAMP");
    // One time of four bytes: a longer answer (xclip answers every target with its data) is left unread.
    const auto value = convertMetadata(selection, timestamp, sizeof(std::uint32_t));
    if (!value) return tl::unexpected(value.error());
    std::optional<std::uint32_t> taken;
    const auto& time = *value;
    if (time && (time->type == XCB_ATOM_INTEGER || time->type == timestamp) && time->format == 32 &&
        time->bytes.size() == sizeof(std::uint32_t)) {
        std::uint32_t number = 0;
        std::memcpy(&number, time->bytes.constData(), sizeof number);
        if (number != XCB_CURRENT_TIME) taken = number;
    }
    return taken;
}

SelectionTransferResult<std::optional<QList<std::uint32_t>>> X11SelectionTransfer::targets(std::uint32_t selection) {
    const std::uint32_t targets = atom("TARGETS");
    // Far more targets than any owner offers.
    constexpr qsizetype kTargetsLimit = 64 * 1024;
    const auto value = convertMetadata(selection, targets, kTargetsLimit);
    if (!value) return tl::unexpected(value.error());
    const auto& list = *value;
    if (!list || (list->type != XCB_ATOM_ATOM && list->type != targets) || list->format != 32) {
        return std::optional<QList<std::uint32_t>>{};
    }
    QList<std::uint32_t> atoms(list->bytes.size() / 4);
    std::memcpy(atoms.data(), list->bytes.constData(), atoms.size() * sizeof(std::uint32_t));
    return std::optional(std::move(atoms));
}

}  // namespace tavrine
