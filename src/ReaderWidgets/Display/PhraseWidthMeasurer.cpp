#include "ReaderWidgets/Display/PhraseWidthMeasurer.h"

#include "ReaderCore/Characters.h"
#include "ReaderWidgets/Style/ReaderTypography.h"

#include <QFontMetricsF>
#include <QHash>
#include <QRectF>

#include <algorithm>

namespace tavrine {

double PhraseWidthMeasurer::width(QStringView text) {
    return width(text, ReaderTypography::defaultReadingFont());
}

double PhraseWidthMeasurer::width(QStringView text, QFont font) {
    const QFontMetricsF metrics(font);
    return metrics.horizontalAdvance(text.toString());
}

double PhraseWidthMeasurer::referenceWidth() {
    // Thread-safe initialisation: whichever thread asks first measures.
    static const double reference = width(u"ああああああああ");
    return reference;
}

double PhraseWidthMeasurer::widestCharacterWidth(QStringView text, QFont font) {
    const QFontMetricsF metrics(font);
    QHash<QStringView, double> measured;
    double widest = 0;
    forEachCharacter(text, [&](TextRange range) {
        const QStringView character = text.sliced(range.lowerBound, range.length());
        auto known = measured.constFind(character);
        if (known == measured.cend()) {
            const QString alone = character.toString();
            const double advance = metrics.horizontalAdvance(alone);
            // Qt gives a Character without ink (a space, a tab, a zero-width space, a line break) a
            // placeholder rectangle far off to the right, not an empty one at the origin.
            const QRectF ink = metrics.tightBoundingRect(alone);
            known = measured.insert(
                character, ink.isEmpty() ? advance : std::max(advance, ink.right()) - std::min(ink.left(), 0.0));
        }
        widest = std::max(widest, *known);
        return true;
    });
    return widest;
}

}  // namespace tavrine
