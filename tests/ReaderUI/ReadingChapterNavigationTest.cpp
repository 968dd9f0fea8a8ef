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

TEST(ReadingChapterNavigation, WithoutSectionsThereAreNoChapters) {
    EXPECT_TRUE(ReadingChapterNavigation().offsets.isEmpty());
    const ReadingDocument plain{std::nullopt, u"text"_s, {}};
    EXPECT_TRUE(chapters({}, plain).isEmpty());
    EXPECT_TRUE(chapters({entry(u"a"_s, at(u"s1"_s, 2))}, plain).isEmpty());
}

TEST(ReadingChapterNavigation, FallsBackToSectionStartsWhenNoEntryLeadsIntoTheText) {
    EXPECT_EQ(chapters({}), (Offsets{0, 100}));
    EXPECT_EQ(
        chapters({}, ReadingDocument{QList<ReadingDocument::Section>{{u"only"_s, {}, 0, 80}}, QString(80, u'x'), {}}),
        (Offsets{0}));
    EXPECT_EQ(chapters({entry(u"g"_s),
                        entry(u"e"_s, EPUBBook::Destination::unavailable(EPUBBook::Unavailable::externalReference))}),
              (Offsets{0, 100}));
    // An entry at the end of the section it names, or in a section the document lacks, leads nowhere.
    EXPECT_EQ(chapters({entry(u"a"_s, at(u"s1"_s, 100))}), (Offsets{0, 100}));
    EXPECT_EQ(chapters({entry(u"a"_s, at(u"s9"_s, 20))}), (Offsets{0, 100}));
}

TEST(ReadingChapterNavigation, EntriesThatLeadIntoTheTextAreTheOnlyChapters) {
    // Sorted, with 0 added, and section 2's start is not a chapter of its own.
    EXPECT_EQ(chapters({entry(u"late"_s, at(u"s2"_s, 120)), entry(u"early"_s, at(u"s1"_s, 30))}),
              (Offsets{0, 30, 120}));
    // Entries that lead nowhere are skipped among those that do.
    EXPECT_EQ(chapters({entry(u"bad"_s, at(u"s1"_s, 100)), entry(u"good"_s, at(u"s2"_s, 200)),
                        entry(u"unknown"_s, at(u"s3"_s, 10))}),
              (Offsets{0, 200}));
    // A parent and its first child at one place give one chapter.
    EXPECT_EQ(chapters({entry(u"part"_s, at(u"s2"_s, 100), {entry(u"ch"_s, at(u"s2"_s, 100))})}), (Offsets{0, 100}));
    // Depth does not matter.
    Navigation deep = entry(u"d5"_s, at(u"s2"_s, 240));
    for (int level = 4; level >= 1; --level) deep = entry(u"d%1"_s.arg(level), {}, {deep});
    EXPECT_EQ(chapters({deep}), (Offsets{0, 240}));
}

}  // namespace
}  // namespace tavrine
