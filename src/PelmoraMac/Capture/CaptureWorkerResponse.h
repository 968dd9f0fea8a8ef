#pragma once

#include "PelmoraMac/Capture/BrowserSnapshot.h"
#include "PelmoraMac/Capture/CaptureFailure.h"
#include "ReaderCore/Json.h"
#include "ReaderCore/ReadingDocument.h"

#include <optional>

namespace tavrine {

// The one response of a capture worker: a failure alone, or what the operation produced (a browser
// snapshot, or a document). An extraction that found no article answers with none of the three: an
// empty JSON object.
struct CaptureWorkerResponse {
    std::optional<CaptureFailure> failure{};
    std::optional<BrowserSnapshot> snapshot{};
    std::optional<ReadingDocument> document{};

    static CaptureWorkerResponse failed(CaptureFailure failure) { return {.failure = failure}; }

    bool operator==(const CaptureWorkerResponse&) const = default;
};

void writeJson(JsonWriter& writer, const CaptureWorkerResponse& response);
Decoded<CaptureWorkerResponse> decodeJson(const JsonValue& value, const JsonPath& path,
                                          std::type_identity<CaptureWorkerResponse>);

}  // namespace tavrine
