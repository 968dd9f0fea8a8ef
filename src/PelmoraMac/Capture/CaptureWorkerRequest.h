#pragma once

#include "PelmoraMac/Capture/ArticleBrowser.h"
#include "PelmoraMac/Capture/BrowserWindowBounds.h"
#include "PelmoraMac/Capture/ClipboardSnapshot.h"
#include "ReaderCore/Json.h"
#include "ReaderText/MarkdownReader.h"

#include <QString>

#include <sys/types.h>

#include <optional>

namespace tavrine {

// The one request that a capture worker serves: an operation and the input that operation reads
// (snapshot and verify: the browser, and the process and bounds of its window in front; extract: the page's HTML;
// clipboard: a clipboard snapshot; markdown: the text, and how its line ends are read). Fields that the
// operation does not read stay absent and are not written.
struct CaptureWorkerRequest {
    enum class Operation {
        snapshot,   // a snapshot of the browser's active tab with its HTML
        verify,     // the same without the HTML
        extract,    // the article of a page's HTML
        clipboard,  // the document of a clipboard snapshot
        markdown,   // the document of a Markdown text
    };

    Operation operation = Operation::markdown;
    std::optional<ArticleBrowser> browser{};
    std::optional<QString> html{};
    std::optional<ClipboardSnapshot> clipboard{};
    std::optional<QString> text{};
    // What a line end of the markdown operation's text becomes; absent: kept, as a web page's are.
    std::optional<MarkdownReader::LineEnds> lineEnds{};
    // The process of the browser window in front: the browser asked is the one it belongs to. Absent:
    // any browser of the worker's display.
    std::optional<pid_t> process{};
    // The bounds of that window: of the browser's windows, the one whose page is read when no page has the
    // focus. Absent: only a browser with one window showing a page can tell.
    std::optional<BrowserWindowBounds> window{};

    bool operator==(const CaptureWorkerRequest&) const = default;
};

template <>
struct EnumTable<CaptureWorkerRequest::Operation> {
    using Operation = CaptureWorkerRequest::Operation;
    static constexpr auto entries = std::to_array<std::pair<Operation, std::u16string_view>>({
        {Operation::snapshot, u"snapshot"},
        {Operation::verify, u"verify"},
        {Operation::extract, u"extract"},
        {Operation::clipboard, u"clipboard"},
        {Operation::markdown, u"markdown"},
    });
};

template <>
struct EnumTable<MarkdownReader::LineEnds> {
    using LineEnds = MarkdownReader::LineEnds;
    static constexpr auto entries = std::to_array<std::pair<LineEnds, std::u16string_view>>({
        {LineEnds::joined, u"joined"},
        {LineEnds::kept, u"kept"},
        {LineEnds::unwrapped, u"unwrapped"},
    });
};

void writeJson(JsonWriter& writer, const CaptureWorkerRequest& request);
Decoded<CaptureWorkerRequest> decodeJson(const JsonValue& value, const JsonPath& path,
                                         std::type_identity<CaptureWorkerRequest>);

}  // namespace tavrine
