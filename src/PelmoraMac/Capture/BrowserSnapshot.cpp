#include "PelmoraMac/Capture/BrowserSnapshot.h"

namespace tavrine {
using namespace Qt::StringLiterals;

QJsonValue toJson(const BrowserSnapshot& snapshot) {
    QJsonObject object{{u"status"_s, snapshot.status}};
    insertIfPresent(object, u"url", snapshot.url);
    insertIfPresent(object, u"documentID", snapshot.documentID);
    insertIfPresent(object, u"html", snapshot.html);
    insertIfPresent(object, u"windowID", snapshot.windowID);
    insertIfPresent(object, u"tabID", snapshot.tabID);
    return object;
}

Decoded<BrowserSnapshot> decodeJson(const QJsonValue& value, const JsonPath& path,
                                    std::type_identity<BrowserSnapshot>) {
    JsonObjectDecoder decoder(value, path);
    BrowserSnapshot snapshot;
    snapshot.status = decoder.required<QString>(u"status");
    snapshot.url = decoder.optional<QString>(u"url");
    snapshot.documentID = decoder.optional<QString>(u"documentID");
    snapshot.html = decoder.optional<QString>(u"html");
    snapshot.windowID = decoder.optional<QString>(u"windowID");
    snapshot.tabID = decoder.optional<QString>(u"tabID");
    return decoder.finish(std::move(snapshot));
}

}  // namespace tavrine
