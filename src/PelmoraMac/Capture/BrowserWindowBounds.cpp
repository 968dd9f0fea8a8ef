#include "PelmoraMac/Capture/BrowserWindowBounds.h"

namespace tavrine {

void writeJson(JsonWriter& writer, const BrowserWindowBounds& bounds) {
    JsonObjectWriter(writer)
        .field(u"height", bounds.height)
        .field(u"left", bounds.left)
        .field(u"top", bounds.top)
        .field(u"width", bounds.width);
}

Decoded<BrowserWindowBounds> decodeJson(const JsonValue& value, const JsonPath& path,
                                        std::type_identity<BrowserWindowBounds>) {
    JsonObjectDecoder decoder(value, path);
    BrowserWindowBounds bounds;
    bounds.left = decoder.required<int>(u"left");
    bounds.top = decoder.required<int>(u"top");
    bounds.width = decoder.required<int>(u"width");
    bounds.height = decoder.required<int>(u"height");
    return decoder.finish(std::move(bounds));
}

}  // namespace tavrine
