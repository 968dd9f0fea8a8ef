// The application on a real X server with openbox, wide enough for two monitors side by side: its tray
// icon docking in a system tray that starts after it (tray-manager, another X client, as a panel started
// later or restarted) and drawn from the application's icon on a light and a dark panel; the settings
// window opening centred over the screen the reader window is on.
#include "PelmoraMac/App/PelmoraApp.h"
#include "PelmoraMac/Menus/ReaderCommands.h"
#include "PelmoraMac/Settings/ReaderSettingsView.h"
#include "PelmoraMac/Window/ReaderWindow.h"

#include "AppTesting.h"
#include "support/CheckoutPaths.h"
#include "support/EventLoop.h"
#include "support/GuiTesting.h"
#include "support/QtPrinters.h"
#include "support/TemporaryDirectory.h"

#include <gtest/gtest.h>
#include <QApplication>
#include <QGuiApplication>
#include <QImage>
#include <QPixmap>
#include <QProcess>
#include <QScreen>
#include <QSystemTrayIcon>
#include <QThread>
#include <QWidget>

#include <cstdlib>
#include <memory>

namespace tavrine {
namespace {
using namespace Qt::StringLiterals;
using test::processEventsUntil;

constexpr int kPanelHeight = 32;

void run(const QString& program, const QStringList& arguments) {
    QProcess process;
    process.start(program, arguments);
    ASSERT_TRUE(process.waitForFinished(test::patienceMilliseconds())) << program.toStdString();
    ASSERT_EQ(process.exitCode(), 0) << program.toStdString() << ": " << process.readAllStandardError().toStdString();
}

// A tray started now: a panel of the colour given along the screen's top edge.
class Tray {
public:
    explicit Tray(const QString& colour) {
        m_process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        m_process.start(test::inCheckout(TRAY_MANAGER), {colour, u"240"_s, QString::number(kPanelHeight)});
        m_process.waitForStarted(test::patienceMilliseconds());
    }
    ~Tray() {
        m_process.kill();
        m_process.waitForFinished();
    }
    Tray(const Tray&) = delete;
    Tray& operator=(const Tray&) = delete;

    // The window of the next icon docked, 0 if none docks within the wait.
    WId nextDocked() {
        WId docked = 0;
        processEventsUntil([&] {
            while (m_process.canReadLine()) {
                const QByteArray line = m_process.readLine().trimmed();
                if (line.startsWith("docked ")) docked = line.mid(7).toULongLong(nullptr, 16);
            }
            return docked != 0;
        });
        return docked;
    }

private:
    QProcess m_process;
};

// Qt's own window of the tray icon, while it has one.
QWidget* trayIconWindow() {
    for (QWidget* widget : QApplication::topLevelWidgets()) {
        if (widget->objectName() == u"QSystemTrayIconSys" && widget->testAttribute(Qt::WA_WState_Created)) {
            return widget;
        }
    }
    return nullptr;
}

QImage panelShot() {
    return QGuiApplication::primaryScreen()->grabWindow(0, 0, 0, 240, kPanelHeight).toImage();
}

// The application's icon at the panel's height in the panel's first place: its light reading line just
// above the middle, an amber mark above that, and the navy tile below-left of the centre.
bool showsTheApplicationIcon(const QImage& shot) {
    const QColor line = shot.pixelColor(16, 13);
    const QColor mark = shot.pixelColor(16, 8);
    const QColor tile = shot.pixelColor(7, 25);
    return line.red() > 200 && line.green() > 200 && line.blue() > 180 && mark.red() > 200 && mark.green() > 150 &&
           mark.blue() < 120 && tile.red() < 60 && tile.green() < 80 && tile.blue() < 100;
}

class TrayAndSettings : public testing::Test {
protected:
    TrayAndSettings() : under(folder.filePath(u"reading-store.json"_s)) {}
    PelmoraApp& app() { return *under.app; }

