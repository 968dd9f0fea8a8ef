#include "ReaderUI/ReaderPalette.h"

#include <gtest/gtest.h>

namespace tavrine {
namespace {

TEST(ReaderPalette, RolesThatShareAColourAreTheSameObject) {
    EXPECT_EQ(&ReaderPalette::control, &ReaderPalette::secondaryText);
    EXPECT_EQ(&ReaderPalette::focus, &ReaderPalette::secondaryText);
    EXPECT_EQ(&ReaderPalette::playbackHighlight, &ReaderPalette::gold);
    EXPECT_EQ(&ReaderPalette::playbackHighlightText, &ReaderPalette::background);
}

}  // namespace
}  // namespace tavrine
