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

// A reader of X11 selections (PRIMARY, CLIPBOARD) on a display connection of its own, so that no wait for
// another client ever holds up the application's own connection and event loop. It asks a selection's
// owner to convert it to a target into a property of its own window and reads the answer, incremental
// transfers included, waiting for each answer at most until the deadline. Usable from any one thread at
// a time (a pool thread, in the application).
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
    // tooLarge once more than `byteLimit` bytes are announced or received (the rest is not read).
    SelectionTransferResult<std::optional<QByteArray>> convert(std::uint32_t selection, std::uint32_t target,
                                                               qsizetype byteLimit);
    // The server time at which the owner took the selection (its TIMESTAMP); none when it does not say.
    SelectionTransferResult<std::optional<std::uint32_t>> acquisitionTime(std::uint32_t selection);
    // The targets the owner offers (its TARGETS); none when it does not say.
    SelectionTransferResult<std::optional<QList<std::uint32_t>>> targets(std::uint32_t selection);

private:
    X11SelectionTransfer(xcb_connection_t* connection, CaptureDeadline deadline);
    SelectionTransferResult<QByteArray> readIncrementally(qsizetype byteLimit);
    // The 32-bit values of a conversion (atoms, integers).
    SelectionTransferResult<std::optional<QList<std::uint32_t>>> convertToNumbers(std::uint32_t selection,
                                                                                  std::uint32_t target);

    xcb_connection_t* m_connection;
    CaptureDeadline m_deadline;
    std::uint32_t m_window = 0;
    std::uint32_t m_property = 0;
    std::uint32_t m_incremental = 0;
    // The format of the last value read: 8 for bytes, 32 for atoms and integers.
    std::uint8_t m_format = 8;
};

}  // namespace tavrine
