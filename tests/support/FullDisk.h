#pragma once

#include <QByteArray>
#include <QFile>
#include <QString>

#include <sys/mount.h>
#include <sys/resource.h>

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <optional>
#include <string>

namespace tavrine::test {

// A folder on a disk that fills up while the object lives. Where the process may mount (root with the
// capability), a 64 KiB tmpfs is mounted on the folder (hiding what it held) and fill() writes a file
// into it until no byte more fits: writes fail with ENOSPC, after a short one where a file's last page
// still had room, as on any full disk. Elsewhere fill() limits every file this process writes to
// kFallbackBytes (RLIMIT_FSIZE, with SIGXFSZ ignored so that the write fails with EFBIG instead of ending
// the process): no real disk, but write(2) refusing for real. So that both ways fail a write, what a test
// writes after fill() is more than kFallbackBytes. Children started meanwhile inherit the limit.
class FullDisk {
public:
    static constexpr qint64 kFallbackBytes = 4096;

    explicit FullDisk(const QString& folder) : m_folder(QFile::encodeName(folder)) {
        m_mounted = ::mount("tmpfs", m_folder.constData(), "tmpfs", MS_NOSUID | MS_NODEV, "size=64k,mode=0700") == 0;
    }
    ~FullDisk() {
        makeRoom();
        if (m_mounted) ::umount2(m_folder.constData(), MNT_DETACH);
    }
    FullDisk(const FullDisk&) = delete;
    FullDisk& operator=(const FullDisk&) = delete;

    // How the disk fills, for the test's messages.
    std::string way() const {
        return m_mounted ? "a full 64 KiB tmpfs" : "files limited to 4 KiB (RLIMIT_FSIZE), as no tmpfs can be mounted";
    }

    // Takes the room that is left.
    void fill() {
        if (!m_mounted) {
            if (m_limit) return;
            ::getrlimit(RLIMIT_FSIZE, &m_limit.emplace());
            m_oldHandler = std::signal(SIGXFSZ, SIG_IGN);
            const rlimit limit{kFallbackBytes, m_limit->rlim_max};
            ::setrlimit(RLIMIT_FSIZE, &limit);
            return;
        }
        const int fd = ::open(fillerPath().constData(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0600);
        if (fd < 0) return;
        const QByteArray block(4096, 'x');
        // Whole pages, then single bytes into the rest of the last one.
        while (::write(fd, block.constData(), size_t(block.size())) > 0) {
        }
        while (::write(fd, "x", 1) > 0) {
        }
        ::close(fd);
    }
    // Gives the room back.
    void makeRoom() {
        if (m_limit) {
            ::setrlimit(RLIMIT_FSIZE, &*m_limit);
            std::signal(SIGXFSZ, m_oldHandler);
            m_limit.reset();
        }
        if (m_mounted) ::unlink(fillerPath().constData());
    }

private:
    QByteArray fillerPath() const { return m_folder + "/.filler"; }

    QByteArray m_folder;
    bool m_mounted = false;
    std::optional<rlimit> m_limit;
    void (*m_oldHandler)(int) = SIG_DFL;
};

}  // namespace tavrine::test
