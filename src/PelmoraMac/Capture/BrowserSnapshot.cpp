#include "PelmoraMac/Capture/BrowserSnapshot.h"

namespace tavrine {

void writeJson(JsonWriter& writer, const BrowserSnapshot& snapshot) {
    JsonObjectWriter(writer)
        .fieldIfPresent(u"documentID", snapshot.documentID)
        .fieldIfPresent(u"html", snapshot.html)
        .fieldIfPresent(u"selection", snapshot.selection)
        .field(u"status", snapshot.status)
        .fieldIfPresent(u"tabID", snapshot.tabID)
        .fieldIfPresent(u"url", snapshot.url)
        .fieldIfPresent(u"windowID", snapshot.windowID);
}

Decoded<BrowserSnapshot> decodeJson(const JsonValue& value, const JsonPath& path, std::type_identity<BrowserSnapshot>) {
    JsonObjectDecoder decoder(value, path);
    BrowserSnapshot snapshot;
    snapshot.status = decoder.required<QString>(u"status");
    snapshot.url = decoder.optional<QString>(u"url");
    snapshot.documentID = decoder.optional<QString>(u"documentID");
    snapshot.html = decoder.optional<QString>(u"html");
    snapshot.selection = decoder.optional<QString>(u"selection");
    snapshot.windowID = decoder.optional<QString>(u"windowID");
    snapshot.tabID = decoder.optional<QString>(u"tabID");
    return decoder.finish(std::move(snapshot));
}

}  // namespace tavrine
