// The capture hot keys grabbed on a real X server, driven by xdotool (ctrl is Ctrl, super Meta, alt Alt).
#include "PelmoraMac/Capture/X11/GlobalCaptureShortcut.h"
#include "PelmoraMac/Capture/X11/X11Keymap.h"
#include "PelmoraMac/X11/X11Connection.h"
#include "ReaderCore/MemoryDefaults.h"

#include "support/EventLoop.h"
#include "support/GuiTesting.h"
#include "support/QtPrinters.h"

#include <gtest/gtest.h>
#include <QProcess>
#include <QThread>

#include <xcb/xcb.h>

#include <cstdlib>

namespace tavrine {
namespace {
using namespace Qt::StringLiterals;
using Shortcut = GlobalCaptureShortcut;

void xdotool(const QStringList& arguments) {
    QProcess process;
    process.start(u"xdotool"_s, arguments);
    ASSERT_TRUE(process.waitForFinished(test::patienceMilliseconds()));
    ASSERT_EQ(process.exitCode(), 0) << process.readAllStandardError().toStdString();
}

// Lets the X server's events reach the application.
void runEventsFor(std::chrono::milliseconds time) {
    test::processEventsUntil([] { return false; }, time);
}

class HotKeysOnX11 : public testing::Test {
protected:
    void SetUp() override {
        ASSERT_NE(qtX11Connection(), nullptr) << "the X11 tests run on the xcb platform";
        frontmost.start([this] { ++frontmostFired; });
        clipboard.start([this] { ++clipboardFired; });
        ASSERT_TRUE(frontmost.isRegistered()) << frontmost.errorMessage().value_or(QString()).toStdString();
        ASSERT_TRUE(clipboard.isRegistered()) << clipboard.errorMessage().value_or(QString()).toStdString();
    }

    MemoryDefaults defaults;
    Shortcut frontmost{Shortcut::Command::frontmost, defaults};
    Shortcut clipboard{Shortcut::Command::clipboard, defaults};
    int frontmostFired = 0;
    int clipboardFired = 0;
};

TEST_F(HotKeysOnX11, TheClipboardChordRunsOnlyItsActionOnceWhenReleasedAlsoWhenHeld) {
    xdotool({u"keydown"_s, u"ctrl+super+alt+v"_s});
    runEventsFor(std::chrono::milliseconds(200));
    EXPECT_EQ(clipboardFired, 0);  // not on the press
    xdotool({u"keyup"_s, u"v"_s});
    ASSERT_TRUE(test::effectWithin([&] { return clipboardFired > 0; }));
    xdotool({u"keyup"_s, u"ctrl+super+alt"_s});
    runEventsFor(std::chrono::milliseconds(200));
    EXPECT_EQ(clipboardFired, 1);
    EXPECT_EQ(frontmostFired, 0);

    // Held a second, long enough for the key to repeat: still once.
    xdotool({u"keydown"_s, u"ctrl+super+alt+v"_s});
    runEventsFor(std::chrono::milliseconds(1'000));
    xdotool({u"keyup"_s, u"ctrl+super+alt+v"_s});
    ASSERT_TRUE(test::effectWithin([&] { return clipboardFired > 1; }));
    runEventsFor(std::chrono::milliseconds(300));
    EXPECT_EQ(clipboardFired, 2);

    // The other chord runs the other action.
    xdotool({u"key"_s, u"ctrl+super+alt+r"_s});
    ASSERT_TRUE(test::effectWithin([&] { return frontmostFired == 1; }));
    EXPECT_EQ(clipboardFired, 2);
    // Without Meta the chord is another: nothing runs.
    xdotool({u"key"_s, u"ctrl+alt+v"_s});
    runEventsFor(std::chrono::milliseconds(200));
    EXPECT_EQ(clipboardFired, 2);
}

TEST_F(HotKeysOnX11, AChordAnotherClientHoldsIsRefusedAndTheOldChordStillFires) {
    xcb_connection_t* other = xcb_connect(nullptr, nullptr);
    ASSERT_EQ(xcb_connection_has_error(other), 0);
    const X11Keymap keymap(other);
    const auto keycode = keymap.keycodeOf('a');
    ASSERT_TRUE(keycode);
    const xcb_window_t root = xcb_setup_roots_iterator(xcb_get_setup(other)).data->root;
    xcb_generic_error_t* error = xcb_request_check(
        other,
        xcb_grab_key_checked(other, 1, root, std::uint16_t(XCB_MOD_MASK_CONTROL | XCB_MOD_MASK_1 | keymap.superMask()),
                             *keycode, XCB_GRAB_MODE_ASYNC, XCB_GRAB_MODE_ASYNC));
    ASSERT_EQ(error, nullptr);

    EXPECT_FALSE(clipboard.setChord({0, 6400}, frontmost.chord(), true));
    EXPECT_EQ(
        clipboard.errorMessage(),
        u"このキーは既に登録されています。別のキーを選ぶか、競合するアプリの設定を変更して再登録してください。現在のMeta+Ctrl+Alt+Vは引き続き使えます。"_s);
    EXPECT_EQ(clipboard.chord(), Shortcut::defaultChord(Shortcut::Command::clipboard));
    xdotool({u"key"_s, u"ctrl+super+alt+v"_s});
    ASSERT_TRUE(test::effectWithin([&] { return clipboardFired == 1; }));

    // Our other shortcut's chord is held too, by this process.
    EXPECT_FALSE(clipboard.setChord(frontmost.chord(), std::nullopt, false));
    EXPECT_TRUE(clipboard.errorMessage()->startsWith(u"このキーは既に登録されています。"_s));

    // Once the other client lets it go, the chord can be taken: once the server has ended the other connection,
    // as late as a loaded machine makes it.
    xcb_disconnect(other);
    EXPECT_TRUE(test::effectWithin([&] { return clipboard.setChord({0, 6400}, frontmost.chord(), true); }));
    xdotool({u"key"_s, u"ctrl+super+alt+a"_s});
    ASSERT_TRUE(test::effectWithin([&] { return clipboardFired == 2; }));
    xdotool({u"key"_s, u"ctrl+super+alt+v"_s});
    runEventsFor(std::chrono::milliseconds(200));
    EXPECT_EQ(clipboardFired, 2);
}

}  // namespace
}  // namespace tavrine
