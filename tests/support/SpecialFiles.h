#pragma once

#include <gtest/gtest.h>
#include <QByteArray>
#include <QFile>
#include <QFileInfo>
#include <QString>

#include <fcntl.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <future>
#include <mutex>
#include <thread>

namespace tavrine::test {

// A FIFO at path; fails the test when it cannot be made.
inline void makeFifo(const QString& path) {
    if (::mkfifo(QFile::encodeName(path).constData(), 0600) != 0) ADD_FAILURE() << "mkfifo " << path.toStdString();
}

// A Unix socket bound at path, or -1 (the test failed). A path longer than a socket's address holds (a
// long TMPDIR) is bound through a handle on its folder, which the kernel follows to the folder.
inline int bindSocket(const QString& path) {
    const QByteArray native = QFile::encodeName(path);
    const int folder = ::open(QFile::encodeName(QFileInfo(path).absolutePath()).constData(), O_PATH | O_DIRECTORY);
    const QByteArray shortName =
        "/proc/self/fd/" + QByteArray::number(folder) + '/' + QFile::encodeName(QFileInfo(path).fileName());
    const QByteArray& name = static_cast<size_t>(native.size()) < sizeof(sockaddr_un::sun_path) ? native : shortName;
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    std::memcpy(address.sun_path, name.constData(),
                std::min(static_cast<size_t>(name.size()), sizeof address.sun_path - 1));
    int fd = ::socket(AF_UNIX, SOCK_STREAM, 0);
    if (fd >= 0 && ::bind(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0) {
        ::close(fd);
        fd = -1;
    }
    if (folder >= 0) ::close(folder);
    if (fd < 0) ADD_FAILURE() << "socket " << native.constData();
    return fd;
}

// A bound Unix socket at path, closed again: the socket file stays, with no one behind it.
inline void makeSocket(const QString& path) {
    if (const int fd = bindSocket(path); fd >= 0) ::close(fd);
}

// A file of the given size that holds no data on disk (a hole), so that a large size costs nothing.
inline void makeSparseFile(const QString& path, qint64 size) {
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly) || !file.resize(size)) ADD_FAILURE() << "sparse " << path.toStdString();
}

// Runs body on a thread of its own and returns its result. Nothing can stop a thread blocked in a
// system call, so a body still running at the deadline ends the test program, failing the test
// instead of hanging the suite.
template <typename Body>
auto withinDeadline(Body body, std::chrono::seconds deadline = std::chrono::seconds(30)) {
    std::packaged_task<decltype(body())()> task(std::move(body));
    auto result = task.get_future();
    std::thread runner(std::move(task));
    if (result.wait_for(deadline) != std::future_status::ready) {
        std::fprintf(stderr, "still blocked after %lld s: the test program ends here\n",
                     static_cast<long long>(deadline.count()));
        std::fflush(stderr);
        std::_Exit(1);
    }
    runner.join();
    return result.get();
}

// The same guard for work that must run on the calling thread (it makes objects that belong to it):
// while the watchdog lives, a calling thread still blocked at the deadline ends the test program.
class Watchdog {
public:
    explicit Watchdog(std::chrono::seconds deadline = std::chrono::seconds(30))
        : m_thread([this, deadline] {
              std::unique_lock lock(m_mutex);
              if (!m_released.wait_for(lock, deadline, [this] { return m_done; })) {
                  std::fprintf(stderr, "still blocked after %lld s: the test program ends here\n",
                               static_cast<long long>(deadline.count()));
                  std::fflush(stderr);
                  std::_Exit(1);
              }
          }) {}
    ~Watchdog() {
        {
            const std::lock_guard lock(m_mutex);
            m_done = true;
        }
        m_released.notify_one();
        m_thread.join();
    }
    Watchdog(const Watchdog&) = delete;
    Watchdog& operator=(const Watchdog&) = delete;

private:
    std::mutex m_mutex;
    std::condition_variable m_released;
    bool m_done = false;
    std::thread m_thread;
};

}  // namespace tavrine::test
