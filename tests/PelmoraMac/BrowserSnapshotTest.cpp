#include "PelmoraMac/Capture/BrowserSnapshotScript.h"
#include "PelmoraMac/Capture/internal/DevToolsConnection.h"
#include "PelmoraMac/Capture/internal/DevToolsEndpoint.h"
#include "PelmoraMac/Capture/internal/DevToolsTabs.h"
#include "PelmoraMac/Capture/internal/LoopbackListener.h"

#include "CaptureTesting.h"
#include "DevToolsTesting.h"
#include "support/CheckoutPaths.h"
#include "support/EventLoop.h"
#include "support/SpecialFiles.h"

#include <gtest/gtest.h>
#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QElapsedTimer>
#include <QJsonArray>
#include <QProcess>
#include <QStandardPaths>
#include <QThread>

namespace tavrine {
namespace {
using namespace Qt::StringLiterals;
using namespace std::chrono_literals;
using test::failureOf;
using test::FakeDevToolsServer;
using test::FakeProcesses;

// ---- The page script's answer ------------------------------------------------------------------------

QString quoted(const QString& text) {
    return QString::fromUtf8(QJsonDocument(QJsonArray{text}).toJson(QJsonDocument::Compact)).mid(1).chopped(1);
}

TEST(SnapshotPayload, IsReadAsItIsOrInsideOneOrTwoStringLiteralsButNotThree) {
    const QString snapshot = u"{\"status\":\"ok\",\"url\":\"https://example.org/\",\"documentID\":\"1.5\"}"_s;
    const BrowserSnapshot expected{.status = u"ok"_s, .url = u"https://example.org/"_s, .documentID = u"1.5"_s};
    EXPECT_EQ(parseSnapshotPayload(snapshot), expected);
    EXPECT_EQ(parseSnapshotPayload(quoted(snapshot)), expected);
    EXPECT_EQ(parseSnapshotPayload(quoted(quoted(snapshot))), expected);
    EXPECT_EQ(failureOf(parseSnapshotPayload(quoted(quoted(quoted(snapshot))))), CaptureFailure::unavailable);
}

TEST(SnapshotPayload, AStatusNamesTheFailureAndAnythingElseIsUnavailable) {
    EXPECT_EQ(failureOf(parseSnapshotPayload(u"{\"status\":\"browserJavaScriptDisabled\"}"_s)),
              CaptureFailure::browserJavaScriptDisabled);
    EXPECT_EQ(failureOf(parseSnapshotPayload(quoted(u"{\"status\":\"htmlTooLarge\",\"url\":\"x\"}"_s))),
              CaptureFailure::htmlTooLarge);
    for (const QString& payload : {
             u"{\"status\":\"BrowserJavaScriptDisabled\"}"_s,  // raw values are case-sensitive
             u"{\"status\":\"fine\"}"_s,
             u"{\"url\":\"https://example.org/\"}"_s,  // no status
             u"{\"status\":1}"_s,
             u""_s,
             u"null"_s,
             u"\"\""_s,
             u"[\"{\\\"status\\\":\\\"ok\\\"}\"]"_s,
             u"\"a\",\"b\""_s,  // two strings are no string literal
             u"{\"status\":\"ok\"}trailing"_s,
         }) {
        EXPECT_EQ(failureOf(parseSnapshotPayload(payload)), CaptureFailure::unavailable) << payload.toStdString();
    }
}

// ---- Finding the browser ---------------------------------------------------------------------------------

const QString kChromium = u"/usr/lib/chromium/chromium"_s;

// A browser started by a shell of that display.
class DisplayProcesses : public FakeProcesses {
public:
    DisplayProcesses() {
        add(20, u"/usr/bin/bash"_s, {}, {u"DISPLAY=:5"_s});
        add(21, u"/usr/bin/bash"_s, {}, {u"DISPLAY=:6.0"_s});
        add(22, u"/usr/bin/bash"_s, {}, {u"HOME=/home/a"_s});
    }
    static constexpr pid_t kDisplay5 = 20, kDisplay6 = 21, kNoDisplay = 22;
    // A browser as Chromium leaves /proc: its process title written over its environment.
    void browser(pid_t pid, const QString& executable, const QStringList& arguments, pid_t starter = kDisplay5) const {
        addRetitled(pid, executable, arguments, "s --ozone-platform=headless about:blank" + QByteArray(40, '\0'), {},
                    starter);
    }
};

TEST(DevToolsEndpoints, OnlyBrowsersOfThisDisplayStartedWithRemoteDebuggingCount) {
    DisplayProcesses processes;
    processes.browser(30, kChromium, {u"--remote-debugging-port=9222"_s});
    processes.browser(31, kChromium, {u"--type=renderer"_s, u"--remote-debugging-port=9222"_s});
    processes.browser(32, kChromium, {u"--user-data-dir=/tmp/p"_s});
    processes.browser(33, kChromium, {u"--remote-debugging-port=9223"_s}, DisplayProcesses::kDisplay6);
    processes.browser(34, kChromium, {u"--remote-debugging-port=9224"_s}, DisplayProcesses::kNoDisplay);
    processes.browser(35, u"/opt/google/chrome/chrome"_s, {u"--remote-debugging-port=9225"_s});
    processes.browser(36, u"/usr/lib/firefox/firefox"_s, {u"--remote-debugging-port=9226"_s});
    processes.browser(37, u"/usr/lib/chromium/chromium-wrapper"_s, {u"--remote-debugging-port=9227"_s});
    processes.browser(38, kChromium + u" (deleted)"_s, {u"-remote-debugging-port=9228"_s});
    processes.browser(39, kChromium, {u"--remote-debugging-port=65536"_s});
    processes.browser(40, kChromium, {u"--remote-debugging-port=92x"_s});
    processes.browser(41, kChromium, {u"--"_s, u"--remote-debugging-port=9229"_s});
    processes.browser(42, kChromium, {u"--remote-debugging-port=1"_s, u"--remote-debugging-port=9230"_s});
    processes.browser(9, kChromium, {u"https://example.org/"_s, u"--remote-debugging-port=65535"_s});

    EXPECT_EQ(findDevToolsEndpoints({.processRoot = processes.root(), .display = ":5"}),
              (QList<DevToolsEndpoint>{{.pid = 9, .port = 65535},
                                       {.pid = 30, .port = 9222},
                                       {.pid = 35, .port = 9225},
                                       {.pid = 38, .port = 9228},
                                       {.pid = 42, .port = 9230}}));
    // The screen number does not count.
    EXPECT_EQ(findDevToolsEndpoints({.processRoot = processes.root(), .display = ":6"}),
              (QList<DevToolsEndpoint>{{.pid = 33, .port = 9223}}));
    // A process without a display finds the browsers without one.
    EXPECT_EQ(findDevToolsEndpoints({.processRoot = processes.root(), .display = ""}),
              (QList<DevToolsEndpoint>{{.pid = 34, .port = 9224}}));
}

TEST(DevToolsEndpoints, TheDisplayIsTheOneOfTheProcessThatStartedTheBrowser) {
    DisplayProcesses processes;
    // A starter that wrote over its environment too: its own starter's counts.
    processes.browser(23, u"/usr/bin/launcher"_s, {}, DisplayProcesses::kDisplay6);
    processes.browser(30, kChromium, {u"--remote-debugging-port=9222"_s}, 23);
    processes.browser(31, kChromium, {u"--remote-debugging-port=9223"_s}, 1);   // left to the system
    processes.browser(32, kChromium, {u"--remote-debugging-port=9224"_s}, 99);  // a starter since gone
    // What the browser's own environment seems to say does not count.
    processes.add(33, kChromium, {u"--remote-debugging-port=9225"_s}, {u"DISPLAY=:5"_s}, {},
                  DisplayProcesses::kDisplay6);
    EXPECT_EQ(findDevToolsEndpoints({.processRoot = processes.root(), .display = ":6"}),
              (QList<DevToolsEndpoint>{{.pid = 30, .port = 9222}, {.pid = 33, .port = 9225}}));
    EXPECT_TRUE(findDevToolsEndpoints({.processRoot = processes.root(), .display = ":5"}).isEmpty());
}

TEST(DevToolsEndpoints, APortTheBrowserChoseIsReadFromItsProfile) {
    DisplayProcesses processes;
    processes.write(u"given/DevToolsActivePort"_s, "4567\n/devtools/browser/5e0c-aa");
    processes.browser(50, kChromium,
                      {u"--remote-debugging-port=0"_s, u"--user-data-dir="_s + processes.filePath(u"given"_s)});
    // A relative profile is in the browser's working folder.
    processes.write(u"work/relative/DevToolsActivePort"_s, "4568\n/devtools/browser/b");
    processes.addRetitled(51, kChromium, {u"--remote-debugging-port=0"_s, u"--user-data-dir=relative"_s}, {},
                          processes.filePath(u"work"_s), DisplayProcesses::kDisplay5);
    // The default profiles, in the configuration folder of the starter's environment: Chromium's, and
    // Google Chrome's named after its installation.
    processes.write(u"config/chromium/DevToolsActivePort"_s, "4569\n/devtools/browser/c");
    processes.add(60, u"/usr/bin/bash"_s, {},
                  {u"DISPLAY=:5"_s, u"XDG_CONFIG_HOME="_s + processes.filePath(u"config"_s)});
    processes.browser(52, kChromium, {u"--remote-debugging-port=0"_s}, 60);
    processes.write(u"home/.config/google-chrome-beta/DevToolsActivePort"_s, "4570\n/devtools/browser/d\n");
    processes.add(61, u"/usr/bin/bash"_s, {}, {u"DISPLAY=:5"_s, u"HOME="_s + processes.filePath(u"home"_s)});
    processes.browser(53, u"/opt/google/chrome-beta/chrome"_s, {u"--remote-debugging-port=0"_s}, 61);
    // No file, or one that names no port or another kind of target.
    processes.browser(54, kChromium, {u"--remote-debugging-port=0"_s, u"--user-data-dir=/nonexistent"_s});
    processes.write(u"page/DevToolsActivePort"_s, "4571\n/devtools/page/e");
    processes.browser(55, kChromium,
                      {u"--remote-debugging-port=0"_s, u"--user-data-dir="_s + processes.filePath(u"page"_s)});

    EXPECT_EQ(findDevToolsEndpoints({.processRoot = processes.root(), .display = ":5"}),
              (QList<DevToolsEndpoint>{{.pid = 50, .port = 4567, .browserPath = u"/devtools/browser/5e0c-aa"_s},
                                       {.pid = 51, .port = 4568, .browserPath = u"/devtools/browser/b"_s},
                                       {.pid = 52, .port = 4569, .browserPath = u"/devtools/browser/c"_s},
                                       {.pid = 53, .port = 4570, .browserPath = u"/devtools/browser/d"_s}}));
}

// A browser that wrote its process title over its command line leaves a profile path with spaces cut
// into words: the profile is the reading under which it holds its databases open.
TEST(DevToolsEndpoints, AProfileWithSpacesIsTheOneTheBrowserHoldsFilesIn) {
    DisplayProcesses processes;
    // The first word alone names another folder, which has a DevToolsActivePort of its own.
    processes.write(u"my/DevToolsActivePort"_s, "4700\n/devtools/browser/wrong");
    processes.write(u"my profile/DevToolsActivePort"_s, "4701\n/devtools/browser/right");
    processes.write(u"my profile/Default/History"_s, "");
    processes.browser(80, kChromium,
                      {u"--remote-debugging-port=0"_s, u"--user-data-dir="_s + processes.filePath(u"my profile"_s),
                       u"https://example.org/"_s});
    processes.holdFiles(80, {u"/dev/null"_s, processes.filePath(u"my profile/Default/History"_s)});
    // Two spaces, a switch after the path, a relative path, a profile reached through a link.
    processes.write(u"a b  c/DevToolsActivePort"_s, "4702\n/devtools/browser/c");
    processes.browser(
        81, kChromium,
        {u"--remote-debugging-port=0"_s, u"--user-data-dir="_s + processes.filePath(u"a b  c"_s), u"--no-first-run"_s});
    processes.holdFiles(81, {processes.filePath(u"a b  c/Local State"_s)});
    processes.write(u"work/rel profile/DevToolsActivePort"_s, "4703\n/devtools/browser/d");
    processes.addRetitled(82, kChromium, {u"--remote-debugging-port=0"_s, u"--user-data-dir=rel profile"_s}, {},
                          processes.filePath(u"work"_s), DisplayProcesses::kDisplay5);
    processes.holdFiles(82, {processes.filePath(u"work/rel profile/Default/Cookies"_s)});
    processes.write(u"real profile/DevToolsActivePort"_s, "4704\n/devtools/browser/e");
    QFile::link(processes.filePath(u"real profile"_s), processes.filePath(u"linked profile"_s));
    processes.browser(
        83, kChromium,
        {u"--remote-debugging-port=0"_s, u"--user-data-dir="_s + processes.filePath(u"linked profile"_s)});
    processes.holdFiles(83, {QFileInfo(processes.filePath(u"real profile"_s)).canonicalFilePath() + u"/Default/x"_s});
    // Its open files unknown: the value up to its first space, as the command line reads.
    processes.browser(84, kChromium,
                      {u"--remote-debugging-port=0"_s, u"--user-data-dir="_s + processes.filePath(u"my profile"_s)});

    EXPECT_EQ(findDevToolsEndpoints({.processRoot = processes.root(), .display = ":5"}),
              (QList<DevToolsEndpoint>{{.pid = 80, .port = 4701, .browserPath = u"/devtools/browser/right"_s},
                                       {.pid = 81, .port = 4702, .browserPath = u"/devtools/browser/c"_s},
                                       {.pid = 82, .port = 4703, .browserPath = u"/devtools/browser/d"_s},
                                       {.pid = 83, .port = 4704, .browserPath = u"/devtools/browser/e"_s},
                                       {.pid = 84, .port = 4700, .browserPath = u"/devtools/browser/wrong"_s}}));
}

// The profile is the user's folder: what stands there under the file's name is read only when it is a
// small regular file, and never waited for.
TEST(DevToolsEndpoints, AnActivePortThatIsNoSmallRegularFileIsNotRead) {
    DisplayProcesses processes;
    const auto browserOn = [&](pid_t pid, const QString& profile) {
        QDir().mkpath(processes.filePath(profile));
        processes.browser(pid, kChromium,
                          {u"--remote-debugging-port=0"_s, u"--user-data-dir="_s + processes.filePath(profile)});
        return processes.filePath(profile + u"/DevToolsActivePort"_s);
    };
    test::makeFifo(browserOn(50, u"fifo"_s));
    QDir().mkpath(browserOn(51, u"folder"_s));
    test::makeSparseFile(browserOn(52, u"large"_s), 1 << 20);
    processes.write(u"real/DevToolsActivePort"_s, "4567\n/devtools/browser/r");
    browserOn(53, u"real"_s);
    const auto found =
        test::withinDeadline([&] { return findDevToolsEndpoints({.processRoot = processes.root(), .display = ":5"}); },
                             std::chrono::seconds(10));
    EXPECT_EQ(found, (QList<DevToolsEndpoint>{{.pid = 53, .port = 4567, .browserPath = u"/devtools/browser/r"_s}}));
}

// The endpoint found for the process of the window in front.
QList<DevToolsEndpoint> endpointsFor(const FakeProcesses& processes, pid_t window) {
    return findDevToolsEndpoints({.processRoot = processes.root(), .process = window});
}

TEST(DevToolsEndpoints, TheBrowserOfTheWindowInFrontIsItsProcessOrItsNearestRelative) {
    DisplayProcesses processes;
    processes.browser(30, kChromium, {u"--remote-debugging-port=9222"_s});
    processes.browser(31, kChromium, {u"--remote-debugging-port=9223"_s}, DisplayProcesses::kDisplay6);
    // Another display's browser is found by its window all the same, and no other browser is.
    EXPECT_EQ(endpointsFor(processes, 31), (QList<DevToolsEndpoint>{{.pid = 31, .port = 9223}}));
    EXPECT_EQ(endpointsFor(processes, 30), (QList<DevToolsEndpoint>{{.pid = 30, .port = 9222}}));
    EXPECT_TRUE(endpointsFor(processes, DisplayProcesses::kNoDisplay).isEmpty());
    EXPECT_TRUE(endpointsFor(processes, 999).isEmpty());
    EXPECT_TRUE(endpointsFor(processes, 0).isEmpty());

    // A launcher whose window it is: the browser among its children, not a helper of the browser.
    processes.add(40, u"/usr/bin/launcher"_s, {}, {}, {}, 1);
    processes.browser(41, kChromium, {u"--type=renderer"_s, u"--remote-debugging-port=9300"_s}, 40);
    processes.add(42, u"/usr/bin/sh"_s, {}, {}, {}, 40);
    processes.browser(43, kChromium, {u"--remote-debugging-port=9224"_s}, 42);
    EXPECT_EQ(endpointsFor(processes, 40), (QList<DevToolsEndpoint>{{.pid = 43, .port = 9224}}));
    // A helper's window: the browser that started it, a descendant before an ancestor as near.
    processes.add(50, kChromium, {u"--remote-debugging-port=9225"_s}, {}, {}, 1);
    processes.add(51, kChromium, {u"--type=gpu-process"_s}, {}, {}, 50);
    processes.add(52, kChromium, {u"--remote-debugging-port=9226"_s}, {}, {}, 51);
    EXPECT_EQ(endpointsFor(processes, 51), (QList<DevToolsEndpoint>{{.pid = 52, .port = 9226}}));
    processes.add(53, kChromium, {u"--type=utility"_s}, {}, {}, 50);
    EXPECT_EQ(endpointsFor(processes, 53), (QList<DevToolsEndpoint>{{.pid = 50, .port = 9225}}));

    // Started from a shell that has ended: left to the first process, its environment lost with its
    // starter. Found by its window whatever its environment; its default profile is then looked for
    // in this process's home.
    processes.browser(60, kChromium, {u"--remote-debugging-port=9227"_s}, 1);
    EXPECT_EQ(endpointsFor(processes, 60), (QList<DevToolsEndpoint>{{.pid = 60, .port = 9227}}));
    EXPECT_TRUE(findDevToolsEndpoints({.processRoot = processes.root(), .display = ":5"})
                    .contains(DevToolsEndpoint{.pid = 30, .port = 9222}));
    processes.write(u"home/.config/chromium/DevToolsActivePort"_s, "4600\n/devtools/browser/h");
    processes.browser(61, kChromium, {u"--remote-debugging-port=0"_s}, 1);
    const QByteArray home = qgetenv("HOME");
    const QByteArray configuration = qgetenv("XDG_CONFIG_HOME");
    const bool hadConfiguration = qEnvironmentVariableIsSet("XDG_CONFIG_HOME");
    qputenv("HOME", QFile::encodeName(processes.filePath(u"home"_s)));
    qunsetenv("XDG_CONFIG_HOME");
    EXPECT_EQ(endpointsFor(processes, 61),
              (QList<DevToolsEndpoint>{{.pid = 61, .port = 4600, .browserPath = u"/devtools/browser/h"_s}}));
    qputenv("HOME", home);
    if (hadConfiguration) qputenv("XDG_CONFIG_HOME", configuration);

    // Without the switch, a browser whose profile says where it listens: remote debugging switched on
    // inside it.
    processes.write(u"switched/DevToolsActivePort"_s, "4601\n/devtools/browser/s");
    processes.browser(70, kChromium, {u"--user-data-dir="_s + processes.filePath(u"switched"_s)});
    EXPECT_EQ(endpointsFor(processes, 70),
              (QList<DevToolsEndpoint>{{.pid = 70, .port = 4601, .browserPath = u"/devtools/browser/s"_s}}));
}

// A row of a socket table: a socket on `address`:`port` (hexadecimal as the kernel writes it) in state
// `state` ("0A" listening), of user `uid`, with inode `inode`.
QByteArray socketRow(int index, const QByteArray& address, quint16 port, const QByteArray& state, uint uid, int inode) {
    return "   " + QByteArray::number(index) + ": " + address + ':' +
           QByteArray::number(port, 16).toUpper().rightJustified(4, '0') + " 00000000:0000 " + state +
           " 00000000:00000000 00:00000000 00000000 " + QByteArray::number(uid) + " 0 " + QByteArray::number(inode) +
           " 1 0000000000000000 100 0 0 10 0";
}

TEST(LoopbackListeners, TheSocketThatTakesTheConnectionMustBeTheProcesssOwn) {
    FakeProcesses processes;
    const QByteArray loopback = "0100007F", any = "00000000";
    processes.writeSocketTable(
        u"tcp"_s, {socketRow(0, loopback, 9222, "0A", 1000, 111), socketRow(1, any, 9223, "0A", 1000, 222),
                   socketRow(2, loopback, 9223, "0A", 1000, 333), socketRow(3, loopback, 9224, "01", 1000, 444),
                   socketRow(4, loopback, 9226, "0A", 1000, 666), socketRow(5, loopback, 9226, "0A", 1000, 667),
                   socketRow(6, "0101A8C0", 9227, "0A", 1000, 777)});
    processes.writeSocketTable(u"tcp6"_s, {socketRow(0, "00000000000000000000000000000000", 9225, "0A", 0, 555),
                                           socketRow(1, "0000000000000000FFFF00000100007F", 9228, "0A", 0, 888)});
    processes.holdSockets(30, {5, 111});
    processes.holdSockets(31, {12});
    processes.holdSockets(32, {222});
    processes.holdSockets(33, {333});
    processes.holdSockets(34, {555, 888});
    processes.holdSockets(35, {666});
    const auto ownership = [&](pid_t pid, quint16 port) {
        return loopbackListenerOwnership(processes.root(), pid, port);
    };
    EXPECT_EQ(ownership(30, 9222), LoopbackListener::owned);
    EXPECT_EQ(ownership(31, 9222), LoopbackListener::foreign);
    // The socket bound to 127.0.0.1 takes the connection, not the one bound to every address.
    EXPECT_EQ(ownership(33, 9223), LoopbackListener::owned);
    EXPECT_EQ(ownership(32, 9223), LoopbackListener::foreign);
    // A connection that is not listening, or a listener on another address, is no listener here.
    EXPECT_EQ(ownership(30, 9224), LoopbackListener::none);
    EXPECT_EQ(ownership(30, 9227), LoopbackListener::none);
    EXPECT_EQ(ownership(30, 9229), LoopbackListener::none);
    // IPv6 sockets of every address or of 127.0.0.1 take IPv4 connections too.
    EXPECT_EQ(ownership(34, 9225), LoopbackListener::owned);
    EXPECT_EQ(ownership(34, 9228), LoopbackListener::owned);
    // Two sockets share the port: both must be the process's.
    EXPECT_EQ(ownership(35, 9226), LoopbackListener::foreign);
    // A process whose open files cannot be read: its user must be the socket's.
    processes.writeStatus(36, 1000);
    processes.writeStatus(37, 0);
    EXPECT_EQ(ownership(36, 9222), LoopbackListener::owned);
    EXPECT_EQ(ownership(37, 9222), LoopbackListener::foreign);
    EXPECT_EQ(ownership(38, 9222), LoopbackListener::foreign);
}

// Chromium listens on ::1 when another program holds 127.0.0.1 on its port: a connection to ::1 is the
// browser's only when the socket that takes it is.
TEST(LoopbackListeners, OnIPv6TheSocketOnLoopbackOrOnEveryIPv6AddressTakesTheConnection) {
    FakeProcesses processes;
    const QByteArray ipv6Loopback = "00000000000000000000000001000000", ipv6Any = "00000000000000000000000000000000";
    processes.writeSocketTable(
        u"tcp"_s, {socketRow(0, "0100007F", 9222, "0A", 1000, 111), socketRow(1, "00000000", 9223, "0A", 1000, 222)});
    processes.writeSocketTable(
        u"tcp6"_s, {socketRow(0, ipv6Loopback, 9222, "0A", 1000, 333), socketRow(1, ipv6Any, 9224, "0A", 1000, 444),
                    socketRow(2, ipv6Loopback, 9224, "0A", 1000, 555), socketRow(3, ipv6Any, 9225, "0A", 1000, 666),
                    socketRow(4, "0000000000000000FFFF00000100007F", 9226, "0A", 1000, 777)});
    processes.holdSockets(30, {333, 555, 666, 777});
    processes.holdSockets(31, {111, 222, 444});
    const auto ownership = [&](pid_t pid, quint16 port) {
        return loopbackListenerOwnership(processes.root(), pid, port, LoopbackAddress::ipv6);
    };
    EXPECT_EQ(ownership(30, 9222), LoopbackListener::owned);
    EXPECT_EQ(ownership(31, 9222), LoopbackListener::foreign);
    // IPv4 sockets, even of every address, and IPv4 addresses in IPv6 never take a connection to ::1.
    EXPECT_EQ(ownership(31, 9223), LoopbackListener::none);
    EXPECT_EQ(ownership(30, 9226), LoopbackListener::none);
    EXPECT_EQ(ownership(30, 9224), LoopbackListener::owned);
    EXPECT_EQ(ownership(30, 9225), LoopbackListener::owned);

    // The route: 127.0.0.1 when the process is the listener there, else ::1 when it is there.
    const auto route = [&](pid_t pid, quint16 port) { return loopbackRoute(processes.root(), pid, port); };
    using Route = std::pair<LoopbackListener, LoopbackAddress>;
    EXPECT_EQ(route(31, 9222), Route(LoopbackListener::owned, LoopbackAddress::ipv4));
    EXPECT_EQ(route(30, 9222), Route(LoopbackListener::owned, LoopbackAddress::ipv6));
    EXPECT_EQ(route(30, 9223), Route(LoopbackListener::foreign, LoopbackAddress::ipv4));
    // A socket on every IPv6 address takes 127.0.0.1's connections, one on ::1 takes those of ::1.
    EXPECT_EQ(route(31, 9224), Route(LoopbackListener::owned, LoopbackAddress::ipv4));
    EXPECT_EQ(route(30, 9224), Route(LoopbackListener::owned, LoopbackAddress::ipv6));
    EXPECT_EQ(route(30, 9227), Route(LoopbackListener::none, LoopbackAddress::ipv4));
}

TEST(DevToolsEndpoints, TheActivePortFileHoldsAPortAndABrowserPathAndNothingElse) {
    EXPECT_EQ(parseDevToolsActivePort("1\n/devtools/browser/a"), (DevToolsActivePort{1, u"/devtools/browser/a"_s}));
    EXPECT_EQ(parseDevToolsActivePort("65535\n/devtools/browser/a-1\n"),
              (DevToolsActivePort{65535, u"/devtools/browser/a-1"_s}));
    for (const QByteArray& content :
         {QByteArray("0\n/devtools/browser/a"), QByteArray("65536\n/devtools/browser/a"),
          QByteArray("+80\n/devtools/browser/a"), QByteArray(" 80\n/devtools/browser/a"), QByteArray("80"),
          QByteArray("80\n/devtools/browser/"), QByteArray("80\n/devtools/browser/a/b"),
          QByteArray("80\n/devtools/browser/a\nx"), QByteArray("80\n/devtools/browser/a?x"), QByteArray()}) {
        EXPECT_FALSE(parseDevToolsActivePort(content)) << content.toStdString();
    }
}

// ---- Talking to a browser that misbehaves ----------------------------------------------------------------

constexpr DevToolsLimits kShortWait{.wait = 200ms};

TEST(DevToolsConnection, RefusedSilentAndClosingBrowsersEndTheWaitWithTheirReason) {
    EXPECT_EQ(DevToolsConnection::open(test::closedPort(), u"/devtools/browser/a"_s, kShortWait).error(),
              DevToolsFailure::refused);

    // A port that takes the connection and never answers the handshake.
    QTcpServer mute;
    mute.listen(QHostAddress::LocalHost);
    QElapsedTimer clock;
    clock.start();
    EXPECT_EQ(DevToolsConnection::open(mute.serverPort(), u"/devtools/browser/a"_s, kShortWait).error(),
              DevToolsFailure::timedOut);
    // At the wait given, not the default one.
    EXPECT_GE(clock.elapsed(), 200);
    EXPECT_LT(clock.elapsed(), DevToolsLimits{}.wait.count());

    // A browser that takes commands and never answers them.
    FakeDevToolsServer silent;
    auto connection = DevToolsConnection::open(silent.port(), u"/devtools/browser/a"_s, kShortWait);
    ASSERT_TRUE(connection);
    EXPECT_EQ((*connection)->call({u"Target.getTargets"_s}).error(), DevToolsFailure::timedOut);
    EXPECT_EQ(silent.received(), 1);

    silent.closeConnections();
    EXPECT_EQ((*connection)->call({u"Target.getTargets"_s}).error(), DevToolsFailure::disconnected);
}

TEST(DevToolsConnection, RepliesComeBackInTheOrderOfTheCommandsAndEventsAreIgnored) {
    QList<QJsonObject> held;
    FakeDevToolsServer browser([&](const QJsonObject& command) -> QList<QByteArray> {
        held.append(command);
        if (held.size() < 3) return {};
        // An event first, then the replies backwards, the second one an error.
        QList<QByteArray> messages{R"({"method":"Target.targetCreated","params":{}})"};
        messages.append(test::replyTo(held[2], {{u"n"_s, 3}}));
        messages.append(QJsonDocument(QJsonObject{{u"id"_s, held[1].value(u"id"_s)},
                                                  {u"error"_s, QJsonObject{{u"code"_s, -32601}}}})
                            .toJson(QJsonDocument::Compact));
        messages.append(test::replyTo(held[0], {{u"n"_s, 1}}));
        return messages;
    });
    auto connection = DevToolsConnection::open(browser.port(), u"/devtools/browser/a"_s, {.wait = test::answerWait()});
    ASSERT_TRUE(connection);
    const auto replies = (*connection)->send({{u"A"_s}, {u"B"_s, {}, u"S"_s}, {u"C"_s}});
    ASSERT_TRUE(replies);
    ASSERT_EQ(replies->size(), 3);
    EXPECT_EQ((*replies)[0], (QJsonObject{{u"n"_s, 1}}));
    EXPECT_EQ((*replies)[1].error(), DevToolsFailure::protocolError);
    EXPECT_EQ((*replies)[2], (QJsonObject{{u"n"_s, 3}}));
    EXPECT_EQ(held[1].value(u"sessionId"_s), u"S"_s);
    EXPECT_FALSE(held[0].contains(u"sessionId"_s));
}

TEST(DevToolsConnection, AMessageOverTheLimitEndsTheConnection) {
    FakeDevToolsServer flooding([](const QJsonObject& command) -> QList<QByteArray> {
        return {test::replyTo(command, {{u"html"_s, QString(20'000'000, u'x')}})};
    });
    auto connection = DevToolsConnection::open(flooding.port(), u"/devtools/browser/a"_s, {.wait = test::answerWait()});
    ASSERT_TRUE(connection);
    EXPECT_EQ((*connection)->call({u"Target.getTargets"_s}).error(), DevToolsFailure::tooLarge);
}

// The browser's word that a page's document went away (it navigated, or is between documents), and the end of a
// page's session or a crash while a command waits on it, are told apart from other errors: the page changed, at once.
TEST(DevToolsConnection, APageThatWentAwayIsToldApartFromABrokenConversation) {
    const auto error = [](const QJsonObject& command, const QString& message) {
        return QJsonDocument(QJsonObject{{u"id"_s, command.value(u"id"_s)},
                                         {u"error"_s, QJsonObject{{u"code"_s, -32000}, {u"message"_s, message}}}})
            .toJson(QJsonDocument::Compact);
    };
    const auto event = [](const QString& method, const QJsonObject& fields) {
        QJsonObject message = fields;
        message.insert(u"method"_s, method);
        return QJsonDocument(message).toJson(QJsonDocument::Compact);
    };
    FakeDevToolsServer browser([&](const QJsonObject& command) -> QList<QByteArray> {
        const QString session = command.value(u"sessionId"_s).toString();
        const QString expression = command.value(u"params"_s).toObject().value(u"expression"_s).toString();
        if (expression == u"navigated"_s) return {error(command, u"Execution context was destroyed."_s)};
        if (expression == u"replaced"_s) return {error(command, u"Cannot find context with specified id"_s)};
        if (expression == u"between"_s) return {error(command, u"Cannot find default execution context"_s)};
        if (expression == u"broken"_s) return {error(command, u"Internal error"_s)};
        if (expression == u"closed"_s) {
            return {event(u"Target.detachedFromTarget"_s, {{u"params"_s, QJsonObject{{u"sessionId"_s, session}}}})};
        }
        if (expression == u"crashed"_s) return {event(u"Inspector.targetCrashed"_s, {{u"sessionId"_s, session}})};
        return {};
    });
    // The browser answers every command, as late as a loaded machine makes it: a command that waited for the
    // browser's word instead would end timedOut, whatever the wait.
    auto connection = DevToolsConnection::open(browser.port(), u"/devtools/browser/a"_s, {.wait = test::answerWait()});
    ASSERT_TRUE(connection);
    const auto evaluate = [&](const QString& expression, const QString& session) {
        return (*connection)->call({u"Runtime.evaluate"_s, {{u"expression"_s, expression}}, session});
    };
    EXPECT_EQ(evaluate(u"navigated"_s, u"A"_s).error(), DevToolsFailure::pageChanged);
    EXPECT_EQ(evaluate(u"replaced"_s, u"A"_s).error(), DevToolsFailure::pageChanged);
    EXPECT_EQ(evaluate(u"between"_s, u"A"_s).error(), DevToolsFailure::pageChanged);
    EXPECT_EQ(evaluate(u"broken"_s, u"A"_s).error(), DevToolsFailure::protocolError);
    EXPECT_EQ(evaluate(u"closed"_s, u"B"_s).error(), DevToolsFailure::pageChanged);
    EXPECT_EQ(evaluate(u"crashed"_s, u"C"_s).error(), DevToolsFailure::pageChanged);
    // An ended session is not spoken to again; another one still is.
    const int received = browser.received();
    EXPECT_EQ(evaluate(u"anything"_s, u"B"_s).error(), DevToolsFailure::pageChanged);
    EXPECT_EQ(evaluate(u"navigated"_s, u"A"_s).error(), DevToolsFailure::pageChanged);
    EXPECT_EQ(browser.received(), received + 1);
    EXPECT_EQ(classifyBrowserFailure(DevToolsFailure::pageChanged), CaptureFailure::sourceChanged);
}

// ---- The snapshot against such browsers ------------------------------------------------------------------

// A process folder holding one browser on display ":7" whose profile names the fake's port, which the
// browser holds. A browser that answers is given test::answerWait() for each answer: on a loaded machine its
// answer may come late, and only the short wait of a silent browser is itself under test.
BrowserSnapshotOptions optionsFor(const FakeProcesses& processes, quint16 port,
                                  std::chrono::milliseconds wait = test::answerWait()) {
    processes.write(u"profile/DevToolsActivePort"_s, QByteArray::number(port) + "\n/devtools/browser/fake");
    processes.add(59, u"/usr/bin/bash"_s, {}, {u"DISPLAY=:7"_s});
    processes.add(60, kChromium,
                  {u"--remote-debugging-port=0"_s, u"--user-data-dir="_s + processes.filePath(u"profile"_s)}, {}, {},
                  59);
    processes.holdSocketsOfThisProcess(60);
    return {.search = {.processRoot = processes.root(), .display = ":7"}, .limits = {.wait = wait}};
}

TEST(BrowserSnapshotFailures, WhatGoesWrongWithTheBrowserIsWordedForTheCapture) {
    FakeProcesses none;
    QElapsedTimer clock;
    clock.start();
    EXPECT_EQ(failureOf(takeBrowserSnapshot(ArticleBrowser::chrome, true, {.search = {.processRoot = none.root()}})),
              CaptureFailure::browserJavaScriptDisabled);
    // Without a browser nothing is waited for.
    EXPECT_LT(clock.elapsed(), DevToolsLimits{}.wait.count());

    // Arc and Dia are not on this system; nothing is looked for.
    EXPECT_EQ(failureOf(takeBrowserSnapshot(ArticleBrowser::arc, true)), CaptureFailure::browserUnsupported);
    EXPECT_EQ(failureOf(takeBrowserSnapshot(ArticleBrowser::dia, false)), CaptureFailure::browserUnsupported);

    {
        FakeProcesses processes;
        EXPECT_EQ(
            failureOf(takeBrowserSnapshot(ArticleBrowser::chrome, true, optionsFor(processes, test::closedPort()))),
            CaptureFailure::browserJavaScriptDisabled);
    }
    {
        FakeProcesses processes;
        FakeDevToolsServer silent;
        EXPECT_EQ(failureOf(takeBrowserSnapshot(ArticleBrowser::chrome, true,
                                                optionsFor(processes, silent.port(), kShortWait.wait))),
                  CaptureFailure::timedOut);
    }
    {
        FakeProcesses processes;
        FakeDevToolsServer flooding([](const QJsonObject& command) -> QList<QByteArray> {
            return {test::replyTo(command, {{u"targetInfos"_s, QString(20'000'000, u'x')}})};
        });
        EXPECT_EQ(failureOf(takeBrowserSnapshot(ArticleBrowser::chrome, true, optionsFor(processes, flooding.port()))),
                  CaptureFailure::unavailable);
    }
    {
        // A browser without pages, and one that does not speak the protocol.
        FakeProcesses processes;
        FakeDevToolsServer empty([](const QJsonObject& command) -> QList<QByteArray> {
            return {test::replyTo(command, {{u"targetInfos"_s, QJsonArray{}}})};
        });
        EXPECT_EQ(failureOf(takeBrowserSnapshot(ArticleBrowser::chrome, true, optionsFor(processes, empty.port()))),
                  CaptureFailure::unavailable);
    }
    {
        FakeProcesses processes;
        FakeDevToolsServer babbling([](const QJsonObject&) -> QList<QByteArray> { return {"not json"}; });
        EXPECT_EQ(failureOf(takeBrowserSnapshot(ArticleBrowser::chrome, true, optionsFor(processes, babbling.port()))),
                  CaptureFailure::unavailable);
    }
}

// A browser whose tab in front crashed, alone or with a live tab behind it in the same window. However early the
// browser tells the crash (before it answers the request to attach the pages, when the page's session is first
// spoken to, or only when the search asks the page), the tab still stands in its window, and the capture ends as a
// changed source, never as if the browser showed no page or none could be told in front.
TEST(BrowserSnapshotFailures, ACrashedTabInFrontIsAChangedSourceHoweverEarlyTheBrowserTellsTheCrash) {
    enum class Told { beforeAttaching, onEnabling, whenAsked };
    const auto event = [](const QString& method, const QJsonObject& fields) {
        QJsonObject message = fields;
        message.insert(u"method"_s, method);
        return QJsonDocument(message).toJson(QJsonDocument::Compact);
    };
    const auto attached = [&](const QString& target, const QString& session) {
        return event(u"Target.attachedToTarget"_s,
                     {{u"params"_s,
                       QJsonObject{{u"sessionId"_s, session},
                                   {u"targetInfo"_s, QJsonObject{{u"type"_s, u"page"_s}, {u"targetId"_s, target}}}}}});
    };
    const QByteArray crashed = event(u"Inspector.targetCrashed"_s, {{u"sessionId"_s, u"front"_s}});
    for (const auto& [told, behind] : {std::pair(Told::beforeAttaching, false), std::pair(Told::beforeAttaching, true),
                                       std::pair(Told::onEnabling, true), std::pair(Told::whenAsked, true)}) {
        SCOPED_TRACE(testing::Message() << "told " << int(told) << (behind ? ", a tab behind" : ", alone"));
        FakeDevToolsServer browser([&](const QJsonObject& command) -> QList<QByteArray> {
            const QString method = command.value(u"method"_s).toString();
            const QString session = command.value(u"sessionId"_s).toString();
            if (method == u"Target.setAutoAttach"_s) {
                QList<QByteArray> messages{attached(u"F"_s, u"front"_s)};
                if (behind) messages.append(attached(u"B"_s, u"behind"_s));
                if (told == Told::beforeAttaching) messages.append(crashed);
                return messages << test::replyTo(command, {});
            }
            if (method == u"Browser.getWindowForTarget"_s) {
                return {test::replyTo(
                    command, {{u"windowId"_s, 1},
                              {u"bounds"_s,
                               QJsonObject{{u"left"_s, 0}, {u"top"_s, 0}, {u"width"_s, 800}, {u"height"_s, 600}}}})};
            }
            // A crashed renderer answers nothing.
            if (session == u"front"_s) {
                if (method == u"Inspector.enable"_s && told == Told::onEnabling) return {crashed};
                if (method == u"Page.createIsolatedWorld"_s && told == Told::whenAsked) return {crashed};
                return {};
            }
            if (method == u"Page.createIsolatedWorld"_s)
                return {test::replyTo(command, {{u"executionContextId"_s, 7}})};
            if (method == u"Runtime.evaluate"_s) {
                return {test::replyTo(command, {{u"result"_s, QJsonObject{{u"value"_s, u"hidden"_s}}}})};
            }
            return {test::replyTo(command, {})};
        });
        FakeProcesses processes;
        BrowserSnapshotOptions options = optionsFor(processes, browser.port());
        EXPECT_EQ(failureOf(takeBrowserSnapshot(ArticleBrowser::chrome, true, options)), CaptureFailure::sourceChanged);
    }
}

// Nine pages behind the one in front on addresses of 2,000,000 characters, which come to more than the largest
// message read from the browser (16,000,000 bytes): the page in front is found, as each page behind is told in a
// message of its own. Nothing is asked whose answer would list them all, as the browser's list of targets would, or
// a page's frame tree with its frames on such addresses: the browser here answers both past the limit. The sizes are
// the product's; the wait for each answer the test's, since a fake browser answers such messages slowly on a
// loaded machine.
TEST(DevToolsTabs, PagesBehindOnAddressesPastTheMessageLimitNeverKeepThePageInFrontFromBeingFound) {
    const QString longAddress = u"data:text/html,"_s + QString(2'000'000, u'x');
    const QString frontAddress = u"http://127.0.0.1/front"_s;
    const auto targetInfo = [&](const QString& target) {
        return QJsonObject{
            {u"type"_s, u"page"_s}, {u"targetId"_s, target}, {u"url"_s, target == u"F"_s ? frontAddress : longAddress}};
    };
    QStringList targets{u"F"_s};
    for (int page = 1; page <= 9; ++page) targets.append(u"B"_s + QString::number(page));
    QStringList asked;
    FakeDevToolsServer browser([&](const QJsonObject& command) -> QList<QByteArray> {
        const QString method = command.value(u"method"_s).toString();
        const QString session = command.value(u"sessionId"_s).toString();
        const QJsonObject params = command.value(u"params"_s).toObject();
        asked.append(method);
        if (method == u"Target.setAutoAttach"_s) {
            QList<QByteArray> messages;
            for (const QString& target : targets) {
                messages.append(
                    QJsonDocument(QJsonObject{{u"method"_s, u"Target.attachedToTarget"_s},
                                              {u"params"_s, QJsonObject{{u"sessionId"_s, QString(u"s"_s + target)},
                                                                        {u"targetInfo"_s, targetInfo(target)}}}})
                        .toJson(QJsonDocument::Compact));
            }
            return messages << test::replyTo(command, {});
        }
        if (method == u"Target.getTargets"_s) {
            QJsonArray infos;
            for (const QString& target : targets) infos.append(targetInfo(target));
            return {test::replyTo(command, {{u"targetInfos"_s, infos}})};
        }
        if (method == u"Page.getFrameTree"_s) {
            QJsonArray frames;
            for (int frame = 0; frame < 9; ++frame) {
                frames.append(
                    QJsonObject{{u"frame"_s, QJsonObject{{u"id"_s, QString::number(frame)}, {u"url"_s, longAddress}}}});
            }
            return {test::replyTo(command, {{u"frameTree"_s, QJsonObject{{u"frame"_s, QJsonObject{{u"id"_s, session}}},
                                                                         {u"childFrames"_s, frames}}}})};
        }
        if (method == u"Page.createIsolatedWorld"_s) return {test::replyTo(command, {{u"executionContextId"_s, 7}})};
        if (method == u"Runtime.evaluate"_s) {
            const QString answer = session == u"sF"_s ? u"focused"_s : u"hidden"_s;
            return {test::replyTo(command, {{u"result"_s, QJsonObject{{u"value"_s, answer}}}})};
        }
        if (method == u"Browser.getWindowForTarget"_s) {
            return {test::replyTo(
                command,
                {{u"windowId"_s, 1},
                 {u"bounds"_s, QJsonObject{{u"left"_s, 0}, {u"top"_s, 0}, {u"width"_s, 800}, {u"height"_s, 600}}}})};
        }
        if (method == u"Target.getTargetInfo"_s) {
            return {test::replyTo(command, {{u"targetInfo"_s, targetInfo(params.value(u"targetId"_s).toString())}})};
        }
        return {test::replyTo(command, {})};
    });
    const DevToolsLimits limits{.wait = test::answerWait()};
    auto connection = DevToolsConnection::open(browser.port(), u"/devtools/browser/a"_s, limits);
    ASSERT_TRUE(connection);
    DevToolsPages pages(**connection);
    const auto tab = findActiveTab(**connection, pages, limits);
    ASSERT_TRUE(tab) << int(tab.error());
    EXPECT_EQ(tab->targetID, u"F"_s);
    EXPECT_EQ(tab->url, frontAddress);
    EXPECT_EQ(tab->sessionID, u"sF"_s);
    EXPECT_FALSE(asked.contains(u"Target.getTargets"_s));
    EXPECT_FALSE(asked.contains(u"Page.getFrameTree"_s));
}

// The inode of the socket that listens on `address`:`port` (hexadecimal as the kernel writes it) in one
// of the system's socket tables; 0 when there is none.
int listeningSocket(const QString& table, const QByteArray& address, quint16 port) {
    QFile file(u"/proc/net/"_s + table);
    if (!file.open(QIODevice::ReadOnly)) return 0;
    const QByteArray local = address + ':' + QByteArray::number(port, 16).toUpper().rightJustified(4, '0');
    for (const QByteArray& line : file.readAll().split('\n')) {
        const QByteArrayList fields = line.simplified().split(' ');
        if (fields.size() >= 10 && fields[1] == local && fields[3] == "0A") return fields[9].toInt();
    }
    return 0;
}

// Another program holds 127.0.0.1 on the browser's port, and the browser listens on ::1: the browser is
// spoken to there, and the other program never.
TEST(BrowserSnapshotFailures, ABrowserOnIPv6LoopbackIsSpokenToThereAndTheHolderOfItsPortNever) {
    FakeDevToolsServer holder([](const QJsonObject& command) -> QList<QByteArray> {
        return {test::replyTo(command, {{u"targetInfos"_s, QJsonArray{}}})};
    });
    FakeDevToolsServer browser(
        [](const QJsonObject& command) -> QList<QByteArray> {
            return {test::replyTo(command, {{u"targetInfos"_s, QJsonArray{}}})};
        },
        QHostAddress(QHostAddress::LocalHostIPv6), holder.port());
    const int browserSocket = listeningSocket(u"tcp6"_s, "00000000000000000000000001000000", holder.port());
    if (browserSocket == 0) GTEST_SKIP() << "this system has no IPv6 loopback";
    FakeProcesses processes;
    BrowserSnapshotOptions options = optionsFor(processes, holder.port());
    QDir(processes.root() + u"/60/fd"_s).removeRecursively();
    processes.holdSockets(60, {browserSocket});
    // A browser without pages: the conversation got as far as asking for them.
    EXPECT_EQ(failureOf(takeBrowserSnapshot(ArticleBrowser::chrome, true, options)), CaptureFailure::unavailable);
    QCoreApplication::processEvents();
    EXPECT_EQ(browser.connections(), 1);
    EXPECT_GE(browser.received(), 1);
    EXPECT_EQ(holder.connections(), 0);

    // Not the browser's on either address: nothing is sent.
    QDir(processes.root() + u"/60/fd"_s).removeRecursively();
    processes.holdSockets(60, {1});
    EXPECT_EQ(failureOf(takeBrowserSnapshot(ArticleBrowser::chrome, true, options)),
              CaptureFailure::browserJavaScriptDisabled);
    QCoreApplication::processEvents();
    EXPECT_EQ(browser.connections(), 1);
    EXPECT_EQ(holder.connections(), 0);
}

// The browser's port taken by another process: nothing is sent there.
TEST(BrowserSnapshotFailures, APortHeldByAnotherProcessIsNeverSpokenTo) {
    {
        FakeProcesses processes;
        FakeDevToolsServer impostor([](const QJsonObject& command) -> QList<QByteArray> {
            return {test::replyTo(command, {{u"targetInfos"_s, QJsonArray{}}})};
        });
        BrowserSnapshotOptions options = optionsFor(processes, impostor.port());
        // The browser's open files as they were before the impostor listened.
        QDir(processes.root() + u"/60/fd"_s).removeRecursively();
        processes.holdSockets(60, {1});
        EXPECT_EQ(failureOf(takeBrowserSnapshot(ArticleBrowser::chrome, true, options)),
                  CaptureFailure::browserJavaScriptDisabled);
        QCoreApplication::processEvents();
        EXPECT_EQ(impostor.connections(), 0);
    }

    // Real processes: an HTTP server on the port that a browser's command line names, and the browser
    // a process that listens nowhere. Each answers, however slowly a loaded machine starts it.
    const QString python = QStandardPaths::findExecutable(u"python3"_s);
    if (python.isEmpty()) GTEST_SKIP() << "python3 is not installed";
    const quint16 port = test::closedPort();
    QProcess server;
    server.start(python, {u"-u"_s, u"-m"_s, u"http.server"_s, QString::number(port), u"--bind"_s, u"127.0.0.1"_s});
    ASSERT_TRUE(server.waitForStarted(test::patienceMilliseconds()));
    const pid_t serverProcess = pid_t(server.processId());
    const QDeadlineTimer listening(test::patience());
    while (loopbackListenerOwnership(u"/proc"_s, serverProcess, port) != LoopbackListener::owned &&
           !listening.hasExpired()) {
        QThread::msleep(10);
    }
    ASSERT_EQ(loopbackListenerOwnership(u"/proc"_s, serverProcess, port), LoopbackListener::owned);

    QProcess stub;
    stub.start(test::inCheckout(CHROMIUM_STUB), {u"--remote-debugging-port="_s + QString::number(port)});
    ASSERT_TRUE(stub.waitForStarted(test::patienceMilliseconds()));
    const pid_t browser = pid_t(stub.processId());
    // The search reads the process's executable and command line, which are the stub's only once it runs
    // (QProcess may tell of the start while the exec is still under way): the stub says when it does.
    ASSERT_TRUE(stub.waitForReadyRead(test::patienceMilliseconds()));
    EXPECT_EQ(findDevToolsEndpoints({.process = browser}), (QList<DevToolsEndpoint>{{.pid = browser, .port = port}}));
    EXPECT_EQ(loopbackListenerOwnership(u"/proc"_s, browser, port), LoopbackListener::foreign);
    BrowserSnapshotOptions options;
    options.search.process = browser;
    EXPECT_EQ(failureOf(takeBrowserSnapshot(ArticleBrowser::chrome, true, options)),
              CaptureFailure::browserJavaScriptDisabled);
    // The worker, asked as a capture asks it.
    EXPECT_EQ(
        failureOf(runCaptureWorker({.operation = CaptureWorkerRequest::Operation::snapshot,
                                    .browser = ArticleBrowser::chrome,
                                    .process = browser},
                                   test::deadlineIn(test::patience()), CancellationToken::none(), test::realWorker())),
        CaptureFailure::browserJavaScriptDisabled);

    stub.terminate();
    stub.waitForFinished(test::patienceMilliseconds());
    server.terminate();
    // The server logs every request it is sent, all of it once it has ended.
    server.waitForFinished(test::patienceMilliseconds());
    const QByteArray log = server.readAllStandardError();
    EXPECT_FALSE(log.contains("GET")) << log.constData();
    EXPECT_FALSE(log.contains("HTTP")) << log.constData();
}

}  // namespace
}  // namespace tavrine
