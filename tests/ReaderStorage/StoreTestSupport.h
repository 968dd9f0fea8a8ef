#pragma once

#include "ReaderStorage/StoreFailure.h"

#include <optional>
#include <ostream>

namespace tavrine {

inline void PrintTo(const StoreFailure& failure, std::ostream* out) {
    *out << describeStoreFailure(failure).toStdString();
}

namespace test {

// The failure of a store result, or nothing when it succeeded.
template <typename T>
std::optional<StoreFailure> failureOf(const StoreResult<T>& result) {
    if (result) return std::nullopt;
    return result.error();
}

inline StoreFailure invalidData() {
    return ReadingStoreError::invalidData();
}

// Whether the failure is the file system's "no such file" for path.
inline bool isNoSuchFile(const std::optional<StoreFailure>& failure, const QString& path) {
    const auto* error = failure ? std::get_if<FileError>(&*failure) : nullptr;
    return error && error->isNoSuchFile() && error->path == path;
}

}  // namespace test
}  // namespace tavrine
