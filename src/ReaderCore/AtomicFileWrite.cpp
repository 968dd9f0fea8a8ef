#include "ReaderCore/AtomicFileWrite.h"

#include "ReaderCore/FileDescriptor.h"

#include <QFile>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>

namespace tavrine {
namespace {

constexpr QStringView kTemporaryMarker = u".tmp-";
// mkostemp() fills in this many random characters.
constexpr qsizetype kTemporaryRandomLength = 6;

// Writes all of bytes to fd, continuing short writes and interrupted ones; false with errno set on
// failure. A short write is how a disk that fills up during the call first shows: the next call names it.
bool writeAll(int fd, QByteArrayView bytes) {
    const char* data = bytes.constData();
    qsizetype left = bytes.size();
    while (left > 0) {
        const ssize_t count = ::write(fd, data, static_cast<size_t>(left));
        if (count < 0) {
            if (errno == EINTR) continue;
            return false;
        }
        data += count;
        left -= count;
    }
    return true;
}

// fsync, retried when a signal interrupts it.
int syncFile(int fd) {
    int result;
    do {
        result = ::fsync(fd);
    } while (result != 0 && errno == EINTR);
    return result;
}

// The bytes of a temporary file, written as they come. Every few megabytes the disk is asked to start
// writing what came so far, so the sync at the end waits only for the last of it.
class TemporaryFileContents final : public FileContents {
public:
    explicit TemporaryFileContents(int fd) : m_fd(fd) {}

    bool append(QByteArrayView bytes) override {
        if (m_error != 0) return false;
        if (!writeAll(m_fd, bytes)) {
            m_error = errno;
            return false;
        }
        m_written += bytes.size();
        if (m_written - m_flushed >= kWritebackBytes) {
            // Only a hint: a failure here shows again, and is reported, at the sync.
            ::sync_file_range(m_fd, m_flushed, m_written - m_flushed, SYNC_FILE_RANGE_WRITE);
            m_flushed = m_written;
        }
        return true;
    }
    // The errno of the write that failed, or 0.
    int error() const { return m_error; }

private:
    static constexpr qint64 kWritebackBytes = 8 << 20;

