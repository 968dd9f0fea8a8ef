#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QString>

#include <tl/expected.hpp>

#include <sys/stat.h>

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

// What a writer that shares a file with others asks as its new file takes the file's name.
struct SharedFileCheck {
    // Asked once the new file is complete, synced and closed, right before it takes the name (as late as
    // the file can be looked at whole): whether the file is still the one judged.
    std::function<bool()> isUnchanged;
    // Asked of the file that the new one has just replaced, the two names exchanged in one step: whether
    // it is the one judged. When it is not, a save of another writer landed in the instant after the look,
    // and it is given its name back. Where nothing was to be replaced, the new file takes the name only
    // while it is still free. A file system that cannot exchange two names is left with the look alone.
    std::function<bool(const struct stat& replaced)> isJudged;
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
//
// A writer that shares the file with others (who replace it, or write it in place) passes check: the new
// file then takes the file's name only while what it replaces is still the file that writer judged, and
// otherwise the write is abandoned like a failed one (the old file stays, the temporary file goes) and
// reports EAGAIN.
tl::expected<void, FileWriteError> replaceFileAtomically(const QString& path,
                                                         const std::function<bool(FileContents&)>& produce,
                                                         const SharedFileCheck& check = {});

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
