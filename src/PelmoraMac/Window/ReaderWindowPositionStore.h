#pragma once

#include "PelmoraMac/Window/ReaderDisplay.h"
#include "PelmoraMac/Window/ReaderWindowPosition.h"

#include <QHash>
#include <QRectF>
#include <QSizeF>
#include <QString>
#include <QTimer>

#include <optional>

namespace tavrine {

class Defaults;

// Remembers, for every display the reader window has been on, where the window stood there and how large
// it was, and which display it was on last. Kept in the settings under "readerWindowPositions.v1" as bytes
// holding one JSON object: {"positions": {<display id>: <position>, ...}, "lastDisplayID"?: <display id>}.
// Entries are never removed: a display that comes back finds its place again.
//
// Stored bytes that cannot be read (not JSON, no "positions", a position without a numeric "x" or "top")
// give an empty store and stay as they were until the next save replaces them. Every change is in
// memory at once; the settings entry is rewritten whole at most once per turn of the event loop (a
// dragged window moves many times a turn), and at once by flush() and on destruction. A value with a
// number that is not finite is not written, and the previous entry stays.
//
// Owned by the window controller; main thread only.
class ReaderWindowPositionStore final {
public:
    static constexpr QStringView kKey = u"readerWindowPositions.v1";

    explicit ReaderWindowPositionStore(Defaults& defaults);
    ReaderWindowPositionStore(const ReaderWindowPositionStore&) = delete;
    ReaderWindowPositionStore& operator=(const ReaderWindowPositionStore&) = delete;
    ~ReaderWindowPositionStore();

    // The position kept for the display, when its offsets are finite; its size as stored (absent or any
    // number: the caller checks it).
    std::optional<ReaderWindowPosition> position(const ReaderDisplay& display) const;
    // Keeps the frame's offsets on the display with the given size, else the frame's own, and makes the
    // display the last one.
    void recordPosition(const QRectF& frame, const ReaderDisplay& display, std::optional<QSizeF> size = std::nullopt);
    // Makes the display the last one and saves.
    void save(const ReaderDisplay& lastDisplay);
    const std::optional<QString>& lastDisplayID() const { return m_lastDisplayID; }

    // Writes a pending change now.
    void flush();

private:
    void write();

    Defaults& m_defaults;
    QHash<QString, ReaderWindowPosition> m_positions;
    std::optional<QString> m_lastDisplayID;
    QTimer m_writeTimer;
};

}  // namespace tavrine
