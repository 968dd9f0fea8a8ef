#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QString>

#include <tl/expected.hpp>

#include <functional>
#include <optional>

namespace tavrine {

// The bytes of a file that replaceFileAtomically() writes, handed over in order.
class FileContents {
public:
    virtual ~FileContents() = default;
    // Appends bytes; false once the file cannot take them (the write has failed: hand over no more).
    virtual bool append(QByteArrayView bytes) = 0;
};

// A failing step of a write, with the errno the system reported.
struct FileWriteError {
    int code = 0;

    bool operator==(const FileWriteError&) const = default;
};

// Replaces the file at path with the bytes produce hands over, or leaves it exactly as it was: the one way
// a file that holds the user's data is written, for the store and the settings alike. The bytes go to a
// temporary file in the same folder (named by atomicWriteTemporaryPrefix()) through write(2), each call
// checked and a short one continued; the file is fsync'd and closed, each checked too, and only then takes
// the file's name, after which the folder itself is synced. A full disk, a quota or an I/O error, whether
// write(), fsync() or close() reports it, thus fails the write while the old file is still in place, and
// the temporary file is removed. Once the new file has its name the write has succeeded (a failing sync of
// the folder is then not reported: the next write into that folder syncs it again). A process killed in
// the middle leaves at most the temporary file behind.
//
// produce returns whether the bytes are complete; when it returns false the write is abandoned like a
// failed one and, unless the file system failed first, reports ECANCELED. The new file keeps the
// permissions of the regular file it replaces; a new one is readable by its owner only. path names the
// file itself: a symbolic link there is replaced, not followed.
//
// A file that this user may not write is never replaced (mayReplaceFile()), although rename(2), which asks
// only for the folder, would: the write fails as any other, before anything is made, and once the file
// may be written again the next write replaces it.
tl::expected<void, FileWriteError> replaceFileAtomically(const QString& path,
                                                         const std::function<bool(FileContents&)>& produce);

// Whether this user may replace what is at path: nothing, a symbolic link (the link is what a write
// replaces), or a file that access(2) says this user may write. Anything else, a read-only file or one of
// another owner that this user may not write, is refused with the errno access(2) gave (EACCES, or EROFS
// on a read-only file system). Root may write any file and is never refused here.
tl::expected<void, FileWriteError> mayReplaceFile(const QString& path);

// Gives the file (or the link) at from the name to, but only while nothing has that name: an earlier file
// there, whatever its owner or permissions, is never replaced, and the move fails with EEXIST. A link is
// moved, not followed.
tl::expected<void, FileWriteError> renameWithoutReplacing(const QString& from, const QString& to);

// The start of the names of replaceFileAtomically()'s temporary files for a file named fileName: a dot,
// the name, ".tmp-", then a few random characters. Such a file that is still there when no write runs
// was left by an interrupted one.
QString atomicWriteTemporaryPrefix(const QString& fileName);

// The name of the file that a temporary file of replaceFileAtomically() was to replace, or nothing when
// name is not one of them.
std::optional<QString> atomicWriteTarget(const QString& name);

}  // namespace tavrine
