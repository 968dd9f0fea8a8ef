#include "ReaderWidgets/Style/ToQColor.h"

namespace tavrine {

QColor toQColor(const ReaderColor& color) {
    QColor result(color.red, color.green, color.blue);
    result.setAlphaF(static_cast<float>(color.alpha));
    return result;
}

}  // namespace tavrine
