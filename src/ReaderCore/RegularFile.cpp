#include "ReaderCore/RegularFile.h"

#include "ReaderCore/FileDescriptor.h"

#include <QFile>

#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdint>

namespace tavrine {
namespace {

using Failure = std::variant<FileReadError, FileRefusal>;

tl::unexpected<Failure> failure(int code = errno) {
    return tl::unexpected(Failure(FileReadError{code}));
}

tl::unexpected<Failure> refusal(FileRefusal refusal) {
    return tl::unexpected(Failure(refusal));
}

// A hint that a large buffer about to be filled be backed by huge pages where the kernel offers them on
// request: a file of hundreds of megabytes then costs hundreds of page faults instead of tens of
// thousands. Only whole huge pages inside the buffer are named.
void adviseHugePages(char* buffer, qsizetype size) {
    constexpr std::uintptr_t kHugePage = std::uintptr_t{2} << 20;
    if (size < qsizetype{4 * kHugePage}) return;
    const auto start = (reinterpret_cast<std::uintptr_t>(buffer) + kHugePage - 1) & ~(kHugePage - 1);
    const auto end = (reinterpret_cast<std::uintptr_t>(buffer) + static_cast<std::uintptr_t>(size)) & ~(kHugePage - 1);
    if (end > start) ::madvise(reinterpret_cast<void*>(start), end - start, MADV_HUGEPAGE);
}

}  // namespace

RegularFileResult readRegularFile(const QString& path, qint64 maxBytes) {
    // O_NONBLOCK: opening a FIFO must not wait for a writer (a regular file reads as it always does).
    const FileDescriptor fd(::open(QFile::encodeName(path).constData(), O_RDONLY | O_CLOEXEC | O_NONBLOCK));
    if (fd.get() < 0) return failure();
    struct stat info {};
    if (::fstat(fd.get(), &info) != 0) return failure();
    if (S_ISDIR(info.st_mode)) return failure(EISDIR);
    if (!S_ISREG(info.st_mode)) return refusal(FileRefusal::notRegularFile);
    if (info.st_size > maxBytes) return refusal(FileRefusal::tooLarge);

    // The size is only a hint: the loop reads to the end whatever the file holds by then, but never
    // more than one byte past maxBytes, which is enough to refuse it. A file of the size it had is read
    // into the room reserved at first, so its bytes never move.
    constexpr qint64 kRoomPastTheEnd = 64;
    QByteArray contents;
    contents.reserve(static_cast<qsizetype>(info.st_size) + 1 + kRoomPastTheEnd);
    adviseHugePages(contents.data(), contents.capacity());
    constexpr qint64 kPiece = 1 << 20;
    for (;;) {
        const qsizetype offset = contents.size();
        const qint64 room = std::max<qint64>(contents.capacity() - offset - kRoomPastTheEnd, 1);
        const qint64 wanted = std::min({kPiece, maxBytes + 1 - offset, room});
        contents.resize(offset + wanted);
        const ssize_t count = readSome(fd.get(), contents.data() + offset, static_cast<size_t>(wanted));
        if (count < 0) return failure();
        contents.resize(offset + count);
        if (contents.size() > maxBytes) return refusal(FileRefusal::tooLarge);
        if (count == 0) break;
    }
    return contents;
}

bool isRegularFile(const QString& path) {
    struct stat info {};
    return ::stat(QFile::encodeName(path).constData(), &info) == 0 && S_ISREG(info.st_mode);
}

}  // namespace tavrine
