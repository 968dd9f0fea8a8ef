#include "PelmoraMac/Capture/CapturedText.h"

#include "ReaderCore/Characters.h"

#include <algorithm>

namespace tavrine {

bool holdsNothingToRead(QStringView text) {
    return std::all_of(text.begin(), text.end(),
                       [](QChar c) { return c == kObjectReplacementCharacter || isWhitespace(c.unicode()); });
}

QString withoutObjectReplacements(QString text) {
    text.remove(QChar(kObjectReplacementCharacter));
    return text;
}

}  // namespace tavrine
