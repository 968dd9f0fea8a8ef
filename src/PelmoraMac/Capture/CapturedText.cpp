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

bool isBrowserMaskCharacter(QChar character) {
    const char16_t unit = character.unicode();
    return unit == u'\u2022' || unit == u'\u25E6' || unit == u'\u25A0';
}

UnmaskedText withoutBrowserMasks(const QString& text, const QList<qsizetype>& clearMarks) {
    const auto isBlank = [](QChar c) { return c == u' ' || c == u'\t'; };
    const auto isLineBreak = [](QChar c) { return c == u'\n' || c == u'\r'; };
    const auto isMasked = [&](qsizetype at) {
        return isBrowserMaskCharacter(text[at]) && !std::binary_search(clearMarks.begin(), clearMarks.end(), at);
    };
    UnmaskedText result;
    result.text.reserve(text.size());
    qsizetype masked = 0;
    for (qsizetype at = 0; at < text.size();) {
        if (!isMasked(at)) {
            result.text.append(text[at++]);
            continue;
        }
        // A run of masks with the blanks around it: the blanks before it are already written.
        qsizetype end = at;
        while (end < text.size() && (isMasked(end) || isBlank(text[end]))) {
            if (isMasked(end)) ++masked;
            ++end;
        }
        qsizetype kept = result.text.size();
        while (kept > 0 && isBlank(result.text[kept - 1])) --kept;
        const bool spaced = kept < result.text.size() || (end > at && isBlank(text[end - 1]));
        const bool startsLine = kept == 0 || isLineBreak(result.text[kept - 1]);
        const bool endsLine = end == text.size() || isLineBreak(text[end]);
        result.text.truncate(kept);
        if (spaced && !startsLine && !endsLine) result.text.append(u' ');
        at = end;
    }
    result.maskedUnits = masked;
    return result;
}

}  // namespace tavrine
