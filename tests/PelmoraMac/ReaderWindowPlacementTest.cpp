// Where the reader window comes up: the display functions at their edges, the position store's stored
// value, and the controller over injected displays, pointer, activity, show and activate (the window is a
// real one on the offscreen platform, which applies geometry at once and has no decorations).
#include "PelmoraMac/Window/ReaderDisplay.h"
#include "PelmoraMac/Window/ReaderScreens.h"
#include "PelmoraMac/Window/ReaderWindow.h"
#include "PelmoraMac/Window/ReaderWindowController.h"
#include "PelmoraMac/Window/ReaderWindowPositionStore.h"
#include "ReaderCore/MemoryDefaults.h"
#include "support/EventLoop.h"
#include "support/QtPrinters.h"

#include <gtest/gtest.h>
#include <QCoreApplication>
#include <QGuiApplication>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QWindow>

namespace tavrine {
namespace {
using namespace Qt::StringLiterals;
using test::processEventsUntil;

const QString kKey = ReaderWindowPositionStore::kKey.toString();

}  // namespace

void PrintTo(const ReaderWindowPosition& position, std::ostream* out) {
    *out << "{x " << position.x << ", top " << position.top << ", width "
         << (position.width ? std::to_string(*position.width) : "none") << ", height "
         << (position.height ? std::to_string(*position.height) : "none") << "}";
}

namespace {

ReaderDisplay display(const QString& id, QRectF frame, std::optional<QRectF> visible = std::nullopt) {
    return ReaderDisplay{.id = id, .frame = frame, .visibleFrame = visible.value_or(frame)};
}

// The worked display: a 1440 × 900 screen whose visible frame leaves 25 points of menu bar.
const ReaderDisplay kLaptop = display(u"A"_s, {0, 0, 1440, 900}, QRectF(0, 0, 1440, 875));

TEST(ReaderWindowPlacement, FramePlacementKeepsTheWindowInsideTheVisibleFrame) {
    const ReaderWindowPosition position{.x = 100, .top = 50};
    EXPECT_EQ(framePlacement(position, kLaptop, 800, 600), QRectF(100, 225, 800, 600));
    EXPECT_EQ(framePlacement(std::nullopt, kLaptop, 800, 600), QRectF(320, 137.5, 800, 600));
    EXPECT_EQ(framePlacement(ReaderWindowPosition{.x = 2000, .top = 50}, kLaptop, 800, 600).x(), 640);
    // Above the visible frame: the top edge comes down to its top.
    EXPECT_EQ(framePlacement(ReaderWindowPosition{.x = 100, .top = -100}, kLaptop, 800, 600).y(), 275);
    // Larger than the display: capped, and centred it fills the visible frame.
    EXPECT_EQ(framePlacement(std::nullopt, kLaptop, 2000, 1200), QRectF(0, 0, 1440, 875));
    // The position's own size is the caller's business.
    EXPECT_EQ(framePlacement(ReaderWindowPosition{.x = 0, .top = 0, .width = 10, .height = 10}, kLaptop, 800, 600),
              QRectF(0, 275, 800, 600));
}

TEST(ReaderWindowPlacement, DisplayForFrameByOverlapThenPointerThenFirst) {
    const ReaderDisplay left = display(u"L"_s, {0, 0, 1000, 800});
    const ReaderDisplay right = display(u"R"_s, {1000, 0, 1000, 800});
    const QList displays{left, right};
    // 300 × 600 on the left, 500 × 600 on the right.
    EXPECT_EQ(displayForFrame(QRectF(700, 100, 800, 600), {}, displays), right);
    // Equal overlaps: the earlier display.
    EXPECT_EQ(displayForFrame(QRectF(600, 100, 800, 600), {}, displays), left);
    // No overlap: the display under the pointer; its left and bottom edges are inside, right and top not.
    const QRectF nowhere(5000, 5000, 10, 10);
    EXPECT_EQ(displayForFrame(nowhere, {1000, 0}, displays), right);
    EXPECT_EQ(displayForFrame(std::nullopt, {999.5, 799.5}, displays), left);
    EXPECT_EQ(displayForFrame(std::nullopt, {1999.5, 800}, displays), left);  // on no display: the first
    EXPECT_EQ(displayForFrame(std::nullopt, {2000, 10}, QList{right, left}), right);
    // A frame that only touches an edge shares no area with it.
    EXPECT_EQ(displayForFrame(QRectF(-100, 0, 100, 100), {1500, 10}, displays), right);
    EXPECT_EQ(displayForFrame(QRectF(0, 0, 10, 10), {}, {}), std::nullopt);
}

TEST(ReaderWindowPlacement, DisplayIdentifiers) {
    EXPECT_EQ(ReaderScreens::displayIdentifier(u"ACME"_s, u"X1"_s, QString(), u"HDMI-1"_s), u"display-HDMI-1"_s);
    const QString id = ReaderScreens::displayIdentifier(u"ACME"_s, u"X1"_s, u"1234"_s, u"HDMI-1"_s);
    EXPECT_EQ(id, id.toUpper());
    EXPECT_EQ(QUuid::fromString(id).version(), QUuid::Sha1);
    // The same screen on another connector keeps its identifier; another unit of the model does not.
    EXPECT_EQ(ReaderScreens::displayIdentifier(u"ACME"_s, u"X1"_s, u"1234"_s, u"DP-2"_s), id);
    EXPECT_NE(ReaderScreens::displayIdentifier(u"ACME"_s, u"X1"_s, u"1235"_s, u"HDMI-1"_s), id);
    EXPECT_NE(ReaderScreens::displayIdentifier(u"ACME"_s, u"X11"_s, u"234"_s, u"HDMI-1"_s), id);
}

QJsonObject storedObject(const Defaults& defaults) {
    const auto value = defaults.object(kKey);
    if (!value || !std::holds_alternative<QByteArray>(*value)) return {};
    return QJsonDocument::fromJson(std::get<QByteArray>(*value)).object();
}

TEST(ReaderWindowPositionStore, RecordsOffsetsFromTheVisibleFrameAndWritesOncePerTurn) {
    MemoryDefaults defaults;
    {
        ReaderWindowPositionStore store(defaults);
        EXPECT_EQ(store.position(kLaptop), std::nullopt);
        EXPECT_EQ(store.lastDisplayID(), std::nullopt);
        store.recordPosition(QRectF(50, 100, 300, 200), kLaptop);
        EXPECT_EQ(store.position(kLaptop), (ReaderWindowPosition{.x = 50, .top = 575, .width = 300, .height = 200}));
        EXPECT_EQ(store.lastDisplayID(), u"A"_s);
        // Not written before the turn ends.
        EXPECT_FALSE(defaults.object(kKey));
        QCoreApplication::processEvents();
        ASSERT_TRUE(defaults.object(kKey));
        const QJsonObject saved = storedObject(defaults);
        EXPECT_EQ(saved.value(u"lastDisplayID"_s).toString(), u"A"_s);
        EXPECT_EQ(saved.value(u"positions"_s).toObject().keys(), QStringList{u"A"_s});
        EXPECT_EQ(saved.value(u"positions"_s)[u"A"_s][u"top"_s].toDouble(), 575);

        // A size given is kept, whatever the frame's; a second display joins the first.
        const ReaderDisplay other = display(u"B"_s, {1440, 0, 800, 600});
        store.recordPosition(QRectF(1500, 0, 300, 200), other, QSizeF(1200, 900));
        EXPECT_EQ(store.position(other), (ReaderWindowPosition{.x = 60, .top = 400, .width = 1200, .height = 900}));
        // A number JSON cannot hold: nothing is written, the previous entry stays.
        store.recordPosition(QRectF(qQNaN(), 0, 10, 10), display(u"C"_s, {0, 0, 10, 10}));
        EXPECT_EQ(store.position(display(u"C"_s, {})), std::nullopt);
    }
    // The store is gone: what it had pending is written, bar the value that cannot be.
    EXPECT_EQ(storedObject(defaults).value(u"positions"_s).toObject().keys(), QStringList{u"A"_s});

    // Read back by a new store.
    ReaderWindowPositionStore again(defaults);
    EXPECT_EQ(again.position(kLaptop), (ReaderWindowPosition{.x = 50, .top = 575, .width = 300, .height = 200}));
    EXPECT_EQ(again.lastDisplayID(), u"A"_s);
}

TEST(ReaderWindowPositionStore, UnreadableEntriesGiveAnEmptyStoreAndStayAsTheyWere) {
    const QByteArray unreadable[] = {
        R"({"lastDisplayID":"A"})",                               // no positions
        R"({"positions":{"A":{"x":"100","top":50}}})",            // x is not a number
        R"({"positions":{"A":{"top":50}},"lastDisplayID":"A"})",  // no x
        R"({"positions":{"A":{"x":1,"top":2,"width":"wide"}}})",  // a size of the wrong type
        "not json",
    };
    for (const QByteArray& bytes : unreadable) {
        MemoryDefaults defaults;
        defaults.setData(kKey, bytes);
        ReaderWindowPositionStore store(defaults);
        EXPECT_EQ(store.position(kLaptop), std::nullopt) << bytes.constData();
        EXPECT_EQ(store.lastDisplayID(), std::nullopt) << bytes.constData();
        QCoreApplication::processEvents();
        EXPECT_EQ(defaults.object(kKey), DefaultsValue(bytes));
    }
    // Another type under the key: nothing to read.
    MemoryDefaults defaults;
    defaults.setString(kKey, uR"({"positions":{}})"_s);
    EXPECT_EQ(ReaderWindowPositionStore(defaults).lastDisplayID(), std::nullopt);

    // A position without a size reads without one, and is written back without one.
    defaults.setData(kKey, R"({"positions":{"A":{"x":100,"top":50}},"other":1})");
    ReaderWindowPositionStore store(defaults);
    EXPECT_EQ(store.position(kLaptop), (ReaderWindowPosition{.x = 100, .top = 50}));
    store.save(display(u"B"_s, {}));
    store.flush();
    const QJsonObject a = storedObject(defaults).value(u"positions"_s)[u"A"_s].toObject();
    EXPECT_EQ(a.keys(), (QStringList{u"top"_s, u"x"_s}));
    EXPECT_EQ(storedObject(defaults).value(u"lastDisplayID"_s).toString(), u"B"_s);
}

// ---- The controller ----------------------------------------------------------------------------------

// The desktop as a test makes it; the calls the controller makes are counted.
struct FakeDesktop {
    QList<ReaderDisplay> displays;
    QPointF pointer;
    bool isActive = true;
    int shows = 0;
    QList<X11Window> activated;
    // What the window manager tells of a hidden window's decorations, and how often it was asked.
    std::optional<QMargins> decorationsAhead;
    int decorationQueries = 0;

