#include "PelmoraMac/Capture/CaptureWorkerResponse.h"

namespace tavrine {

QJsonValue toJson(const CaptureWorkerResponse& response) {
    QJsonObject object;
    insertIfPresent(object, u"failure", response.failure);
    insertIfPresent(object, u"snapshot", response.snapshot);
    insertIfPresent(object, u"document", response.document);
    return object;
}

Decoded<CaptureWorkerResponse> decodeJson(const QJsonValue& value, const JsonPath& path,
                                          std::type_identity<CaptureWorkerResponse>) {
    JsonObjectDecoder decoder(value, path);
    CaptureWorkerResponse response;
    response.failure = decoder.optional<CaptureFailure>(u"failure");
    response.snapshot = decoder.optional<BrowserSnapshot>(u"snapshot");
    response.document = decoder.optional<ReadingDocument>(u"document");
    return decoder.finish(std::move(response));
}

}  // namespace tavrine
