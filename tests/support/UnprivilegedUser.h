#pragma once

#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QString>

#include <grp.h>
#include <sys/prctl.h>
#include <sys/stat.h>
#include <sys/types.h>
#include <unistd.h>

#include <algorithm>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace tavrine::test {

// While the object lives, the process runs as a user whom file permissions bind, so that a write they
// refuse is refused for real. Root is bound by none: as root, the real, effective and file-system user
// and group become nobody's (65534) and the supplementary groups go, in every thread of the process
// (glibc changes them all), root staying the saved user so that the destructor can become root again.
// Any other user is bound already and stays who it is.
//
// What the test prepares for that user (a folder it may write, the files in it) is made before and handed
// over with give(); the folders above must let others through (give() the temporary directory too).
// Root without the capability to change its user cannot become nobody: way() is then nothing, and the
// test skips (TAVRINE_SKIP_UNLESS_UNPRIVILEGED).
class UnprivilegedUser {
public:
    static constexpr uid_t kNobody = 65534;

    static bool isRoot() { return ::geteuid() == 0; }
    // Makes path belong to the user a test runs as while the object lives (nobody, when the process is
    // root; else the process's own user, who made it). False when it cannot.
    static bool give(const QString& path) {
        return !isRoot() || ::chown(QFile::encodeName(path).constData(), kNobody, kNobody) == 0;
    }

    // Whether the user a test runs as can pass through folder and every folder above it. Any user but root
    // made what it runs in; for root it is whether nobody may.
    static bool canReach(const QString& folder) {
        if (!isRoot()) return true;
        for (QString each = QFileInfo(folder).absoluteFilePath();; each = QFileInfo(each).path()) {
            struct stat info {};
            if (::stat(QFile::encodeName(each).constData(), &info) != 0) return false;
            const bool through = (info.st_mode & S_IXOTH) || (info.st_uid == kNobody && (info.st_mode & S_IXUSR)) ||
                                 (info.st_gid == kNobody && (info.st_mode & S_IXGRP));
            if (!through) return false;
            if (each == u"/") return true;
        }
    }
    // Where a test makes the folder that the user it runs as must reach: the system's temporary folder,
    // or /tmp when that one is private to root (TMPDIR made by mktemp -d, say).
    static QString reachableTemporaryFolder() {
        const QString temporary = QDir::tempPath();
        const QString tmp = QStringLiteral("/tmp");
        return canReach(temporary) || !canReach(tmp) ? temporary : tmp;
    }

    UnprivilegedUser() {
        if (!isRoot()) {
            m_way = Way::already;
            return;
        }
        ::getresuid(&m_uid[0], &m_uid[1], &m_uid[2]);
        ::getresgid(&m_gid[0], &m_gid[1], &m_gid[2]);
        m_groups.resize(static_cast<size_t>(std::max(::getgroups(0, nullptr), 0)));
        m_groups.resize(static_cast<size_t>(std::max(::getgroups(int(m_groups.size()), m_groups.data()), 0)));
        // The group first, while the capability to change it is still there.
        if (::setgroups(0, nullptr) == 0 && ::setresgid(kNobody, kNobody, m_gid[0]) == 0 &&
            ::setresuid(kNobody, kNobody, 0) == 0) {
            m_way = Way::switched;
            return;
        }
        restore();
    }
    ~UnprivilegedUser() {
        if (m_way == Way::switched) restore();
    }
    UnprivilegedUser(const UnprivilegedUser&) = delete;
    UnprivilegedUser& operator=(const UnprivilegedUser&) = delete;

    // Who the process runs as, for the test's messages; nothing when root could not become nobody.
    std::optional<std::string> way() const {
        if (m_way == Way::switched) return "root running as nobody (65534)";
        if (m_way == Way::already) return "a user other than root";
        return std::nullopt;
    }

private:
    enum class Way { none, already, switched };

    void restore() {
        ::setresuid(m_uid[0], m_uid[1], m_uid[2]);
        ::setresgid(m_gid[0], m_gid[1], m_gid[2]);
        ::setgroups(m_groups.size(), m_groups.data());
        // A change of user made the process undumpable; debuggers and the leak checker attach to it again.
        ::prctl(PR_SET_DUMPABLE, 1);
    }

    Way m_way = Way::none;
    uid_t m_uid[3] = {};
    gid_t m_gid[3] = {};
    std::vector<gid_t> m_groups;
};

// The owner and the permission bits of a file, or nothing when it is not there.
inline std::optional<std::pair<uid_t, mode_t>> ownerAndMode(const QString& path) {
    struct stat info {};
    if (::lstat(QFile::encodeName(path).constData(), &info) != 0) return std::nullopt;
    return std::pair(info.st_uid, info.st_mode & 07777);
}

// Skips the test when root could not become another user.
#define TAVRINE_SKIP_UNLESS_UNPRIVILEGED(user)                                                      \
    if (!(user).way()) {                                                                            \
        GTEST_SKIP() << "this process runs as root and cannot become another user (no CAP_SETUID)"; \
    }

// Skips the test when the user it runs as cannot reach the test's own folder, made by the test and handed
// over with give(): a folder above it lets no other user through, so nothing the test prepared could be used.
#define TAVRINE_SKIP_UNLESS_REACHABLE(folder)                                                          \
    if (!tavrine::test::UnprivilegedUser::canReach(QFileInfo(folder).absolutePath())) {                \
        GTEST_SKIP() << "nobody (65534) cannot reach " << (folder).toStdString()                       \
                     << ": a folder on its path lets no other user through, and /tmp does not either"; \
    }

}  // namespace tavrine::test
