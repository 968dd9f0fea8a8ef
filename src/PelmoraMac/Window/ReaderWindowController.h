#pragma once

#include "PelmoraMac/Window/ReaderDisplay.h"
#include "PelmoraMac/Window/ReaderWindowEnvironment.h"
#include "PelmoraMac/Window/ReaderWindowPositionStore.h"
#include "PelmoraMac/X11/X11Desktop.h"

#include <QMargins>
#include <QObject>
#include <QPointF>
#include <QPointer>
#include <QRectF>
#include <QSizeF>
#include <QString>
#include <QTimer>
#include <QWidget>

#include <optional>

class QScreen;
class QWindow;

namespace tavrine {

class Defaults;

// Decides where the one reader window comes up and remembers where the user left it, per display (kept by
// ReaderWindowPositionStore). Two ways up: invoked by a capture hot key while another application was in
// front, the window comes up on the display of that application's front window (else of the pointer),
// and closing it hands the focus back to that application; normally (the reader opened by the user), on
// the display it was last on. On each display the window takes the place and size it last had there, or
// comes up centred in the display's visible frame at its own size.
//
// Frames are window frames, the window manager's decorations included. The window is placed while it is
// shown and exposed, when its decorations are known: a presentation asked for while it is hidden is
// applied as it appears. A hidden window going to a stored place is given it before it is mapped, with the
// decorations the window manager tells in advance (waited for as long as a busy one takes, since it maps the
// window no sooner), else those it gave the window when last on screen, so that it appears there rather than
// jumping there. Move and resize
// events record the window's place; a maximised or full-screen window is not recorded. A change of the displays (added,
// removed, moved) places the window again as a normal opening does.
//
// Owned by the application; main thread only.
class ReaderWindowController final : public QObject {
    Q_OBJECT

public:
    // A capture hot key's moment: the application that was in front (its front window and process;
    // none when it was this application or none was), the display chosen for the reader and the pointer.
    struct Invocation {
        std::optional<X11Window> application{};
        std::optional<QString> displayID{};
        QPointF pointer{};

        bool operator==(const Invocation&) const = default;
    };

    using Environment = ReaderWindowEnvironment;

    ReaderWindowController(Defaults& defaults, Environment environment, QObject* parent = nullptr);
    ~ReaderWindowController() override;

    // Attaches the reader window: its moves, resizes, full-screen changes and closing are watched from
    // now on, and it is placed as a normal opening unless a presentation is pending. Attaching the
    // attached window again does nothing.
    void attachWindow(QWidget* window);
    QWidget* window() const { return m_window; }
    ReaderWindowPositionStore& positions() { return m_positions; }

    // At the moment a capture hot key is pressed: the front application and the display for the reader.
    Invocation makeInvocation() const;
    // Brings the window up for a hot-key capture; closing it then re-activates the invocation's
    // application, unless this application was left in between.
    void showInvoked(const Invocation& invocation);
    // Brings the window up on the display it was last on; closing it re-activates nothing.
    void showNormally();

    // Records the window's frame on the display under most of it, unless it is where the controller last
    // set or recorded it.
    void recordCurrentPosition();
    // Applies the pending presentation, when the window can be placed now.
    void positionWindow();

    // ---- What the application and the window announce ----
    void applicationDeactivated();
    void applicationWillTerminate();
    void screensChanged();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    struct Presentation {
        // Absent for a normal opening.
        std::optional<Invocation> invocation;
    };

    void windowGeometryChanged();
    void windowWillClose();
    void fullScreenWillChange();
    void fullScreenDidChange(bool entered);
    void schedulePositioning();
    void watchScreen(QScreen* screen);

    bool isPlaceable() const;
    bool windowIsFullScreen() const;
    QMargins decorations() const;
    QRectF frame() const;
    QSizeF minimumFrameSize(const QMargins& decorations) const;
    void setFrame(const QRectF& frame);
    // The display the pending presentation goes to: the one it names, when it still exists, else the one
    // under its point (the pointer), else the first.
    std::optional<ReaderDisplay> pendingDisplay(const QList<ReaderDisplay>& displays) const;
    // The frame for the window on a display: its stored place and size (or its current size), at least
    // its minimum size, kept on the display.
    QRectF placement(const std::optional<ReaderWindowPosition>& stored, const ReaderDisplay& display,
                     const QSizeF& currentSize, const QMargins& decorations) const;
    // A window about to be mapped is given its stored frame before it is, when its decorations are known (told
    // by the window manager, or seen when it was last on screen), so it appears at its place rather than jumping
    // there once on screen.
    void placeBeforeMapping();

    Environment m_environment;
    ReaderWindowPositionStore m_positions;
    QPointer<QWidget> m_window;
    QPointer<QWindow> m_watchedHandle;
    std::optional<Presentation> m_pending;
    std::optional<X11Window> m_returnApplication;
    bool m_isPositioning = false;
    bool m_hasPositioned = false;
    bool m_isTerminating = false;
    bool m_isChangingFullScreen = false;
    bool m_isFullScreen = false;
    // The frame right after the controller last set it, until the user resizes the window: a move at
    // this size keeps the size stored for the display.
    std::optional<QRectF> m_appliedFrame;
    // The frame the controller last set or recorded: a move or resize event that finds the window there
    // is the echo of that, and nothing to record. Any other frame is the user's, also one the controller
    // set earlier (a resize and a return to the placed size).
    std::optional<QRectF> m_knownFrame;
    // The display the window was last placed on: a move elsewhere records the window's own size.
    std::optional<QString> m_placedDisplayID;
    // The decorations the window had when the controller last placed it on screen.
    std::optional<QMargins> m_seenDecorations;
    // One placement for a burst of screen changes, and one record for a burst of moves.
    QTimer m_screensChange;
    QTimer m_geometryChange;
};

}  // namespace tavrine
