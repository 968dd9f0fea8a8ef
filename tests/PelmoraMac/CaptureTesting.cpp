#include "CaptureTesting.h"

namespace tavrine::test {

CaptureWorkerLaunch realWorker() {
    return {.executable = QStringLiteral(TAVRINE_EXECUTABLE), .childStarted = {}};
}

}  // namespace tavrine::test
