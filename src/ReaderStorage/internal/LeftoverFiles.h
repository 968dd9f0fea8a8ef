#pragma once

#include "ReaderStorage/FileSystem.h"
#include "ReaderStorage/ReadingStoreFiles.h"

#include <QUuid>

#include <optional>

namespace tavrine {

// Removes what interrupted writes leave beside a store that has just opened: temporary files of atomic
// writes (in the store's folder and in its originals folder) and progress files of any revision but
// `revision`, the one the store file names. A file that cannot be listed or removed stays for the next
// opening; nothing the store file needs is touched.
void removeLeftoverFiles(FileSystem& fileSystem, const ReadingStoreFiles& files, const std::optional<QUuid>& revision);

}  // namespace tavrine
