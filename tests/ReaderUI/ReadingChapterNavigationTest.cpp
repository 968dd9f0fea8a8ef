#include "ReaderUI/ReadingChapterNavigation.h"

#include "support/NavigationTrees.h"

#include <gtest/gtest.h>

namespace tavrine {
namespace {
using namespace Qt::StringLiterals;
using test::at;
using test::entry;
using Navigation = EPUBBook::Navigation;
using Offsets = QList<qsizetype>;

// "s1" over [0, 100) and "s2" over [100, 250).
ReadingDocument twoSections() {
    return ReadingDocument{
        QList<ReadingDocument::Section>{{u"s1"_s, {}, 0, 100}, {u"s2"_s, {}, 100, 250}}, QString(250, u'x'), {}};
}

Offsets chapters(const QList<Navigation>& navigation, const ReadingDocument& document = twoSections()) {
    return ReadingChapterNavigation(document, navigation).offsets;
}

TEST(ReadingChapterNavigation, SectionStartsAreChaptersOnlyWhenNoEntryLeadsIntoTheText) {
    EXPECT_TRUE(ReadingChapterNavigation().offsets.isEmpty());
    const ReadingDocument plain{std::nullopt, u"text"_s, {}};
    EXPECT_TRUE(chapters({entry(u"a"_s, at(u"s1"_s, 2))}, plain).isEmpty());

    EXPECT_EQ(chapters({}), (Offsets{0, 100}));
    // An entry at the end of the section it names, or in a section the document lacks, leads nowhere.
    EXPECT_EQ(chapters({entry(u"g"_s), entry(u"a"_s, at(u"s1"_s, 100)), entry(u"b"_s, at(u"s9"_s, 20))}),
              (Offsets{0, 100}));
}

TEST(ReadingChapterNavigation, EntriesThatLeadIntoTheTextAreTheOnlyChapters) {
    // Sorted, with 0 added, and section 2's start is not a chapter of its own; entries that lead nowhere
    // are skipped among those that do.
    EXPECT_EQ(chapters({entry(u"late"_s, at(u"s2"_s, 120)), entry(u"bad"_s, at(u"s1"_s, 100)),
                        entry(u"early"_s, at(u"s1"_s, 30))}),
              (Offsets{0, 30, 120}));
    // A parent and its first child at one place give one chapter.
    EXPECT_EQ(chapters({entry(u"part"_s, at(u"s2"_s, 100), {entry(u"ch"_s, at(u"s2"_s, 100))})}), (Offsets{0, 100}));
    // Depth does not matter.
    EXPECT_EQ(chapters({entry(u"d1"_s, {}, {entry(u"d2"_s, {}, {entry(u"d3"_s, at(u"s2"_s, 240))})})}),
              (Offsets{0, 240}));
}

}  // namespace
}  // namespace tavrine
