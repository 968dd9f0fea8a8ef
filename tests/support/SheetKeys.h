#pragma once

// The keys of a window with a ReaderFocusRing (a sheet, a popup), as a person sees them: whether the ring
// is drawn round the widget that has them, and the stops Tab walks through. For widget tests of binaries
// that link ReaderWidgets.
#include "ReaderUI/ReaderPalette.h"
#include "ReaderWidgets/Style/ReaderFocusRing.h"
#include "ReaderWidgets/Style/ToQColor.h"

#include <QApplication>
#include <QImage>
#include <QKeyEvent>
#include <QList>
#include <QWidget>

#include <cstdlib>

namespace tavrine::test {

// Whether window's ring follows widget, is shown, and is drawn in the focus colour over widget's left edge
// (in a grab of the window).
inline bool ringedAt(QWidget& window, const QWidget& widget) {
    const auto* ring = window.findChild<ReaderFocusRing*>(QString(), Qt::FindDirectChildrenOnly);
    if (!ring || ring->target() != &widget || !ring->isShown()) return false;
    const QImage image = window.grab().toImage();
    const QColor pixel = image.pixelColor(widget.mapTo(&window, QPoint(1, widget.height() / 2)));
    const QColor focus = toQColor(ReaderPalette::focus);
    return std::abs(pixel.red() - focus.red()) <= 16 && std::abs(pixel.green() - focus.green()) <= 16 &&
           std::abs(pixel.blue() - focus.blue()) <= 16;
}

// A stop of Tab, and whether the window's ring was drawn round it there.
struct TabStop {
    QWidget* widget;
    bool ringed;
};

// The stops Tab walks through in window, from its focus widget round to it again (at most limit of them).
inline QList<TabStop> tabStops(QWidget& window, int limit = 40) {
    QList<TabStop> stops;
    QWidget* start = window.focusWidget();
    for (int step = 0; start && step < limit; ++step) {
        QKeyEvent tab(QEvent::KeyPress, Qt::Key_Tab, Qt::NoModifier);
        QApplication::sendEvent(window.focusWidget(), &tab);
        QWidget* now = window.focusWidget();
        if (now == start) break;
        stops.append({now, now && ringedAt(window, *now)});
    }
    return stops;
}

}  // namespace tavrine::test
