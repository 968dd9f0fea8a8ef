#include "ReaderStorage/internal/PosixFileSystem.h"

#include "ReaderCore/FileDescriptor.h"
#include "ReaderCore/RegularFile.h"

#include <QFile>

#include <dirent.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

namespace tavrine {
namespace {

using Operation = FileError::Operation;

tl::unexpected<FileError> failure(Operation operation, const QString& path, int code = errno) {
    return tl::unexpected(FileError{operation, code, path});
}

Date dateOf(const statx_timestamp& stamp) {
    return Date::fromUnixSeconds(static_cast<double>(stamp.tv_sec) + static_cast<double>(stamp.tv_nsec) / 1e9);
}

FileStatus::Type typeOf(mode_t mode) {
    if (S_ISREG(mode)) return FileStatus::Type::regular;
    if (S_ISDIR(mode)) return FileStatus::Type::directory;
    if (S_ISLNK(mode)) return FileStatus::Type::symbolicLink;
    return FileStatus::Type::other;
}

// Holds a flock(2) lock as long as its descriptor is open.
class PosixFileLock final : public FileLock {
public:
    explicit PosixFileLock(int fd) : m_fd(fd) {}

private:
    FileDescriptor m_fd;
};

class PosixReadableFile final : public ReadableFile {
public:
    PosixReadableFile(int fd, QString path) : m_fd(fd), m_path(std::move(path)) {}

