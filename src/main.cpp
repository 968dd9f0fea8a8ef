#include "PelmoraMac/Capture/CaptureWorker.h"

#include <csignal>
#include <cstdio>

// Hands over to the capture worker, or to the application.
int main(int argc, char** argv) {
    // Writes to a pipe whose reader is gone fail with an error instead of ending the process: the
    // capture worker and its launcher both write to pipes, and Linux pipes have no per-descriptor switch.
    std::signal(SIGPIPE, SIG_IGN);
    if (tavrine::runCaptureWorkerIfRequested(argc, argv)) return 0;
    std::puts("Tavrine has no application window yet: the libraries, tests and benchmarks are built.");
    return 0;
}
