// The RTF reader's font table: what each font's entry says about the code page and the monospace trait
// of text in it, and the bounds a hostile table meets.
#include "PelmoraMac/Capture/internal/RTFFontTable.h"

#include <gtest/gtest.h>

namespace tavrine {
namespace {
using namespace Qt::StringLiterals;

TEST(RTFFontTable, CodePagesComeFromTheFontThenItsCharsetThenTheDocument) {
    RTFFontTable fonts;
    fonts.startEntry(0);
    fonts.setCharset(128);
    fonts.startEntry(1);
    fonts.setCharset(128);
    fonts.setCodePage(936);
    fonts.startEntry(2);
    fonts.setCharset(0);
    EXPECT_EQ(fonts.codePage(0, 1252), 932);
    EXPECT_EQ(fonts.codePage(1, 1252), 936);
    EXPECT_EQ(fonts.codePage(2, 10000), 10000);
    EXPECT_EQ(fonts.codePage(7, 437), 437) << "an unknown font";
    fonts.setCodePage(70'000);
    EXPECT_EQ(fonts.codePage(2, 1252), 65535);
}

TEST(RTFFontTable, TheMonospaceTraitFollowsTheEntryAsItChanges) {
    RTFFontTable fonts;
    fonts.startEntry(3);
    fonts.appendToName(u"DejaVu Sans");
    EXPECT_FALSE(fonts.isMonospace(3));
    // The name goes on in a later piece of text, up to its semicolon only.
    fonts.appendToName(u" Mono");
    EXPECT_TRUE(fonts.isMonospace(3));
    fonts.startEntry(6);
    fonts.appendToName(u"Helvetica; Courier");
    fonts.appendToName(u"Menlo");
    EXPECT_FALSE(fonts.isMonospace(6));
    fonts.startEntry(3);
    fonts.appendToName(u"Monotype Corsiva;");
    EXPECT_FALSE(fonts.isMonospace(3)) << "a new entry of the same id replaces the old";
    fonts.setFixedPitch(true);
    EXPECT_TRUE(fonts.isMonospace(3));
    // Once the table's group closes, its words change nothing.
    fonts.startEntry(4);
    fonts.endEntry();
    fonts.setModernFamily(true);
    EXPECT_FALSE(fonts.isMonospace(4));
    EXPECT_FALSE(fonts.isMonospace(99));
    EXPECT_TRUE(isMonospaceFontName(u"ＭＳ ゴシック"_s));
    EXPECT_FALSE(isMonospaceFontName(u"Monotype"_s));
}

TEST(RTFFontTable, AHostileTableIsBoundedInFontsAndNameLength) {
    RTFFontTable fonts;
    for (qint64 id = 0; id < qint64(RTFFontTable::kFontLimit); ++id) fonts.startEntry(id);
    fonts.startEntry(1'000'000);
    EXPECT_EQ(fonts.entry(), -1);
    fonts.setModernFamily(true);
    EXPECT_FALSE(fonts.isMonospace(1'000'000));
    // A font already known may still be defined again.
    fonts.startEntry(5);
    EXPECT_EQ(fonts.entry(), 5);
    const QString longName = QString(300, u'x') + u" Mono"_s;
    fonts.appendToName(longName);
    EXPECT_FALSE(fonts.isMonospace(5)) << "the name was cut before its last word";
}

}  // namespace
}  // namespace tavrine
