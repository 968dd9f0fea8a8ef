#include "PelmoraMac/Source/internal/DragAutoScroll.h"

#include <algorithm>
#include <cmath>

namespace tavrine {
namespace {

int axisStep(double position, double extent, double line) {
    if (extent <= 0 || (position >= 0 && position < extent)) return 0;
    // The last pixel inside is extent - 1: one past it is already one beyond.
    const double beyond = position < 0 ? position : position - extent + 1;
    const double step = std::copysign(std::min(std::max(std::abs(beyond), line), extent), beyond);
    return static_cast<int>(std::lround(step));
}

}  // namespace

QPoint dragAutoScrollStep(QPointF point, QSizeF viewport, double line) {
    return QPoint(axisStep(point.x(), viewport.width(), line), axisStep(point.y(), viewport.height(), line));
}

}  // namespace tavrine
