#include "ReaderStorage/LibraryFileImport.h"

#include "ReaderStorage/internal/PathNames.h"

namespace tavrine {

tl::expected<qint64, LibraryTextFile::Failure> LibraryFileImport::byteLimit(const QString& filename) {
    const QString extension = pathExtension(filename).toLower();
    if (extension == u"txt") return LibraryTextFile::byteLimit;
    if (extension == u"epub") return epubByteLimit;
    return tl::unexpected(LibraryTextFile::Failure::unsupportedFormat);
}

}  // namespace tavrine
