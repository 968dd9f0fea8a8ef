#pragma once

#include "ReaderCore/EPUBBook.h"
#include "ReaderStorage/EPUBOriginal.h"
#include "ReaderStorage/LibraryTextFile.h"

#include <QByteArray>
#include <QString>
#include <tl/expected.hpp>

#include <variant>

namespace tavrine {

// A file handed to the library: a text file that passed its gate, or an EPUB file with the book parsed
// from exactly its bytes. The file reader applies byteLimit() before it reads a byte of the file; the
// store's import turns the value into a new library reading.
struct LibraryFileImport {
    struct EPUBFile {
        // The file's own name (its last path component), as the user's file had it.
        QString filename;
        // All of the file's bytes, which the store keeps as the original.
        QByteArray data;
        EPUBBook book;
    };

    static constexpr qint64 epubByteLimit = EPUBOriginal::kByteLimit;

    std::variant<LibraryTextFile, EPUBFile> file;

    static LibraryFileImport text(LibraryTextFile file) { return {std::move(file)}; }
    static LibraryFileImport epub(QString filename, QByteArray data, EPUBBook book) {
        return {EPUBFile{std::move(filename), std::move(data), std::move(book)}};
    }

    const LibraryTextFile* asText() const { return std::get_if<LibraryTextFile>(&file); }
    const EPUBFile* asEPUB() const { return std::get_if<EPUBFile>(&file); }

    // The most bytes a file of this name may hold: LibraryTextFile::byteLimit for "txt", epubByteLimit for
    // "epub" (extensions in any case); any other name is unsupportedFormat.
    static tl::expected<qint64, LibraryTextFile::Failure> byteLimit(const QString& filename);
};

}  // namespace tavrine
