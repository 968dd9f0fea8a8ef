#include "ReaderStorage/ReadingStoreFiles.h"

#include "ReaderCore/ApplicationIdentifier.h"
#include "ReaderCore/Uuid.h"

#include <QStandardPaths>

namespace tavrine {
using namespace Qt::StringLiterals;

std::optional<QString> ReadingStoreFiles::applicationStoreFile() {
    const QString data = QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation);
    // An empty location would make the path absolute from the root of the file system.
    if (data.isEmpty()) return std::nullopt;
    return data + u'/' + QString::fromUtf16(kApplicationIdentifier) + u"/reading-store.json";
}

QString ReadingStoreFiles::progressFile(const QUuid& revision) const {
    return m_storeFile + u".progress-" + uuidString(revision) + u".json";
}

std::optional<QUuid> ReadingStoreFiles::progressFileRevision(const QString& fileName) const {
    const QString prefix = storeFileName() + u".progress-";
    const QString suffix = u".json"_s;
    if (!fileName.startsWith(prefix) || !fileName.endsWith(suffix)) return std::nullopt;
    return parseUuid(QStringView(fileName).sliced(prefix.size()).chopped(suffix.size()));
}

QString ReadingStoreFiles::folder() const {
    const qsizetype slash = m_storeFile.lastIndexOf(u'/');
    if (slash < 0) return u"."_s;
    return slash == 0 ? u"/"_s : m_storeFile.left(slash);
}

QString ReadingStoreFiles::storeFileName() const {
    return m_storeFile.mid(m_storeFile.lastIndexOf(u'/') + 1);
}

QString ReadingStoreFiles::lockFile() const {
    return m_storeFile + u".lock";
}

QString ReadingStoreFiles::originalsDirectory() const {
    return m_storeFile + u".originals";
}

QString ReadingStoreFiles::originalFile(const QUuid& readingID) const {
    return originalsDirectory() + u'/' + originalFileName(readingID);
}

QString ReadingStoreFiles::originalFileName(const QUuid& readingID) {
    return uuidString(readingID) + u".epub";
}

std::optional<QUuid> ReadingStoreFiles::originalFileReadingID(const QString& fileName) {
    const QString suffix = u".epub"_s;
    if (!fileName.endsWith(suffix)) return std::nullopt;
    return parseUuid(QStringView(fileName).chopped(suffix.size()));
}

}  // namespace tavrine
