#include "ReaderStorage/ReadingStoreFiles.h"

#include "ReaderCore/Uuid.h"

#include <QStandardPaths>

namespace tavrine {

QString ReadingStoreFiles::applicationStoreFile() {
    return QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation) + u'/' +
           QString::fromUtf16(kApplicationIdentifier) + u"/reading-store.json";
}

QString ReadingStoreFiles::progressFile(const QUuid& revision) const {
    return m_storeFile + u".progress-" + uuidString(revision) + u".json";
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

}  // namespace tavrine