    ReaderWindowEnvironment environment() {
        return {
            .displays = [this] { return displays; },
            .pointer = [this] { return pointer; },
            .isActive = [this] { return isActive; },
            .show =
                [this](QWidget* window) {
                    ++shows;
                    window->show();
                    window->activateWindow();
                },
            .activate = [this](const X11Window& application) { activated.append(application); },
            .frameMarginsBeforeMapping =
                [this](QWidget*) {
                    ++decorationQueries;
                    return decorationsAhead;
                },
        };
    }
};

// The controller's displays lie below the offscreen platform's screen, where it moves windows freely
// (it pushes a frame above its screen down): at(x, y, …) is y − 3000.
QRectF at(double x, double y, double width, double height) {
    return QRectF(x, y - 3000, width, height);
}
QPointF at(double x, double y) {
    return QPointF(x, y - 3000);
}

// Two displays side by side, and one smaller above them.
const ReaderDisplay kLeft = display(u"left"_s, at(0, 0, 1600, 1000), at(0, 0, 1600, 970));
const ReaderDisplay kRight = display(u"right"_s, at(1600, 0, 1600, 1000), at(1600, 0, 1600, 970));
const ReaderDisplay kSmall = display(u"small"_s, at(0, 1000, 1024, 700));

class ReaderWindowControllerTest : public ::testing::Test {
protected:
    void SetUp() override {
        desktop.displays = {kLeft, kRight, kSmall};
        desktop.pointer = at(100, 100);
    }
    void TearDown() override { window.hide(); }

