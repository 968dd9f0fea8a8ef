#pragma once

#include <QPoint>
#include <QPointF>
#include <QSizeF>

namespace tavrine {

// How far a text view scrolls on each step (every 50 ms) while a drag selection holds the button with
// the pointer beyond an edge of its viewport. Each axis on its own: nothing while the pointer lies within
// [0, extent) along it; beyond, towards the pointer by its distance past the edge, at least `line` (the
// view's line step) and at most the viewport's extent along that axis (a page), so the further the pointer
// the faster the view scrolls. The point is in viewport coordinates; the step in whole pixels.
QPoint dragAutoScrollStep(QPointF point, QSizeF viewport, double line);

// Whether a drag at this point scrolls the view: it lies beyond an edge.
inline bool isBeyondViewport(QPointF point, QSizeF viewport) {
    return point.x() < 0 || point.x() >= viewport.width() || point.y() < 0 || point.y() >= viewport.height();
}

}  // namespace tavrine
