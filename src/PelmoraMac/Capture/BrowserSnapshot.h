#pragma once

#include "ReaderCore/Json.h"

#include <QString>

#include <optional>

namespace tavrine {

// What the snapshot of a browser's active tab reports: "ok" or the raw value of a CaptureFailure, and
// the identity of the page, its window and its tab (identifiers as text), the text the user has selected
// in the page ("" when nothing is), with the page's HTML when it was asked for and nothing is selected.
// Two snapshots of one page compare equal field by field.
struct BrowserSnapshot {
    QString status{};
    std::optional<QString> url{};
    std::optional<QString> documentID{};
    std::optional<QString> html{};
    std::optional<QString> selection{};
    std::optional<QString> windowID{};
    std::optional<QString> tabID{};

    bool operator==(const BrowserSnapshot&) const = default;
};

void writeJson(JsonWriter& writer, const BrowserSnapshot& snapshot);
Decoded<BrowserSnapshot> decodeJson(const JsonValue& value, const JsonPath& path, std::type_identity<BrowserSnapshot>);

}  // namespace tavrine
