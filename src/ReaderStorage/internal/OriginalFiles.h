#pragma once

#include "ReaderStorage/EPUBOriginal.h"
#include "ReaderStorage/FileSystem.h"
#include "ReaderStorage/StoreFailure.h"

#include <QSet>
#include <QString>

namespace tavrine {

// The size of the pieces in which a kept original is read into its digest; an original is never read
// into memory whole.
inline constexpr qsizetype kOriginalDigestPieceBytes = 65'536;

// Checks the kept copy of one EPUB file against its record: a regular file (not a symbolic link) of
// exactly byteCount bytes whose lower-case SHA-256 digest equals sha256. A file that cannot be examined or
// opened is its file error; one that does not match is invalidData. Reading stops as soon as the file
// proves longer than recorded. Nothing is repaired or removed.
StoreResult<void> verifyOriginalFile(FileSystem& fileSystem, const QString& path, const EPUBOriginal& original);

// Removes from the originals directory every entry named "<UUID>.epub" (the identifier in either case, the
// extension in lower case exactly) whose name is not one of keptNames; other entries are left alone.
// A missing directory is nothing to do. A listing or removal failure stops the pruning with its file
// error; removals already done stay done. An entry left because the folder may not be changed (a
// read-only file system, no write permission) is no failure.
StoreResult<void> pruneOriginalsDirectory(FileSystem& fileSystem, const QString& directory,
                                          const QSet<QString>& keptNames);

}  // namespace tavrine
