#pragma once

#include "ReaderCore/Json.h"
#include "ReaderStorage/FileSystem.h"
#include "ReaderStorage/LibraryTextFile.h"
#include "ReaderStorage/ReadingStoreError.h"

#include <QString>
#include <tl/expected.hpp>

#include <optional>
#include <variant>

namespace tavrine {

// An import given up because its caller cancelled it; nothing of it was kept.
struct OperationCancelled {
    bool operator==(const OperationCancelled&) const = default;
};

// Everything a store operation can fail with: the store's own error, or a failure of the file system,
// of JSON decoding or of the text-file gate, each passed on as it came, or the caller's cancellation.
using StoreFailure =
    std::variant<ReadingStoreError, FileError, DecodingError, LibraryTextFile::Failure, OperationCancelled>;

template <typename T>
using StoreResult = tl::expected<T, StoreFailure>;

inline tl::unexpected<StoreFailure> storeFailure(StoreFailure failure) {
    return tl::unexpected(std::move(failure));
}
inline tl::unexpected<StoreFailure> invalidStoreData() {
    return storeFailure(ReadingStoreError::invalidData());
}

// Why a store could not be opened: the failure as it came, and the file it concerns, so that the user can
// be told what to restore.
struct StoreOpeningFailure {
    enum class File {
        lock,       // the lock file beside the store file
        store,      // the store file
        progress,   // the progress file of the store file's revision
        originals,  // the folder of kept originals, or an entry in it that could not be removed
        original,   // the kept original of one EPUB reading
    };

    StoreFailure failure;
    File file = File::store;
    // Where that file is: the path a file error names, else the path the store derives for it.
    QString path;
    // For a kept original: the name of the EPUB file the reading was imported from.
    std::optional<QString> originalName;

    bool operator==(const StoreOpeningFailure&) const = default;
};

// A one-line description of a failure ("invalidData", "unsupportedVersion(5)", "read /path: ..."), for
// diagnostics and tests; the words a user reads are chosen by the callers.
QString describeStoreFailure(const StoreFailure& failure);

}  // namespace tavrine
