#pragma once

#include "PelmoraMac/Capture/CaptureFailure.h"
#include "ReaderCore/CancellationToken.h"
#include "ReaderCore/ReadingDocument.h"
#include "ReaderText/MarkdownReader.h"

#include <QString>

namespace tavrine {

// Reads a captured plain text as Markdown, its line ends as `lineEnds` asks: kept for a web page's text,
// where each is a block, a <br> or a <pre> line the page shows; unwrapped for any other application's and
// the clipboard's plain text, which may wrap a paragraph at a fixed width (a mail, a PDF viewer, a
// terminal): such a wrap is joined, every other line end (a heading, a poem's line, a sentence's end)
// stays. The reader's failures become capture failures: empty → emptyText, tooLong → tooLong, tooComplex →
// markdownTooComplex, cancelled → cancelled, unreadable → markdownUnreadable. The document comes back
// unchanged. Runs on the caller's thread.
CaptureResult<ReadingDocument> readMarkdownForCapture(
    const QString& markdown, const CancellationToken& cancellation = CancellationToken::none(),
    MarkdownReader::LineEnds lineEnds = MarkdownReader::LineEnds::kept);

CaptureFailure captureFailure(MarkdownReader::Failure failure);

}  // namespace tavrine
