#include "PelmoraMac/App/SingleInstance.h"

#include "ReaderCore/ApplicationIdentifier.h"
#include "ReaderCore/MainThread.h"

#include <QCryptographicHash>
#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLocalServer>
#include <QLocalSocket>
#include <QLockFile>
#include <QStandardPaths>
#include <QTimer>

#include <fcntl.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <algorithm>

namespace tavrine {
using namespace Qt::StringLiterals;

namespace {

const QByteArray kShowRequest = "show\n";
const QByteArray kShown = "shown\n";
// A peer that says nothing useful within this time is dropped.
constexpr std::chrono::milliseconds kPeerTimeout = SingleInstance::kAnswerTimeout;
// How long a claim waits for another claim of the same name to finish.
constexpr std::chrono::milliseconds kClaimLockTimeout{5000};

// What is left of the deadline, at least one millisecond: a wait of 0 would not even look.
int remainingMilliseconds(const QDeadlineTimer& deadline) {
    return int(std::max<qint64>(deadline.remainingTime(), 1));
}

// The process that listens on the other end of a connected local socket.
std::optional<qint64> peerProcess(int descriptor) {
    ucred credentials{};
    socklen_t size = sizeof credentials;
    if (descriptor < 0 || ::getsockopt(descriptor, SOL_SOCKET, SO_PEERCRED, &credentials, &size) != 0 ||
        credentials.pid <= 0) {
        return std::nullopt;
    }
    return credentials.pid;
}

}  // namespace

QString SingleInstance::socketPath(const QString& storeFile) {
    QString folder = QStandardPaths::writableLocation(QStandardPaths::RuntimeLocation);
    if (folder.isEmpty()) folder = QDir::tempPath();
    const QByteArray digest = QCryptographicHash::hash(storeFile.toUtf8(), QCryptographicHash::Sha256).toHex().left(16);
    return folder + u'/' + QString::fromUtf16(kApplicationIdentifier) + u'-' + QString::number(::getuid()) + u'-' +
           QString::fromLatin1(digest);
}

SingleInstance::SingleInstance(QString socketPath, QObject* parent)
    : QObject(parent), m_path(std::move(socketPath)), m_address(m_path) {
    Q_ASSERT(isMainThread());
    if (QFile::encodeName(m_path).size() < qsizetype(sizeof(sockaddr_un::sun_path))) return;
    // The address holds the path and its terminating zero, or nothing: the same file is named through a
    // handle on its folder instead, which the kernel follows to the folder itself. Without the folder,
    // the claim finds no instance and cannot listen either: unavailable, as before.
    const QFileInfo file(m_path);
    m_folder = ::open(QFile::encodeName(file.absolutePath()).constData(), O_PATH | O_DIRECTORY | O_CLOEXEC);
    if (m_folder >= 0) m_address = u"/proc/self/fd/"_s + QString::number(m_folder) + u'/' + file.fileName();
}

SingleInstance::~SingleInstance() {
    // The server removes its socket file by the address, so before the handle that address goes through.
    delete m_server;
    if (m_folder >= 0) ::close(m_folder);
}

SingleInstance::Claim SingleInstance::claim() {
    Q_ASSERT(isMainThread());
    QLockFile claiming(m_path + u".lock"_s);
    // Without the lock (a claim that hangs elsewhere) the claim goes on unguarded rather than not at all.
    const bool locked = claiming.tryLock(int(kClaimLockTimeout.count()));
    Q_UNUSED(locked);
    if (const auto answer = askRunningInstance()) return *answer;
    // Nobody answered: a socket file still there was left by a process that ended without removing it.
    QLocalServer::removeServer(m_address);
    auto* server = new QLocalServer(this);
    server->setSocketOptions(QLocalServer::UserAccessOption);
    if (!server->listen(m_address)) {
        delete server;
        return Claim::unavailable;
    }
    m_server = server;
    connect(m_server, &QLocalServer::newConnection, this, [this] {
        while (QLocalSocket* socket = m_server->nextPendingConnection()) answer(socket);
    });
    return Claim::instance;
}

// handedOver or notResponding when an instance listens; nothing when none does (no socket, or one left
// by a process that ended).
std::optional<SingleInstance::Claim> SingleInstance::askRunningInstance() {
    const QDeadlineTimer deadline(kAnswerTimeout);
    QLocalSocket socket;
    socket.connectToServer(m_address);
    if (!socket.waitForConnected(remainingMilliseconds(deadline))) {
        // A listener whose queue of connections is full is there, but not answering.
        if (socket.error() == QLocalSocket::SocketTimeoutError) return Claim::notResponding;
        return std::nullopt;
    }
    m_runningProcess = peerProcess(int(socket.socketDescriptor()));
    // The kernel accepts the connection even for a process that never runs again: only the answer
    // tells a working instance from a hung or stopped one.
    socket.write(kShowRequest);
    socket.waitForBytesWritten(remainingMilliseconds(deadline));
    QByteArray answer;
    while (answer.size() < kShown.size()) {
        if (socket.bytesAvailable() == 0 && !socket.waitForReadyRead(remainingMilliseconds(deadline))) break;
        answer += socket.read(kShown.size() - answer.size());
    }
    return answer == kShown ? Claim::handedOver : Claim::notResponding;
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
