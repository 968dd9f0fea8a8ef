#include "PelmoraMac/Capture/CaptureWorkerRequest.h"

namespace tavrine {

void writeJson(JsonWriter& writer, const CaptureWorkerRequest& request) {
    JsonObjectWriter(writer)
        .fieldIfPresent(u"browser", request.browser)
        .fieldIfPresent(u"clipboard", request.clipboard)
        .fieldIfPresent(u"html", request.html)
        .fieldIfPresent(u"lineEnds", request.lineEnds)
        .field(u"operation", request.operation)
        .fieldIfPresent(u"process", request.process)
        .fieldIfPresent(u"text", request.text)
        .fieldIfPresent(u"window", request.window);
}

Decoded<CaptureWorkerRequest> decodeJson(const JsonValue& value, const JsonPath& path,
                                         std::type_identity<CaptureWorkerRequest>) {
    JsonObjectDecoder decoder(value, path);
    CaptureWorkerRequest request;
    request.operation = decoder.required<CaptureWorkerRequest::Operation>(u"operation");
    request.browser = decoder.optional<ArticleBrowser>(u"browser");
    request.html = decoder.optional<QString>(u"html");
    request.clipboard = decoder.optional<ClipboardSnapshot>(u"clipboard");
    request.text = decoder.optional<QString>(u"text");
    request.lineEnds = decoder.optional<MarkdownReader::LineEnds>(u"lineEnds");
    request.process = decoder.optional<pid_t>(u"process");
    request.window = decoder.optional<BrowserWindowBounds>(u"window");
    return decoder.finish(std::move(request));
}

}  // namespace tavrine
