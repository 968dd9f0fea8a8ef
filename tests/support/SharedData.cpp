#include "support/SharedData.h"

#include <QFileInfo>

namespace tavrine::test {

// The shared folder's path is compiled into this file alone: a test that includes the header carries no
// path of its checkout, so the objects of another clone come from the compiler cache.
QString sharedDataFile(const QString& relativePath) {
    const QString path = QStringLiteral(TAVRINE_SHARED_DATA_DIR "/") + relativePath;
    return QFileInfo::exists(path) ? QFileInfo(path).canonicalFilePath() : QString();
}

}  // namespace tavrine::test
