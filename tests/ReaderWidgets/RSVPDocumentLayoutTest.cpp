#include "ReaderWidgets/Display/RSVPDocumentLayout.h"

#include <gtest/gtest.h>

#include <vector>

namespace tavrine {
namespace {

using RSVPDocumentLayout::layOut;

// A text whose lines take `height` whatever their width; records the widths it was laid out at.
struct FixedText {
    double height;
    std::vector<double> widths;

    std::function<double(double)> usedHeight() {
        return [this](double width) {
            widths.push_back(width);
            return height;
        };
    }
};

TEST(RSVPDocumentLayoutTest, ShortPhraseIsCentredVerticallyInTheView) {
    FixedText text{40, {}};
    const auto next = layOut(QSizeF(300, 156), 70, {}, text.usedHeight());
    EXPECT_EQ(next, (RSVPDocumentGeometry{.width = 300, .height = 156, .verticalInset = 58}));
    // Laid out once, inside the 12-pixel insets of the width the document takes.
    EXPECT_EQ(text.widths, std::vector<double>{276});
}

TEST(RSVPDocumentLayoutTest, TallTextGrowsTheDocumentBelowTheMinimumInset) {
    FixedText text{200, {}};
    const auto next = layOut(QSizeF(300, 156), 70, {}, text.usedHeight());
    EXPECT_EQ(next, (RSVPDocumentGeometry{.width = 300, .height = 216, .verticalInset = 8}));

    // Where the free height is just the two minimum insets, the inset and the height meet both rules.
    FixedText exact{140, {}};
    EXPECT_EQ(layOut(QSizeF(300, 156), 70, {}, exact.usedHeight()),
              (RSVPDocumentGeometry{.width = 300, .height = 156, .verticalInset = 8}));
}

TEST(RSVPDocumentLayoutTest, DocumentIsAtLeastTheWidestCharacterWide) {
    EXPECT_EQ(RSVPDocumentLayout::minimumDocumentWidth(0), 36);
    EXPECT_EQ(RSVPDocumentLayout::minimumDocumentWidth(72), 108);
    EXPECT_EQ(RSVPDocumentLayout::minimumDocumentWidth(72.01), 109);

    FixedText text{100, {}};
    const auto next = layOut(QSizeF(60, 200), 108, {}, text.usedHeight());
    EXPECT_EQ(next.width, 108);
    EXPECT_EQ(text.widths, std::vector<double>{84});
    // Never narrower than the view.
    EXPECT_EQ(layOut(QSizeF(600, 200), 108, {}, text.usedHeight()).width, 600);
}

TEST(RSVPDocumentLayoutTest, ChangesWithinHalfAPixelAreNotApplied) {
    const RSVPDocumentGeometry current{.width = 300, .height = 156, .verticalInset = 58};
    FixedText text{40, {}};
    // 0.5 off in every value: kept.
    EXPECT_EQ(layOut(QSizeF(300.5, 155.5), 70, current, text.usedHeight()), current);
    FixedText slightlyTaller{41, {}};
    EXPECT_EQ(layOut(QSizeF(300, 156), 70, current, slightlyTaller.usedHeight()).verticalInset, 58);
    // Just over: taken.
    EXPECT_EQ(layOut(QSizeF(300.6, 156.6), 70, current, text.usedHeight()),
              (RSVPDocumentGeometry{.width = 300.6, .height = 156.6, .verticalInset = 58}));
    // A kept width is the width the text is laid out at.
    FixedText kept{40, {}};
    layOut(QSizeF(300.4, 156), 70, current, kept.usedHeight());
    EXPECT_EQ(kept.widths, std::vector<double>{276});
}

}  // namespace
}  // namespace tavrine
