#pragma once

#include "PelmoraMac/Capture/internal/DevToolsFailure.h"

#include "support/TemporaryDirectory.h"

#include <QDir>
#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QList>
#include <QStringList>
#include <QTcpServer>
#include <QWebSocket>
#include <QWebSocketServer>

#include <sys/types.h>
#include <functional>
#include <memory>
#include <ostream>

namespace tavrine {

inline void PrintTo(DevToolsFailure failure, std::ostream* out) {
    *out << "DevToolsFailure(" << int(failure) << ")";
}

namespace test {

// A process folder of a test's making, as the browser search reads /proc: per process a folder with
// the link "exe" (to a file that need not exist), "cmdline" and "environ" (NUL-separated), "stat" naming
// its parent (after a name with parentheses in it) and, when given, the link "cwd".
class FakeProcesses {
public:
    QString root() const { return m_folder.path(); }
    // A folder for profiles and configuration beside the processes.
    QString filePath(const QString& name) const { return m_folder.filePath(QStringLiteral("files/") + name); }
    QString write(const QString& name, const QByteArray& content) const {
        return m_folder.write(QStringLiteral("files/") + name, content);
    }

    void add(pid_t pid, const QString& executable, const QStringList& arguments, const QStringList& environment,
             const QString& workingFolder = {}, pid_t parent = 1) const {
        QByteArray commandLine = QFile::encodeName(executable) + '\0';
        for (const QString& argument : arguments) commandLine += argument.toUtf8() + '\0';
        write(pid, executable, commandLine, environmentOf(environment), workingFolder, parent);
    }
    // The same as Chromium leaves it: its process title (the arguments joined by spaces) written over
    // its command line, and the end of the title over its environment.
    void addRetitled(pid_t pid, const QString& executable, const QStringList& arguments, const QByteArray& environment,
                     const QString& workingFolder, pid_t parent) const {
        QByteArray commandLine = QFile::encodeName(executable);
        for (const QString& argument : arguments) commandLine += ' ' + argument.toUtf8();
        commandLine += '\0';
        write(pid, executable, commandLine, environment, workingFolder, parent);
    }

    // The folder's socket tables are the system's as they are now.
    void copySocketTables() const {
        for (const char* table : {"tcp", "tcp6"}) {
            QFile system(QStringLiteral("/proc/net/") + QLatin1StringView(table));
            if (system.open(QIODevice::ReadOnly))
                m_folder.write(QStringLiteral("net/") + QLatin1StringView(table), system.readAll());
        }
    }
    // The process `pid` holds every socket this process has open, and the folder's socket tables are
    // the system's as they are now: a server this process runs listens as that process.
    void holdSocketsOfThisProcess(pid_t pid) const {
        copySocketTables();
        const QDir own(QStringLiteral("/proc/self/fd"));
        const QString folder = m_folder.filePath(QString::number(pid) + QStringLiteral("/fd/"));
        QDir().mkpath(folder);
        for (const QString& descriptor : own.entryList(QDir::AllEntries | QDir::System | QDir::NoDotAndDotDot)) {
            const QString target = QFile::symLinkTarget(own.filePath(descriptor));
            const qsizetype socket = target.lastIndexOf(QStringLiteral("socket:["));
            if (socket >= 0) QFile::link(target.mid(socket), folder + descriptor);
        }
    }
    // A socket table of the folder's own, as the kernel writes it.
    void writeSocketTable(const QString& table, const QByteArrayList& rows) const {
        QByteArray content =
            "  sl  local_address rem_address   st tx_queue rx_queue tr tm->when retrnsmt   uid  timeout inode\n";
        for (const QByteArray& row : rows) content += row + '\n';
        m_folder.write(QStringLiteral("net/") + table, content);
    }
    // The process holds the sockets of these inodes.
    void holdSockets(pid_t pid, const QList<int>& inodes) const {
        const QString folder = m_folder.filePath(QString::number(pid) + QStringLiteral("/fd/"));
        QDir().mkpath(folder);
        for (qsizetype index = 0; index < inodes.size(); ++index) {
            QFile::link(QStringLiteral("socket:[%1]").arg(inodes[index]), folder + QString::number(index + 3));
        }
    }
    // The process holds these files open.
    void holdFiles(pid_t pid, const QStringList& paths) const {
        const QString folder = m_folder.filePath(QString::number(pid) + QStringLiteral("/fd/"));
        QDir().mkpath(folder);
        for (qsizetype index = 0; index < paths.size(); ++index) {
            QFile::link(paths[index], folder + QString::number(index + 40));
        }
    }
    void writeStatus(pid_t pid, uint uid) const {
        m_folder.write(QString::number(pid) + QStringLiteral("/status"),
                       "Name:\tchromium\nUid:\t" + QByteArray::number(uid) + "\t" + QByteArray::number(uid) + "\n");
    }

