#include "PelmoraMac/Capture/CaptureWorkerOperations.h"

#include "PelmoraMac/Capture/AXSelectionReader.h"
#include "PelmoraMac/Capture/ArticleScriptHost.h"
#include "PelmoraMac/Capture/BrowserSnapshotScript.h"
#include "PelmoraMac/Capture/CaptureMarkdown.h"
#include "PelmoraMac/Capture/CaptureWorker.h"
#include "PelmoraMac/Capture/CapturedText.h"
#include "PelmoraMac/Capture/ClipboardConversion.h"

namespace tavrine {
namespace {

// Each operation's work, given its checked input.

// The first snapshot of a page also reads the page's selection as Markdown, as the selection capture
// would have another worker do, when it is a selection that the capture takes: the capture then starts
// one process less. Every line end of a page's text is one the page shows, and is kept. Where that gives
// no valid document the capture has it read as before.
CaptureResult<CaptureWorkerResponse> takeSnapshot(const CaptureWorkerRequest& request,
                                                  const CancellationToken& cancellation) {
    const bool withHTML = request.operation == CaptureWorkerRequest::Operation::snapshot;
    BrowserSnapshotOptions options{.frontWindow = request.window};
    options.search.process = request.process;
    auto snapshot = takeBrowserSnapshot(*request.browser, withHTML, options);
    if (!snapshot) return tl::unexpected(snapshot.error());
    CaptureWorkerResponse response{.snapshot = std::move(*snapshot)};
    const QString selection = withoutObjectReplacements(response.snapshot->selection.value_or(QString()));
    if (withHTML && selection.size() <= AXSelectionReader::kTextLimit && !holdsNothingToRead(selection)) {
        auto document = readMarkdownForCapture(selection, cancellation, MarkdownReader::LineEnds::kept);
        if (document && document->isValid()) response.document = std::move(*document);
    }
    return response;
}

// A page without an article body answers with no document and no failure.
CaptureResult<CaptureWorkerResponse> extractPageArticle(const QString& html) {
    auto document = extractArticle(html);
    if (!document) return tl::unexpected(document.error());
    return CaptureWorkerResponse{.document = std::move(*document)};
}

CaptureResult<CaptureWorkerResponse> convertClipboard(const ClipboardSnapshot& snapshot,
                                                      const CancellationToken& cancellation) {
    auto document = convertClipboardSnapshot(snapshot, cancellation);
    if (!document) return tl::unexpected(document.error());
    return CaptureWorkerResponse{.document = std::move(*document)};
}

CaptureResult<CaptureWorkerResponse> convertMarkdown(const QString& text, MarkdownReader::LineEnds lineEnds,
                                                     const CancellationToken& cancellation) {
    auto document = readMarkdownForCapture(text, cancellation, lineEnds);
    if (!document) return tl::unexpected(document.error());
    return CaptureWorkerResponse{.document = std::move(*document)};
}

}  // namespace

CaptureResult<CaptureWorkerResponse> performCaptureWorkerOperation(const CaptureWorkerRequest& request,
                                                                   const CancellationToken& cancellation) {
    using Operation = CaptureWorkerRequest::Operation;
    switch (request.operation) {
    case Operation::snapshot:
    case Operation::verify:
        if (!request.browser) return tl::unexpected(CaptureFailure::browserUnsupported);
        return takeSnapshot(request, cancellation);
    case Operation::extract:
        if (!request.html) return tl::unexpected(CaptureFailure::unavailable);
        if (request.html->size() > kExtractionHTMLLimit) return tl::unexpected(CaptureFailure::htmlTooLarge);
        return extractPageArticle(*request.html);
    case Operation::clipboard:
        if (!request.clipboard) return tl::unexpected(CaptureFailure::clipboardNoText);
        return convertClipboard(*request.clipboard, cancellation);
    case Operation::markdown:
        if (!request.text) return tl::unexpected(CaptureFailure::markdownUnreadable);
        return convertMarkdown(*request.text, request.lineEnds.value_or(MarkdownReader::LineEnds::kept), cancellation);
    }
    return tl::unexpected(CaptureFailure::unavailable);
}

}  // namespace tavrine
