#pragma once

#include "ReaderStorage/FileSystem.h"
#include "ReaderStorage/ReadingStoreFiles.h"
#include "ReaderStorage/StoreFailure.h"
#include "ReaderStorage/internal/FileStamp.h"
#include "ReaderStorage/internal/ReadingStoreSnapshot.h"

#include <optional>

namespace tavrine {

// Puts a new content of the store on disk so that a crash or a failed step never leaves a store file
// that names a missing progress file: a new progress file is complete and synced before the store file
// that names it replaces the old one, and the old progress file goes only afterwards. A change of positions
// and play dates alone rewrites only the current progress file. Used on the store's thread; it keeps no state
// of its own between writes.
class ReadingStoreWriter {
public:
    // The stamps of the store file and of its progress file as this store last read or wrote them.
    struct Stamps {
        std::optional<FileStamp> file;
        std::optional<FileStamp> progressFile;

        bool operator==(const Stamps&) const = default;
    };

    struct Written {
        // The content as written: format version, tombstones and revision completed.
        ReadingStoreSnapshot snapshot;
        Stamps stamps;
    };

    // No file larger than largestFileBytes is written: a change that would need one fails with
    // invalidData, so that the store never writes what it would refuse to read (tests take a smaller bound).
    ReadingStoreWriter(FileSystem& fileSystem, const ReadingStoreFiles& files,
                       qint64 largestFileBytes = ReadingStoreSnapshot::kLargestFileBytes)
        : m_fileSystem(fileSystem), m_files(files), m_largestFileBytes(largestFileBytes) {}

    // Writes `proposed` as the successor of `current`, the content the files hold now. The result is the
    // new content and stamps, which the store takes as its own; on failure the store keeps what it had
    // and the files it named are unchanged. Once the new store file is in place the write has succeeded:
    // originals it no longer names are removed as far as possible, and any left behind are orphans that
    // the next opening prunes.
    StoreResult<Written> write(const ReadingStoreSnapshot& current, ReadingStoreSnapshot proposed,
                               const Stamps& stamps);

    // The format version and the tombstones of the successor: version 4 once any EPUB reading was kept
    // (never lowered again), else 3; every identifier that leaves the store joins the tombstones.
    static ReadingStoreSnapshot completed(const ReadingStoreSnapshot& current, ReadingStoreSnapshot proposed);

    // Whether the successor differs from current only in positions and play dates, so that rewriting the
    // progress file of the current revision is enough.
    static bool changesOnlyProgress(const ReadingStoreSnapshot& current, const ReadingStoreSnapshot& next);

private:
    StoreResult<Stamps> writeProgressOnly(const ReadingStoreSnapshot& next, const Stamps& stamps);
    StoreResult<Stamps> writeFull(const ReadingStoreSnapshot& current, const ReadingStoreSnapshot& next);
    // The stamp of a file just written; a failure to read it leaves it absent, which makes the next
    // progress-only write fail rather than trust a file it cannot identify.
    std::optional<FileStamp> stampAfterWriting(const QString& path);

    FileSystem& m_fileSystem;
    const ReadingStoreFiles& m_files;
    qint64 m_largestFileBytes;
};

}  // namespace tavrine
