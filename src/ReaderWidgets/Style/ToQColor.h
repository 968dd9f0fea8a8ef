#pragma once

#include "ReaderUI/ReaderColor.h"

#include <QColor>

namespace tavrine {

// The palette colour as Qt paints it: the same sRGB components, the alpha as given.
QColor toQColor(const ReaderColor& color);

}  // namespace tavrine
