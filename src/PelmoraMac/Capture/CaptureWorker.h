#pragma once

#include "PelmoraMac/Capture/CaptureWorkerRequest.h"
#include "PelmoraMac/Capture/CaptureWorkerResponse.h"
#include "ReaderCore/CancellationToken.h"

#include <QByteArray>

namespace tavrine {

// The second personality of the executable. Started with the one argument "--capture-worker", the
// process reads one request on its standard input to its end, performs the request's one operation,
// writes one response on its standard output and ends with status 0, whatever the outcome: every
// failure travels in the response. It creates a QCoreApplication and never a QGuiApplication, so it
// runs without a display, and it parses everything that comes from outside (pages, clipboard data,
// Markdown) away from the interactive process.

inline constexpr char kCaptureWorkerArgument[] = "--capture-worker";
// The most bytes that a request or a response may hold.
inline constexpr qsizetype kCaptureWorkerTransferLimit = 16'000'000;
// The most bytes moved through a pipe in one read or write.
inline constexpr qsizetype kCaptureWorkerPipeUnit = 65'536;
// The longest page HTML that the extract operation takes, in UTF-16 units.
inline constexpr qsizetype kExtractionHTMLLimit = 2'000'000;

// The entry point's first call, before any Qt application object exists. When the arguments after
// the program's path are exactly the worker argument, serves one request on standard input and output
// and returns true: the process must then end with status 0. Otherwise returns false at once, without
// touching standard input, and the application starts.
bool runCaptureWorkerIfRequested(int argc, char** argv);

bool isCaptureWorkerInvocation(int argc, const char* const* argv);

// Reads a request from the descriptor `input` to its end (in pieces of kCaptureWorkerPipeUnit bytes;
// more than kCaptureWorkerTransferLimit bytes answer htmlTooLarge, a read error unavailable) and writes
// the response, all of it, to `output`. A failed write is ignored: nobody is left to tell.
void serveCaptureWorkerRequest(int input, int output,
                               const CancellationToken& cancellation = CancellationToken::none());

// The response to the bytes of a request: unavailable for a request that does not decode, else the
// outcome of its operation, a failure carrying nothing else.
CaptureWorkerResponse answerCaptureWorkerRequest(const QByteArray& request,
                                                 const CancellationToken& cancellation = CancellationToken::none());

}  // namespace tavrine
