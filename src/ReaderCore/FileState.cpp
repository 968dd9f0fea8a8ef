#include "ReaderCore/FileState.h"

#include <QFile>

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>

namespace tavrine {
namespace {

FileState::Status statusOf(int result, const struct stat& info) {
    if (result != 0) return FileState::Status{.error = errno};
    return FileState::Status{
        .device = info.st_dev,
        .inode = info.st_ino,
        .mode = info.st_mode,
        .owner = info.st_uid,
        .group = info.st_gid,
        .size = info.st_size,
        .modifiedSeconds = info.st_mtim.tv_sec,
        .modifiedNanoseconds = info.st_mtim.tv_nsec,
        .changedSeconds = info.st_ctim.tv_sec,
        .changedNanoseconds = info.st_ctim.tv_nsec,
    };
}

}  // namespace

FileState fileStateOf(const QString& path) {
    const QByteArray native = QFile::encodeName(path);
    FileState state;
    struct stat info {};
    state.entry = statusOf(::lstat(native.constData(), &info), info);
    if (state.entry.error != 0) return state;
    if (S_ISLNK(state.entry.mode)) {
        QByteArray target(PATH_MAX, '\0');
        const ssize_t length = ::readlink(native.constData(), target.data(), static_cast<size_t>(target.size()));
        target.resize(length < 0 ? 0 : length);
        state.linkTarget = target;
    }
    info = {};
    state.file = statusOf(::stat(native.constData(), &info), info);
    return state;
}

bool isSameFileAsBefore(const FileState::Status& status, const struct stat& info) {
    FileState::Status now = statusOf(0, info);
    now.changedSeconds = status.changedSeconds;
    now.changedNanoseconds = status.changedNanoseconds;
    return now == status;
}

}  // namespace tavrine
