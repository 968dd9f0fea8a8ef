#pragma once

#include <QSizeF>

#include <functional>

namespace tavrine {

// Where the phrase display's document stands: its size and how far its text sits below its top.
struct RSVPDocumentGeometry {
    double width = 0;
    double height = 0;
    double verticalInset = 8;

    bool operator==(const RSVPDocumentGeometry&) const = default;
};

// The rules that place the phrase in the display, apart from any widget. The document fills the
// visible area and grows past it only where the text needs: wider when one Character is wider than the
// view, so the view scrolls instead of clipping it; taller when the wrapped lines do not fit. The text is
// centred vertically by an inset of half the free height.
namespace RSVPDocumentLayout {

inline constexpr double kHorizontalInset = 12;
inline constexpr double kMinimumVerticalInset = 8;
// Room around the widest Character beyond its own width.
inline constexpr double kCharacterMargin = 36;
// Changes smaller than this are not applied, so sub-pixel differences do not start another pass.
inline constexpr double kTolerance = 0.5;

// The narrowest the document may be for a text whose widest Character needs widestCharacter.
double minimumDocumentWidth(double widestCharacter);

// One layout pass: the document's next geometry given the visible area (viewport), the minimum document
// width and the current geometry. usedHeight(textWidth) lays the text out in lines textWidth wide and
// gives their total height; it is asked once, for the width the document will have. A value within the
// tolerance of the current one is kept as it is.
RSVPDocumentGeometry layOut(QSizeF viewport, double minimumDocumentWidth, const RSVPDocumentGeometry& current,
                            const std::function<double(double textWidth)>& usedHeight);

}  // namespace RSVPDocumentLayout
}  // namespace tavrine
