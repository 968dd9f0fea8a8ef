#include "support/SharedData.h"

#include "support/CheckoutPaths.h"

#include <QFileInfo>

namespace tavrine::test {

QString sharedDataFile(const QString& relativePath) {
    const QString path = test::inCheckout(TAVRINE_SHARED_DATA_DIR "/") + relativePath;
    return QFileInfo::exists(path) ? QFileInfo(path).canonicalFilePath() : QString();
}

}  // namespace tavrine::test
