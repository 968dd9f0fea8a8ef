#pragma once

#include "PelmoraMac/Capture/CaptureFailure.h"
#include "PelmoraMac/Capture/ClipboardSnapshot.h"
#include "ReaderCore/CancellationToken.h"
#include "ReaderCore/ReadingDocument.h"

#include <QByteArrayView>
#include <QString>

#include <functional>
#include <optional>

namespace tavrine {

// Clipboard HTML made into a document: the document, none when the HTML has no body to read, or a
// failure.
using ClipboardHTMLConverter = std::function<CaptureResult<std::optional<ReadingDocument>>(const QString& html)>;

// The document of a clipboard snapshot, without sections, after checkClipboardLimits (whose failure
// ends it). In plain-text mode: the text alone, checked by validateClipboardDocument; the formatted
// data is ignored. In automatic mode the first format that yields a document, in this order:
//  1. the HTML (UTF-16 after a byte-order mark, else UTF-8), through the capture scripts'
//     "extractClipboardHTML": more than kExtractionHTMLLimit decoded units fail with
//     clipboardFormatTooLarge and a document that is too long with tooLong; HTML that does not decode,
//     has no body or fails otherwise is passed over;
//  2. the RTF (convertClipboardRichText): tooLong fails, any other failure passes it over;
//  3. the text read as Markdown (readMarkdownForCapture), a line end that only wraps a paragraph joined
//     (LineEnds::unwrapped), after validateClipboardDocument on the text alone; without a text:
//     clipboardUnreadable when there was formatted data, else clipboardNoText.
// Every document is checked by validateClipboardDocument. A pure function of its input, on the
// caller's thread: the worker's clipboard operation, and the interactive process for a plain-text
// snapshot without formatted data.
CaptureResult<ReadingDocument> convertClipboardSnapshot(
    const ClipboardSnapshot& snapshot, const CancellationToken& cancellation = CancellationToken::none());

// The same with another HTML conversion in place of the capture scripts'.
CaptureResult<ReadingDocument> convertClipboardSnapshot(const ClipboardSnapshot& snapshot,
                                                        const ClipboardHTMLConverter& convertHTML,
                                                        const CancellationToken& cancellation);

// The document of RTF data: its text as the RTF reader gives it, then the spans of its runs (per run,
// in run order: strong for bold, emphasis for italic, code for monospace, emphasis for an obliqueness
// other than 0) and, per paragraph in text order, paragraph, heading (header level 1 to 6) and
// listItem (list depth, at most 100). Fails with clipboardUnreadable for data that does not begin with
// "{\rtf", that the reader cannot read, or whose text holds U+FFFC (a picture or an embedded object:
// such RTF is refused whole, not stripped), and with tooLong for a text of more than
// ClipboardSnapshot::kTextLimit units.
CaptureResult<ReadingDocument> convertClipboardRichText(QByteArrayView rtf);

// Clipboard HTML as text: UTF-16 (little- or big-endian) after its byte-order mark, else UTF-8; none
// when the bytes are not valid in that encoding.
std::optional<QString> decodeClipboardHTML(QByteArrayView html);

}  // namespace tavrine
