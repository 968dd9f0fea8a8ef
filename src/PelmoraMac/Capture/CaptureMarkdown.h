#pragma once

#include "PelmoraMac/Capture/CaptureFailure.h"
#include "ReaderCore/CancellationToken.h"
#include "ReaderCore/ReadingDocument.h"
#include "ReaderText/MarkdownReader.h"

#include <QString>

namespace tavrine {

// Reads a captured plain text as Markdown with each line end it shows kept (MarkdownReader::
// readKeepingLineEnds: a page's heading or block, a <br>, a terminal's or an editor's line stays a line),
// with the reader's failures as capture failures: empty → emptyText, tooLong → tooLong, tooComplex →
// markdownTooComplex, cancelled → cancelled, unreadable → markdownUnreadable. The document comes back
// unchanged. Runs on the caller's thread.
CaptureResult<ReadingDocument> readMarkdownForCapture(
    const QString& markdown, const CancellationToken& cancellation = CancellationToken::none());

CaptureFailure captureFailure(MarkdownReader::Failure failure);

}  // namespace tavrine
