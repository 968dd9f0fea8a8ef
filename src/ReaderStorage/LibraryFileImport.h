#pragma once

#include "ReaderStorage/EPUBOriginal.h"
#include "ReaderStorage/LibraryTextFile.h"

#include <QString>
#include <tl/expected.hpp>

namespace tavrine {

// A file handed to the library: a checked text file, or an EPUB file with the book parsed from exactly
// its bytes. The file reader applies byteLimit() before it reads a byte of the file.
struct LibraryFileImport {
    static constexpr qint64 epubByteLimit = EPUBOriginal::kByteLimit;

    // The most bytes a file of this name may hold: LibraryTextFile::byteLimit for "txt", epubByteLimit for
    // "epub" (extensions in any case); any other name is unsupportedFormat.
    static tl::expected<qint64, LibraryTextFile::Failure> byteLimit(const QString& filename);
};

}  // namespace tavrine
