#include "ReaderStorage/internal/StoreLock.h"

#include "ReaderStorage/internal/FileStamp.h"

namespace tavrine {
namespace {

tl::unexpected<StoreFailure> lockFailure(const FileError& error) {
    if (error.isLockHeldElsewhere()) return storeFailure(ReadingStoreError::lockUnavailable());
    return storeFailure(error);
}

}  // namespace

StoreResult<std::unique_ptr<FileLock>> lockAtOpening(FileSystem& fileSystem, const ReadingStoreFiles& files) {
    auto lock = fileSystem.lockExclusively(files.lockFile());
    if (lock) return std::move(*lock);
    if (lock.error().isNoSuchFile()) return std::unique_ptr<FileLock>();
    return lockFailure(lock.error());
}

StoreResult<std::unique_ptr<FileLock>> lockForFirstWrite(FileSystem& fileSystem, const ReadingStoreFiles& files) {
    if (auto made = fileSystem.createDirectories(files.folder()); !made) return storeFailure(made.error());
    auto lock = fileSystem.lockExclusively(files.lockFile());
    if (!lock) return lockFailure(lock.error());
    const auto stamp = readFileStamp(fileSystem, files.storeFile());
    if (!stamp) return storeFailure(stamp.error());
    if (*stamp) return invalidStoreData();
    return std::move(*lock);
}

}  // namespace tavrine
