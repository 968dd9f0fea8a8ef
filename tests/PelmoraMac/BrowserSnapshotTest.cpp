#include "PelmoraMac/Capture/BrowserSnapshotScript.h"
#include "PelmoraMac/Capture/internal/DevToolsConnection.h"
#include "PelmoraMac/Capture/internal/DevToolsEndpoint.h"

#include "CaptureTesting.h"
#include "DevToolsTesting.h"

#include <gtest/gtest.h>
#include <QElapsedTimer>
#include <QJsonArray>

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
    EXPECT_GE(clock.elapsed(), 200);
    EXPECT_LT(clock.elapsed(), 1'000);

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
    auto connection = DevToolsConnection::open(browser.port(), u"/devtools/browser/a"_s, kShortWait);
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
    auto connection = DevToolsConnection::open(flooding.port(), u"/devtools/browser/a"_s, {.wait = 5s});
    ASSERT_TRUE(connection);
    EXPECT_EQ((*connection)->call({u"Target.getTargets"_s}).error(), DevToolsFailure::tooLarge);
}

// ---- The snapshot against such browsers ------------------------------------------------------------------

// A process folder holding one browser on display ":7" whose profile names the fake's port.
BrowserSnapshotOptions optionsFor(const FakeProcesses& processes, quint16 port) {
    processes.write(u"profile/DevToolsActivePort"_s, QByteArray::number(port) + "\n/devtools/browser/fake");
    processes.add(59, u"/usr/bin/bash"_s, {}, {u"DISPLAY=:7"_s});
    processes.add(60, kChromium,
                  {u"--remote-debugging-port=0"_s, u"--user-data-dir="_s + processes.filePath(u"profile"_s)}, {}, {},
                  59);
    return {.search = {.processRoot = processes.root(), .display = ":7"}, .limits = kShortWait};
}

TEST(BrowserSnapshotFailures, WhatGoesWrongWithTheBrowserIsWordedForTheCapture) {
    FakeProcesses none;
    QElapsedTimer clock;
    clock.start();
    EXPECT_EQ(failureOf(takeBrowserSnapshot(ArticleBrowser::chrome, true, {.search = {.processRoot = none.root()}})),
              CaptureFailure::browserJavaScriptDisabled);
    EXPECT_LT(clock.elapsed(), 200);

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
        EXPECT_EQ(failureOf(takeBrowserSnapshot(ArticleBrowser::chrome, true, optionsFor(processes, silent.port()))),
                  CaptureFailure::timedOut);
    }
    {
        FakeProcesses processes;
        FakeDevToolsServer flooding([](const QJsonObject& command) -> QList<QByteArray> {
            return {test::replyTo(command, {{u"targetInfos"_s, QString(20'000'000, u'x')}})};
        });
        BrowserSnapshotOptions options = optionsFor(processes, flooding.port());
        options.limits.wait = 5s;
        EXPECT_EQ(failureOf(takeBrowserSnapshot(ArticleBrowser::chrome, true, options)), CaptureFailure::unavailable);
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

}  // namespace
}  // namespace tavrine
