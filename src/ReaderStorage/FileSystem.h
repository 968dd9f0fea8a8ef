#pragma once

#include "ReaderCore/Date.h"
#include "ReaderCore/Json.h"

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <tl/expected.hpp>

#include <memory>
#include <optional>

namespace tavrine {

// A failure of the file system, passed on unchanged to whoever asked the store for something.
struct FileError {
    enum class Operation { read, status, open, list, remove, write, createDirectory };

    Operation operation = Operation::read;
    // The errno value the system reported.
    int code = 0;
    QString path;

    // The file, or a directory on its path, does not exist.
    bool isNoSuchFile() const;
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

    // The whole file. A missing file, or a missing directory on its path, is an error with isNoSuchFile().
    virtual tl::expected<QByteArray, FileError> readFile(const QString& path) = 0;
    // The entry itself: a symbolic link is reported as one, never followed.
    virtual tl::expected<FileStatus, FileError> status(const QString& path) = 0;
    // Opens a file for reading; a symbolic link as the last component is refused (ELOOP).
    virtual tl::expected<std::unique_ptr<ReadableFile>, FileError> openForReading(const QString& path) = 0;
    // The names in a directory (without "." and ".."), in the order the file system gives them.
    virtual tl::expected<QStringList, FileError> list(const QString& directory) = 0;
    // Removes a file, a symbolic link (never its target) or a directory with everything under it. The
    // first failure stops the removal; what was removed before it stays removed.
    virtual tl::expected<void, FileError> removeRecursively(const QString& path) = 0;

    // Replaces the file at path with bytes, or leaves it exactly as it was: the bytes go to a temporary
    // file in the same folder (named by atomicWriteTemporaryPrefix()), reach the disk, and only then take
    // the file's name, after which the folder itself is synced. A failure is reported only while the old
    // file is still in place; once the new one has its name the write has succeeded (a failing sync of
    // the folder is then not reported: the next write into that folder syncs it again). A process killed
    // in the middle leaves at most the temporary file behind.
    virtual tl::expected<void, FileError> writeFileAtomically(const QString& path, const QByteArray& bytes) = 0;
    // Creates a directory and every missing one on its path; an existing directory is no failure.
    virtual tl::expected<void, FileError> createDirectories(const QString& path) = 0;
};

// The start of the names of writeFileAtomically()'s temporary files for a file named fileName: a dot,
// the name, ".tmp-", then a few random characters. Such a file that is still there when no write runs
// was left by an interrupted one.
QString atomicWriteTemporaryPrefix(const QString& fileName);

// The name of the file that a temporary file of writeFileAtomically() was to replace, or nothing when
// name is not one of them.
std::optional<QString> atomicWriteTarget(const QString& name);

}  // namespace tavrine
