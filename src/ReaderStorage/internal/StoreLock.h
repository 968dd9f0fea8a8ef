#pragma once

#include "ReaderStorage/FileSystem.h"
#include "ReaderStorage/ReadingStoreFiles.h"
#include "ReaderStorage/StoreFailure.h"

#include <memory>

namespace tavrine {

// A store's hold on its files against every other opener, in this process or another: an exclusive lock
// on the lock file beside the store file, taken before anything of the store is read, cleaned or
// written, and kept as long as the store lives. A lock that another holder has is lockUnavailable; any
// other failure to take it is its file error. The lock file is never removed.

// The lock of a store that is opening, or null when the store's folder does not exist yet: then there
// is nothing to read and nothing is created.
StoreResult<std::unique_ptr<FileLock>> lockAtOpening(FileSystem& fileSystem, const ReadingStoreFiles& files);

// The lock of a store that opened without its folder, taken before its first change on disk: the
// folder and the lock file are created. A store file that has appeared since belongs to another store,
// which this one never saw and must not replace: invalidData, and the lock is let go again.
StoreResult<std::unique_ptr<FileLock>> lockForFirstWrite(FileSystem& fileSystem, const ReadingStoreFiles& files);

}  // namespace tavrine
