#include "ReaderStorage/internal/OriginalFiles.h"

#include "ReaderStorage/ReadingStoreFiles.h"

#include "ReaderStorage/internal/Sha256.h"

#include <cerrno>

namespace tavrine {

StoreResult<void> verifyOriginalFile(FileSystem& fileSystem, const QString& path, const EPUBOriginal& original) {
    const auto status = fileSystem.status(path);
    if (!status) return storeFailure(status.error());
    if (status->type != FileStatus::Type::regular || !status->size) return invalidStoreData();
    if (original.byteCount < 0 || *status->size != static_cast<quint64>(original.byteCount)) return invalidStoreData();

    auto file = fileSystem.openForReading(path);
    if (!file) return storeFailure(file.error());
    Sha256 digest;
    qint64 total = 0;
    for (;;) {
        const auto piece = (*file)->read(kOriginalDigestPieceBytes);
        if (!piece) return storeFailure(piece.error());
        if (piece->isEmpty()) break;
        total += piece->size();
        // The file grew since it was examined: stop before reading any further.
        if (total > original.byteCount) return invalidStoreData();
        digest.add(*piece);
    }
    if (total != original.byteCount) return invalidStoreData();
    if (QString::fromLatin1(digest.result().toHex()) != original.sha256) return invalidStoreData();
    return {};
}

namespace {

// The folder may be read but not changed (a read-only file system, no write permission): the store
// can then only be read, and an orphan it cannot remove is no reason to refuse the library.
bool isReadOnlyRefusal(int code) {
    return code == EROFS || code == EACCES;
}

}  // namespace

StoreResult<void> pruneOriginalsDirectory(FileSystem& fileSystem, const QString& directory,
                                          const QSet<QString>& keptNames) {
    const auto names = fileSystem.list(directory);
    if (!names) {
        // No originals directory (or a link to none): nothing was ever kept.
        if (names.error().isNoSuchFile()) return {};
        return storeFailure(names.error());
    }
    for (const QString& name : *names) {
        if (!ReadingStoreFiles::originalFileReadingID(name) || keptNames.contains(name)) continue;
        auto removed = fileSystem.removeRecursively(directory + u'/' + name);
        if (!removed && !isReadOnlyRefusal(removed.error().code)) return storeFailure(removed.error());
    }
    return {};
}

}  // namespace tavrine
