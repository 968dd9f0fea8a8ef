#pragma once

#include "ReaderEPUB/EPUBReader.h"
#include "ReaderStorage/LibraryTextFile.h"
#include "ReaderStorage/StoreFailure.h"

#include <QString>

#include <optional>
#include <variant>

namespace tavrine {

// The user (or a newer request) gave the import up. It has no message: it is never shown.
struct ImportCancelled {
    bool operator==(const ImportCancelled&) const = default;
};

// Why a drop gave no file: the first four are found while the drop is resolved; unavailable is the
// application refusing a drop it had taken, once the file's place is known.
enum class ReaderFileDropFailure {
    multipleFiles,
    unsupportedProvider,
    invalidURL,
    timedOut,
    unavailable,
};

// Why a chosen file could not be read.
enum class LibraryFileReadFailure {
    unreadable,      // opening, reading or asking about the file failed
    notRegularFile,  // a folder, a device, a pipe, or anything else that is no regular file
};

template <>
struct EnumTable<ReaderFileDropFailure> {
    using F = ReaderFileDropFailure;
    static constexpr auto entries = std::to_array<std::pair<F, std::u16string_view>>({
        {F::multipleFiles, u"multipleFiles"},
        {F::unsupportedProvider, u"unsupportedProvider"},
        {F::invalidURL, u"invalidURL"},
        {F::timedOut, u"timedOut"},
        {F::unavailable, u"unavailable"},
    });
};

template <>
struct EnumTable<LibraryFileReadFailure> {
    using F = LibraryFileReadFailure;
    static constexpr auto entries = std::to_array<std::pair<F, std::u16string_view>>({
        {F::unreadable, u"unreadable"},
        {F::notRegularFile, u"notRegularFile"},
    });
};

// Every way a file import can fail, as it travels from the drop, the file reader, the EPUB reader, the
// text-file gate and the store up to the notice. Cancellation in any shape becomes ImportCancelled
// (importFailureOf), so exactly one case means "say nothing".
using LibraryImportFailure = std::variant<ImportCancelled, ReaderFileDropFailure, LibraryFileReadFailure,
                                          EPUBReader::Failure, LibraryTextFile::Failure, StoreFailure>;

// The EPUB reader's cancelled is the import's cancellation; any other failure stays as it is.
LibraryImportFailure importFailureOf(const EPUBReader::Failure& failure);
// The store's OperationCancelled is the import's cancellation, and the store's text-file gate failure is
// the file's own failure (worded as such); any other store failure stays a store failure.
LibraryImportFailure importFailureOf(const StoreFailure& failure);

inline bool isCancellation(const LibraryImportFailure& failure) {
    return std::holds_alternative<ImportCancelled>(failure);
}

// The words of a failed import, made here and nowhere else (the layers below return typed failures only).
// The notice's message: empty for a cancellation, which is never shown.
QString importFailureMessage(const LibraryImportFailure& failure);
// The limits or formats that explain the message; none for most failures.
std::optional<QString> importFailureDetails(const LibraryImportFailure& failure);
// The EPUB reader's own text for a failure, which the import's message uses where it has none of its
// own. The texts quote the standard limits, also when a caller tightened them; cancellation has none.
QString epubFailureMessage(const EPUBReader::Failure& failure);
// Ends the message of every drop failure: the other way to add a file.
extern const QString kDropHint;

}  // namespace tavrine
