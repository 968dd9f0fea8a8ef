#include "PelmoraMac/Library/LibraryImportFailure.h"

namespace tavrine {

LibraryImportFailure importFailureOf(const EPUBReader::Failure& failure) {
    if (failure.kind == EPUBReader::Failure::Kind::cancelled) return ImportCancelled{};
    return failure;
}

LibraryImportFailure importFailureOf(const StoreFailure& failure) {
    if (std::holds_alternative<OperationCancelled>(failure)) return ImportCancelled{};
    if (const auto* text = std::get_if<LibraryTextFile::Failure>(&failure)) return *text;
    return failure;
}

}  // namespace tavrine
