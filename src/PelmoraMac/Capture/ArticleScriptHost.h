#pragma once

#include "PelmoraMac/Capture/CaptureDeadline.h"
#include "PelmoraMac/Capture/CaptureFailure.h"
#include "ReaderCore/ReadingDocument.h"

#include <QString>
#include <QStringView>

#include <chrono>
#include <optional>

namespace tavrine {

// Runs the capture scripts compiled into the program (":/ArticleExtractor/<name>.js"): the extractor,
// which turns page or clipboard HTML into a reading document, and the page script of the browser
// snapshot, which is only loaded here. Every call creates its own script engine, evaluates the
// extractor in it, calls one function of its global `RAVOVodeved` object with one string and checks
// what comes back; nothing outlives the call. The engine offers the scripts the ECMAScript built-ins and
// `atob`, nothing that reaches files, the network or processes. Synchronous, on the calling thread.

// The longest document text that an extractor may return, in UTF-16 units.
inline constexpr qsizetype kArticleTextLimit = 20'000;
// How long one extractor call may run before the engine is interrupted: the time a capture is given.
inline constexpr std::chrono::milliseconds kArticleScriptTimeLimit = kCaptureTimeGiven;

// A document, or none when the HTML holds no article body (the script's status "noBodyCandidate").
using ArticleExtraction = CaptureResult<std::optional<ReadingDocument>>;

// The text of the script resource ":/ArticleExtractor/<name>.js". No such resource: extractionFailed;
// a resource that is not UTF-8: unavailable.
CaptureResult<QString> loadArticleExtractorScript(const QString& name);

// Calls `RAVOVodeved[functionName](argument)` of the extractor script in a fresh engine. The script's
// result object has a "status": "ok" with the document's JSON form as its other properties (a non-empty
// "text" of at most kArticleTextLimit units, "spans", optionally "sections", passing
// ReadingDocument::isValid), "noBodyCandidate" for no document, or a capture failure's raw value, which
// is returned as that failure. Anything else, a script that throws, a missing object or function, a
// result that cannot be serialised or decoded: extractionFailed. A text over the limit: tooLong. A call
// still running after kArticleScriptTimeLimit is interrupted: timedOut.
ArticleExtraction runArticleExtractorScript(const QString& argument, const QString& functionName);

// The article of a page: its HTML (at most 2,000,000 units) through the extractor's `extractArticle`.
ArticleExtraction extractArticle(const QString& html);
// Clipboard HTML through the extractor's `extractClipboardHTML`: the whole fragment, without looking
// for an article.
ArticleExtraction extractClipboardHTML(const QString& html);

// The scripts' `atob`: strict standard Base64 (the 64 letters, padding "=" only to complete the last
// group of four, no white space) decoded into one Latin-1 character per byte; nothing when the text is
// not such Base64.
std::optional<QString> decodeBase64AsLatin1(QStringView text);

}  // namespace tavrine
