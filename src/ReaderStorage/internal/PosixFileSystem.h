#pragma once

#include "ReaderStorage/FileSystem.h"

namespace tavrine {

// The machine's file system through POSIX calls, so every failure keeps its errno. Creation times come
// from statx; where the file system keeps none, the modification time stands in for it. Locks are
// flock(2) locks, which belong to one open file: two openers in one process exclude each other too.
class PosixFileSystem final : public FileSystem {
public:
    WholeFileResult readFile(const QString& path, qint64 maxBytes) override;
    tl::expected<FileStatus, FileError> status(const QString& path) override;
    tl::expected<std::unique_ptr<ReadableFile>, FileError> openForReading(const QString& path) override;
    tl::expected<QStringList, FileError> list(const QString& directory) override;
    tl::expected<void, FileError> removeRecursively(const QString& path) override;
    tl::expected<void, FileError> writeFileAtomicallyFrom(const QString& path,
                                                          const std::function<bool(FileContents&)>& produce) override;
    tl::expected<void, FileError> createDirectories(const QString& path) override;
    tl::expected<std::unique_ptr<FileLock>, FileError> lockExclusively(const QString& path) override;
};

}  // namespace tavrine
