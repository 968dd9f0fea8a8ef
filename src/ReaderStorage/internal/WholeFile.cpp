#include "ReaderStorage/internal/WholeFile.h"

namespace tavrine {

StoreResult<QByteArray> readWholeFile(FileSystem& fileSystem, const QString& path, qint64 maxBytes) {
    auto bytes = fileSystem.readFile(path, maxBytes);
    if (bytes) return std::move(*bytes);
    if (const auto* error = std::get_if<FileError>(&bytes.error())) return storeFailure(*error);
    return invalidStoreData();
}

}  // namespace tavrine