    tl::expected<QByteArray, FileError> read(qsizetype maxBytes) override {
        QByteArray piece(maxBytes, Qt::Uninitialized);
        const ssize_t count = readSome(m_fd.get(), piece.data(), static_cast<size_t>(maxBytes));
        if (count < 0) return failure(Operation::read, m_path);
        piece.truncate(count);
        return piece;
    }

private:
    FileDescriptor m_fd;
    QString m_path;
};

// Removes name inside the directory parent (AT_FDCWD for a full path) without following links.
tl::expected<void, FileError> removeEntry(int parent, const QByteArray& name, const QString& path) {
    struct stat entry {};
    if (::fstatat(parent, name.constData(), &entry, AT_SYMLINK_NOFOLLOW) != 0) {
        return failure(Operation::remove, path);
    }
    if (!S_ISDIR(entry.st_mode)) {
        if (::unlinkat(parent, name.constData(), 0) != 0) return failure(Operation::remove, path);
        return {};
    }
    const int fd = ::openat(parent, name.constData(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    if (fd < 0) return failure(Operation::remove, path);
    DIR* directory = ::fdopendir(fd);
    if (!directory) {
        const int code = errno;
        ::close(fd);
        return failure(Operation::remove, path, code);
    }
    tl::expected<void, FileError> result;
    while (result) {
        errno = 0;
        const dirent* child = ::readdir(directory);
        if (!child) {
            if (errno != 0) result = failure(Operation::remove, path);
            break;
        }
        const QByteArray childName(child->d_name);
        if (childName == "." || childName == "..") continue;
        result = removeEntry(::dirfd(directory), childName, path + u'/' + QFile::decodeName(childName));
    }
    ::closedir(directory);
    if (!result) return result;
    if (::unlinkat(parent, name.constData(), AT_REMOVEDIR) != 0) return failure(Operation::remove, path);
    return {};
}

// The folder part of a path ("." for a bare name, "/" for a file at the root).
QString folderOf(const QString& path) {
    const qsizetype slash = path.lastIndexOf(u'/');
    if (slash < 0) return QStringLiteral(".");
    if (slash == 0) return QStringLiteral("/");
    return path.left(slash);
}

// Makes one directory; an existing directory (or a link to one) counts as made.
tl::expected<void, FileError> makeDirectory(const QString& path) {
    const QByteArray native = QFile::encodeName(path);
    if (::mkdir(native.constData(), 0777) == 0) return {};
    const int code = errno;
    struct stat info {};
    if (code == EEXIST) {
        if (::stat(native.constData(), &info) == 0 && S_ISDIR(info.st_mode)) return {};
        return failure(Operation::createDirectory, path, ENOTDIR);
    }
    return failure(Operation::createDirectory, path, code);
}

}  // namespace

bool FileError::isNoSuchFile() const {
    return code == ENOENT;
}

bool FileError::isLockHeldElsewhere() const {
    return operation == Operation::lock && code == EWOULDBLOCK;
}

QString FileError::description() const {
    return rawValue(operation) + u' ' + path + u": " + qt_error_string(code);
}

WholeFileResult PosixFileSystem::readFile(const QString& path, qint64 maxBytes) {
    auto contents = readRegularFile(path, maxBytes);
    if (contents) return std::move(*contents);
    if (const auto* error = std::get_if<FileReadError>(&contents.error())) {
        return failure(Operation::read, path, error->code);
    }
    return tl::unexpected(std::get<FileRefusal>(contents.error()));
}

tl::expected<FileStatus, FileError> PosixFileSystem::status(const QString& path) {
    struct statx info {};
    const unsigned wanted = STATX_TYPE | STATX_INO | STATX_SIZE | STATX_MTIME | STATX_BTIME;
    if (::statx(AT_FDCWD, QFile::encodeName(path).constData(), AT_SYMLINK_NOFOLLOW | AT_STATX_SYNC_AS_STAT, wanted,
                &info) != 0) {
        return failure(Operation::status, path);
    }
    FileStatus status;
    status.type = (info.stx_mask & STATX_TYPE) ? typeOf(info.stx_mode) : FileStatus::Type::other;
    if (info.stx_mask & STATX_INO) status.inode = info.stx_ino;
    if (info.stx_mask & STATX_SIZE) status.size = info.stx_size;
    if (info.stx_mask & STATX_MTIME) status.modified = dateOf(info.stx_mtime);
    // tmpfs, overlay and many network file systems keep no birth time.
    status.created = (info.stx_mask & STATX_BTIME) ? std::optional(dateOf(info.stx_btime)) : status.modified;
    return status;
}

tl::expected<std::unique_ptr<ReadableFile>, FileError> PosixFileSystem::openForReading(const QString& path) {
    // O_NONBLOCK keeps a special file put in place of a regular one from hanging the open.
    const int fd = ::open(QFile::encodeName(path).constData(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK);
    if (fd < 0) return failure(Operation::open, path);
    return std::make_unique<PosixReadableFile>(fd, path);
}

tl::expected<QStringList, FileError> PosixFileSystem::list(const QString& directory) {
    DIR* handle = ::opendir(QFile::encodeName(directory).constData());
    if (!handle) return failure(Operation::list, directory);
    QStringList names;
    for (;;) {
        errno = 0;
        const dirent* entry = ::readdir(handle);
        if (!entry) break;
        const QByteArray name(entry->d_name);
        if (name != "." && name != "..") names.append(QFile::decodeName(name));
    }
    const int code = errno;
    ::closedir(handle);
    if (code != 0) return failure(Operation::list, directory, code);
    return names;
}

tl::expected<void, FileError> PosixFileSystem::removeRecursively(const QString& path) {
    return removeEntry(AT_FDCWD, QFile::encodeName(path), path);
}

tl::expected<void, FileError> PosixFileSystem::writeFileAtomicallyFrom(
    const QString& path, const std::function<bool(FileContents&)>& produce) {
    if (auto written = replaceFileAtomically(path, produce); !written) {
        return failure(Operation::write, path, written.error().code);
    }
    return {};
}

tl::expected<void, FileError> PosixFileSystem::createDirectories(const QString& path) {
    // Every prefix that ends before a '/', then the whole path; the root needs no making.
    for (qsizetype slash = path.indexOf(u'/', 1); slash > 0; slash = path.indexOf(u'/', slash + 1)) {
        if (path.at(slash - 1) == u'/') continue;
        if (auto made = makeDirectory(path.left(slash)); !made) return made;
    }
    if (path.endsWith(u'/')) return {};
    return makeDirectory(path);
}

namespace {

// The descriptor that a lock on path is taken on: the file opened for writing (made when missing), or,
// where that is not allowed (a read-only file system, a folder without write permission), the file opened
// for reading, or its folder when the file is not there and cannot be made. Every opener of a read-only
// store thus locks the same file. -1 with errno set on failure.
int openForLocking(const QString& path) {
    const QByteArray native = QFile::encodeName(path);
    // O_NONBLOCK: a FIFO put in its place must not hold the opening up.
    constexpr int kFlags = O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK;
    const int fd = ::open(native.constData(), O_RDWR | O_CREAT | kFlags, 0600);
    if (fd >= 0 || (errno != EROFS && errno != EACCES && errno != EPERM)) return fd;
    const int readOnly = ::open(native.constData(), O_RDONLY | kFlags);
    if (readOnly >= 0 || errno != ENOENT) return readOnly;
    return ::open(QFile::encodeName(folderOf(path)).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
}

}  // namespace

tl::expected<std::unique_ptr<FileLock>, FileError> PosixFileSystem::lockExclusively(const QString& path) {
    const int fd = openForLocking(path);
    if (fd < 0) return failure(Operation::lock, path);
    auto lock = std::make_unique<PosixFileLock>(fd);
    int result;
    do {
        result = ::flock(fd, LOCK_EX | LOCK_NB);
    } while (result != 0 && errno == EINTR);
    if (result != 0) return failure(Operation::lock, path);
    return lock;
}

}  // namespace tavrine
