#pragma once

#include "PelmoraMac/Window/ReaderDisplay.h"

#include <QList>
#include <QPoint>
#include <QPointF>
#include <QRect>
#include <QRectF>
#include <QString>

class QScreen;

namespace tavrine {

// The desktop's screens as displays, and the one conversion between Qt's coordinates (origin at the top
// left of the virtual desktop, y down, integer rectangles) and the placement's (origin at the bottom left
// of the primary screen's row, y up): x is kept, and y flips about the bottom edge of the primary screen.
// Main thread only.
namespace ReaderScreens {

// The screens, the primary one first, then the others in Qt's order; the visible frame of each is its
// available geometry.
QList<ReaderDisplay> displays();

// A display's identifier: an upper-case name-based UUID (version 5, in a namespace of ours) of the
// manufacturer, model and serial number when the screen reports a serial; else "display-" and the
// screen's name ("display-HDMI-1").
QString displayIdentifier(const QString& manufacturer, const QString& model, const QString& serialNumber,
                          const QString& name);
QString displayIdentifier(const QScreen& screen);

// The pointer, in the placement's coordinates.
QPointF pointer();

// Between Qt's rectangles and the placement's. The flip is about `flipY`, the bottom edge (y + height)
// of the primary screen in Qt's coordinates.
QRectF fromQt(const QRect& rect, double flipY);
QRectF fromQt(const QRect& rect);
QPointF fromQt(QPoint point);
// Rounded to whole pixels.
QRect toQt(const QRectF& rect, double flipY);
QRect toQt(const QRectF& rect);
double primaryFlipY();

}  // namespace ReaderScreens
}  // namespace tavrine
