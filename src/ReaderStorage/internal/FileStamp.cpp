#include "ReaderStorage/internal/FileStamp.h"

namespace tavrine {

StoreResult<std::optional<FileStamp>> readFileStamp(FileSystem& fileSystem, const QString& path) {
    const auto status = fileSystem.status(path);
    if (!status) {
        if (status.error().isNoSuchFile()) return std::optional<FileStamp>();
        return storeFailure(status.error());
    }
    if (!status->inode || !status->size || !status->modified || !status->created) return invalidStoreData();
    return FileStamp{
        .modified = *status->modified, .created = *status->created, .inode = *status->inode, .size = *status->size};
}

}  // namespace tavrine
