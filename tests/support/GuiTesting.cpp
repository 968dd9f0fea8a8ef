#include "support/GuiTesting.h"

#include "support/CheckoutPaths.h"

#include <QDir>

namespace tavrine::test {

QString testArtifactPath(const QString& fileName) {
    const QDir folder(test::inCheckout(TAVRINE_TEST_ARTIFACTS_DIR));
    folder.mkpath(QStringLiteral("."));
    return folder.filePath(fileName);
}

}  // namespace tavrine::test
