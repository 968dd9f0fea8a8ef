#pragma once

#include "ReaderCore/Date.h"
#include "ReaderStorage/FileSystem.h"
#include "ReaderStorage/StoreFailure.h"

#include <optional>

namespace tavrine {

// What identifies one state of a file on disk. The store keeps the stamps of its files as it last read
// or wrote them, and compares them for equality only.
struct FileStamp {
    Date modified;
    Date created;
    quint64 inode = 0;
    quint64 size = 0;

    bool operator==(const FileStamp&) const = default;
};

// The stamp of the file at path; absent when there is no such file. An attribute the file system does not
// report is invalidData; any other failure is the file error.
StoreResult<std::optional<FileStamp>> readFileStamp(FileSystem& fileSystem, const QString& path);

}  // namespace tavrine
