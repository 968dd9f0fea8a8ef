#include "PelmoraMac/Capture/CaptureWorkerResponse.h"

namespace tavrine {

void writeJson(JsonWriter& writer, const CaptureWorkerResponse& response) {
    JsonObjectWriter(writer)
        .fieldIfPresent(u"document", response.document)
        .fieldIfPresent(u"failure", response.failure)
        .fieldIfPresent(u"snapshot", response.snapshot);
}

Decoded<CaptureWorkerResponse> decodeJson(const JsonValue& value, const JsonPath& path,
                                          std::type_identity<CaptureWorkerResponse>) {
    JsonObjectDecoder decoder(value, path);
    CaptureWorkerResponse response;
    response.failure = decoder.optional<CaptureFailure>(u"failure");
    response.snapshot = decoder.optional<BrowserSnapshot>(u"snapshot");
    response.document = decoder.optional<ReadingDocument>(u"document");
    return decoder.finish(std::move(response));
}

}  // namespace tavrine
