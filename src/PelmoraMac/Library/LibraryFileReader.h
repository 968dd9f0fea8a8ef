#pragma once

#include "PelmoraMac/Library/LibraryImportFailure.h"
#include "ReaderCore/CancellationToken.h"
#include "ReaderStorage/FileSystem.h"
#include "ReaderStorage/LibraryFileImport.h"

#include <QCoro/QCoroTask>
#include <QUrl>
#include <tl/expected.hpp>

#include <memory>
#include <optional>

namespace tavrine {

// What the file reader asks of the disk; replaceable in tests. Both calls follow a symbolic link, so a
// link is judged by what it points at. Used from one pool thread at a time.
class LibraryFileAccess {
public:
    struct Attributes {
        bool isRegularFile = false;
        // Absent when the file system reports none.
        std::optional<qint64> size;
    };

    virtual ~LibraryFileAccess() = default;
    virtual tl::expected<Attributes, FileError> attributes(const QString& path) = 0;
    // Opens without waiting for a writer; what is opened is checked again to be a regular file.
    virtual tl::expected<std::unique_ptr<ReadableFile>, FileError> open(const QString& path) = 0;

    // The machine's own file system.
    static std::shared_ptr<LibraryFileAccess> system();
};

// Turns a chosen or dropped file into what the store imports. The size the file system reports is
// compared with the file's limit before the file is opened, and the read itself never takes more than
// limit + 1 bytes whatever that size said, in pieces of kPieceBytes with the token checked before each.
// An EPUB goes to the EPUB reader under its standard limits; a text file is only validated and keeps its
// raw bytes (a byte-order mark included). Holds no state.
class LibraryFileReader {
public:
    using Failure = LibraryFileReadFailure;
    using Result = tl::expected<LibraryFileImport, LibraryImportFailure>;

    static constexpr qsizetype kPieceBytes = 8'192;

    LibraryFileReader() = delete;

    // Reads on a pool thread and resumes on the caller's thread. Failures: unsupportedFormat for a URL
    // that is no local file or a name that is neither "*.txt" nor "*.epub" (any case), notRegularFile,
    // unreadable, the too-large failure of the extension (tooLong, or the EPUB limit archiveBytes), the
    // text-file gate's and the EPUB reader's own failures, and ImportCancelled once token is cancelled.
    static QCoro::Task<Result> load(QUrl url, CancellationToken token,
                                    std::shared_ptr<LibraryFileAccess> access = LibraryFileAccess::system());

    // The checks and the bounded read alone, on the calling thread.
    static tl::expected<QByteArray, LibraryImportFailure> readFile(const QUrl& url, const CancellationToken& token,
                                                                   LibraryFileAccess& access);
};

}  // namespace tavrine
