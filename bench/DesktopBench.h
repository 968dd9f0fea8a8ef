#pragma once

#include <QByteArray>
#include <QProcess>
#include <QString>
#include <QStringList>
#include <QTcpServer>

#include <chrono>
#include <functional>
#include <optional>

// What the capture-bench lines on a private X server share: waiting with the event loop turning, xdotool,
// the session's accessibility bus and a page server.
namespace tavrine::bench {

// Whether the condition came to hold within the limit; the event loop turns meanwhile.
bool waitFor(const std::function<bool()>& condition, std::chrono::seconds limit = std::chrono::seconds(20));

// The output of xdotool, or nothing when it failed or took more than 20 seconds.
std::optional<QByteArray> xdotool(const QStringList& arguments);

// The id of the last shown window whose name matches the pattern, once there is one and it is active; none
// when none is within 20 seconds.
std::optional<QString> activateWindowNamed(const QString& pattern);

// The session's accessibility bus, switched on, for as long as the object lives.
class AccessibilityBusLauncher {
public:
    AccessibilityBusLauncher();
    ~AccessibilityBusLauncher();
    AccessibilityBusLauncher(const AccessibilityBusLauncher&) = delete;
    AccessibilityBusLauncher& operator=(const AccessibilityBusLauncher&) = delete;

private:
    QProcess m_launcher;
};

// Serves pages over http on the loopback interface, from the event loop: an article wants a web address.
// `page` answers a request's path.
class PageServer {
public:
    explicit PageServer(std::function<QByteArray(const QByteArray& path)> page);
    QString url(const QString& path) const;

private:
    QTcpServer m_server;
    std::function<QByteArray(const QByteArray&)> m_page;
};

}  // namespace tavrine::bench
