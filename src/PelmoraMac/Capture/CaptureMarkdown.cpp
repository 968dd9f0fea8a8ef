#include "PelmoraMac/Capture/CaptureMarkdown.h"

namespace tavrine {

CaptureFailure captureFailure(MarkdownReader::Failure failure) {
    switch (failure) {
    case MarkdownReader::Failure::empty: return CaptureFailure::emptyText;
    case MarkdownReader::Failure::tooLong: return CaptureFailure::tooLong;
    case MarkdownReader::Failure::tooComplex: return CaptureFailure::markdownTooComplex;
    case MarkdownReader::Failure::cancelled: return CaptureFailure::cancelled;
    case MarkdownReader::Failure::unreadable: break;
    }
    return CaptureFailure::markdownUnreadable;
}

CaptureResult<ReadingDocument> readMarkdownForCapture(const QString& markdown, const CancellationToken& cancellation,
                                                      MarkdownReader::LineEnds lineEnds) {
    auto document = MarkdownReader::readWithLineEnds(markdown, lineEnds, cancellation);
    if (!document) return tl::unexpected(captureFailure(document.error()));
    return std::move(*document);
}

}  // namespace tavrine
