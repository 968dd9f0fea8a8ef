// The page of the browser window in front, found by that window's place, with Debian's chromium shown on a
// display with openbox at scale factors other than 1: the browser tells its windows' places in its own units,
// the display in pixels.
#include "PelmoraMac/Capture/BrowserSnapshotScript.h"
#include "PelmoraMac/X11/X11Desktop.h"

#include "AccessibilityRig.h"
#include "ChromiumTesting.h"
#include "support/EventLoop.h"
#include "support/GuiTesting.h"
#include "support/HeadlessChromium.h"

#include <gtest/gtest.h>
#include <QProcess>
#include <QStandardPaths>

namespace tavrine {
namespace {
using namespace Qt::StringLiterals;

// xdotool's output, or nothing when it failed; the event loop runs meanwhile, for the page server. Its --sync
// waits for the window manager and the browser, as long as a loaded machine makes them take.
std::optional<QString> xdotool(const QStringList& arguments) {
    QProcess process;
    process.start(u"xdotool"_s, arguments);
    test::processEventsUntil([&] { return process.state() == QProcess::NotRunning; });
    if (process.state() != QProcess::NotRunning || process.exitCode() != 0) return std::nullopt;
    return QString::fromLatin1(process.readAllStandardOutput().trimmed());
}

// Two windows of the browser, a small one on a large one, the focus in the address bar of the one in front:
// no page has the focus, and the page read is the one of the window in front, at each scale.
TEST(BrowserScale, ThePageOfTheWindowInFrontIsReadAtEveryScale) {
    if (test::HeadlessChromium::executable().isEmpty()) GTEST_SKIP() << test::HeadlessChromium::missingReason();
    if (QStandardPaths::findExecutable(u"xdotool"_s).isEmpty()) GTEST_SKIP() << "xdotool is missing";
    // The session's accessibility bus, ours before the browser runs: a browser that finds none has the session
    // start one, which would stand in the way of the next suite's.
    ASSERT_STREQ(test::programAccessibilityRig().failure(), "");
    const test::HttpPageServer server(
        {{"/large", "<title>Large window</title><p>Large"}, {"/small", "<title>Small window</title><p>Small"}});
    for (const QString& scale : {u"1.25"_s, u"1.5"_s, u"2"_s}) {
        SCOPED_TRACE(scale.toStdString());
        test::HeadlessChromium browser(server.url(u"/large"_s), test::patience(), test::HeadlessChromium::Mode::shown,
                                       {u"--force-device-scale-factor="_s + scale});
        ASSERT_TRUE(browser.isListening()) << browser.failure().toStdString();
        test::ChromiumDriver driver(browser);
        const QString small = driver.openWindow(server.url(u"/small"_s));
        const auto windowNamed = [](const QString& title) {
            std::optional<QString> found;
            test::processEventsUntil([&] {
                found = xdotool({u"search"_s, u"--onlyvisible"_s, u"--name"_s, u"^"_s + title});
                return found && !found->isEmpty();
            });
            return found.value_or(QString()).split(u'\n').last();
        };
        const QString smallWindow = windowNamed(u"Small window"_s);
        ASSERT_TRUE(xdotool({u"windowsize"_s, u"--sync"_s, smallWindow, u"701"_s, u"517"_s}));
        ASSERT_TRUE(xdotool({u"windowmove"_s, u"--sync"_s, smallWindow, u"203"_s, u"131"_s}));

        for (const auto& [window, tab] :
             {std::pair(smallWindow, small), std::pair(windowNamed(u"Large window"_s), driver.home())}) {
            ASSERT_TRUE(xdotool({u"windowactivate"_s, u"--sync"_s, window}) && xdotool({u"key"_s, u"ctrl+l"_s}));
            ASSERT_TRUE(test::effectWithin(
                [&] { return driver.evaluate(tab, u"document.hasFocus()"_s) == QJsonValue(false); }));
            // Where the window in front lies, as the application reads it when the hot key is pressed.
            const auto desktop = X11Desktop::ofApplication();
            const auto front = desktop ? desktop->frontWindow() : std::nullopt;
            ASSERT_TRUE(front && QString::number(front->id) == window);
            const auto bounds = desktop->windowBounds(front->id);
            ASSERT_TRUE(bounds);
            const auto snapshot = takeBrowserSnapshot(
                ArticleBrowser::chrome, false,
                {.search = {.process = browser.pid()},
                 .frontWindow = BrowserWindowBounds{
                     .left = bounds->x, .top = bounds->y, .width = bounds->width, .height = bounds->height}});
            ASSERT_TRUE(snapshot) << rawValue(snapshot.error()).toStdString();
            EXPECT_EQ(snapshot->tabID, tab);
        }
    }
}

}  // namespace
}  // namespace tavrine