    ReaderWindowController& controller() {
        if (!m_controller) {
            m_controller = std::make_unique<ReaderWindowController>(defaults, desktop.environment());
            m_controller->attachWindow(&window);
        }
        return *m_controller;
    }
    QRectF frame() const { return ReaderScreens::fromQt(window.frameGeometry()); }
    // The window is on screen and the controller has placed it.
    void settle() {
        ASSERT_TRUE(processEventsUntil([&] { return window.windowHandle() && window.windowHandle()->isExposed(); }));
        QCoreApplication::processEvents();
        QCoreApplication::processEvents();
    }
    void moveTo(QPointF bottomLeft) {
        window.move(ReaderScreens::toQt(QRectF(bottomLeft, frame().size())).topLeft());
        QCoreApplication::processEvents();
    }
    void close() {
        window.close();
        QCoreApplication::processEvents();
    }

    MemoryDefaults defaults;
    FakeDesktop desktop;
    ReaderWindow window;
    std::unique_ptr<ReaderWindowController> m_controller;
};

TEST_F(ReaderWindowControllerTest, FirstOpeningIsCentredAndStoredThenTheLastDisplayIsKept) {
    controller().showNormally();
    settle();
    // No last display: the one under the pointer; the window at its own size (its decorations
    // included), centred.
    const QSizeF size = QSizeF(ReaderWindow::kDefaultSize + (window.frameGeometry().size() - window.size()));
    EXPECT_EQ(frame(), at(800 - size.width() / 2, 485 - size.height() / 2, size.width(), size.height()));
    EXPECT_EQ(controller().positions().lastDisplayID(), u"left"_s);
    EXPECT_EQ(controller().positions().position(kLeft)->x, 800 - size.width() / 2);

    // Moved to the right display: recorded there at its offsets, and it is the last display.
    moveTo(at(1700, 200));
    EXPECT_EQ(controller().positions().position(kRight)->x, 100);
    EXPECT_EQ(controller().positions().lastDisplayID(), u"right"_s);
    close();
    desktop.pointer = at(100, 100);
    controller().showNormally();
    settle();
    EXPECT_EQ(frame().topLeft(), at(1700, 200));

    // The last display gone: the display under the pointer, at its stored place.
    close();
    desktop.displays = {kLeft, kSmall};
    desktop.pointer = at(10, 1500);
    controller().showNormally();
    settle();
    EXPECT_EQ(frame().x(), (1024 - size.width()) / 2);
    EXPECT_EQ(controller().positions().lastDisplayID(), u"small"_s);
}

TEST_F(ReaderWindowControllerTest, InvokedComesUpOnTheInvocationsDisplayAndHandsTheFocusBack) {
    controller().positions().recordPosition(at(1650, 300, 800, 600), kRight);
    const X11Window other{.id = 77, .pid = ::getpid()};
    const ReaderWindowController::Invocation invocation{
        .application = other, .displayID = u"right"_s, .pointer = at(10, 10)};

    controller().showInvoked(invocation);
    settle();
    EXPECT_EQ(frame(), at(1650, 300, 800, 600));
    EXPECT_EQ(desktop.shows, 1);
    ASSERT_TRUE(processEventsUntil([&] { return window.isActiveWindow(); }));
    close();
    EXPECT_EQ(desktop.activated, QList{other});

    // Handed back once only; a normal opening hands nothing back.
    controller().showNormally();
    settle();
    close();
    EXPECT_EQ(desktop.activated.size(), 1);

    // The user left this application in between: nothing.
    controller().showInvoked(invocation);
    settle();
    desktop.isActive = false;
    emit qGuiApp->applicationStateChanged(Qt::ApplicationInactive);
    QCoreApplication::processEvents();
    desktop.isActive = true;
    close();
    EXPECT_EQ(desktop.activated.size(), 1);

    // Not active when closing: nothing.
    controller().showInvoked(invocation);
    settle();
    desktop.isActive = false;
    close();
    desktop.isActive = true;
    EXPECT_EQ(desktop.activated.size(), 1);

    // The application has ended.
    QProcess ended;
    ended.start(u"true"_s);
    ASSERT_TRUE(ended.waitForStarted());
    const pid_t gone = pid_t(ended.processId());
    ASSERT_TRUE(ended.waitForFinished());
    controller().showInvoked({.application = X11Window{.id = 78, .pid = gone}, .displayID = u"right"_s});
    settle();
    close();
    EXPECT_EQ(desktop.activated.size(), 1);

    // Quitting: the place is recorded and nothing is handed back.
    controller().showInvoked(invocation);
    settle();
    moveTo(at(1800, 100));
    controller().applicationWillTerminate();
    EXPECT_EQ(controller().positions().position(kRight)->x, 200);
    close();
    EXPECT_EQ(desktop.activated.size(), 1);
}

// Records the window's geometry as it is about to be mapped.
class GeometryAtShow : public QObject {
public:
    std::optional<QRect> geometry;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (event->type() == QEvent::Show) geometry = static_cast<QWidget*>(watched)->geometry();
        return QObject::eventFilter(watched, event);
    }
};

TEST_F(ReaderWindowControllerTest, AHiddenWindowGoingToAStoredPlaceGetsItBeforeItIsMapped) {
    GeometryAtShow shown;
    window.installEventFilter(&shown);
    const QMargins decorations(3, 24, 3, 3);
    desktop.decorationsAhead = decorations;

    // No stored place on the display: the window manager is not asked; placed once on screen.
    controller().showNormally();
    EXPECT_EQ(desktop.decorationQueries, 0);
    settle();
    close();

    // A stored place: the window has it, less the decorations told, before it is mapped; once on screen
    // it is placed as usual (here without decorations) and the stored place is unchanged.
    controller().positions().recordPosition(at(1650, 300, 800, 600), kRight);
    shown.geometry.reset();
    controller().showNormally();
    EXPECT_EQ(desktop.decorationQueries, 1);
    EXPECT_EQ(shown.geometry, ReaderScreens::toQt(at(1650, 300, 800, 600)).marginsRemoved(decorations));
    settle();
    EXPECT_EQ(frame(), at(1650, 300, 800, 600));
    EXPECT_EQ(controller().positions().position(kRight)->x, 50);

    // Shown already: nothing is asked before it is brought up.
    controller().showNormally();
    EXPECT_EQ(desktop.decorationQueries, 1);
    const QMargins seen = window.windowHandle()->frameMargins();
    close();

    // The window manager does not answer in time: the window takes the decorations it had when it was last on
    // screen, not the place it was left at while hidden.
    desktop.decorationsAhead.reset();
    window.move(window.pos() + QPoint(40, 40));
    shown.geometry.reset();
    controller().showInvoked({.application = std::nullopt, .displayID = u"right"_s, .pointer = at(10, 10)});
    EXPECT_EQ(desktop.decorationQueries, 2);
    EXPECT_EQ(shown.geometry, ReaderScreens::toQt(at(1650, 300, 800, 600)).marginsRemoved(seen));
    settle();
    EXPECT_EQ(frame(), at(1650, 300, 800, 600));
}

TEST_F(ReaderWindowControllerTest, AWindowNeverOnScreenWithoutTheWindowManagersAnswerIsPlacedOnceItIs) {
    GeometryAtShow shown;
    window.installEventFilter(&shown);
    controller().positions().recordPosition(at(1650, 300, 800, 600), kRight);
    const QRect before = window.geometry();
    controller().showNormally();
    EXPECT_EQ(desktop.decorationQueries, 1);
    EXPECT_EQ(shown.geometry, before);
    settle();
    EXPECT_EQ(frame(), at(1650, 300, 800, 600));
}

TEST_F(ReaderWindowControllerTest, AMoveKeepsTheLargerStoredSizeOnlyOnTheDisplayItWasPlacedOn) {
    controller().positions().recordPosition(at(1700, 100, 500, 500), kRight);
    controller().positions().recordPosition(at(0, 1000, 10, 10), kSmall, QSizeF(1200, 900));
    controller().showNormally();
    settle();
    // Too large for the small display: as large as it allows.
    EXPECT_EQ(frame(), at(0, 1000, 1024, 700));

    // Moved there without a resize: the larger size stays stored.
    moveTo(at(50, 1000));
    EXPECT_EQ(controller().positions().position(kSmall),
              (ReaderWindowPosition{.x = 50, .top = 0, .width = 1200, .height = 900}));
    // Moved on to another display: the size it has there, not the one stored there earlier.
    moveTo(at(1700, 100));
    EXPECT_EQ(controller().positions().position(kRight),
              (ReaderWindowPosition{.x = 100, .top = 170, .width = 1024, .height = 700}));

    // Resized: the new size.
    controller().showNormally();
    settle();
    EXPECT_EQ(frame(), at(1700, 100, 1024, 700));
    window.resize(window.size() - QSize(100, 50));
    QCoreApplication::processEvents();
    EXPECT_EQ(controller().positions().position(kRight)->width, 924);
    EXPECT_EQ(controller().positions().position(kRight)->height, 650);
}

TEST_F(ReaderWindowControllerTest, EveryFrameTheUserGivesIsRecordedAlsoTheOneTheControllerSet) {
    controller().positions().recordPosition(at(1700, 100, 800, 600), kRight);
    controller().positions().save(kRight);
    controller().showNormally();
    settle();
    const QRectF placed = frame();
    ASSERT_EQ(placed, at(1700, 100, 800, 600));
    const auto stored = [&] { return controller().positions().position(kRight); };

    // Resized, then back to the size the controller set: the last size is the one kept.
    window.resize(window.size() - QSize(100, -80));
    QCoreApplication::processEvents();
    EXPECT_EQ(stored()->width, 700);
    window.resize(window.size() + QSize(100, -80));
    QCoreApplication::processEvents();
    EXPECT_EQ(stored(), (ReaderWindowPosition{.x = 100, .top = 270, .width = 800, .height = 600}));
    // A show puts back the frame the window has, never the one before.
    controller().showInvoked({.displayID = u"right"_s, .pointer = at(1700, 100)});
    settle();
    EXPECT_EQ(frame(), placed);

    // Moved away and back to the placed frame: recorded there again.
    moveTo(at(1800, 200));
    moveTo(placed.topLeft());
    EXPECT_EQ(stored(), (ReaderWindowPosition{.x = 100, .top = 270, .width = 800, .height = 600}));

    // On a display too small for the stored size, the user shrinks the window and gives it back the most
    // the display allows: that size, not the larger one stored before.
    controller().positions().recordPosition(at(0, 1000, 10, 10), kSmall, QSizeF(1200, 900));
    desktop.pointer = at(10, 1500);
    controller().showInvoked({.displayID = u"small"_s, .pointer = at(10, 1500)});
    settle();
    ASSERT_EQ(frame(), at(0, 1000, 1024, 700));
    window.resize(window.size() - QSize(24, 0));
    QCoreApplication::processEvents();
    window.resize(window.size() + QSize(24, 0));
    QCoreApplication::processEvents();
    EXPECT_EQ(controller().positions().position(kSmall)->width, 1024);
}

TEST_F(ReaderWindowControllerTest, FullScreenIsLeftOnlyForAnInvocationOnAnotherDisplay) {
    controller().showNormally();
    settle();
    window.showFullScreen();
    QCoreApplication::processEvents();
    const ReaderDisplay underFullScreen = *displayForFrame(frame(), {}, desktop.displays);
    const ReaderDisplay elsewhere = underFullScreen == kLeft ? kRight : kLeft;

    // The same display, and a normal opening: it stays in full screen, and nothing is recorded.
    controller().showInvoked({.displayID = underFullScreen.id, .pointer = {}});
    settle();
    controller().showNormally();
    settle();
    EXPECT_TRUE(window.isFullScreen());
    EXPECT_EQ(controller().positions().lastDisplayID(), u"left"_s);

    // Another display: it leaves full screen and comes up there.
    controller().positions().recordPosition(at(elsewhere.frame.x() + 30, 40, 700, 600), elsewhere);
    controller().showInvoked({.displayID = elsewhere.id, .pointer = {}});
    settle();
    EXPECT_FALSE(window.isFullScreen());
    EXPECT_EQ(frame(), at(elsewhere.frame.x() + 30, 40, 700, 600));
}

TEST_F(ReaderWindowControllerTest, AChangedDisplaySetPlacesTheWindowAgain) {
    controller().positions().recordPosition(at(1700, 100, 700, 600), kRight);
    controller().positions().recordPosition(at(100, 200, 700, 600), kLeft);
    controller().positions().save(kRight);
    controller().showNormally();
    settle();
    EXPECT_EQ(frame(), at(1700, 100, 700, 600));

    // The right display unplugged; the pointer was on the left one.
    desktop.displays = {kLeft};
    controller().screensChanged();
    EXPECT_EQ(frame(), at(100, 200, 700, 600));
    EXPECT_EQ(controller().positions().lastDisplayID(), u"left"_s);
    // No display at all: the window stays, and is placed once a display is back.
    desktop.displays = {};
    controller().screensChanged();
    EXPECT_EQ(frame(), at(100, 200, 700, 600));
    desktop.displays = {kRight};
    controller().screensChanged();
    EXPECT_EQ(frame(), at(1700, 100, 700, 600));
}

}  // namespace
}  // namespace tavrine
