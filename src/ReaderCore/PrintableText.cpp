#include "ReaderCore/PrintableText.h"

namespace tavrine {
namespace {

bool needsEscape(char16_t unit) {
    if (unit < 0x20 || (unit >= 0x7F && unit <= 0x9F)) return true;
    // Line and paragraph separators; bidirectional embeddings and overrides; isolates.
    return unit == 0x2028 || unit == 0x2029 || (unit >= 0x202A && unit <= 0x202E) || (unit >= 0x2066 && unit <= 0x2069);
}

// A tab or a line break: white space that would break a line, or jump, where a name is drawn.
bool isBreakingSpace(char16_t unit) {
    return (unit >= 0x09 && unit <= 0x0D) || unit == 0x85 || unit == 0x2028 || unit == 0x2029;
}

void appendEscape(QString& text, char16_t unit) {
    const bool small = unit < 0x100;
    text.append(small ? QStringLiteral("\\x") : QStringLiteral("\\u"));
    text.append(QString::number(unit, 16).toUpper().rightJustified(small ? 2 : 4, QLatin1Char('0')));
}

}  // namespace

QString escapingControlCharacters(QStringView text) {
    QString escaped;
    escaped.reserve(text.size());
    for (const QChar character : text) {
        const char16_t unit = character.unicode();
        if (needsEscape(unit))
            appendEscape(escaped, unit);
        else
            escaped.append(character);
    }
    return escaped;
}

QString oneLineText(QStringView text) {
    QString line;
    line.reserve(text.size());
    qsizetype index = 0;
    while (index < text.size()) {
        const char16_t unit = text[index].unicode();
        if (!needsEscape(unit)) {
            line.append(text[index++]);
            continue;
        }
        if (!isBreakingSpace(unit)) {
            appendEscape(line, unit);
            ++index;
            continue;
        }
        // The whole run of white space around the break, on both sides, becomes one space.
        while (!line.isEmpty() && line.back().isSpace()) line.chop(1);
        while (index < text.size() && text[index].isSpace()) ++index;
        line.append(QLatin1Char(' '));
    }
    return line;
}

}  // namespace tavrine
