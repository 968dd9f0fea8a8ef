#pragma once

#include "PelmoraMac/Capture/CaptureDeadline.h"

#include <QByteArray>
#include <QList>

#include <tl/expected.hpp>

#include <cstdint>
#include <memory>
#include <optional>

struct xcb_connection_t;

namespace tavrine {

// Why a transfer of a selection gave no data.
enum class SelectionTransferFailure {
    timedOut,  // the owner did not answer, or not to the end, by the deadline
    tooLarge,  // the owner announced or sent more bytes than the reader takes
    lost,      // the connection to the display failed
};

template <typename T>
using SelectionTransferResult = tl::expected<T, SelectionTransferFailure>;

// What an owner gave for a target: the type it named, the format (8 for bytes, 32 for atoms and
// integers) and the bytes.
struct SelectionValue {
    std::uint32_t type = 0;
    std::uint8_t format = 8;
    QByteArray bytes{};
};

// A reader of X11 selections (PRIMARY, CLIPBOARD) on a display connection of its own, so that no wait for
// another client ever holds up the application's own connection and event loop. It asks a selection's
// owner to convert it to a target into a property of its own window and reads the answer, incremental
// transfers included, waiting for each answer at most until the deadline. Usable from any one thread at
// a time (a pool thread, in the application).
//
// An incremental transfer that has begun is always taken to its end: some owners (xclip) serve one
// transfer at a time and, left waiting, never answer anyone again, or end when they find the requestor's
// window gone. Past the limit the rest is let through unread.
class X11SelectionTransfer {
public:
    // Connects to the display that DISPLAY names; none without one.
    static std::unique_ptr<X11SelectionTransfer> open(CaptureDeadline deadline);
    ~X11SelectionTransfer();
    X11SelectionTransfer(const X11SelectionTransfer&) = delete;
    X11SelectionTransfer& operator=(const X11SelectionTransfer&) = delete;

    xcb_connection_t* connection() const { return m_connection; }
    void setDeadline(CaptureDeadline deadline) { m_deadline = deadline; }
    // An atom by name (interned once).
    std::uint32_t atom(const char* name);
    // The window that owns the selection; 0 for none.
    std::uint32_t owner(std::uint32_t selection);

    // The selection's data as `target`: none when nobody owns it or the owner does not give that target;
    // tooLarge once more than `byteLimit` bytes are announced or received (no more of it is read).
    SelectionTransferResult<std::optional<SelectionValue>> convert(std::uint32_t selection, std::uint32_t target,
                                                                   qsizetype byteLimit);
    // The server time at which the owner took the selection (its TIMESTAMP): none when it does not say
    // as the protocol asks, one INTEGER (or TIMESTAMP) of format 32, whatever else it answers. Fails only
    // when the owner does not answer in time or the display is lost.
    SelectionTransferResult<std::optional<std::uint32_t>> acquisitionTime(std::uint32_t selection);
    // The targets the owner offers (its TARGETS, atoms of format 32): none when it does not say so. Fails
    // as acquisitionTime does.
    SelectionTransferResult<std::optional<QList<std::uint32_t>>> targets(std::uint32_t selection);

private:
    X11SelectionTransfer(xcb_connection_t* connection, CaptureDeadline deadline);
    void createWindow();
    // Waits for the next piece of an incremental transfer: its size, the piece left in the property.
    SelectionTransferResult<std::uint32_t> nextPiece();
    SelectionTransferResult<SelectionValue> readIncrementally(qsizetype byteLimit);
    // Lets the rest of a transfer through unread, until its end or the deadline.
    void skipIncrementally();
    // A conversion of metadata: too large an answer is no answer.
    SelectionTransferResult<std::optional<SelectionValue>> convertMetadata(std::uint32_t selection,
                                                                           std::uint32_t target, qsizetype byteLimit);

    xcb_connection_t* m_connection;
    CaptureDeadline m_deadline;
    std::uint32_t m_root = 0;
    std::uint32_t m_window = 0;
    std::uint32_t m_property = 0;
    std::uint32_t m_incremental = 0;
};

}  // namespace tavrine
