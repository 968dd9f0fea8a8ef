#pragma once

#include "support/EventLoop.h"

#include <QString>

namespace tavrine::test {

// Where a test keeps what a person would look at (screenshots): test-artifacts/ in the build folder,
// made on first use.
QString testArtifactPath(const QString& fileName);

}  // namespace tavrine::test
