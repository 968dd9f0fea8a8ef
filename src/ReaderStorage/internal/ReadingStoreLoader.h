#pragma once

#include "ReaderStorage/FileSystem.h"
#include "ReaderStorage/ReadingStoreFiles.h"
#include "ReaderStorage/StoreFailure.h"
#include "ReaderStorage/internal/FileStamp.h"
#include "ReaderStorage/internal/ReadingStoreSnapshot.h"

#include <optional>

namespace tavrine {

// Reads the store's files from disk and accepts them only whole and consistent: the store file with its
// format version, the progress file of its revision and every kept EPUB original. It writes
// nothing; the one change it makes on disk is the removal of orphaned originals at start-up. Used on the
// thread that opens the store.
class ReadingStoreLoader {
public:
    // What a store starts from.
    struct Loaded {
        // The stored content, or the empty store when there is no store file.
        ReadingStoreSnapshot snapshot;
        // Whether the store file existed.
        bool hasSeenFile = false;
        // The store file's and the progress file's stamps as read.
        std::optional<FileStamp> fileStamp;
        std::optional<FileStamp> progressFileStamp;
    };

    // largestFileBytes bounds what is read of the store file and of the progress file; a larger one is
    // invalidData (tests take a smaller bound).
    ReadingStoreLoader(FileSystem& fileSystem, ReadingStoreFiles files,
                       qint64 largestFileBytes = ReadingStoreSnapshot::kLargestFileBytes)
        : m_fileSystem(fileSystem), m_files(std::move(files)), m_largestFileBytes(largestFileBytes) {}

    // Reads and checks the store file, prunes orphaned originals and takes both stamps. A missing store
    // file (or a missing directory on its path) gives the empty store and creates nothing; any other
    // failure is returned and no store may be made from these files.
    StoreResult<Loaded> loadAtOpening();

    // The checked content of the store file, or nothing when there is no such file. A file that cannot be
    // read, is no regular file, is longer than any store file, is not JSON of a known version, breaks a rule of the
    // content, has no matching progress side file or refers to a bad original gives that failure; it never reads as an
    // empty store.
    StoreResult<std::optional<ReadingStoreSnapshot>> readSnapshot();

    // Reads the progress file of the snapshot's revision and applies it. A missing progress file is its
    // file error: the copies inside the store file are never used instead.
    StoreResult<void> applyProgressFile(ReadingStoreSnapshot& snapshot);

    // Verifies the kept original of every EPUB reading, in stored order; the first bad one fails the whole.
    StoreResult<void> verifyOriginals(const ReadingStoreSnapshot& snapshot);

    // Removes the originals that no document of the snapshot refers to (all of them without a snapshot).
    StoreResult<void> pruneOriginals(const std::optional<ReadingStoreSnapshot>& keeping);

    // What the last failure of these steps concerns: the file being read, checked or removed then.
    StoreOpeningFailure concernOf(StoreFailure failure) const;

private:
    void concern(StoreOpeningFailure::File file, QString path, std::optional<QString> originalName = std::nullopt);

    FileSystem& m_fileSystem;
    ReadingStoreFiles m_files;
    qint64 m_largestFileBytes;
    StoreOpeningFailure::File m_file = StoreOpeningFailure::File::store;
    QString m_path;
    std::optional<QString> m_originalName;
};

}  // namespace tavrine
