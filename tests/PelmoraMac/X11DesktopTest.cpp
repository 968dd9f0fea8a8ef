#include "PelmoraMac/X11/X11Connection.h"
#include "PelmoraMac/X11/X11Desktop.h"
#include "support/CheckoutPaths.h"
#include "support/EventLoop.h"

#include <gtest/gtest.h>
#include <QProcess>

#include <xcb/xcb.h>

#include <cstdlib>
#include <cstring>
#include <memory>

namespace tavrine {
namespace {
using namespace Qt::StringLiterals;

// The window manager's part, played by the test on its own connection: the input focus and the
// root's _NET_ACTIVE_WINDOW; and other applications' windows, shown by x11-window-owner processes.
class FrontWindow : public ::testing::Test {
protected:
    void SetUp() override {
        m_connection = xcb_connect(nullptr, nullptr);
        ASSERT_EQ(xcb_connection_has_error(m_connection), 0);
        m_root = xcb_setup_roots_iterator(xcb_get_setup(m_connection)).data->root;
        const char name[] = "_NET_ACTIVE_WINDOW";
        xcb_intern_atom_reply_t* atom =
            xcb_intern_atom_reply(m_connection, xcb_intern_atom(m_connection, 0, sizeof name - 1, name), nullptr);
        m_activeWindow = atom->atom;
        std::free(atom);
        ASSERT_NE(qtX11Connection(), nullptr) << "the X11 tests run on the xcb platform";
    }

    void TearDown() override {
        xcb_delete_property(m_connection, m_root, m_activeWindow);
        focus(XCB_INPUT_FOCUS_POINTER_ROOT);
        for (auto& owner : m_owners) {
            owner->closeWriteChannel();
            owner->waitForFinished(5'000);
        }
        xcb_disconnect(m_connection);
    }

    struct Shown {
        QProcess* process;
        std::uint32_t top;
        std::uint32_t child;
    };
    Shown show(const QStringList& arguments = {}) {
        auto owner = std::make_unique<QProcess>();
        owner->setProcessChannelMode(QProcess::ForwardedErrorChannel);
        owner->start(test::inCheckout(X11_WINDOW_OWNER), arguments);
        EXPECT_TRUE(owner->waitForReadyRead(test::patienceMilliseconds()));
        const QList<QByteArray> ids = owner->readLine().trimmed().split(' ');
        EXPECT_EQ(ids.size(), 2);
        m_owners.push_back(std::move(owner));
        return {m_owners.back().get(), ids.value(0).toUInt(), ids.value(1).toUInt()};
    }

    void focus(std::uint32_t window) {
        xcb_generic_error_t* error = xcb_request_check(
            m_connection,
            xcb_set_input_focus_checked(m_connection, XCB_INPUT_FOCUS_POINTER_ROOT, window, XCB_CURRENT_TIME));
        EXPECT_EQ(error, nullptr);
        std::free(error);
    }
    void setActiveWindow(std::uint32_t window) {
        // Checked, so the server has applied it before the application's connection asks: a flush
        // alone lets a busy server answer the other client first.
        xcb_generic_error_t* error = xcb_request_check(
            m_connection, xcb_change_property_checked(m_connection, XCB_PROP_MODE_REPLACE, m_root, m_activeWindow,
                                                      XCB_ATOM_WINDOW, 32, 1, &window));
        EXPECT_EQ(error, nullptr);
        std::free(error);
    }

    X11Desktop desktop() { return X11Desktop(qtX11Connection()); }

private:
    xcb_connection_t* m_connection = nullptr;
    std::uint32_t m_root = 0;
    std::uint32_t m_activeWindow = 0;
    std::vector<std::unique_ptr<QProcess>> m_owners;
};

TEST_F(FrontWindow, WithoutAWindowManagerItIsTheTopLevelWindowOfTheInputFocus) {
    ASSERT_TRUE(X11Desktop::ofApplication());
    focus(XCB_INPUT_FOCUS_POINTER_ROOT);
    EXPECT_EQ(desktop().frontWindow(), std::nullopt);
    focus(XCB_INPUT_FOCUS_NONE);
    EXPECT_EQ(desktop().frontWindow(), std::nullopt);

    // Without _NET_WM_PID, the process is the one of the client that made the window.
    const Shown plain = show();
    focus(plain.child);
    EXPECT_EQ(desktop().frontWindow(), (X11Window{.id = plain.top, .pid = pid_t(plain.process->processId())}));
    EXPECT_EQ(desktop().frontProcess(), pid_t(plain.process->processId()));

    // A window that names its process is taken at its word.
    const Shown declared = show({u"--pid"_s, u"4242"_s});
    focus(declared.top);
    EXPECT_EQ(desktop().frontWindow(), (X11Window{.id = declared.top, .pid = 4242}));
}

TEST_F(FrontWindow, AWindowManagersActiveWindowComesBeforeTheFocus) {
    const Shown focused = show();
    const Shown active = show();
    focus(focused.child);
    setActiveWindow(active.top);
    EXPECT_EQ(desktop().frontWindow(), (X11Window{.id = active.top, .pid = pid_t(active.process->processId())}));
    // The window manager says that no window is active.
    setActiveWindow(XCB_WINDOW_NONE);
    EXPECT_EQ(desktop().frontWindow(), std::nullopt);
    EXPECT_EQ(desktop().frontProcess(), std::nullopt);
}

}  // namespace
}  // namespace tavrine
