#include "PelmoraMac/Window/ReaderDisplay.h"

#include <algorithm>

namespace tavrine {
namespace {

double maxX(const QRectF& rect) {
    return rect.x() + rect.width();
}
double maxY(const QRectF& rect) {
    return rect.y() + rect.height();
}

double commonArea(const QRectF& a, const QRectF& b) {
    const double width = std::min(maxX(a), maxX(b)) - std::max(a.x(), b.x());
    const double height = std::min(maxY(a), maxY(b)) - std::max(a.y(), b.y());
    return width > 0 && height > 0 ? width * height : 0;
}

bool contains(const QRectF& rect, QPointF point) {
    return point.x() >= rect.x() && point.x() < maxX(rect) && point.y() >= rect.y() && point.y() < maxY(rect);
}

}  // namespace

std::optional<ReaderDisplay> displayForFrame(const std::optional<QRectF>& frame, QPointF point,
                                             const QList<ReaderDisplay>& displays) {
    if (frame) {
        const ReaderDisplay* best = nullptr;
        double bestArea = 0;
        for (const ReaderDisplay& display : displays) {
            const double area = commonArea(display.frame, *frame);
            if (area > bestArea) {
                best = &display;
                bestArea = area;
            }
        }
        if (best) return *best;
    }
    for (const ReaderDisplay& display : displays) {
        if (contains(display.frame, point)) return display;
    }
    if (displays.isEmpty()) return std::nullopt;
    return displays.first();
}

QRectF framePlacement(const std::optional<ReaderWindowPosition>& position, const ReaderDisplay& display, double width,
                      double height) {
    const QRectF& visible = display.visibleFrame;
    const double w = std::min(visible.width(), width);
    const double h = std::min(visible.height(), height);
    double x = 0;
    double y = 0;
    if (position) {
        x = visible.x() + position->x;
        y = maxY(visible) - position->top - h;
    } else {
        x = visible.x() + visible.width() * 0.5 - w * 0.5;
        y = visible.y() + visible.height() * 0.5 - h * 0.5;
    }
    // The second bound wins: the window's top edge never lies above the visible frame, its right edge
    // never beyond it.
    x = std::min(std::max(x, visible.x()), maxX(visible) - w);
    y = std::min(std::max(y, visible.y()), maxY(visible) - h);
    return QRectF(x, y, w, h);
}

}  // namespace tavrine