    test::TemporaryDirectory folder;
    test::AppUnderTest under;
};

TEST_F(TrayAndSettings, TheTrayIconDocksInATrayThatComesLaterAndComesBackWithIt) {
    ASSERT_FALSE(QSystemTrayIcon::isSystemTrayAvailable()) << "the test's display has a tray already";
    app().openReader();
    ASSERT_TRUE(test::effectWithin([&] { return app().readerWindow().isVisible(); }));
    QSystemTrayIcon* icon = app().commands().trayIcon();
    ASSERT_NE(icon, nullptr) << "no tray icon made without a tray";
    EXPECT_TRUE(icon->isVisible());
    EXPECT_EQ(trayIconWindow(), nullptr);

    struct Panel {
        QString colour;
        QString artifact;
    };
    for (const Panel& panel :
         {Panel{u"#ececec"_s, u"tray-light-panel.png"_s}, Panel{u"#202020"_s, u"tray-dark-panel.png"_s}}) {
        SCOPED_TRACE(panel.colour.toStdString());
        Tray tray(panel.colour);
        const WId docked = tray.nextDocked();
        ASSERT_NE(docked, 0u) << "the icon did not dock";
        QWidget* window = trayIconWindow();
        ASSERT_NE(window, nullptr);
        EXPECT_EQ(window->winId(), docked);
        QImage shot;
        EXPECT_TRUE(test::effectWithin([&] {
            shot = panelShot();
            return showsTheApplicationIcon(shot);
        })) << "the docked icon does not show the application's icon";
        const QColor background(panel.colour);
        EXPECT_EQ(shot.pixelColor(200, 16), background) << "the panel beside the icon";
        shot.scaled(shot.size() * 4, Qt::KeepAspectRatio, Qt::FastTransformation)
            .save(test::testArtifactPath(panel.artifact));
        // The tray goes away (its panel ends): the next one takes the icon again.
    }
    // With the last tray gone the icon has no window, and is still meant to show.
    EXPECT_TRUE(test::effectWithin([] { return trayIconWindow() == nullptr; }));
    EXPECT_TRUE(icon->isVisible());
}

QScreen* screenStartingAt(int x) {
    for (QScreen* screen : QGuiApplication::screens()) {
        if (screen->geometry().x() == x) return screen;
    }
    return nullptr;
}

TEST_F(TrayAndSettings, TheSettingsWindowOpensCentredOverTheReaderWindowsScreen) {
    ASSERT_GE(QGuiApplication::primaryScreen()->geometry().width(), 2560)
        << "run with TAVRINE_XVFB_SCREEN=2560x1024x24";
    run(u"xrandr"_s, {u"--setmonitor"_s, u"tray-left"_s, u"1280/0x1024/0+0+0"_s, u"screen"_s});
    run(u"xrandr"_s, {u"--setmonitor"_s, u"tray-right"_s, u"1280/0x1024/0+1280+0"_s, u"none"_s});
    struct Cleanup {
        ~Cleanup() {
            QProcess::execute(u"xrandr"_s, {u"--delmonitor"_s, u"tray-right"_s});
            QProcess::execute(u"xrandr"_s, {u"--delmonitor"_s, u"tray-left"_s});
        }
    } cleanup;
    ASSERT_TRUE(test::effectWithin([] { return QGuiApplication::screens().size() == 2; }));
    QScreen* left = screenStartingAt(0);
    QScreen* right = screenStartingAt(1280);
    ASSERT_TRUE(left && right);

    app().openReader();
    ReaderWindow& reader = app().readerWindow();
    ASSERT_TRUE(test::effectWithin([&] { return reader.isVisible(); }));
    ReaderSettingsView& settings = app().settingsWindow();
    // Centred, frame and all; a window manager may still be adding its frame when the window appears.
    const auto centredOn = [&](const QScreen* screen) {
        return test::effectWithin([&] {
            const QPoint offset = settings.frameGeometry().center() - screen->availableGeometry().center();
            return settings.isVisible() && std::abs(offset.x()) <= 1 && std::abs(offset.y()) <= 1;
        });
    };

    for (QScreen* screen : {right, left}) {
        SCOPED_TRACE(screen->name().toStdString());
        reader.move(screen->geometry().topLeft() + QPoint(200, 150));
        ASSERT_TRUE(test::effectWithin([&] { return reader.screen() == screen; }));
        app().openSettings();
        EXPECT_TRUE(centredOn(screen)) << "settings at " << testing::PrintToString(QRectF(settings.frameGeometry()))
                                       << ", the screen's area "
                                       << testing::PrintToString(QRectF(screen->availableGeometry()));
        processEventsUntil([] { return false; }, std::chrono::milliseconds(300));
        screen->grabWindow(0).save(test::testArtifactPath(u"settings-centred-" + screen->name() + u".png"));

        // Opened again while open: it stays where the user moved it (where the window manager put it).
        settings.move(settings.pos() + QPoint(40, 30));
        QPoint moved;
        int steady = 0;
        ASSERT_TRUE(test::effectWithin([&] {
            steady = settings.pos() == moved ? steady + 1 : 0;
            moved = settings.pos();
            QThread::msleep(20);
            return steady >= 10;
        }));
        app().openSettings();
        processEventsUntil([] { return false; }, std::chrono::milliseconds(300));
        EXPECT_TRUE(settings.pos() == moved) << testing::PrintToString(QPointF(settings.pos()));
        settings.close();
        ASSERT_TRUE(test::effectWithin([&] { return !settings.isVisible(); }));
    }
}

}  // namespace
}  // namespace tavrine
