#include "PelmoraMac/Capture/CapturedText.h"

#include "ReaderCore/Characters.h"

#include <unicode/uchar.h>

#include <algorithm>

namespace tavrine {

namespace {

constexpr char32_t kReplacementCharacter = U'\uFFFD';

bool showsNothingToRead(char32_t c) {
    if (isWhitespace(c) || c == kObjectReplacementCharacter || c == kReplacementCharacter) return true;
    const auto scalar = static_cast<UChar32>(c);
    return u_charType(scalar) == U_CONTROL_CHAR || u_hasBinaryProperty(scalar, UCHAR_DEFAULT_IGNORABLE_CODE_POINT);
}

}  // namespace

bool holdsNothingToRead(QStringView text) {
    for (qsizetype i = 0; i < text.size(); ++i) {
        char32_t c = text[i].unicode();
        if (QChar::isHighSurrogate(c) && i + 1 < text.size() && text[i + 1].isLowSurrogate()) {
            c = QChar::surrogateToUcs4(text[i], text[i + 1]);
            ++i;
        } else if (QChar::isSurrogate(c)) {
            c = kReplacementCharacter;  // unpaired: what any conversion makes of it
        }
        if (!showsNothingToRead(c)) return false;
    }
    return true;
}

QString withoutObjectReplacements(QString text) {
    text.remove(QChar(kObjectReplacementCharacter));
    return text;
}

bool isMaskCharacter(QChar character) {
    static constexpr char16_t kMasks[] = {u'\u2022', u'\u25CF', u'\u25E6', u'\u25A0', u'\u2219'};
    return std::find(std::begin(kMasks), std::end(kMasks), character.unicode()) != std::end(kMasks);
}

UnmaskedText withoutMaskedRuns(QString text) {
    qsizetype kept = 0;
    for (qsizetype from = 0; from < text.size();) {
        qsizetype to = from + 1;
        if (isMaskCharacter(text[from])) {
            while (to < text.size() && text[to] == text[from]) ++to;
        }
        if (to - from < 2 || !isMaskCharacter(text[from])) {
            for (qsizetype i = from; i < to; ++i) text[kept++] = text[i];
        }
        from = to;
    }
    const qsizetype masked = text.size() - kept;
    text.truncate(kept);
    return {.text = std::move(text), .maskedUnits = masked};
}

}  // namespace tavrine
