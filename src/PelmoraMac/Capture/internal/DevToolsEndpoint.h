#pragma once

#include <QByteArray>
#include <QList>
#include <QString>

#include <sys/types.h>
#include <optional>

namespace tavrine {

// A browser of this desktop that serves the DevTools protocol on the loopback interface.
struct DevToolsEndpoint {
    pid_t pid = 0;
    quint16 port = 0;
    // The WebSocket path of the browser target, "/devtools/browser/<id>", as the browser wrote it in its
    // DevToolsActivePort file; empty when the port was given on its command line, and then the browser's
    // /json/version tells it.
    QString browserPath{};

    bool operator==(const DevToolsEndpoint&) const = default;
};

// Where browsers are looked for: the process folder, and either the process of the browser window in
// front or the display whose browsers count.
struct DevToolsEndpointSearch {
    QString processRoot = QStringLiteral("/proc");
    // The process that owns the browser window in front (its _NET_WM_PID). The browser is that process,
    // or else its nearest relative (its descendants and ancestors, nearest first, a descendant before an
    // ancestor) that is a browser listening for the protocol. Whatever its environment says.
    std::optional<pid_t> process{};
    // Without a process: the X11 display that a browser's environment must name (the screen number
    // aside); empty: the browser must have no DISPLAY either. By default this process's own, so that a
    // browser on another display (another session, another test's server) is never chosen.
    QByteArray display = qgetenv("DISPLAY");
};

// The browsers that listen for the DevTools protocol: the processes whose executable is named "chromium"
// or "chrome", without a --type= argument (the browser itself, not one of its helpers), started with
// --remote-debugging-port, or without it whose profile holds a DevToolsActivePort file (remote debugging
// switched on inside the browser). With a process in the search, the one browser found for it (or none);
// else those whose starting environment names the display, in the order of their process ids.
// Chromium writes its process title over the environment that /proc shows, so the environment that
// counts is the one the browser inherited: that of the process that started it (or of the nearest
// ancestor whose environment is intact). The port is the argument's; for port 0 (the browser chose one),
// or without the argument, it is line 1 of DevToolsActivePort in the browser's --user-data-dir (where
// a retitled command line cut that path at its spaces, the folder the browser holds files open in), else in
// its default profile folder (found through the starting environment, else, for a browser whose
// starter is gone, this process's own HOME), and line 2 the browser's path; that file is read only when
// it is a regular file of at most 4,096 bytes (never waited for). A browser whose files cannot
// be read (another user's) or whose port is unknown or invalid is left out. Whether the port is really
// the browser's is not checked here (loopbackRoute).
QList<DevToolsEndpoint> findDevToolsEndpoints(const DevToolsEndpointSearch& search = {});

struct DevToolsActivePort {
    quint16 port = 0;
    QString browserPath;

    bool operator==(const DevToolsActivePort&) const = default;
};

// The content of a DevToolsActivePort file: a port from 1 to 65535 on the first line and a browser path
// on the second; nothing when it is anything else.
std::optional<DevToolsActivePort> parseDevToolsActivePort(const QByteArray& content);

// Whether the text is the WebSocket path of a browser target: "/devtools/browser/" and an identifier of
// letters, digits and hyphens.
bool isDevToolsBrowserPath(const QString& path);

}  // namespace tavrine
