#pragma once

#include "support/EventLoop.h"

#include <QDir>
#include <QString>

namespace tavrine::test {

// Where a test keeps what a person would look at (screenshots): test-artifacts/ in the build folder,
// made on first use.
inline QString testArtifactPath(const QString& fileName) {
    const QDir folder(QStringLiteral(TAVRINE_TEST_ARTIFACTS_DIR));
    folder.mkpath(QStringLiteral("."));
    return folder.filePath(fileName);
}

}  // namespace tavrine::test
