#pragma once

#include "PelmoraMac/Capture/CaptureDeadline.h"
#include "PelmoraMac/Capture/CaptureFailure.h"
#include "PelmoraMac/Capture/CaptureWorkerRequest.h"
#include "PelmoraMac/Capture/CaptureWorkerResponse.h"
#include "ReaderCore/CancellationToken.h"

#include <QByteArray>
#include <QByteArrayList>
#include <QString>
#include <QStringList>

#include <sys/types.h>
#include <functional>

namespace tavrine {

// The parent's side of the capture worker: a launch starts one child process, feeds it the request on
// its standard input while it drains its standard output, and always ends it (by its own exit, else by
// SIGKILL) and reaps it before returning. Launches block their thread (a pool thread, never the main
// thread) and share nothing, so several may run at once.
//
// Needs SIGPIPE ignored process-wide (the entry point and the test mains do so): a pipe has no flag of
// its own that turns the signal of a write to a vanished reader into an error.

// What a launch may be told besides its request. The application passes nothing; tests start another
// program (a fake child, or the built executable) and watch the children.
struct CaptureWorkerLaunch {
    // The program to start; empty: this process's own executable.
    QString executable{};
    // Called on the launching thread with each child's process id, right after it started.
    std::function<void(pid_t)> childStarted{};
};

// Has a worker answer the request by the deadline: encodes it, starts the executable with the worker
// argument alone (launchCaptureWorkerProcess, whose failures come through unchanged) and decodes its
// output. Output that is no response (empty output included) is unavailable; a response holding a
// failure gives that failure; any other response comes back whole, also one without snapshot and
// document.
CaptureResult<CaptureWorkerResponse> runCaptureWorker(const CaptureWorkerRequest& request, CaptureDeadline deadline,
                                                      const CancellationToken& cancellation,
                                                      const CaptureWorkerLaunch& launch = {});

// Runs one child with `arguments` and `input` on its standard input (standard error goes to /dev/null,
// no other descriptor is inherited, the environment is sanitizedWorkerEnvironment()) and returns all
// it wrote on its standard output once it has exited with status 0. Fails, ending the child at once,
// with: htmlTooLarge for input of more than kCaptureWorkerTransferLimit bytes (nothing is started) or
// output of more than outputLimit bytes; cancelled when the token is cancelled (tested before the
// deadline); timedOut once the deadline has come; unavailable when the child cannot be started, a
// pipe fails (a child that vanished included) or it ends in any other way than exit status 0.
CaptureResult<QByteArray> launchCaptureWorkerProcess(const CaptureWorkerLaunch& launch, const QStringList& arguments,
                                                     const QByteArray& input, CaptureDeadline deadline,
                                                     qsizetype outputLimit, const CancellationToken& cancellation);

// The environment ("NAME=value" entries) without the variables whose names begin with "DYLD_" or
// "XCTest" (case-sensitive; values are not looked at).
QByteArrayList sanitizedWorkerEnvironment(const QByteArrayList& environment);
// The same, of this process's environment.
QByteArrayList sanitizedWorkerEnvironment();

}  // namespace tavrine
