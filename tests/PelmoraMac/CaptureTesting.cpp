#include "CaptureTesting.h"

#include "support/CheckoutPaths.h"

namespace tavrine::test {

CaptureWorkerLaunch realWorker() {
    return {.executable = test::inCheckout(TAVRINE_EXECUTABLE), .childStarted = {}};
}

}  // namespace tavrine::test
