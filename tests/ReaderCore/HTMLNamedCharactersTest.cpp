#include "ReaderCore/HTMLNamedCharacters.h"

#include <gtest/gtest.h>

namespace tavrine {
namespace {

TEST(HTMLNamedCharacters, TheHTML4NamesLessTheXMLPredefinesMatchedExactly) {
    // The first and last in byte order, the longest.
    EXPECT_EQ(htmlNamedCharacter("AElig"), U'\u00C6');
    EXPECT_EQ(htmlNamedCharacter("zwnj"), U'\u200C');
    EXPECT_EQ(htmlNamedCharacter("thetasym"), U'\u03D1');
    EXPECT_EQ(htmlNamedCharacter("nbsp"), U'\u00A0');
    for (const char* absent : {"amp", "lt", "gt", "quot", "apos", "NBSP", "nbs", "thetasymx", ""}) {
        EXPECT_EQ(htmlNamedCharacter(absent), std::nullopt) << absent;
    }
}

}  // namespace
}  // namespace tavrine
