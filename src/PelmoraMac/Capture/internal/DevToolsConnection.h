#pragma once

#include "PelmoraMac/Capture/internal/DevToolsFailure.h"
#include "PelmoraMac/Capture/internal/LoopbackListener.h"

#include <QByteArray>
#include <QHash>
#include <QJsonObject>
#include <QList>
#include <QSet>
#include <QString>
#include <tl/expected.hpp>

#include <chrono>
#include <functional>
#include <memory>
#include <optional>

class QDeadlineTimer;
class QEventLoop;
class QWebSocket;

namespace tavrine {

// Where a browser serves the protocol: a port on 127.0.0.1, or on ::1.
struct DevToolsAddress {
    // A port on 127.0.0.1 is where a browser mostly listens.
    DevToolsAddress(quint16 port, LoopbackAddress host = LoopbackAddress::ipv4) : port(port), host(host) {}

    quint16 port;
    LoopbackAddress host;

    bool operator==(const DevToolsAddress&) const = default;
};

// How long a wait for the browser may last, and how large one of its messages may be.
struct DevToolsLimits {
    std::chrono::milliseconds wait{3'000};
    qsizetype messageBytes = 16'000'000;
};

// One command of the protocol; with a session, to the page target of that session.
struct DevToolsCommand {
    QString method;
    QJsonObject params{};
    QString sessionID{};
};

// The "result" of one command; pageChanged when the browser answered that the page's document or the page
// itself went away meanwhile, or when the page's session ended before it answered; protocolError for any
// other error.
using DevToolsReply = tl::expected<QJsonObject, DevToolsFailure>;

template <typename T>
using DevToolsResult = tl::expected<T, DevToolsFailure>;

// A WebSocket connection to a browser target on the loopback interface (never another host), driven synchronously:
// each call runs a local event loop until its answers are in or a wait passes its limit. For the
// capture worker, which has no event loop of its own; usable on any thread with an event dispatcher,
// one thread per connection. Closing (destruction) detaches every session the connection attached.
class DevToolsConnection {
public:
    ~DevToolsConnection();
    DevToolsConnection(const DevToolsConnection&) = delete;
    DevToolsConnection& operator=(const DevToolsConnection&) = delete;

    // Connects to ws://127.0.0.1:<port><path> (or ws://[::1]:…). refused when nothing listens there,
    // timedOut when the handshake does not finish within the wait limit, disconnected when the browser
    // turns it down.
    static DevToolsResult<std::unique_ptr<DevToolsConnection>> open(DevToolsAddress address, const QString& path,
                                                                    DevToolsLimits limits = {});

    // Sends the commands at once and waits for all their replies, which come back in the commands'
    // order. The call fails as a whole when the connection does: timedOut (not every reply came within
    // the wait limit), tooLarge, disconnected, or protocolError for a message that is no JSON object.
    // Events of the protocol are ignored, but for those handed to `onEvent` and the end of a page's session
    // (detached, crashed): the commands sent to that session fail with pageChanged at once, and so does any
    // sent to it later.
    DevToolsResult<QList<DevToolsReply>> send(const QList<DevToolsCommand>& commands);
    // One command; its error reply comes back as the failure.
    DevToolsResult<QJsonObject> call(const DevToolsCommand& command);

    // Sends the command without waiting for its reply, which `takeReply` hands over once it came. For
    // conversations with several pages at once, each going on as its own replies come.
    qint64 post(const DevToolsCommand& command);
    // The reply to a posted command, once it came (then forgotten); nothing while it is awaited.
    std::optional<DevToolsReply> takeReply(qint64 id);
    // Stops awaiting the command: its reply, should it come later, is not read.
    void forget(qint64 id);
    // Runs the event loop until the condition holds (true) or the deadline passes (false); the
    // connection's failure when it fails meanwhile.
    DevToolsResult<bool> waitUntil(const std::function<bool()>& condition, const QDeadlineTimer& deadline);
    // Whether the browser ended the session (its page closed or crashed).
    bool hasEnded(const QString& sessionID) const { return m_endedSessions.contains(sessionID); }
    // Whether the session ended because the page's renderer crashed: the tab stays, showing the browser's page
    // for a crashed tab.
    bool hasCrashed(const QString& sessionID) const { return m_crashedSessions.contains(sessionID); }
    // Hands the parameters of each event of the method to `handler` as it comes in; an empty handler stops
    // that. For what the browser tells only as events.
    void onEvent(const QString& method, std::function<void(const QJsonObject& params)> handler);

private:
    explicit DevToolsConnection(DevToolsLimits limits);
    void receive(const QString& message);
    void endSession(const QString& sessionID);
    void fail(DevToolsFailure failure);
    // Runs the event loop until the condition holds, the connection fails, or the wait limit passes.
    DevToolsResult<void> waitFor(const std::function<bool()>& condition);

    DevToolsLimits m_limits;
    std::unique_ptr<QWebSocket> m_socket;
    QEventLoop* m_loop = nullptr;
    std::optional<DevToolsFailure> m_failure;
    qint64 m_nextID = 1;
    // The commands whose replies are awaited, with the session each went to, and the replies that came, by id.
    QHash<qint64, QString> m_awaited;
    QHash<qint64, DevToolsReply> m_replies;
    // The sessions that the browser ended: their pages went away.
    QSet<QString> m_endedSessions;
    QSet<QString> m_crashedSessions;
    QHash<QString, std::function<void(const QJsonObject&)>> m_eventHandlers;
};

// The body of an HTTP GET of `path` from the browser's address (its /json/version):
// refused, timedOut, tooLarge for a body over the message limit, protocolError for any status but 200
// or an answer that is no HTTP.
DevToolsResult<QByteArray> fetchDevToolsPage(DevToolsAddress address, const QString& path, DevToolsLimits limits = {});

}  // namespace tavrine
