#include "PelmoraMac/Window/ReaderWindowController.h"

#include "PelmoraMac/Window/ReaderScreens.h"
#include "PelmoraMac/Window/ReaderWindowActivation.h"
#include "PelmoraMac/X11/X11ServerTime.h"
#include "ReaderCore/MainThread.h"

#include <QCoreApplication>
#include <QEvent>
#include <QGuiApplication>
#include <QScreen>
#include <QWidget>
#include <QWindow>
#include <QWindowStateChangeEvent>

#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <utility>

namespace tavrine {
namespace {

// How long the window manager is given to tell a window's decorations before it is mapped. The wait costs the
// window's appearance nothing: a window manager handles its requests in order, so one busy for seconds (a loaded
// machine) would map the window no sooner than it answers the question asked before the mapping. The limit only
// ends the wait on one that lists the request and never answers it.
constexpr auto kFrameExtentsDeadline = std::chrono::seconds(5);

bool isValidSize(const std::optional<ReaderWindowPosition>& position) {
    return position && position->width && position->height && std::isfinite(*position->width) &&
           std::isfinite(*position->height) && *position->width > 0 && *position->height > 0;
}

}  // namespace

ReaderWindowEnvironment ReaderWindowEnvironment::desktop() {
    return {
        .displays = [] { return ReaderScreens::displays(); },
        .pointer = [] { return ReaderScreens::pointer(); },
        .isActive = [] { return QGuiApplication::applicationState() == Qt::ApplicationActive; },
        .show = [](QWidget* window) { ReaderWindowActivation::present(window); },
        .activate =
            [](const X11Window& application) {
                if (const auto desktop = X11Desktop::ofApplication()) {
                    desktop->activate(application.id, x11ServerTime());
                }
            },
        .frameMarginsBeforeMapping =
            [](QWidget* window) {
                return ReaderWindowActivation::frameMarginsBeforeMapping(window, kFrameExtentsDeadline);
            },
    };
}

ReaderWindowController::ReaderWindowController(Defaults& defaults, Environment environment, QObject* parent)
    : QObject(parent), m_environment(std::move(environment)), m_positions(defaults) {
    Q_ASSERT(isMainThread());
    // Qt's application state flickers to inactive while the focus passes between two of our windows:
    // only an application still inactive a turn later has been left.
    connect(qGuiApp, &QGuiApplication::applicationStateChanged, this, [this](Qt::ApplicationState state) {
        if (state == Qt::ApplicationActive) return;
        QTimer::singleShot(0, this, [this] {
            if (!m_environment.isActive()) applicationDeactivated();
        });
    });
    connect(qGuiApp, &QCoreApplication::aboutToQuit, this, &ReaderWindowController::applicationWillTerminate);

    m_screensChange.setSingleShot(true);
    m_screensChange.setInterval(0);
    connect(&m_screensChange, &QTimer::timeout, this, &ReaderWindowController::screensChanged);
    m_geometryChange.setSingleShot(true);
    m_geometryChange.setInterval(0);
    connect(&m_geometryChange, &QTimer::timeout, this, [this] {
        if (!m_screensChange.isActive()) recordCurrentPosition();
    });
    connect(qGuiApp, &QGuiApplication::screenAdded, this, [this](QScreen* screen) {
        watchScreen(screen);
        m_screensChange.start();
    });
    connect(qGuiApp, &QGuiApplication::screenRemoved, this, [this] { m_screensChange.start(); });
    connect(qGuiApp, &QGuiApplication::primaryScreenChanged, this, [this] { m_screensChange.start(); });
    for (QScreen* screen : QGuiApplication::screens()) watchScreen(screen);
}

ReaderWindowController::~ReaderWindowController() {
    if (m_window) m_window->removeEventFilter(this);
    if (m_watchedHandle) m_watchedHandle->removeEventFilter(this);
}

void ReaderWindowController::watchScreen(QScreen* screen) {
    connect(screen, &QScreen::geometryChanged, &m_screensChange, qOverload<>(&QTimer::start));
    connect(screen, &QScreen::availableGeometryChanged, &m_screensChange, qOverload<>(&QTimer::start));
}

void ReaderWindowController::attachWindow(QWidget* window) {
    Q_ASSERT(isMainThread());
    if (window == m_window) return;
    if (m_window) m_window->removeEventFilter(this);
    if (m_watchedHandle) m_watchedHandle->removeEventFilter(this);
    m_watchedHandle = nullptr;

    m_window = window;
    m_hasPositioned = false;
    m_appliedFrame.reset();
    m_knownFrame.reset();
    m_placedDisplayID.reset();
    m_seenDecorations.reset();
    m_isFullScreen = windowIsFullScreen();
    m_isChangingFullScreen = false;
    if (!window) return;
    window->installEventFilter(this);
    if (QWindow* handle = window->windowHandle()) {
        m_watchedHandle = handle;
        handle->installEventFilter(this);
    }
    if (!m_pending) m_pending = Presentation{};
    schedulePositioning();
}

ReaderWindowController::Invocation ReaderWindowController::makeInvocation() const {
    const auto desktop = X11Desktop::ofApplication();
    const std::optional<X11Window> front = desktop ? desktop->frontWindow() : std::nullopt;
    const pid_t own = ::getpid();

    Invocation invocation;
    if (front && front->pid != own) invocation.application = front;
    const QList<ReaderDisplay> displays = m_environment.displays();
    invocation.pointer = m_environment.pointer();
    std::optional<QRectF> frontFrame;
    if (front && front->pid) {
        if (const auto frame = desktop->frontWindowFrame(*front->pid)) {
            frontFrame = ReaderScreens::fromQt(QRect(frame->x, frame->y, frame->width, frame->height));
        }
    }
    if (const auto display = displayForFrame(frontFrame, invocation.pointer, displays)) {
        invocation.displayID = display->id;
    }
    return invocation;
}

void ReaderWindowController::showInvoked(const Invocation& invocation) {
    Q_ASSERT(isMainThread());
    recordCurrentPosition();
    m_pending = Presentation{.invocation = invocation};
    m_returnApplication = invocation.application;
    if (m_window && m_hasPositioned) positionWindow();
    placeBeforeMapping();
    m_environment.show(m_window);
}

void ReaderWindowController::showNormally() {
    Q_ASSERT(isMainThread());
    recordCurrentPosition();
    m_pending = Presentation{};
    m_returnApplication.reset();
    if (m_window && m_hasPositioned) positionWindow();
    placeBeforeMapping();
    m_environment.show(m_window);
}

void ReaderWindowController::schedulePositioning() {
    QTimer::singleShot(0, this, [this, window = m_window] {
        if (window && window == m_window) positionWindow();
    });
}

bool ReaderWindowController::isPlaceable() const {
    const QWindow* handle = m_window ? m_window->windowHandle() : nullptr;
    return m_window && m_window->isVisible() && handle && handle->isExposed();
}

bool ReaderWindowController::windowIsFullScreen() const {
    return m_window && (m_window->windowState() & Qt::WindowFullScreen);
}

QMargins ReaderWindowController::decorations() const {
    // The platform window's own answer: the widget's copy is refreshed only now and then.
    const QWindow* handle = m_window->windowHandle();
    return handle ? handle->frameMargins() : QMargins();
}

QRectF ReaderWindowController::frame() const {
    return ReaderScreens::fromQt(m_window->geometry().marginsAdded(decorations()));
}

QSizeF ReaderWindowController::minimumFrameSize(const QMargins& decorations) const {
    const QSize content = m_window->minimumSize().expandedTo(m_window->minimumSizeHint());
    return QSizeF(content.grownBy(decorations));
}

void ReaderWindowController::setFrame(const QRectF& frame) {
    const QRect target = ReaderScreens::toQt(frame).marginsRemoved(decorations());
    m_window->setGeometry(target);
}

std::optional<ReaderDisplay> ReaderWindowController::pendingDisplay(const QList<ReaderDisplay>& displays) const {
    const std::optional<Invocation>& invocation = m_pending->invocation;
    const std::optional<QString> wanted = invocation ? invocation->displayID : m_positions.lastDisplayID();
    if (wanted) {
        const auto found = std::find_if(displays.cbegin(), displays.cend(),
                                        [&](const ReaderDisplay& candidate) { return candidate.id == *wanted; });
        if (found != displays.cend()) return *found;
    }
    const QPointF point = invocation ? invocation->pointer : m_environment.pointer();
    return displayForFrame(std::nullopt, point, displays);
}

QRectF ReaderWindowController::placement(const std::optional<ReaderWindowPosition>& stored,
                                         const ReaderDisplay& display, const QSizeF& currentSize,
                                         const QMargins& decorations) const {
    const QSizeF size = isValidSize(stored) ? QSizeF(*stored->width, *stored->height) : currentSize;
    const QSizeF minimum = minimumFrameSize(decorations);
    return framePlacement(stored, display, std::max(size.width(), minimum.width()),
                          std::max(size.height(), minimum.height()));
}

void ReaderWindowController::placeBeforeMapping() {
    // Only a window about to be mapped, going to a stored place, in its normal state.
    if (!m_window || m_window->isVisible() || !m_pending || m_isChangingFullScreen || m_isFullScreen ||
        (m_window->windowState() & (Qt::WindowFullScreen | Qt::WindowMaximized | Qt::WindowMinimized)) ||
        !m_environment.frameMarginsBeforeMapping) {
        return;
    }
    const std::optional<ReaderDisplay> display = pendingDisplay(m_environment.displays());
    if (!display) return;
    const std::optional<ReaderWindowPosition> stored = m_positions.position(*display);
    if (!stored) return;
    // Without the window manager's answer, the decorations it gave the window when it was last on screen.
    std::optional<QMargins> decorations = m_environment.frameMarginsBeforeMapping(m_window);
    if (!decorations) decorations = m_seenDecorations;
    if (!decorations) return;
    const QRectF placed = placement(stored, *display, QSizeF(m_window->size().grownBy(*decorations)), *decorations);
    // The presentation stays pending: once on screen the window is placed as usual, and is found there.
    m_window->setGeometry(ReaderScreens::toQt(placed).marginsRemoved(*decorations));
}

void ReaderWindowController::positionWindow() {
    Q_ASSERT(isMainThread());
    if (!m_pending || m_isChangingFullScreen || !isPlaceable()) return;

    const QList<ReaderDisplay> displays = m_environment.displays();
    const std::optional<Invocation>& invocation = m_pending->invocation;
    const std::optional<ReaderDisplay> display = pendingDisplay(displays);
    if (!display) return;

    if (m_isFullScreen || windowIsFullScreen()) {
        if (invocation) {
            const auto own = displayForFrame(frame(), invocation->pointer, displays);
            if (!own || own->id != display->id) {
                // Placed once the window has left full screen.
                fullScreenWillChange();
                m_window->showNormal();
                return;
            }
        }
        if (m_hasPositioned) m_pending.reset();
        return;
    }
    if (m_window->windowState() & Qt::WindowMaximized) {
        // A maximised window stays as the user made it.
        m_pending.reset();
        m_hasPositioned = true;
        return;
    }

    m_pending.reset();
    m_isPositioning = true;
    const std::optional<ReaderWindowPosition> stored = m_positions.position(*display);
    const QRectF placed = placement(stored, *display, frame().size(), decorations());
    m_appliedFrame = placed;
    setFrame(placed);
    m_appliedFrame = frame();
    m_knownFrame = m_appliedFrame;
    m_placedDisplayID = display->id;
    m_seenDecorations = decorations();
    m_isPositioning = false;
    m_hasPositioned = true;
    if (!stored) m_positions.recordPosition(frame(), *display);
    m_positions.save(*display);
}

void ReaderWindowController::recordCurrentPosition() {
    Q_ASSERT(isMainThread());
    if (!m_hasPositioned || m_isPositioning || m_isChangingFullScreen || m_isFullScreen || !isPlaceable() ||
        (m_window->windowState() & (Qt::WindowFullScreen | Qt::WindowMaximized | Qt::WindowMinimized))) {
        return;
    }
    const QRectF current = frame();
    if (m_knownFrame == current) return;
    const auto display = displayForFrame(current, m_environment.pointer(), m_environment.displays());
    if (!display) return;

    // A window only moved keeps the size stored for the display it was placed on (which may be larger
    // than the display let it be); moved to another display, it keeps the size it has there. Once the
    // user has resized it, its size is theirs, also when it comes back to the placed one.
    if (m_appliedFrame && current.size() != m_appliedFrame->size()) m_appliedFrame.reset();
    std::optional<QSizeF> size;
    if (m_appliedFrame && m_placedDisplayID == display->id) {
        const auto stored = m_positions.position(*display);
        if (isValidSize(stored)) size = QSizeF(*stored->width, *stored->height);
    }
    m_positions.recordPosition(current, *display, size);
    m_knownFrame = current;
}

void ReaderWindowController::windowGeometryChanged() {
    // Once per turn, and not while the displays change: a window manager moves windows off a display
    // that went away, which is no place the user chose.
    if (m_isPositioning) return;
    m_geometryChange.start();
}

void ReaderWindowController::windowWillClose() {
    recordCurrentPosition();
    const std::optional<X11Window> application = std::exchange(m_returnApplication, std::nullopt);
    if (m_isTerminating || !m_environment.isActive() || !m_window || !m_window->isActiveWindow() || !application) {
        return;
    }
    if (application->pid && X11Desktop::isTerminated(*application->pid)) return;
    m_environment.activate(*application);
}

void ReaderWindowController::fullScreenWillChange() {
    recordCurrentPosition();
    m_isChangingFullScreen = true;
}

void ReaderWindowController::fullScreenDidChange(bool entered) {
    m_isFullScreen = entered;
    m_isChangingFullScreen = false;
    if (entered || !m_window) return;
    QTimer::singleShot(0, this, [this, window = m_window] {
        if (!window || window != m_window) return;
        if (m_pending) {
            positionWindow();
        } else {
            recordCurrentPosition();
        }
    });
}

void ReaderWindowController::applicationDeactivated() {
    m_returnApplication.reset();
}

void ReaderWindowController::applicationWillTerminate() {
    m_isTerminating = true;
    m_returnApplication.reset();
    recordCurrentPosition();
    m_positions.flush();
}

void ReaderWindowController::screensChanged() {
    m_geometryChange.stop();
    if (!m_window || !m_hasPositioned || m_isFullScreen || m_isChangingFullScreen || windowIsFullScreen()) return;
    m_pending = Presentation{};
    positionWindow();
}

bool ReaderWindowController::eventFilter(QObject* watched, QEvent* event) {
    if (m_window && watched == m_window) {
        switch (event->type()) {
        case QEvent::Move:
        case QEvent::Resize: windowGeometryChanged(); break;
        case QEvent::Close: windowWillClose(); break;
        case QEvent::Show:
            if (!m_watchedHandle && m_window->windowHandle()) {
                m_watchedHandle = m_window->windowHandle();
                m_watchedHandle->installEventFilter(this);
            }
            break;
        case QEvent::WindowStateChange: {
            const bool was = static_cast<QWindowStateChangeEvent*>(event)->oldState() & Qt::WindowFullScreen;
            const bool is = windowIsFullScreen();
            if (was != is) fullScreenDidChange(is);
            break;
        }
        default: break;
        }
    } else if (m_watchedHandle && watched == m_watchedHandle && event->type() == QEvent::Expose) {
        // The window is on screen with its decorations known: what was asked while it was hidden is
        // applied now.
        if (m_pending && m_watchedHandle->isExposed()) schedulePositioning();
    }
    return QObject::eventFilter(watched, event);
}

}  // namespace tavrine
