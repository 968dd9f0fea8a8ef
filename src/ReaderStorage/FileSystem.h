#pragma once

#include "ReaderCore/AtomicFileWrite.h"
#include "ReaderCore/Date.h"
#include "ReaderCore/Json.h"
#include "ReaderCore/RegularFile.h"

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <tl/expected.hpp>

#include <functional>
#include <memory>
#include <optional>
#include <variant>

namespace tavrine {

// A failure of the file system, passed on unchanged to whoever asked the store for something.
struct FileError {
    enum class Operation { read, status, open, list, remove, write, createDirectory, lock };

    Operation operation = Operation::read;
    // The errno value the system reported.
    int code = 0;
    QString path;

    // The file, or a directory on its path, does not exist.
    bool isNoSuchFile() const;
    // A lock that another holder has (the lock file itself was there to open).
    bool isLockHeldElsewhere() const;
    // "read /a/b: No such file or directory", for diagnostics.
    QString description() const;

    bool operator==(const FileError&) const = default;
};

// The verb of each operation, as descriptions name it.
template <>
struct EnumTable<FileError::Operation> {
    using O = FileError::Operation;
    static constexpr auto entries = std::to_array<std::pair<O, std::u16string_view>>({
        {O::read, u"read"},
        {O::status, u"status"},
        {O::open, u"open"},
        {O::list, u"list"},
        {O::remove, u"remove"},
        {O::write, u"write"},
        {O::createDirectory, u"create directory"},
        {O::lock, u"lock"},
    });
};

// What the file system says about one entry, without following a symbolic link.
struct FileStatus {
    enum class Type { regular, directory, symbolicLink, other };

    Type type = Type::other;
    // Absent when the file system reports no such attribute.
    std::optional<quint64> inode;
    std::optional<quint64> size;
    std::optional<Date> modified;
    // Where the file system keeps no creation time, the modification time stands in for it.
    std::optional<Date> created;

    bool operator==(const FileStatus&) const = default;
};

// A whole file, or why it is not there: a failure of the file system or a refusal.
using WholeFileResult = tl::expected<QByteArray, std::variant<FileError, FileRefusal>>;

// An exclusive advisory lock on a file, held until this object is destroyed (or its process ends).
class FileLock {
public:
    virtual ~FileLock() = default;
};

// An open file read from the start in pieces. Closing happens on destruction; an error while closing is
// ignored, as nothing was written.
class ReadableFile {
public:
    virtual ~ReadableFile() = default;
    // Up to maxBytes further bytes; an empty result marks the end of the file.
    virtual tl::expected<QByteArray, FileError> read(qsizetype maxBytes) = 0;
};

// The store's access to the disk, replaceable in tests. Paths are absolute. Implementations are
// stateless towards their callers and may be used from any one thread at a time.
class FileSystem {
public:
    virtual ~FileSystem() = default;

    // The whole of a regular file (a symbolic link is followed) of at most maxBytes bytes. A missing file,
    // or a missing directory on its path, is an error with isNoSuchFile(); a directory is EISDIR. Any
    // other kind of file is refused without a byte read, and so is a file that proves longer than
    // maxBytes, by its size or while it is read: nothing ever waits for a writer or reads without end.
    virtual WholeFileResult readFile(const QString& path, qint64 maxBytes) = 0;
    // The entry itself: a symbolic link is reported as one, never followed.
    virtual tl::expected<FileStatus, FileError> status(const QString& path) = 0;
    // Opens a file for reading; a symbolic link as the last component is refused (ELOOP).
    virtual tl::expected<std::unique_ptr<ReadableFile>, FileError> openForReading(const QString& path) = 0;
    // The names in a directory (without "." and ".."), in the order the file system gives them.
    virtual tl::expected<QStringList, FileError> list(const QString& directory) = 0;
    // Removes a file, a symbolic link (never its target) or a directory with everything under it. The
    // first failure stops the removal; what was removed before it stays removed.
    virtual tl::expected<void, FileError> removeRecursively(const QString& path) = 0;

    // Replaces the file at path with bytes, or leaves it exactly as it was, as replaceFileAtomically() does
    // (ReaderCore/AtomicFileWrite.h): a temporary file in the same folder (named by
    // atomicWriteTemporaryPrefix()) whose every write, sync and close is checked before it takes the
    // file's name. A file that this user may not write is never replaced: the write fails. A failure is
    // reported only while the old file is still in place. A process killed in the middle leaves at most
    // the temporary file behind.
    tl::expected<void, FileError> writeFileAtomically(const QString& path, const QByteArray& bytes) {
        return writeFileAtomicallyFrom(path, [&bytes](FileContents& file) { return file.append(bytes); });
    }
    // The same for bytes made as they are written, so that a large file is never whole in memory:
    // produce hands them to the file in order and returns whether they are complete. When it returns
    // false the write is abandoned like a failed one (the old file stays) and, unless the file system
    // failed first, reports ECANCELED.
    virtual tl::expected<void, FileError> writeFileAtomicallyFrom(
        const QString& path, const std::function<bool(FileContents&)>& produce) = 0;
    // Creates a directory and every missing one on its path; an existing directory is no failure.
    virtual tl::expected<void, FileError> createDirectories(const QString& path) = 0;
    // Takes an exclusive lock on the file at path without waiting, creating the file when it is missing
    // (a symbolic link in its place is refused, ELOOP). Where the file cannot be opened for writing (a
    // read-only file system), the lock is taken on it opened for reading, or on its folder when it is
    // missing, and nothing is created. A lock that another holder has, in this process or another, fails
    // with isLockHeldElsewhere(); a missing folder on the path with isNoSuchFile(). The file is never
    // removed: a process that dies releases its lock with it.
    virtual tl::expected<std::unique_ptr<FileLock>, FileError> lockExclusively(const QString& path) = 0;
};

}  // namespace tavrine
