#pragma once

#include "PelmoraMac/Window/ReaderDisplay.h"
#include "PelmoraMac/X11/X11Desktop.h"

#include <QList>
#include <QMargins>
#include <QPointF>

#include <functional>
#include <optional>

class QWidget;

namespace tavrine {

// What the reader window controller asks of the desktop; desktop() gives the real one, tests their own.
struct ReaderWindowEnvironment {
    // The displays, the primary first (ReaderScreens::displays).
    std::function<QList<ReaderDisplay>()> displays;
    // The pointer, in the placement's coordinates.
    std::function<QPointF()> pointer;
    // This application is the active one.
    std::function<bool()> isActive;
    // Brings the window (when there is one) to the front, active.
    std::function<void(QWidget*)> show;
    // Brings another application's window back to the front.
    std::function<void(const X11Window&)> activate;
    // The decorations the window manager will put around the window, told before the window is mapped;
    // none when it cannot tell in time (or no function is given), and the window then takes those it had
    // when last on screen, or is placed once it is on screen.
    std::function<std::optional<QMargins>(QWidget*)> frameMarginsBeforeMapping;

    static ReaderWindowEnvironment desktop();
};

}  // namespace tavrine
