#include "PelmoraMac/Window/ReaderWindowActivation.h"

#include "PelmoraMac/X11/X11ServerTime.h"
#include "PelmoraMac/X11/X11WindowManager.h"
#include "ReaderCore/MainThread.h"

#include <QEvent>
#include <QGuiApplication>
#include <QPointer>
#include <QTimer>
#include <QWidget>
#include <QWindow>

namespace tavrine {
namespace {

// How long a window being mapped is waited for before its activation is given up.
constexpr auto kExposureWait = std::chrono::seconds(5);

void activateNow(const X11WindowManager& manager, QWidget& window) {
    const QWindow* focused = QGuiApplication::focusWindow();
    const auto current = focused && focused != window.windowHandle() ? std::uint32_t(focused->winId()) : 0U;
    manager.activate(std::uint32_t(window.winId()), x11ServerTime(), current);
}

// Activates a window once it is exposed: a window manager takes activation requests only for a window
// it manages, and the focus can go only to a viewable window. Deletes itself after that, after the wait,
// or with the window.
class ActivationOnExposure final : public QObject {
public:
    explicit ActivationOnExposure(QWidget& window) : QObject(window.windowHandle()), m_window(&window) {
        Q_ASSERT(isMainThread());
        window.windowHandle()->installEventFilter(this);
        QTimer::singleShot(kExposureWait, this, [this] { deleteLater(); });
    }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        auto* handle = qobject_cast<QWindow*>(watched);
        if (event->type() == QEvent::Expose && handle && handle->isExposed() && m_window) {
            handle->removeEventFilter(this);
            // After Qt has handled the exposure itself.
            QTimer::singleShot(0, this, [this] {
                if (const auto manager = X11WindowManager::ofApplication(); manager && m_window) {
                    activateNow(*manager, *m_window);
                }
                deleteLater();
            });
        }
        return QObject::eventFilter(watched, event);
    }

private:
    QPointer<QWidget> m_window;
};

// A hidden window is mapped anew when it is shown again, and the window manager manages it as a new
// window (Qt has also destroyed its native window if the window manager closed it): made at its maximised
// geometry and maximised from the start, it would leave the window manager no other size to give back when
// the user restores it. So it is given its normal geometry before it is mapped, and maximised over it, as
// a window shown maximised is.
void keepNormalGeometryUnderMaximized(QWidget& window) {
    const Qt::WindowStates state = window.windowState();
    if (window.isVisible() || !(state & Qt::WindowMaximized) || (state & Qt::WindowFullScreen)) return;
    const QRect normal = window.normalGeometry();
    if (!normal.isValid() || normal == window.geometry()) return;
    window.setWindowState(state & ~Qt::WindowMaximized);
    window.setGeometry(normal);
    window.setWindowState(state);
}

}  // namespace

void ReaderWindowActivation::present(QWidget* window) {
    if (!window) return;
    // A minimised window is brought up too, not only shown where it lies.
    if (window->windowState() & Qt::WindowMinimized) {
        window->setWindowState(window->windowState() & ~Qt::WindowMinimized);
    }
    keepNormalGeometryUnderMaximized(*window);
    const auto manager = X11WindowManager::ofApplication();
    if (!manager) {
        window->show();
        window->raise();
        window->activateWindow();
        return;
    }
    const bool onScreen = window->isVisible() && window->windowHandle() && window->windowHandle()->isExposed();
    // Before it is shown: a window mapped again takes the desktop its property names.
    manager->moveToCurrentDesktop(std::uint32_t(window->winId()));
    window->show();
    window->raise();
    if (onScreen) {
        activateNow(*manager, *window);
    } else {
        new ActivationOnExposure(*window);
    }
}

std::optional<QMargins> ReaderWindowActivation::frameMarginsBeforeMapping(QWidget* window,
                                                                          std::chrono::milliseconds deadline) {
    if (!window || window->isVisible()) return std::nullopt;
    const auto manager = X11WindowManager::ofApplication();
    if (!manager) return std::nullopt;
    const auto extents = manager->requestFrameExtents(std::uint32_t(window->winId()), deadline);
    if (!extents) return std::nullopt;
    return QMargins(extents->left, extents->top, extents->right, extents->bottom);
}

}  // namespace tavrine
