#pragma once

#include "ReaderStorage/FileSystem.h"
#include "ReaderStorage/StoreFailure.h"

namespace tavrine {

// The whole of a file the store reads, at most maxBytes of it. A file that the file system refuses (no
// regular file, or a longer one) is invalidData; its failures pass on unchanged.
StoreResult<QByteArray> readWholeFile(FileSystem& fileSystem, const QString& path, qint64 maxBytes);

}  // namespace tavrine
