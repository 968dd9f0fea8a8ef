#pragma once

#include "ReaderStorage/FileSystem.h"

namespace tavrine {

// The machine's file system through POSIX calls, so every failure keeps its errno. Creation times come
// from statx; where the file system keeps none, the modification time stands in for it.
class PosixFileSystem final : public FileSystem {
public:
    tl::expected<QByteArray, FileError> readFile(const QString& path) override;
    tl::expected<FileStatus, FileError> status(const QString& path) override;
    tl::expected<std::unique_ptr<ReadableFile>, FileError> openForReading(const QString& path) override;
    tl::expected<QStringList, FileError> list(const QString& directory) override;
    tl::expected<void, FileError> removeRecursively(const QString& path) override;
    tl::expected<void, FileError> writeFileAtomically(const QString& path, const QByteArray& bytes) override;
    tl::expected<void, FileError> createDirectories(const QString& path) override;
};

}  // namespace tavrine
