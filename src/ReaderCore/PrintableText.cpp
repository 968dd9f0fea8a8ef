#include "ReaderCore/PrintableText.h"

namespace tavrine {
namespace {

bool needsEscape(char16_t unit) {
    if (unit < 0x20 || (unit >= 0x7F && unit <= 0x9F)) return true;
    // Line and paragraph separators; bidirectional embeddings and overrides; isolates.
    return unit == 0x2028 || unit == 0x2029 || (unit >= 0x202A && unit <= 0x202E) || (unit >= 0x2066 && unit <= 0x2069);
}

}  // namespace

QString escapingControlCharacters(QStringView text) {
    QString escaped;
    escaped.reserve(text.size());
    for (const QChar character : text) {
        const char16_t unit = character.unicode();
        if (!needsEscape(unit)) {
            escaped.append(character);
            continue;
        }
        const bool small = unit < 0x100;
        escaped.append(small ? QStringLiteral("\\x") : QStringLiteral("\\u"));
        escaped.append(QString::number(unit, 16).toUpper().rightJustified(small ? 2 : 4, QLatin1Char('0')));
    }
    return escaped;
}

}  // namespace tavrine
