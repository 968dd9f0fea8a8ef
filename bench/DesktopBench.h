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

// How long one step of a line may take before the bench gives up on it (a browser started, a page shown, a
// window mapped, a capture ended): far more than a loaded machine needs, a limit for what never comes. Each
// step waits for its condition, never for a set time.
inline constexpr std::chrono::seconds kStepLimit{120};

// Whether the condition came to hold within the limit; the event loop turns meanwhile.
bool waitFor(const std::function<bool()>& condition, std::chrono::seconds limit = kStepLimit);

// The output of xdotool, or nothing when it failed or took more than kStepLimit.
std::optional<QByteArray> xdotool(const QStringList& arguments);

// The id of the last shown window whose name matches the pattern, once there is one and it is active; none
// when none is within kStepLimit.
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
