#include "PelmoraMac/Capture/CaptureWorker.h"

#include "PelmoraMac/Capture/CaptureWorkerOperations.h"
#include "ReaderCore/FileDescriptor.h"

#include <QCoreApplication>

#include <unistd.h>
#include <cerrno>
#include <cstring>

namespace tavrine {
namespace {

// The request's bytes, read to the end of the input.
CaptureResult<QByteArray> readRequest(int input) {
    QByteArray request;
    QByteArray piece(kCaptureWorkerPipeUnit, Qt::Uninitialized);
    for (;;) {
        const ssize_t count = readSome(input, piece.data(), size_t(piece.size()));
        if (count < 0) return tl::unexpected(CaptureFailure::unavailable);
        if (count == 0) return request;
        if (request.size() + count > kCaptureWorkerTransferLimit) return tl::unexpected(CaptureFailure::htmlTooLarge);
        request.append(piece.constData(), count);
    }
}

void writeAll(int output, const QByteArray& bytes) {
    qsizetype written = 0;
    while (written < bytes.size()) {
        const ssize_t count = ::write(output, bytes.constData() + written, size_t(bytes.size() - written));
        if (count < 0) {
            if (errno == EINTR) continue;
            return;
        }
        written += count;
    }
}

}  // namespace

bool isCaptureWorkerInvocation(int argc, const char* const* argv) {
    return argc == 2 && std::strcmp(argv[1], kCaptureWorkerArgument) == 0;
}

bool runCaptureWorkerIfRequested(int argc, char** argv) {
    if (!isCaptureWorkerInvocation(argc, argv)) return false;
    // An event loop for the operations that wait on one; never a GUI application, so no display is
    // needed.
    QCoreApplication application(argc, argv);
    serveCaptureWorkerRequest(STDIN_FILENO, STDOUT_FILENO);
    return true;
}

CaptureWorkerResponse answerCaptureWorkerRequest(const QByteArray& request, const CancellationToken& cancellation) {
    auto decoded = decodeJsonText<CaptureWorkerRequest>(request);
    if (!decoded) return CaptureWorkerResponse::failed(CaptureFailure::unavailable);
    auto outcome = performCaptureWorkerOperation(*decoded, cancellation);
    if (!outcome) return CaptureWorkerResponse::failed(outcome.error());
    return std::move(*outcome);
}

void serveCaptureWorkerRequest(int input, int output, const CancellationToken& cancellation) {
    auto request = readRequest(input);
    const CaptureWorkerResponse response =
        request ? answerCaptureWorkerRequest(*request, cancellation) : CaptureWorkerResponse::failed(request.error());
    writeAll(output, encodeJson(response));
}

}  // namespace tavrine
