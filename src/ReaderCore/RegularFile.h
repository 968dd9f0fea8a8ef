#pragma once

#include <QByteArray>
#include <QString>

#include <tl/expected.hpp>

#include <variant>

namespace tavrine {

// Why readRegularFile() did not read a file that it could open.
enum class FileRefusal {
    notRegularFile,  // a FIFO, a device or another special file: reading one can block or never end
    tooLarge,        // more bytes than the caller takes
};

// A failing open or read, with the errno the system reported.
struct FileReadError {
    int code = 0;

    bool operator==(const FileReadError&) const = default;
};

using RegularFileResult = tl::expected<QByteArray, std::variant<FileReadError, FileRefusal>>;

// The whole of a regular file (a symbolic link is followed) of at most maxBytes bytes: the one way
// every file that the user or another program may have put in place is read. A missing file, or a
// missing directory on its path, is ENOENT; a directory is EISDIR. Any other kind of file is refused
// without a byte read, and so is a file that proves longer than maxBytes, by its size or while it is
// read: the open never waits for a FIFO's writer, and nothing reads without end.
//
// The bytes are followed by a little unused room, so that a parser that reads slightly past the end
// (the JSON parser) can use them in place.
RegularFileResult readRegularFile(const QString& path, qint64 maxBytes);

// A regular file, or a symbolic link to one: something a writer may move aside or replace.
bool isRegularFile(const QString& path);

}  // namespace tavrine
