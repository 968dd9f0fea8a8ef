// The application's two windows on a real X server with openbox, keys sent by xdotool (ctrl is Ctrl, super
// Meta, alt Alt): the hot-key recorder on real key events while the grabbed hot keys let their chords
// through, and the application's activity while the focus moves between its windows and away.
#include "PelmoraMac/App/PelmoraApp.h"
#include "PelmoraMac/App/ReaderAppDelegate.h"
#include "PelmoraMac/Capture/CaptureModel.h"
#include "PelmoraMac/Library/MacReadingPlayback.h"
#include "PelmoraMac/Menus/ReaderCommands.h"
#include "PelmoraMac/Menus/ReaderMenuState.h"
#include "PelmoraMac/Settings/CaptureSettingsTab.h"
#include "PelmoraMac/Settings/ReaderPermissionButtons.h"
#include "PelmoraMac/Settings/ReaderSettingsView.h"
#include "PelmoraMac/Settings/ShortcutRecorder.h"
#include "PelmoraMac/Settings/ShortcutSetting.h"
#include "PelmoraMac/Window/ReaderWindow.h"
#include "ReaderUI/Player/ReadingPlayer.h"

#include "AppTesting.h"
#include "support/CheckoutPaths.h"
#include "support/EventLoop.h"
#include "support/GuiTesting.h"
#include "support/QtPrinters.h"
#include "support/ReceivedPresses.h"
#include "support/TemporaryDirectory.h"

#include <gtest/gtest.h>
#include <QAction>
#include <QApplication>
#include <QGuiApplication>
#include <QLabel>
#include <QProcess>
#include <QPushButton>
#include <QTabWidget>

