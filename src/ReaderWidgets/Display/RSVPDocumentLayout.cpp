#include "ReaderWidgets/Display/RSVPDocumentLayout.h"

#include <algorithm>
#include <cmath>

namespace tavrine::RSVPDocumentLayout {

namespace {

double settled(double current, double wanted) {
    return std::abs(current - wanted) > kTolerance ? wanted : current;
}

}  // namespace

double minimumDocumentWidth(double widestCharacter) {
    return std::ceil(widestCharacter) + kCharacterMargin;
}

RSVPDocumentGeometry layOut(QSizeF viewport, double minimumDocumentWidth, const RSVPDocumentGeometry& current,
                            const std::function<double(double textWidth)>& usedHeight) {
    RSVPDocumentGeometry next = current;
    next.width = settled(current.width, std::max(viewport.width(), minimumDocumentWidth));
    const double used = usedHeight(std::max(next.width - 2 * kHorizontalInset, 0.0));
    next.verticalInset =
        settled(current.verticalInset, std::max((viewport.height() - used) * 0.5, kMinimumVerticalInset));
    next.height = settled(current.height, std::max(viewport.height(), used + 2 * kMinimumVerticalInset));
    return next;
}

}  // namespace tavrine::RSVPDocumentLayout
