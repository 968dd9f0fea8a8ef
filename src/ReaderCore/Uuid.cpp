#include "ReaderCore/Uuid.h"

namespace tavrine {

QString uuidString(const QUuid& id) {
    return id.toString(QUuid::WithoutBraces).toUpper();
}

std::optional<QUuid> parseUuid(QStringView text) {
    if (text.size() != 36) return std::nullopt;
    for (qsizetype i = 0; i < text.size(); ++i) {
        const char16_t c = text[i].unicode();
        const bool hyphenPosition = i == 8 || i == 13 || i == 18 || i == 23;
        if (hyphenPosition) {
            if (c != u'-') return std::nullopt;
            continue;
        }
        const bool hex = (c >= u'0' && c <= u'9') || (c >= u'a' && c <= u'f') || (c >= u'A' && c <= u'F');
        if (!hex) return std::nullopt;
    }
    return QUuid::fromString(text);
}

}  // namespace tavrine
