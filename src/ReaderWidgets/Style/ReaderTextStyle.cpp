#include "ReaderWidgets/Style/ReaderTextStyle.h"

#include "ReaderWidgets/Style/ReaderTypography.h"

#include <QStringList>

namespace tavrine {

QFont readerFont(ReaderTextStyle style) {
    int pixelSize = 13;
    bool bold = false;
    switch (style) {
    case ReaderTextStyle::title2: pixelSize = 17; break;
    case ReaderTextStyle::title3: pixelSize = 15; break;
    case ReaderTextStyle::headline: bold = true; break;
    case ReaderTextStyle::body: break;
    case ReaderTextStyle::callout: pixelSize = 12; break;
    case ReaderTextStyle::caption: pixelSize = 10; break;
    }
    QFont font(QStringList{ReaderTypography::readingFontFamily()});
    font.setPixelSize(pixelSize);
    font.setWeight(bold ? QFont::Bold : QFont::Normal);
    return font;
}

}  // namespace tavrine
