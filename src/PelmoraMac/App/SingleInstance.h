#pragma once

#include <QObject>
#include <QString>

#include <chrono>
#include <optional>

class QLocalServer;
class QLocalSocket;

namespace tavrine {

// One interactive process per store, because the store has one owner. The first process to claim a name
// listens on a local socket under it; a later one that claims the same name finds it, asks it to show its
// reader window, and should then exit without opening the store. The name is derived from the user, the
// application's identifier and the store file's path, so processes with separate data folders (tests)
// never meet. A socket left behind by a process that died is removed, and the new process listens. A
// path longer than a local socket's address holds (a long runtime or temporary folder) is reached through
// the process's own handle on its folder, so such a user still gets one instance.
//
// Claims are made one at a time per name (a lock file beside the socket), so two processes started
// together cannot both become the instance. Only the same user can connect; a peer can ask nothing but
// "show".
//
// Owned by the application's entry, main thread only.
class SingleInstance final : public QObject {
    Q_OBJECT

public:
    enum class Claim {
        instance,       // this process listens: it is the one instance
        handedOver,     // a running instance was asked to show its window and said it does
        notResponding,  // a running instance listens but did not confirm the request in time
        unavailable,    // neither: no socket could be made (the process runs alone, unreachable)
    };

    // How long a claim waits, in all, for a running instance to confirm that it shows its window.
    static constexpr std::chrono::milliseconds kAnswerTimeout{3000};

    // The socket's path for the store file (none: the user has no data folder): in the user's runtime
    // folder, named after the user, the application's identifier and a digest of the path.
    static QString socketPath(const QString& storeFile);

    explicit SingleInstance(QString socketPath, QObject* parent = nullptr);
    ~SingleInstance() override;

    // Asks a running instance to show its window, or becomes the instance. Blocks for at most
    // kAnswerTimeout while it talks to a running instance that does not answer (a hung or stopped
    // process): that instance keeps the store, so this process must not become one too.
    Claim claim();

    const QString& path() const { return m_path; }
    // The name this process reaches the socket by: the path, or, when the path is too long for a socket's
    // address, the same file through the folder's handle ("/proc/self/fd/N/NAME", this process only).
    const QString& address() const { return m_address; }
    // The process that listens on the socket, once a claim has reached it and the system named it.
    std::optional<qint64> runningProcess() const { return m_runningProcess; }

signals:
    // Another process asked this instance to show its reader window.
    void showRequested();

private:
    std::optional<Claim> askRunningInstance();
    void answer(QLocalSocket* socket);

    QString m_path;
    QString m_address;
    int m_folder = -1;  // the handle the address goes through, when it does
    QLocalServer* m_server = nullptr;
    std::optional<qint64> m_runningProcess;
};

}  // namespace tavrine
