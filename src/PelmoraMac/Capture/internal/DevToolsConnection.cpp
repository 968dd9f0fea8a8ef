#include "PelmoraMac/Capture/internal/DevToolsConnection.h"

#include <QDeadlineTimer>
#include <QEventLoop>
#include <QHostAddress>
#include <QJsonArray>
#include <QJsonDocument>
#include <QNetworkProxy>
#include <QTcpSocket>
#include <QTimer>
#include <QUrl>
#include <QWebSocket>

namespace tavrine {
using namespace Qt::StringLiterals;
namespace {

// Runs a local event loop until `done` holds or the deadline passes; `wake` is where the handlers find
// the loop to stop it early.
template <typename Done>
bool runEventsUntil(QEventLoop*& wake, const QDeadlineTimer& deadline, Done done) {
    while (!done()) {
        if (deadline.hasExpired()) return false;
        QEventLoop loop;
        wake = &loop;
        QTimer timer;
        timer.setSingleShot(true);
        timer.setTimerType(Qt::PreciseTimer);
        QObject::connect(&timer, &QTimer::timeout, &loop, &QEventLoop::quit);
        timer.start(std::chrono::milliseconds(std::max<qint64>(deadline.remainingTime(), 0)));
        loop.exec(QEventLoop::ExcludeUserInputEvents);
        wake = nullptr;
    }
    return true;
}

void wakeUp(QEventLoop* loop) {
    if (loop) loop->quit();
}

// What the browser answers to a command for a page whose document, or which itself, went away: a navigation
// destroyed the context a program was to run in (or ran in), or left the page between documents with none yet,
// the page's renderer was swapped or the page closed while the command waited, or the session or target no
// longer exists. The browser writes these, never the page.
const QLatin1StringView kPageChangedErrors[] = {
    QLatin1StringView("Execution context was destroyed"),
    QLatin1StringView("Cannot find context with specified id"),
    QLatin1StringView("Cannot find default execution context"),
    QLatin1StringView("Inspected target navigated or closed"),
    QLatin1StringView("Session with given id not found"),
    QLatin1StringView("No target with given id found"),
    QLatin1StringView("No frame for given id found"),
    QLatin1StringView("Not attached to an active page"),
};

DevToolsFailure failureOfError(const QJsonValue& error) {
    const QString message = error.toObject().value(u"message"_s).toString();
    for (const QLatin1StringView known : kPageChangedErrors) {
        if (message.contains(known)) return DevToolsFailure::pageChanged;
    }
    return DevToolsFailure::protocolError;
}

QHostAddress hostOf(DevToolsAddress address) {
    return QHostAddress(address.host == LoopbackAddress::ipv6 ? QHostAddress::LocalHostIPv6 : QHostAddress::LocalHost);
}

}  // namespace

DevToolsConnection::DevToolsConnection(DevToolsLimits limits)
    : m_limits(limits), m_socket(std::make_unique<QWebSocket>()) {}

DevToolsConnection::~DevToolsConnection() {
    m_socket->disconnect();
    m_socket->abort();
}

void DevToolsConnection::fail(DevToolsFailure failure) {
    if (!m_failure) m_failure = failure;
    wakeUp(m_loop);
}

void DevToolsConnection::receive(const QString& message) {
    QJsonParseError error;
    const QJsonDocument document = QJsonDocument::fromJson(message.toUtf8(), &error);
    if (error.error != QJsonParseError::NoError || !document.isObject()) return fail(DevToolsFailure::protocolError);
    const QJsonObject object = document.object();
    const QJsonValue id = object.value(u"id"_s);
    // Events carry no id. Of them only the end of a page's session (the browser answers nothing more that
    // was sent to it) and those handed to a handler are read.
    if (id.isUndefined()) {
        const QString method = object.value(u"method"_s).toString();
        if (method == u"Target.detachedFromTarget"_s) {
            endSession(object.value(u"params"_s).toObject().value(u"sessionId"_s).toString());
        } else if (method == u"Inspector.detached"_s) {
            endSession(object.value(u"sessionId"_s).toString());
        } else if (method == u"Inspector.targetCrashed"_s) {
            const QString session = object.value(u"sessionId"_s).toString();
            if (!session.isEmpty()) m_crashedSessions.insert(session);
            endSession(session);
        } else if (const auto handler = m_eventHandlers.value(method)) {
            handler(object.value(u"params"_s).toObject());
        }
        return;
    }
    const qint64 key = id.toInteger(-1);
    // A reply to nothing asked, or a second one, is not read.
    if (!m_awaited.remove(key)) return;
    if (object.contains(u"error"_s)) {
        m_replies.insert(key, tl::unexpected(failureOfError(object.value(u"error"_s))));
    } else {
        m_replies.insert(key, object.value(u"result"_s).toObject());
    }
    wakeUp(m_loop);
}

void DevToolsConnection::endSession(const QString& sessionID) {
    if (sessionID.isEmpty()) return;
    m_endedSessions.insert(sessionID);
    for (auto command = m_awaited.begin(); command != m_awaited.end();) {
        if (command.value() == sessionID) {
            m_replies.insert(command.key(), tl::unexpected(DevToolsFailure::pageChanged));
            command = m_awaited.erase(command);
        } else {
            ++command;
        }
    }
    wakeUp(m_loop);
}

void DevToolsConnection::onEvent(const QString& method, std::function<void(const QJsonObject& params)> handler) {
    if (handler) {
        m_eventHandlers.insert(method, std::move(handler));
    } else {
        m_eventHandlers.remove(method);
    }
}

DevToolsResult<bool> DevToolsConnection::waitUntil(const std::function<bool()>& condition,
                                                   const QDeadlineTimer& deadline) {
    const bool done = runEventsUntil(m_loop, deadline, [&] { return m_failure || condition(); });
    if (m_failure) return tl::unexpected(*m_failure);
    return done;
}

DevToolsResult<void> DevToolsConnection::waitFor(const std::function<bool()>& condition) {
    auto done = waitUntil(condition, QDeadlineTimer(m_limits.wait, Qt::PreciseTimer));
    if (!done) return tl::unexpected(done.error());
    if (!*done) return tl::unexpected(DevToolsFailure::timedOut);
    return {};
}

DevToolsResult<std::unique_ptr<DevToolsConnection>> DevToolsConnection::open(DevToolsAddress address,
                                                                             const QString& path,
                                                                             DevToolsLimits limits) {
    std::unique_ptr<DevToolsConnection> connection(new DevToolsConnection(limits));
    DevToolsConnection* self = connection.get();
    QWebSocket& socket = *self->m_socket;
    socket.setProxy(QNetworkProxy::NoProxy);
    socket.setMaxAllowedIncomingMessageSize(quint64(limits.messageBytes));
    socket.setMaxAllowedIncomingFrameSize(quint64(limits.messageBytes));
    bool connected = false;
    QObject::connect(&socket, &QWebSocket::connected, [self, &connected] {
        connected = true;
        wakeUp(self->m_loop);
    });
    QObject::connect(&socket, &QWebSocket::textMessageReceived,
                     [self](const QString& message) { self->receive(message); });
    QObject::connect(&socket, qOverload<QAbstractSocket::SocketError>(&QWebSocket::error),
                     [self](QAbstractSocket::SocketError error) {
                         self->fail(error == QAbstractSocket::ConnectionRefusedError ? DevToolsFailure::refused
                                                                                     : DevToolsFailure::disconnected);
                     });
    QObject::connect(&socket, &QWebSocket::disconnected, [self] {
        // The socket tells a refused connection as a disconnection before its error, and a message over
        // the limit by the code with which it closed the connection.
        if (self->m_socket->error() == QAbstractSocket::ConnectionRefusedError) {
            self->fail(DevToolsFailure::refused);
        } else if (self->m_socket->closeCode() == QWebSocketProtocol::CloseCodeTooMuchData) {
            self->fail(DevToolsFailure::tooLarge);
        } else {
            self->fail(DevToolsFailure::disconnected);
        }
    });

    QUrl url;
    url.setScheme(u"ws"_s);
    url.setHost(hostOf(address).toString());
    url.setPort(address.port);
    url.setPath(path);
    socket.open(url);
    auto opened = self->waitFor([&connected] { return connected; });
    if (!opened) return tl::unexpected(opened.error());
    // From here on, the connected flag of this frame is no longer looked at.
    QObject::disconnect(&socket, &QWebSocket::connected, nullptr, nullptr);
    return connection;
}

qint64 DevToolsConnection::post(const DevToolsCommand& command) {
    const qint64 id = m_nextID++;
    // A page whose session ended answers nothing more.
    if (m_endedSessions.contains(command.sessionID)) {
        m_replies.insert(id, tl::unexpected(DevToolsFailure::pageChanged));
        return id;
    }
    QJsonObject message{{u"id"_s, id}, {u"method"_s, command.method}, {u"params"_s, command.params}};
    if (!command.sessionID.isEmpty()) message.insert(u"sessionId"_s, command.sessionID);
    m_awaited.insert(id, command.sessionID);
    if (!m_failure) m_socket->sendTextMessage(QString::fromUtf8(QJsonDocument(message).toJson(QJsonDocument::Compact)));
    return id;
}

std::optional<DevToolsReply> DevToolsConnection::takeReply(qint64 id) {
    const auto reply = m_replies.constFind(id);
    if (reply == m_replies.cend()) return std::nullopt;
    return m_replies.take(id);
}

void DevToolsConnection::forget(qint64 id) {
    m_awaited.remove(id);
    m_replies.remove(id);
}

DevToolsResult<QList<DevToolsReply>> DevToolsConnection::send(const QList<DevToolsCommand>& commands) {
    if (m_failure) return tl::unexpected(*m_failure);
    QList<qint64> ids;
    ids.reserve(commands.size());
    for (const DevToolsCommand& command : commands) ids.append(post(command));
    auto answered = waitFor(
        [&] { return std::none_of(ids.cbegin(), ids.cend(), [&](qint64 id) { return m_awaited.contains(id); }); });
    QList<DevToolsReply> replies;
    replies.reserve(ids.size());
    for (const qint64 id : ids) {
        m_awaited.remove(id);
        if (m_replies.contains(id)) replies.append(m_replies.take(id));
    }
    if (!answered) return tl::unexpected(answered.error());
    return replies;
}

DevToolsResult<QJsonObject> DevToolsConnection::call(const DevToolsCommand& command) {
    auto replies = send({command});
    if (!replies) return tl::unexpected(replies.error());
    return replies->first();
}

DevToolsResult<QByteArray> fetchDevToolsPage(DevToolsAddress address, const QString& path, DevToolsLimits limits) {
    QTcpSocket socket;
    socket.setProxy(QNetworkProxy::NoProxy);
    QEventLoop* loop = nullptr;
    std::optional<DevToolsFailure> failure;
    QByteArray received;
    bool closed = false;
    QObject::connect(&socket, &QTcpSocket::connected, [&] { wakeUp(loop); });
    QObject::connect(&socket, &QTcpSocket::readyRead, [&] {
        received += socket.readAll();
        wakeUp(loop);
    });
    QObject::connect(&socket, &QTcpSocket::disconnected, [&] {
        closed = true;
        wakeUp(loop);
    });
    QObject::connect(&socket, &QTcpSocket::errorOccurred, [&](QAbstractSocket::SocketError error) {
        if (error == QAbstractSocket::RemoteHostClosedError) return;
        if (!failure) {
            failure = error == QAbstractSocket::ConnectionRefusedError ? DevToolsFailure::refused
                                                                       : DevToolsFailure::disconnected;
        }
        wakeUp(loop);
    });

    const QDeadlineTimer deadline(limits.wait, Qt::PreciseTimer);
    const QHostAddress host = hostOf(address);
    socket.connectToHost(host, address.port);
    if (!runEventsUntil(loop, deadline, [&] { return failure || socket.state() == QAbstractSocket::ConnectedState; })) {
        return tl::unexpected(DevToolsFailure::timedOut);
    }
    if (failure) return tl::unexpected(*failure);
    const QByteArray hostName = address.host == LoopbackAddress::ipv6 ? "[::1]" : "127.0.0.1";
    socket.write("GET " + path.toUtf8() + " HTTP/1.1\r\nHost: " + hostName + ':' + QByteArray::number(address.port) +
                 "\r\nConnection: close\r\n\r\n");

    // The answer is complete when its body has the length its header gives, or when the connection ends.
    qsizetype bodyStart = -1;
    qsizetype bodyLength = -1;
    const auto complete = [&] {
        if (failure || closed) return true;
        if (bodyStart < 0) {
            bodyStart = received.indexOf("\r\n\r\n");
            if (bodyStart < 0) return received.size() > limits.messageBytes;
            bodyStart += 4;
            for (const QByteArray& line : received.left(bodyStart).split('\n')) {
                if (line.toLower().startsWith("content-length:")) {
                    bool valid = false;
                    bodyLength = line.mid(15).trimmed().toLongLong(&valid);
                    if (!valid || bodyLength < 0) bodyLength = -1;
                }
            }
        }
        return (bodyLength >= 0 && received.size() - bodyStart >= bodyLength) ||
               received.size() - bodyStart > limits.messageBytes;
    };
    if (!runEventsUntil(loop, deadline, complete)) return tl::unexpected(DevToolsFailure::timedOut);
    if (failure) return tl::unexpected(*failure);
    if (bodyStart < 0) {
        return tl::unexpected(received.size() > limits.messageBytes ? DevToolsFailure::tooLarge
                                                                    : DevToolsFailure::protocolError);
    }
    QByteArray body = received.mid(bodyStart);
    if (body.size() > limits.messageBytes) return tl::unexpected(DevToolsFailure::tooLarge);
    if (bodyLength >= 0) {
        if (body.size() < bodyLength) return tl::unexpected(DevToolsFailure::protocolError);
        body.truncate(bodyLength);
    }
    const QByteArray status = received.left(received.indexOf("\r\n"));
    if (!status.startsWith("HTTP/1.") || status.split(' ').value(1) != "200") {
        return tl::unexpected(DevToolsFailure::protocolError);
    }
    return body;
}

}  // namespace tavrine
