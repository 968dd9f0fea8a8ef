#pragma once

#include "PelmoraMac/Window/ReaderWindowPosition.h"

#include <QList>
#include <QPointF>
#include <QRectF>
#include <QString>

#include <optional>

namespace tavrine {

// One display as the window placement sees it. Every frame here is in desktop coordinates with the origin
// at the bottom-left corner of the first display and y growing upwards (ReaderScreens converts Qt's
// rectangles); QRectF's x() and y() are the minimum corner, x() + width() and y() + height() the maximum.
struct ReaderDisplay {
    // Stable across runs and arrangements (ReaderScreens::displayIdentifier).
    QString id;
    // The whole screen.
    QRectF frame;
    // The screen without the desktop's panels.
    QRectF visibleFrame;

    bool operator==(const ReaderDisplay&) const = default;
};

// The display for a window frame: the one whose frame has the largest area in common with it (the
// earlier one on equal areas); when the frame touches none, or there is no frame, the first display that
// contains the point (its left and bottom edges count as inside, its right and top edges do not); else
// the first display; nothing when there are none.
std::optional<ReaderDisplay> displayForFrame(const std::optional<QRectF>& frame, QPointF point,
                                             const QList<ReaderDisplay>& displays);

// Where a window of the given frame size goes on a display: at the stored offsets from the top-left
// corner of the visible frame, or centred in it without a position, and always inside it. The size is
// capped to the visible frame; the position's own width and height are not used here.
QRectF framePlacement(const std::optional<ReaderWindowPosition>& position, const ReaderDisplay& display, double width,
                      double height);

}  // namespace tavrine
