#include "PelmoraMac/App/PelmoraMain.h"
#include "PelmoraMac/Capture/CaptureWorker.h"

#include <csignal>

// Hands over to the capture worker, or to the application.
int main(int argc, char** argv) {
    // Writes to a pipe whose reader is gone fail with an error instead of ending the process: the
    // capture worker and its launcher both write to pipes, and Linux pipes have no per-descriptor switch.
    std::signal(SIGPIPE, SIG_IGN);
    // First, before any Qt application object: a worker connects to no display and reads no settings.
    if (tavrine::runCaptureWorkerIfRequested(argc, argv)) return 0;
    return tavrine::runPelmoraApp(argc, argv);
}