namespace tavrine {
namespace {
using namespace Qt::StringLiterals;
using test::processEventsUntil;
using S = GlobalCaptureShortcut;

void xdotool(const QStringList& arguments) {
    QProcess process;
    process.start(u"xdotool"_s, arguments);
    ASSERT_TRUE(process.waitForFinished(test::patienceMilliseconds()));
    ASSERT_EQ(process.exitCode(), 0) << process.readAllStandardError().toStdString();
}

// Activates the window through the window manager, again when it stays inactive after a try.
void activate(QWidget& window) {
    ASSERT_TRUE(test::madeAgain(
        [&] {
            xdotool({u"windowactivate"_s, u"--sync"_s, QString::number(window.winId())});
        },
        [&] { return window.isActiveWindow(); }));
}

// Activates a window just opened, once the window manager and the application have settled its own
// activation (the window asks for it once it is exposed).
void activateOpened(QWidget& window) {
    activate(window);
    test::processEventsUntil([] { return false; }, std::chrono::milliseconds(300));
    activate(window);
}

// The top-level windows, bottom to top, as the window manager stacks them.
QList<WId> stackingOrder() {
    QProcess xprop;
    xprop.start(u"xprop"_s, {u"-root"_s, u"_NET_CLIENT_LIST_STACKING"_s});
    if (!xprop.waitForFinished(10'000)) return {};
    const QString output = QString::fromLatin1(xprop.readAllStandardOutput());
    QList<WId> windows;
    for (const QString& item : output.section(u'#', 1).split(u',', Qt::SkipEmptyParts)) {
        windows.append(WId(item.trimmed().toULongLong(nullptr, 16)));
    }
    return windows;
}

class TwoWindows : public testing::Test {
protected:
    TwoWindows() : under(folder.filePath(u"reading-store.json"_s), &registerX11HotKey) {}
    PelmoraApp& app() { return *under.app; }

    test::TemporaryDirectory folder;
    test::AppUnderTest under;
};

TEST_F(TwoWindows, TheRecorderTakesRealChordsAlsoThoseTheHotKeysHold) {
    app().openReader();
    ASSERT_TRUE(app().shortcut().isRegistered()) << app().shortcut().errorMessage().value_or(QString()).toStdString();
    app().openSettings();
    ReaderSettingsView& settings = app().settingsWindow();
    settings.tabs().setCurrentIndex(1);
    activateOpened(settings);
    ShortcutSetting& row = settings.captureTab().shortcutRow();
    ShortcutRecorder& recorder = row.recorder();
    const auto record = [&](const QString& keys) {
        recorder.click();
        EXPECT_TRUE(recorder.isRecording());
        EXPECT_TRUE(test::effectWithin([&] { return recorder.hasFocus() && settings.isActiveWindow(); }));
        test::processEventsUntil([] { return false; }, std::chrono::milliseconds(100));
        const test::ReceivedKeys received;
        if (!test::keyReached(received, [&] { xdotool({u"key"_s, u"--clearmodifiers"_s, keys}); })) return false;
        return test::effectWithin([&] { return !recorder.isRecording(); });
    };

    ASSERT_TRUE(record(u"ctrl+alt+shift+1"_s));
    EXPECT_EQ(recorder.text(), u"Ctrl+Alt+Shift+1"_s);
    ASSERT_TRUE(record(u"ctrl+super+alt+shift+r"_s));
    EXPECT_EQ(recorder.text(), u"Meta+Ctrl+Alt+Shift+R"_s);
    ASSERT_TRUE(record(u"Escape"_s));
    EXPECT_EQ(recorder.text(), u"Meta+Ctrl+Alt+Shift+R"_s);
    ASSERT_TRUE(record(u"Tab"_s));
    EXPECT_TRUE(test::effectWithin([&] { return row.saveButton().hasFocus(); }));

    // The quit key is a chord like any other here.
    ASSERT_TRUE(record(u"ctrl+q"_s));
    EXPECT_EQ(recorder.text(), u"Ctrl+Q"_s);
    test::processEventsUntil([] { return false; }, std::chrono::milliseconds(200));
    EXPECT_FALSE(app().delegate().isFinishing());

    // The clipboard hot key's own chord reaches the recorder and runs nothing.
    ASSERT_TRUE(record(u"ctrl+super+alt+v"_s));
    EXPECT_EQ(recorder.text(), u"Meta+Ctrl+Alt+V"_s);
    EXPECT_FALSE(app().capture().usesClipboard());
    row.saveButton().click();
    EXPECT_EQ(row.errorLabel().text(), u"もう一つの取り込み操作と同じキーです。別の組み合わせを選んでください。"_s);
    EXPECT_TRUE(row.draft());

    ASSERT_TRUE(record(u"ctrl+alt+2"_s));
    row.saveButton().click();
    EXPECT_EQ(row.currentLine().text(), u"現在の設定：Ctrl+Alt+2（登録済み）"_s);
    EXPECT_EQ(app().defaults().object(u"reader.mac.captureShortcut.1"_s),
              DefaultsValue(QByteArray(R"({"keyCode":19,"modifiers":2304})")));
    EXPECT_EQ(app().capture().frontmostShortcutLabel(), u"Ctrl+Alt+2"_s);
    const QAction& line = app().commands().action(ReaderMenuItem::frontmostShortcutLine);
    EXPECT_TRUE(test::effectWithin([&] { return line.text() == u"他アプリで取り込む：Ctrl+Alt+2"_s; }))
        << line.text().toStdString();

    // Refused while the settings window is active; run once the reader is.
    xdotool({u"key"_s, u"--clearmodifiers"_s, u"ctrl+alt+2"_s});
    test::processEventsUntil([] { return false; }, std::chrono::milliseconds(300));
    EXPECT_FALSE(app().capture().failure());
    activate(app().readerWindow());
    xdotool({u"key"_s, u"--clearmodifiers"_s, u"ctrl+alt+2"_s});
    // Without a source in front, the capture ends at once with its failure.
    EXPECT_TRUE(test::effectWithin([&] { return app().capture().failure() == CaptureFailure::noSource; }));
}

// "システム設定を開く" (here and in the reader's capture notice) brings the settings window to the user on
// its capture tab, also when it is open behind the reader window, or minimised.
TEST_F(TwoWindows, OpeningThePermissionSettingsBringsTheOpenSettingsWindowUpOnItsCaptureTab) {
    app().openReader();
    ReaderWindow& reader = app().readerWindow();
    activate(reader);
    app().openSettings();
    ReaderSettingsView& settings = app().settingsWindow();
    activateOpened(settings);
    const auto behindTheReader = [&] {
        settings.tabs().setCurrentIndex(0);
        activate(reader);
        return test::effectWithin([&] { return stackingOrder().value(stackingOrder().size() - 1) == reader.winId(); });
    };
    // The tab scrolled to the permission's state and buttons.
    const auto broughtUpOnTheCaptureTab = [&] {
        return test::effectWithin([&] {
                   return settings.isActiveWindow() && !settings.isMinimized() &&
                          stackingOrder().value(stackingOrder().size() - 1) == settings.winId();
               }) &&
               settings.tabs().currentWidget() == &settings.captureTab() &&
               !settings.captureTab().accessibilityStatus().visibleRegion().isEmpty() &&
               !settings.captureTab().permissionButtons().visibleRegion().isEmpty();
    };

    ASSERT_TRUE(behindTheReader());
    app().capture().openAccessibilitySettings();
    EXPECT_TRUE(broughtUpOnTheCaptureTab());

    ASSERT_TRUE(behindTheReader());
    settings.showMinimized();
    ASSERT_TRUE(test::effectWithin([&] { return settings.isMinimized() && reader.isActiveWindow(); }));
    settings.captureTab().permissionButtons().openSettingsButton().click();
    EXPECT_TRUE(broughtUpOnTheCaptureTab());
}

TEST_F(TwoWindows, TheFocusMovingBetweenOurWindowsKeepsPlayingAndAnotherProgramPausesIt) {
    app().openReader();
    activate(app().readerWindow());
    app().openSample();
    ReadingPlayer& player = app().playback().player();
    app().requestPlayback(ReaderPlaybackRequest::Action::togglePlayback);
    ASSERT_TRUE(test::effectWithin([&] { return player.session().status == ReadingSession::Status::playing; }));

    QList<Qt::ApplicationState> states;
    // Gone with the test, before the list.
    QObject listening;
    QObject::connect(qGuiApp, &QGuiApplication::applicationStateChanged, &listening,
                     [&](Qt::ApplicationState state) { states << state; });
    app().openSettings();
    activateOpened(app().settingsWindow());
    activate(app().readerWindow());
    activate(app().settingsWindow());
    test::processEventsUntil([] { return false; }, std::chrono::milliseconds(300));
    EXPECT_FALSE(states.contains(Qt::ApplicationInactive));
    EXPECT_EQ(player.session().status, ReadingSession::Status::playing);

    QProcess other;
    other.start(test::inCheckout(X11_WINDOW_OWNER));
    ASSERT_TRUE(other.waitForReadyRead(test::patienceMilliseconds()));
    const QString window = QString::fromLatin1(other.readLine()).section(u' ', 0, 0);
    xdotool({u"windowactivate"_s, window});
    EXPECT_TRUE(test::effectWithin([] { return QGuiApplication::applicationState() != Qt::ApplicationActive; }));
    EXPECT_TRUE(test::effectWithin([&] { return player.session().status != ReadingSession::Status::playing; }));
    other.closeWriteChannel();
    other.waitForFinished(5'000);
}

}  // namespace
}  // namespace tavrine
