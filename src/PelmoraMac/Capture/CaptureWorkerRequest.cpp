#include "PelmoraMac/Capture/CaptureWorkerRequest.h"

namespace tavrine {
using namespace Qt::StringLiterals;

QJsonValue toJson(const CaptureWorkerRequest& request) {
    QJsonObject object{{u"operation"_s, toJson(request.operation)}};
    insertIfPresent(object, u"browser", request.browser);
    insertIfPresent(object, u"html", request.html);
    insertIfPresent(object, u"clipboard", request.clipboard);
    insertIfPresent(object, u"text", request.text);
    return object;
}

Decoded<CaptureWorkerRequest> decodeJson(const QJsonValue& value, const JsonPath& path,
                                         std::type_identity<CaptureWorkerRequest>) {
    JsonObjectDecoder decoder(value, path);
    CaptureWorkerRequest request;
    request.operation = decoder.required<CaptureWorkerRequest::Operation>(u"operation");
    request.browser = decoder.optional<ArticleBrowser>(u"browser");
    request.html = decoder.optional<QString>(u"html");
    request.clipboard = decoder.optional<ClipboardSnapshot>(u"clipboard");
    request.text = decoder.optional<QString>(u"text");
    return decoder.finish(std::move(request));
}

}  // namespace tavrine
