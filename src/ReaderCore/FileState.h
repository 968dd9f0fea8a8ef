#pragma once

#include <QByteArray>
#include <QString>

#include <sys/stat.h>
#include <sys/types.h>

#include <cstdint>

namespace tavrine {

// What stands at a path, as far as a writer that shares the file with others can tell: the entry itself
// (a link is not followed), the target a link names, and the file the path leads to. Two states that are
// equal mean, in all likelihood, the very same bytes: a write in place changes the modification time, a
// rename the inode, chmod and chown the mode and owner, and each of these the change time, which nobody
// but the kernel sets.
struct FileState {
    // What stat(2) says of one file, or the errno it gave instead.
    struct Status {
        int error = 0;
        dev_t device = 0;
        ino_t inode = 0;
        mode_t mode = 0;
        uid_t owner = 0;
        gid_t group = 0;
        off_t size = 0;
        std::int64_t modifiedSeconds = 0;
        long modifiedNanoseconds = 0;
        std::int64_t changedSeconds = 0;
        long changedNanoseconds = 0;

        bool operator==(const Status&) const = default;
    };

    Status entry;
    QByteArray linkTarget;
    Status file;

    bool operator==(const FileState&) const = default;
};

// What lstat(2), readlink(2) and stat(2) say of path now.
FileState fileStateOf(const QString& path);

// Whether info, which stat(2) gave, is of the file that status describes, as it was then: the change time
// aside, which a rename sets.
bool isSameFileAsBefore(const FileState::Status& status, const struct stat& info);

}  // namespace tavrine