    int m_fd;
    int m_error = 0;
    qint64 m_written = 0;
    qint64 m_flushed = 0;
};

bool isSameFile(const struct stat& one, const struct stat& other) {
    return one.st_dev == other.st_dev && one.st_ino == other.st_ino;
}

// Gives the complete new file at temporary the name target, as check allows: 0, or the errno that failed
// it (EAGAIN when the file is no longer the one judged). Whatever it leaves at temporary is removed, but a
// file of another writer that could not take its name back. mine is the new file's status.
int takeName(const QByteArray& temporary, const QByteArray& target, const struct stat& mine,
             const SharedFileCheck& check) {
    const char* from = temporary.constData();
    const char* to = target.constData();
    const auto fail = [from](int code) {
        ::unlink(from);
        return code;
    };
    if (check.isUnchanged && !check.isUnchanged()) return fail(EAGAIN);
    if (!check.isJudged) return ::rename(from, to) == 0 ? 0 : fail(errno);
    if (::renameat2(AT_FDCWD, from, AT_FDCWD, to, RENAME_EXCHANGE) != 0) {
        if (errno == ENOENT) {
            // Nothing to replace: never one that another writer has just put there.
            if (::renameat2(AT_FDCWD, from, AT_FDCWD, to, RENAME_NOREPLACE) == 0) return 0;
            return fail(errno == EEXIST ? EAGAIN : errno);
        }
        if (errno != EINVAL && errno != ENOSYS) return fail(errno);
        return ::rename(from, to) == 0 ? 0 : fail(errno);
    }
    // temporary now names the file replaced.
    struct stat replaced {};
    if (::lstat(from, &replaced) == 0 && check.isJudged(replaced)) {
        ::unlink(from);
        return 0;
    }
    // Another writer's save, given its name back. Had a still later save replaced the new file meanwhile,
    // that one came back instead: it takes the name, as its writer meant it to, over the earlier one.
    if (::renameat2(AT_FDCWD, from, AT_FDCWD, to, RENAME_EXCHANGE) != 0) {
        // Its place emptied meanwhile: it goes back there, or stays where it is rather than be removed.
        ::renameat2(AT_FDCWD, from, AT_FDCWD, to, RENAME_NOREPLACE);
        return EAGAIN;
    }
    if (struct stat back{}; ::lstat(from, &back) == 0 && !isSameFile(back, mine)) {
        ::renameat2(AT_FDCWD, from, AT_FDCWD, to, RENAME_EXCHANGE);
    }
    return fail(EAGAIN);
}

}  // namespace

QString atomicWriteTemporaryPrefix(const QString& fileName) {
    return u'.' + fileName + kTemporaryMarker;
}

std::optional<QString> atomicWriteTarget(const QString& name) {
    const qsizetype marker = name.lastIndexOf(kTemporaryMarker);
    if (!name.startsWith(u'.') || marker < 2) return std::nullopt;
    if (name.size() - marker - kTemporaryMarker.size() != kTemporaryRandomLength) return std::nullopt;
    return name.mid(1, marker - 1);
}

tl::expected<void, FileWriteError> mayReplaceFile(const QString& path) {
    const QByteArray native = QFile::encodeName(path);
    struct stat entry {};
    if (::lstat(native.constData(), &entry) != 0 || S_ISLNK(entry.st_mode)) return {};
    if (::access(native.constData(), W_OK) == 0) return {};
    const int code = errno;
    // A file that went between the two calls is nothing to protect.
    if (code == ENOENT) return {};
    return tl::unexpected(FileWriteError{code});
}

tl::expected<void, FileWriteError> renameWithoutReplacing(const QString& from, const QString& to) {
    const QByteArray source = QFile::encodeName(from);
    const QByteArray target = QFile::encodeName(to);
    if (::renameat2(AT_FDCWD, source.constData(), AT_FDCWD, target.constData(), RENAME_NOREPLACE) == 0) return {};
    if (errno != EINVAL && errno != ENOSYS) return tl::unexpected(FileWriteError{errno});
    // A file system that cannot rename without replacing (some network and FUSE ones): a second hard link,
    // which never replaces either (nor follows a link), then the old name goes.
    if (::link(source.constData(), target.constData()) != 0) return tl::unexpected(FileWriteError{errno});
    ::unlink(source.constData());
    return {};
}

tl::expected<void, FileWriteError> replaceFileAtomically(const QString& path,
                                                         const std::function<bool(FileContents&)>& produce,
                                                         const SharedFileCheck& check) {
    // The person protected the file (chmod a-w, or it is another user's): the folder's permission, which
    // is all that rename(2) asks for, does not overrule that.
    if (auto replaceable = mayReplaceFile(path); !replaceable) return replaceable;
    const qsizetype slash = path.lastIndexOf(u'/');
    const QString folder = slash < 0 ? QStringLiteral(".") : slash == 0 ? QStringLiteral("/") : path.left(slash);
    const QByteArray target = QFile::encodeName(path);
    QByteArray temporary =
        QFile::encodeName(folder + u'/' + atomicWriteTemporaryPrefix(path.mid(slash + 1))) + "XXXXXX";
    const int fd = ::mkostemp(temporary.data(), O_CLOEXEC);
    if (fd < 0) return tl::unexpected(FileWriteError{errno});

    const auto abandon = [&](bool isOpen, int code) {
        if (isOpen) ::close(fd);
        ::unlink(temporary.constData());
        return tl::unexpected(FileWriteError{code});
    };
    // Whoever could read the old file can read the new one (the settings file a person made readable).
    struct stat old {};
    if (::lstat(target.constData(), &old) == 0 && S_ISREG(old.st_mode)) ::fchmod(fd, old.st_mode & 0777);

    TemporaryFileContents contents(fd);
    const bool complete = produce(contents);
    if (contents.error() != 0) return abandon(true, contents.error());
    if (!complete) return abandon(true, ECANCELED);
    // A file system that only reserves room while writing (quotas, network and copy-on-write file systems)
    // may report the failure here or at the close rather than at the write.
    if (syncFile(fd) != 0) return abandon(true, errno);
    struct stat mine {};
    ::fstat(fd, &mine);
    if (::close(fd) != 0) return abandon(false, errno);
    if (const int failed = takeName(temporary, target, mine, check); failed != 0) {
        return tl::unexpected(FileWriteError{failed});
    }

    // The new name is in place; syncing the folder makes it last through a power loss.
    const FileDescriptor directory(::open(QFile::encodeName(folder).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (directory.get() >= 0) syncFile(directory.get());
    return {};
}

}  // namespace tavrine
