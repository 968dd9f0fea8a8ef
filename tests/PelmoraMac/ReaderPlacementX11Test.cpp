// Where the reader window comes up on a real X server, run once without and once with a window manager
// (openbox): the window in front of another process and its activation, and the real executable
// placing its window, remembering it across launches and across a monitor that goes away, and restoring it
// from maximised to its own frame after it was closed and shown again.
#include "PelmoraMac/Window/ReaderDisplay.h"
#include "PelmoraMac/Window/ReaderScreens.h"
#include "PelmoraMac/Window/ReaderWindowController.h"
#include "PelmoraMac/Window/ReaderWindowPositionStore.h"
#include "PelmoraMac/X11/X11Connection.h"
#include "PelmoraMac/X11/X11Desktop.h"
#include "ReaderCore/FileDefaults.h"
#include "ReaderCore/MemoryDefaults.h"
#include "support/CheckoutPaths.h"
#include "support/EventLoop.h"
#include "support/GuiTesting.h"
#include "support/QtPrinters.h"

#include <gtest/gtest.h>
#include <QFile>
#include <QGuiApplication>
#include <QProcess>
#include <QScreen>
#include <QTemporaryDir>

#include <signal.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <memory>
#include <string>

namespace tavrine {
namespace {
using namespace Qt::StringLiterals;
using namespace std::chrono_literals;

// Runs a command of the X tools to its end; its standard output.
QString run(const QString& program, const QStringList& arguments) {
    QProcess process;
    process.start(program, arguments);
    EXPECT_TRUE(process.waitForFinished(test::patienceMilliseconds())) << program.toStdString();
    EXPECT_EQ(process.exitCode(), 0) << program.toStdString() << " " << arguments.join(u' ').toStdString() << ": "
                                     << process.readAllStandardError().toStdString();
    return QString::fromLocal8Bit(process.readAllStandardOutput()).trimmed();
}

QRect toQRect(const X11Rectangle& rectangle) {
    return QRect(rectangle.x, rectangle.y, rectangle.width, rectangle.height);
}

X11Desktop desktop() {
    return X11Desktop(qtX11Connection());
}

// A window of another process, shown by x11-window-owner.
struct OwnedWindow {
    std::unique_ptr<QProcess> process;
    std::uint32_t top = 0;
    pid_t pid() const { return pid_t(process->processId()); }
};

OwnedWindow showOwnedWindow() {
    OwnedWindow owned{.process = std::make_unique<QProcess>()};
    owned.process->setProcessChannelMode(QProcess::ForwardedErrorChannel);
    owned.process->start(test::inCheckout(X11_WINDOW_OWNER));
    EXPECT_TRUE(owned.process->waitForReadyRead(test::patienceMilliseconds()));
    owned.top = owned.process->readLine().trimmed().split(' ').value(0).toUInt();
    return owned;
}

TEST(ReaderPlacementX11, TheFrontWindowOfAnotherProcessItsDisplayAndItsActivation) {
    ASSERT_NE(qtX11Connection(), nullptr);
    OwnedWindow first = showOwnedWindow();
    OwnedWindow second = showOwnedWindow();
    const bool managed = desktop().hasWindowManager();

    for (const OwnedWindow* owned : {&first, &second}) {
        // In front, and still a moment later: a window manager may still be focusing a new window.
        int steady = 0;
        ASSERT_TRUE(test::effectWithin([&] {
            const auto front = desktop().frontWindow();
            steady = front && front->id == owned->top ? steady + 1 : 0;
            if (steady == 0) desktop().activate(owned->top);
            QThread::msleep(20);
            return steady >= 10;
        }));
        EXPECT_EQ(desktop().frontProcess(), owned->pid());
        const auto frame = desktop().frontWindowFrame(owned->pid());
        ASSERT_TRUE(frame);
        if (managed) {
            // With the window manager's decorations around the 200 × 100 window.
            EXPECT_GT(frame->width, 200);
            EXPECT_GT(frame->height, 100);
        } else {
            EXPECT_EQ(toQRect(*frame), QRect(10, 10, 200, 100));
        }

        // The hot key's moment: the other application and the display of its front window.
        MemoryDefaults defaults;
        ReaderWindowController controller(defaults, ReaderWindowEnvironment::desktop());
        const ReaderWindowController::Invocation invocation = controller.makeInvocation();
        EXPECT_EQ(invocation.application, (X11Window{.id = owned->top, .pid = owned->pid()}));
        EXPECT_EQ(invocation.displayID, ReaderScreens::displays().value(0).id);
    }
    EXPECT_EQ(desktop().frontWindowFrame(pid_t(999'999)), std::nullopt);

    for (OwnedWindow* owned : {&first, &second}) {
        owned->process->closeWriteChannel();
        owned->process->waitForFinished(5'000);
    }
}

// The real executable against the private server's fresh settings.
class ReaderExecutable {
public:
    ReaderExecutable() {
        m_process.setProcessChannelMode(QProcess::ForwardedChannels);
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert(u"TAVRINE_TRACE_FILE"_s, m_trace.filePath(u"trace"_s));
        m_process.setProcessEnvironment(environment);
        m_process.start(test::inCheckout(TAVRINE_EXECUTABLE));
        EXPECT_TRUE(m_process.waitForStarted(test::patienceMilliseconds()));
    }
    ~ReaderExecutable() {
        if (m_process.state() != QProcess::NotRunning) {
            m_process.kill();
            m_process.waitForFinished();
        }
    }
    pid_t pid() const { return pid_t(m_process.processId()); }

    // The reader window's frame, once it is on screen.
    std::optional<QRect> frame() const {
        const auto frame = desktop().frontWindowFrame(pid());
        return frame ? std::optional(toQRect(*frame)) : std::nullopt;
    }
    // Waits until the window's frame satisfies the condition and no longer changes.
    template <typename Condition>
    QRect settledFrame(Condition condition) {
        std::optional<QRect> last;
        int steady = 0;
        test::effectWithin([&] {
            const auto now = frame();
            steady = now && now == last && condition(*now) ? steady + 1 : 0;
            last = now;
            QThread::msleep(20);
            return steady >= 10;
        });
        EXPECT_GE(steady, 10) << "the window did not settle; last frame " << last.value_or(QRect()).x() << ","
                              << last.value_or(QRect()).y() << " " << last.value_or(QRect()).width() << "x"
                              << last.value_or(QRect()).height();
        return last.value_or(QRect());
    }
    QString windowId() const {
        return run(u"xdotool"_s,
                   {u"search"_s, u"--onlyvisible"_s, u"--pid"_s, QString::number(pid()), u"--name"_s, u"^Tavrine$"_s});
    }
    // The frame's top-left corner to about a point, as a user's drag leaves it.
    void moveFrame(const QRect& frame, QPoint to) {
        // xdotool moves the client window; the frame follows.
        const QString window = windowId();
        const QString geometry = run(u"xdotool"_s, {u"getwindowgeometry"_s, u"--shell"_s, window});
        const int clientX = geometry.section(u"X="_s, 1).section(u'\n', 0, 0).toInt();
        const int clientY = geometry.section(u"Y="_s, 1).section(u'\n', 0, 0).toInt();
        const QPoint target = to + QPoint(clientX, clientY) - frame.topLeft();
        run(u"xdotool"_s, {u"windowmove"_s, window, QString::number(target.x()), QString::number(target.y())});
    }
    // Moves the frame as moveFrame does, again while it does not stand where `arrived` tells.
    template <typename Arrived>
    void moveFrameUntil(const QRect& frame, QPoint to, Arrived arrived) {
        EXPECT_TRUE(test::madeAgain([&] { moveFrame(frame, to); },
                                    [&] {
                                        const auto now = this->frame();
                                        return now && arrived(*now);
                                    }))
            << "the window manager did not move the window";
    }
    // Double-clicks the title bar, again while the frame does not stand where `arrived` tells: maximised, or
    // restored.
    template <typename Arrived>
    void doubleClickTitleBarUntil(Arrived arrived) {
        EXPECT_TRUE(test::madeAgain([&] { doubleClickTitleBar(); },
                                    [&] {
                                        const auto now = frame();
                                        return now && arrived(*now);
                                    }))
            << "a double click on the title bar did not reach the window manager";
    }
    // A double click on the title bar, which maximises the window or restores it.
    void doubleClickTitleBar() {
        run(u"xdotool"_s, {u"windowactivate"_s, u"--sync"_s, windowId()});
        // Below the frame's top edge, on the title.
        const QRect now = frame().value_or(QRect());
        run(u"xdotool"_s, {u"mousemove"_s, QString::number(now.center().x()), QString::number(now.y() + 8), u"click"_s,
                           u"--repeat"_s, u"2"_s, u"--delay"_s, u"60"_s, u"1"_s});
    }
    // How many times the reader window was asked to close, as the reader's trace tells.
    int closeRequests() const {
        QFile trace(m_trace.filePath(u"trace"_s));
        if (!trace.open(QIODevice::ReadOnly)) return 0;
        int count = 0;
        for (const QByteArray& line : trace.readAll().split('\n')) count += line.startsWith("close ") ? 1 : 0;
        return count;
    }
    // Closes the window as the user does, with the window manager's Alt+F4, and waits until it is gone. A
    // press the window manager passed over (on a loaded machine, one made while it was still handling the
    // window's last change of state) is made again once a try has passed without the reader asked to close;
    // once it was asked, the window must go. A window left open fails the test with what the window manager
    // and the server say of it and a screenshot, and leaves the rest of the test program's time to the steps
    // after it.
    void closeWindow() {
        const QString window = windowId();
        run(u"xdotool"_s, {u"windowactivate"_s, u"--sync"_s, window});
        // Only the key is made again: an activation of a window that a late press has just closed would wait
        // for it in vain.
        const int before = closeRequests();
        const bool asked = test::madeAgain(
            [&] {
                run(u"xdotool"_s, {u"key"_s, u"--clearmodifiers"_s, u"alt+F4"_s});
            },
            [&] { return closeRequests() > before; });
        const bool closed = asked && test::effectWithin([&] { return !frame(); });
        if (!closed) {
            const QString state =
                run(u"xprop"_s, {u"-id"_s, window, u"WM_STATE"_s, u"_NET_WM_STATE"_s, u"WM_PROTOCOLS"_s}) +
                u"\nactive window "_s + run(u"xdotool"_s, {u"getactivewindow"_s}) + u", focus "_s +
                run(u"xdotool"_s, {u"getwindowfocus"_s}) + u", the reader's "_s + window;
            run(test::inCheckout(X11_SCREENSHOT), {test::testArtifactPath(u"reader-window-not-closed.png"_s)});
            ADD_FAILURE() << (asked ? "the reader, asked to close by Alt+F4, left its window open\n"
                                    : "Alt+F4 never asked the reader to close, pressed " +
                                          std::to_string(test::kInputTries) + " times\n")
                          << state.toStdString();
        }
        EXPECT_EQ(m_process.state(), QProcess::Running) << "closing the window ended the reader";
    }
    void quit() {
        ::kill(pid(), SIGTERM);
        EXPECT_TRUE(m_process.waitForFinished(test::patienceMilliseconds()));
        EXPECT_EQ(m_process.exitStatus(), QProcess::NormalExit);
        EXPECT_EQ(m_process.exitCode(), 0);
    }

private:
    QTemporaryDir m_trace;
    QProcess m_process;
};

const ReaderDisplay* displayNamed(const QList<ReaderDisplay>& displays, const QString& id) {
    for (const ReaderDisplay& display : displays) {
        if (display.id == id) return &display;
    }
    return nullptr;
}

// What the application stored, read afresh from its settings file. The file is read from a copy: settings
// opened on the file itself would clear what they take for an interrupted write's leftovers beside it,
// which is the running application's write under way, and fail that write.
std::optional<ReaderWindowPosition> storedPosition(const ReaderDisplay& display,
                                                   std::optional<QString>* lastDisplayID = nullptr) {
    const QTemporaryDir folder;
    const QString copy = folder.filePath(u"defaults.json"_s);
    QFile::copy(FileDefaults::applicationFile(), copy);
    FileDefaults defaults(copy);
    ReaderWindowPositionStore store(defaults);
    if (lastDisplayID) *lastDisplayID = store.lastDisplayID();
    return store.position(display);
}

// The frame's offsets from the display's visible frame, in Qt's coordinates.
QPointF offsets(const QRect& frame, const ReaderDisplay& display) {
    const QRect visible = ReaderScreens::toQt(display.visibleFrame);
    return QPointF(frame.x() - visible.x(), frame.y() - visible.y());
}

TEST(ReaderPlacementX11, TheRealWindowComesBackWhereItWasLeftOnEveryDisplay) {
    const QList<ReaderDisplay> single = ReaderScreens::displays();
    ASSERT_EQ(single.size(), 1);
    const ReaderDisplay screen = single.first();
    const QRect visible = ReaderScreens::toQt(screen.visibleFrame);
    ASSERT_GE(visible.width(), 2000) << "run with TAVRINE_XVFB_SCREEN=2560x1024x24";

    QRect moved;
    {
        // First launch: centred at the window's own size, and stored at once.
        ReaderExecutable reader;
        const QRect first = reader.settledFrame([&](const QRect& frame) {
            return std::abs(frame.center().x() - visible.center().x()) <= 1 &&
                   std::abs(frame.center().y() - visible.center().y()) <= 1;
        });
        // Stored as the frame stands once the window manager is done with it, which on a loaded machine
        // may be a moment after it first looked settled: the two are asked afresh until they agree.
        std::optional<QString> last;
        std::optional<ReaderWindowPosition> stored;
        std::optional<QRect> stands;
        EXPECT_TRUE(test::effectWithin([&] {
            stored = storedPosition(screen, &last);
            stands = reader.frame();
            return stored && stands && QPointF(stored->x, stored->top) == offsets(*stands, screen) &&
                   stored->width == stands->width();
        })) << "stored "
            << (stored ? stored->x : -1) << "," << (stored ? stored->top : -1) << " for the frame at "
            << stands.value_or(QRect()).x() << "," << stands.value_or(QRect()).y();
        EXPECT_EQ(last, screen.id);
        EXPECT_LE((stands.value_or(QRect()).topLeft() - first.topLeft()).manhattanLength(), 2);
        run(test::inCheckout(X11_SCREENSHOT), {test::testArtifactPath(u"reader-window-first-launch.png"_s)});

        // Moved (a window manager may add its own offsets): stored as offsets.
        const auto movedNearTopLeft = [](const QRect& frame) { return frame.x() < 400 && frame.y() < 250; };
        reader.moveFrameUntil(first, {300, 150}, movedNearTopLeft);
        moved = reader.settledFrame(movedNearTopLeft);
        ASSERT_TRUE(test::effectWithin([&] {
            const auto stored = storedPosition(screen);
            return stored && QPointF(stored->x, stored->top) == offsets(moved, screen);
        }));
        reader.quit();
    }
    {
        // Relaunched: at the same place.
        ReaderExecutable reader;
        EXPECT_EQ(reader.settledFrame([&](const QRect& frame) { return frame == moved; }), moved);

        // Two monitors side by side: the window is placed again (on the first: the display it was on is
        // gone, and the pointer is there), then left on the second one.
        run(u"xdotool"_s, {u"mousemove"_s, u"100"_s, u"100"_s});
        run(u"xrandr"_s, {u"--setmonitor"_s, u"left"_s, u"1280/0x1024/0+0+0"_s, u"screen"_s});
        run(u"xrandr"_s, {u"--setmonitor"_s, u"right"_s, u"1280/0x1024/0+1280+0"_s, u"none"_s});
        // The second monitor's visible frame is told a moment after the monitor itself (the window manager
        // works out its panels): the displays are taken once it stands on its own half.
        QList<ReaderDisplay> two;
        const ReaderDisplay* left = nullptr;
        const ReaderDisplay* right = nullptr;
        ASSERT_TRUE(test::effectWithin([&] {
            two = ReaderScreens::displays();
            left = displayNamed(two, u"display-left"_s);
            right = displayNamed(two, u"display-right"_s);
            return two.size() == 2 && left && right && ReaderScreens::toQt(right->visibleFrame).x() >= 1280;
        }));
        const QRect onLeft = reader.settledFrame([&](const QRect& frame) { return frame.right() < 1280; });
        const auto onTheRight = [](const QRect& frame) { return frame.x() >= 1280; };
        reader.moveFrameUntil(onLeft, {1280 + 200, 100}, onTheRight);
        const QRect onRight = reader.settledFrame(onTheRight);
        std::optional<QString> last;
        ASSERT_TRUE(test::effectWithin([&] { return storedPosition(*right, &last) && last == right->id; }));
        EXPECT_EQ(storedPosition(*right)->x, offsets(onRight, *right).x());

        // The second monitor removed while the window is on it: back on the first, at its place there.
        run(u"xrandr"_s, {u"--delmonitor"_s, u"right"_s});
        ASSERT_TRUE(test::effectWithin([&] { return QGuiApplication::screens().size() == 1; }));
        const QRect back = reader.settledFrame([&](const QRect& frame) { return frame.right() < 1280; });
        const auto leftPosition = storedPosition(*left, &last);
        ASSERT_TRUE(leftPosition);
        EXPECT_EQ(last, left->id);
        EXPECT_EQ(offsets(back, *left), QPointF(leftPosition->x, leftPosition->top));
        run(test::inCheckout(X11_SCREENSHOT), {test::testArtifactPath(u"reader-window-monitor-removed.png"_s)});
        reader.quit();
        run(u"xrandr"_s, {u"--delmonitor"_s, u"left"_s});
        // The server's own screen again, for the tests after this one.
        ASSERT_TRUE(test::effectWithin([&] { return ReaderScreens::displays() == single; }));
    }
}

// Maximised, closed and shown again by a second launch, the window is still maximised, and restored it
// goes back to the frame it had before it was maximised; a maximised frame is never stored as the window's
// place, also when the reader quits while maximised.
TEST(ReaderPlacementX11, AWindowShownAgainMaximisedIsRestoredToItsOwnFrame) {
    if (!desktop().hasWindowManager()) GTEST_SKIP() << "only a window manager maximises a window";
    const QList<ReaderDisplay> single = ReaderScreens::displays();
    ASSERT_EQ(single.size(), 1);
    const ReaderDisplay screen = single.first();
    const QRect visible = ReaderScreens::toQt(screen.visibleFrame);
    QFile::remove(FileDefaults::applicationFile());
    const auto isMaximised = [&](const QRect& frame) { return frame == visible; };

    QRect own;
    {
        ReaderExecutable reader;
        const QRect first = reader.settledFrame([](const QRect&) { return true; });
        // A size and place of the user's own, far from the screen's.
        run(u"xdotool"_s, {u"windowsize"_s, u"--sync"_s, reader.windowId(), u"800"_s, u"600"_s});
        const auto ownFrame = [](const QRect& frame) { return frame.x() < 300 && frame.width() < 900; };
        reader.moveFrameUntil(first, {200, 100}, ownFrame);
        own = reader.settledFrame(ownFrame);
        std::optional<ReaderWindowPosition> stored;
        ASSERT_TRUE(test::effectWithin([&] {
            stored = storedPosition(screen);
            return stored && QPointF(stored->x, stored->top) == offsets(own, screen) && stored->width == own.width();
        })) << "stored "
            << (stored ? stored->x : -1) << "," << (stored ? stored->top : -1) << " "
            << (stored ? stored->width.value_or(-1) : -1) << " for the frame " << own.x() << "," << own.y() << " "
            << own.width() << "x" << own.height();

        reader.doubleClickTitleBarUntil(isMaximised);
        reader.settledFrame(isMaximised);
        reader.closeWindow();
        // "リーダーを開く", as a second launch asks it.
        EXPECT_EQ(QProcess::execute(test::inCheckout(TAVRINE_EXECUTABLE), {}), 0);
        reader.settledFrame(isMaximised);
        run(test::inCheckout(X11_SCREENSHOT), {test::testArtifactPath(u"reader-window-maximised-again.png"_s)});

        const auto restored = [&](const QRect& frame) { return !isMaximised(frame); };
        reader.doubleClickTitleBarUntil(restored);
        EXPECT_EQ(QRectF(reader.settledFrame(restored)), QRectF(own));
        run(test::inCheckout(X11_SCREENSHOT), {test::testArtifactPath(u"reader-window-restored.png"_s)});

        // Quitting while maximised keeps the window's own frame stored.
        reader.doubleClickTitleBarUntil(isMaximised);
        reader.settledFrame(isMaximised);
        reader.quit();
    }
    const auto stored = storedPosition(screen);
    ASSERT_TRUE(stored);
    EXPECT_EQ(QPointF(stored->x, stored->top), offsets(own, screen));
    EXPECT_EQ(stored->width, own.width());
    EXPECT_EQ(stored->height, own.height());
    ReaderExecutable relaunched;
    EXPECT_EQ(QRectF(relaunched.settledFrame([&](const QRect& frame) { return frame == own; })), QRectF(own));
    relaunched.quit();
}

}  // namespace
}  // namespace tavrine
