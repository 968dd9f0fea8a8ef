#include "ReaderStorage/internal/LeftoverFiles.h"

#include <functional>

namespace tavrine {
namespace {

// Whether name is a file that only an interrupted write can have left in the store's folder.
bool isLeftoverBesideTheStore(const ReadingStoreFiles& files, const QString& name,
                              const std::optional<QUuid>& revision) {
    if (const auto target = atomicWriteTarget(name)) {
        return *target == files.storeFileName() || files.progressFileRevision(*target).has_value();
    }
    const auto progressFileRevision = files.progressFileRevision(name);
    return progressFileRevision && progressFileRevision != revision;
}

// Whether name is the temporary file of an original's interrupted write.
bool isLeftoverOriginal(const QString& name) {
    const auto target = atomicWriteTarget(name);
    return target && ReadingStoreFiles::originalFileReadingID(*target);
}

void removeMatching(FileSystem& fileSystem, const QString& folder, const std::function<bool(const QString&)>& matches) {
    const auto names = fileSystem.list(folder);
    if (!names) return;
    for (const QString& name : *names) {
        if (matches(name)) fileSystem.removeRecursively(folder + u'/' + name);
    }
}

}  // namespace

void removeLeftoverFiles(FileSystem& fileSystem, const ReadingStoreFiles& files, const std::optional<QUuid>& revision) {
    removeMatching(fileSystem, files.folder(),
                   [&](const QString& name) { return isLeftoverBesideTheStore(files, name, revision); });
    removeMatching(fileSystem, files.originalsDirectory(), isLeftoverOriginal);
}

}  // namespace tavrine
