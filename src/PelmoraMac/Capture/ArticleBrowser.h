#pragma once

#include "ReaderCore/Json.h"

namespace tavrine {

// The browsers whose active tab can be captured, each coded as its application identifier
// (enumFromRawValue<ArticleBrowser> recognises one, case-sensitively).
enum class ArticleBrowser {
    arc,
    dia,
    chrome,
};

template <>
struct EnumTable<ArticleBrowser> {
    static constexpr auto entries = std::to_array<std::pair<ArticleBrowser, std::u16string_view>>({
        {ArticleBrowser::arc, u"company.thebrowser.Browser"},
        {ArticleBrowser::dia, u"company.thebrowser.dia"},
        {ArticleBrowser::chrome, u"com.google.Chrome"},
    });
};

}  // namespace tavrine
