#include "PelmoraMac/App/SingleInstance.h"

#include "ReaderCore/ApplicationIdentifier.h"
#include "ReaderCore/MainThread.h"

#include <QCryptographicHash>
#include <QDir>
#include <QLocalServer>
#include <QLocalSocket>
#include <QLockFile>
#include <QStandardPaths>
#include <QTimer>

#include <unistd.h>

namespace tavrine {
using namespace Qt::StringLiterals;

namespace {

const QByteArray kShowRequest = "show\n";
const QByteArray kShown = "shown\n";
// A peer that says nothing useful within this time is dropped.
constexpr std::chrono::milliseconds kPeerTimeout{3000};
// How long a claim waits for another claim of the same name to finish.
constexpr std::chrono::milliseconds kClaimLockTimeout{5000};

}  // namespace

QString SingleInstance::socketPath(const QString& storeFile) {
    QString folder = QStandardPaths::writableLocation(QStandardPaths::RuntimeLocation);
    if (folder.isEmpty()) folder = QDir::tempPath();
    const QByteArray digest = QCryptographicHash::hash(storeFile.toUtf8(), QCryptographicHash::Sha256).toHex().left(16);
    return folder + u'/' + QString::fromUtf16(kApplicationIdentifier) + u'-' + QString::number(::getuid()) + u'-' +
           QString::fromLatin1(digest);
}

SingleInstance::SingleInstance(QString socketPath, QObject* parent) : QObject(parent), m_path(std::move(socketPath)) {}

SingleInstance::~SingleInstance() = default;

SingleInstance::Claim SingleInstance::claim() {
    Q_ASSERT(isMainThread());
    QLockFile claiming(m_path + u".lock"_s);
    // Without the lock (a claim that hangs elsewhere) the claim goes on unguarded rather than not at all.
    const bool locked = claiming.tryLock(int(kClaimLockTimeout.count()));
    Q_UNUSED(locked);
    if (askRunningInstance()) return Claim::handedOver;
    // Nobody answered: a socket file still there was left by a process that ended without removing it.
    QLocalServer::removeServer(m_path);
    auto* server = new QLocalServer(this);
    server->setSocketOptions(QLocalServer::UserAccessOption);
    if (!server->listen(m_path)) {
        delete server;
        return Claim::unavailable;
    }
    m_server = server;
    connect(m_server, &QLocalServer::newConnection, this, [this] {
        while (QLocalSocket* socket = m_server->nextPendingConnection()) answer(socket);
    });
    return Claim::instance;
}

bool SingleInstance::askRunningInstance() {
    QLocalSocket socket;
    socket.connectToServer(m_path);
    if (!socket.waitForConnected(int(kPeerTimeout.count()))) return false;
    socket.write(kShowRequest);
    socket.waitForBytesWritten(int(kPeerTimeout.count()));
    // The answer only confirms; an instance that is too busy to answer in time still got the request.
    while (socket.bytesAvailable() < kShown.size() && socket.waitForReadyRead(int(kPeerTimeout.count()))) {
    }
    return true;
}

void SingleInstance::answer(QLocalSocket* socket) {
    socket->setParent(this);
    auto* timeout = new QTimer(socket);
    timeout->setSingleShot(true);
    connect(timeout, &QTimer::timeout, socket, &QObject::deleteLater);
    connect(socket, &QLocalSocket::disconnected, socket, &QObject::deleteLater);
    const auto readRequest = [this, socket] {
        if (socket->bytesAvailable() < kShowRequest.size()) return;
        const bool asked = socket->read(kShowRequest.size()) == kShowRequest;
        if (asked) socket->write(kShown);
        socket->disconnectFromServer();
        if (asked) emit showRequested();
    };
    connect(socket, &QLocalSocket::readyRead, this, readRequest);
    timeout->start(kPeerTimeout);
    readRequest();
}

}  // namespace tavrine
