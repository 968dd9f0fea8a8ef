#include "PelmoraMac/Capture/internal/LoopbackListener.h"

#include <QDir>
#include <QFile>
#include <QList>
#include <QSet>

#include <optional>

namespace tavrine {
using namespace Qt::StringLiterals;
namespace {

// A listening socket of the kernel's tables.
struct Listener {
    bool isLoopback = false;  // bound to the loopback address alone, rather than to every address
    uint uid = 0;
    QByteArray inode;
};

// The state "LISTEN" in the tables.
constexpr char kListening[] = "0A";

// The hexadecimal addresses that reach 127.0.0.1 or ::1, as the tables write them (in the kernel's byte
// order, four bytes at a time): the address itself, and the addresses of every interface. A socket of
// IPv6 bound to every address takes IPv4 connections too; one of IPv4 never takes IPv6 connections.
bool isLoopbackAddress(const QByteArray& address, LoopbackAddress loopback) {
    if (loopback == LoopbackAddress::ipv6) return address == "00000000000000000000000001000000";
    return address == "0100007F" || address == "0000000000000000FFFF00000100007F";
}
bool isWildcardAddress(const QByteArray& address, LoopbackAddress loopback) {
    if (address == "00000000000000000000000000000000") return true;
    return loopback == LoopbackAddress::ipv4 &&
           (address == "00000000" || address == "0000000000000000FFFF000000000000");
}

// The listeners on `port` of one table ("sl local_address rem_address st … uid timeout inode …").
void readListeners(const QString& path, quint16 port, LoopbackAddress loopback, QList<Listener>& listeners) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) return;
    const QByteArray wantedPort = QByteArray::number(port, 16).toUpper().rightJustified(4, '0');
    file.readLine();  // the heading
    while (!file.atEnd()) {
        const QByteArrayList fields = file.readLine().simplified().split(' ');
        if (fields.size() < 10 || fields[3] != kListening) continue;
        const QByteArray& local = fields[1];
        const qsizetype colon = local.indexOf(':');
        if (colon < 0 || local.mid(colon + 1) != wantedPort) continue;
        const QByteArray address = local.left(colon);
        const bool specific = isLoopbackAddress(address, loopback);
        if (!specific && !isWildcardAddress(address, loopback)) continue;
        bool uidRead = false;
        const uint uid = fields[7].toUInt(&uidRead);
        if (!uidRead) continue;
        listeners.append({.isLoopback = specific, .uid = uid, .inode = fields[9]});
    }
}

// The inodes of the sockets among the process's open files; none when they cannot be read.
std::optional<QSet<QByteArray>> socketsOf(const QString& processRoot, pid_t pid) {
    const QDir folder(processRoot + u'/' + QString::number(pid) + u"/fd"_s);
    if (!folder.exists() || !folder.isReadable()) return std::nullopt;
    const QStringList descriptors = folder.entryList(QDir::AllEntries | QDir::System | QDir::NoDotAndDotDot);
    QSet<QByteArray> sockets;
    for (const QString& descriptor : descriptors) {
        const QByteArray target = QFile::encodeName(QFile::symLinkTarget(folder.filePath(descriptor)));
        // symLinkTarget makes the target absolute: "…/fd/socket:[12345]".
        const qsizetype start = target.lastIndexOf("socket:[");
        if (start >= 0 && target.endsWith(']')) sockets.insert(target.mid(start + 8).chopped(1));
    }
    if (descriptors.isEmpty()) return std::nullopt;
    return sockets;
}

// The real user of a process, from its status file.
std::optional<uint> userOf(const QString& processRoot, pid_t pid) {
    QFile status(processRoot + u'/' + QString::number(pid) + u"/status"_s);
    if (!status.open(QIODevice::ReadOnly)) return std::nullopt;
    while (!status.atEnd()) {
        const QByteArray line = status.readLine();
        if (!line.startsWith("Uid:")) continue;
        bool read = false;
        const uint uid = line.mid(4).simplified().split(' ').value(0).toUInt(&read);
        return read ? std::optional(uid) : std::nullopt;
    }
    return std::nullopt;
}

}  // namespace

LoopbackListener loopbackListenerOwnership(const QString& processRoot, pid_t pid, quint16 port,
                                           LoopbackAddress address) {
    QList<Listener> listeners;
    if (address == LoopbackAddress::ipv4) readListeners(processRoot + u"/net/tcp"_s, port, address, listeners);
    readListeners(processRoot + u"/net/tcp6"_s, port, address, listeners);
    // A socket bound to the loopback address takes the connection before one bound to every address.
    const bool anyLoopback =
        std::any_of(listeners.cbegin(), listeners.cend(), [](const Listener& l) { return l.isLoopback; });
    listeners.removeIf([&](const Listener& listener) { return listener.isLoopback != anyLoopback; });
    if (listeners.isEmpty()) return LoopbackListener::none;

    if (const auto sockets = socketsOf(processRoot, pid)) {
        const bool owned = std::all_of(listeners.cbegin(), listeners.cend(),
                                       [&](const Listener& listener) { return sockets->contains(listener.inode); });
        return owned ? LoopbackListener::owned : LoopbackListener::foreign;
    }
    const std::optional<uint> user = userOf(processRoot, pid);
    if (!user) return LoopbackListener::foreign;
    const bool sameUser = std::all_of(listeners.cbegin(), listeners.cend(),
                                      [&](const Listener& listener) { return listener.uid == *user; });
    return sameUser ? LoopbackListener::owned : LoopbackListener::foreign;
}

std::pair<LoopbackListener, LoopbackAddress> loopbackRoute(const QString& processRoot, pid_t pid, quint16 port) {
    const LoopbackListener ipv4 = loopbackListenerOwnership(processRoot, pid, port, LoopbackAddress::ipv4);
    if (ipv4 == LoopbackListener::owned) return {ipv4, LoopbackAddress::ipv4};
    const LoopbackListener ipv6 = loopbackListenerOwnership(processRoot, pid, port, LoopbackAddress::ipv6);
    if (ipv6 == LoopbackListener::owned) return {ipv6, LoopbackAddress::ipv6};
    const bool foreign = ipv4 == LoopbackListener::foreign || ipv6 == LoopbackListener::foreign;
    return {foreign ? LoopbackListener::foreign : LoopbackListener::none, LoopbackAddress::ipv4};
}

}  // namespace tavrine
