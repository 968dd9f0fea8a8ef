#include "support/GuiTesting.h"

#include <QDir>

namespace tavrine::test {

// The build folder's path is compiled into this file alone: a test that includes the header carries no
// path of its checkout, so the objects of another clone come from the compiler cache.
QString testArtifactPath(const QString& fileName) {
    const QDir folder(QStringLiteral(TAVRINE_TEST_ARTIFACTS_DIR));
    folder.mkpath(QStringLiteral("."));
    return folder.filePath(fileName);
}

}  // namespace tavrine::test