    static QByteArray environmentOf(const QStringList& variables) {
        QByteArray bytes;
        for (const QString& variable : variables) bytes += variable.toUtf8() + '\0';
        return bytes;
    }

private:
    void write(pid_t pid, const QString& executable, const QByteArray& commandLine, const QByteArray& environment,
               const QString& workingFolder, pid_t parent) const {
        const QString folder = QString::number(pid) + u'/';
        m_folder.write(folder + QStringLiteral("cmdline"), commandLine);
        m_folder.write(folder + QStringLiteral("environ"), environment);
        m_folder.write(folder + QStringLiteral("stat"),
                       QByteArray::number(pid) + " (a (b) c) S " + QByteArray::number(parent) + " 1 1 0");
        QFile::link(executable, m_folder.filePath(folder + QStringLiteral("exe")));
        if (!workingFolder.isEmpty()) QFile::link(workingFolder, m_folder.filePath(folder + QStringLiteral("cwd")));
    }

    TemporaryDirectory m_folder;
};

// A WebSocket server on 127.0.0.1 (or the address given, on the port given) that plays a browser: each
// text message it receives goes to `answer`, whose messages it sends back; without one it stays silent.
class FakeDevToolsServer {
public:
    using Answer = std::function<QList<QByteArray>(const QJsonObject& command)>;

    explicit FakeDevToolsServer(Answer answer = {}, const QHostAddress& address = QHostAddress(QHostAddress::LocalHost),
                                quint16 port = 0)
        : m_server(QStringLiteral("fake browser"), QWebSocketServer::NonSecureMode), m_answer(std::move(answer)) {
        m_server.listen(address, port);
        QObject::connect(&m_server, &QWebSocketServer::newConnection, [this] {
            while (QWebSocket* socket = m_server.nextPendingConnection()) {
                ++m_connections;
                m_sockets.emplace_back(socket);
                socket->setOutgoingFrameSize(1 << 20);
                QObject::connect(socket, &QWebSocket::textMessageReceived, [this, socket](const QString& text) {
                    ++m_received;
                    if (!m_answer) return;
                    for (const QByteArray& reply : m_answer(QJsonDocument::fromJson(text.toUtf8()).object())) {
                        socket->sendTextMessage(QString::fromUtf8(reply));
                    }
                });
            }
        });
    }

    quint16 port() const { return m_server.serverPort(); }
    int received() const { return m_received; }
    int connections() const { return m_connections; }
    void closeConnections() {
        for (const auto& socket : m_sockets) socket->close();
    }

private:
    QWebSocketServer m_server;
    Answer m_answer;
    std::vector<std::unique_ptr<QWebSocket>> m_sockets;
    int m_received = 0;
    int m_connections = 0;
};

// The reply to a command, with its result.
inline QByteArray replyTo(const QJsonObject& command, const QJsonObject& result) {
    return QJsonDocument(QJsonObject{{QStringLiteral("id"), command.value(QStringLiteral("id"))},
                                     {QStringLiteral("result"), result}})
        .toJson(QJsonDocument::Compact);
}

// A port on 127.0.0.1 where nothing listens (it did a moment ago).
inline quint16 closedPort() {
    QTcpServer server;
    server.listen(QHostAddress::LocalHost);
    return server.serverPort();
}

}  // namespace test
}  // namespace tavrine
