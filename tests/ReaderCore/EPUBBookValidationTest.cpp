#include "ReaderCore/EPUBBook.h"

#include "support/NavigationTrees.h"
#include "support/QtPrinters.h"

#include <gtest/gtest.h>

namespace tavrine {
namespace {
using namespace Qt::StringLiterals;
using test::at;
using test::entry;
using Navigation = EPUBBook::Navigation;
using Link = EPUBBook::Link;
using Unavailable = EPUBBook::Unavailable;

// Two sections: "s1" over [0, 10) and "s2" over [10, 20); an emoji takes units 12 and 13.
ReadingDocument twoSections() {
    return ReadingDocument{QList<ReadingDocument::Section>{{u"s1"_s, {}, 0, 10}, {u"s2"_s, {}, 10, 20}},
                           u"0123456789ab\U0001F600efghij"_s,
                           {}};
}

EPUBBook::Information information(QList<Navigation> navigation = {}, QList<Link> links = {}) {
    return EPUBBook::Information{{}, std::move(navigation), std::move(links), {}, u"OEBPS/content.opf"_s};
}

bool navigationPasses(QList<Navigation> navigation) {
    return information(std::move(navigation)).isValid(twoSections());
}
bool linkPasses(Link link) {
    return information({}, {std::move(link)}).isValid(twoSections());
}

TEST(EPUBInformationValidation, NeedsAValidDocumentWithSectionsAndAPackagePath) {
    ASSERT_EQ(twoSections().text.size(), 20);
    EXPECT_TRUE(information().isValid(twoSections()));

    ReadingDocument withoutSections = twoSections();
    withoutSections.sections.reset();
    ASSERT_TRUE(withoutSections.isValid());
    EXPECT_FALSE(information().isValid(withoutSections));
    ReadingDocument emptySections = twoSections();
    emptySections.sections = QList<ReadingDocument::Section>{};
    EXPECT_FALSE(information().isValid(emptySections));
    ReadingDocument gap = twoSections();
    (*gap.sections)[1].start = 11;
    EXPECT_FALSE(information().isValid(gap));

    auto path = [](const QString& packagePath) {
        EPUBBook::Information info = information();
        info.packagePath = packagePath;
        return info.isValid(twoSections());
    };
    EXPECT_FALSE(path(QString()));
    EXPECT_TRUE(path(u"p"_s));
}

TEST(EPUBInformationValidation, TextLengthLimit) {
    auto passesWithLength = [](qsizetype length) {
        const ReadingDocument document{
            QList<ReadingDocument::Section>{{u"all"_s, {}, 0, length}}, QString(length, u'x'), {}};
        return information().isValid(document);
    };
    EXPECT_TRUE(passesWithLength(EPUBBook::kMaximumTextLength - 1));
    EXPECT_TRUE(passesWithLength(EPUBBook::kMaximumTextLength));
    EXPECT_FALSE(passesWithLength(EPUBBook::kMaximumTextLength + 1));
}

TEST(EPUBInformationValidation, NavigationTreeSizeLimit) {
    EXPECT_TRUE(navigationPasses(test::flatEntries(10'000)));
    EXPECT_FALSE(navigationPasses(test::flatEntries(10'001)));
    // The count runs over the whole tree, not over one level.
    QList<Navigation> nested = test::flatEntries(5'000, u"a"_s);
    nested.first().children = test::flatEntries(5'000, u"b"_s);
    EXPECT_TRUE(navigationPasses(nested));
    nested.last().children.append(entry(u"extra"_s));
    EXPECT_FALSE(navigationPasses(nested));
}

TEST(EPUBInformationValidation, NavigationTreeDepthLimit) {
    EXPECT_TRUE(navigationPasses({test::chain(100)}));
    EXPECT_FALSE(navigationPasses({test::chain(101)}));
    EXPECT_FALSE(navigationPasses({entry(u"top"_s), test::chain(101)}));
}

TEST(EPUBInformationValidation, TreeOfTheMostEntriesAndLevelsPassesAndOneMoreOfEitherFails) {
    // 100 chains of 100 levels: exactly 10,000 entries, exactly 100 deep.
    QList<Navigation> full;
    for (int i = 0; i < 100; ++i) full.append(test::chain(100, u"t%1-"_s.arg(i)));
    EXPECT_TRUE(navigationPasses(full));

    QList<Navigation> oneMoreEntry = full;
    oneMoreEntry.append(entry(u"extra"_s));
    EXPECT_FALSE(navigationPasses(oneMoreEntry));

    // As many entries, but one chain a level deeper.
    QList<Navigation> oneMoreLevel = full;
    oneMoreLevel[0] = test::chain(101, u"deep-"_s);
    oneMoreLevel[1] = test::chain(99, u"short-"_s);
    EXPECT_FALSE(navigationPasses(oneMoreLevel));
}

TEST(EPUBInformationValidation, EntryIDsAreNonEmptyAndUniqueAcrossTheWholeTree) {
    EXPECT_FALSE(navigationPasses({entry(QString())}));
    EXPECT_FALSE(navigationPasses({entry(u"a"_s), entry(u"a"_s)}));
    EXPECT_FALSE(navigationPasses(
        {entry(u"a"_s, {}, {entry(u"b"_s)}), entry(u"c"_s, {}, {entry(u"d"_s, {}, {entry(u"b"_s)})})}));
    EXPECT_FALSE(navigationPasses({entry(u"a"_s, {}, {entry(u"a"_s)})}));
    // Labels and references are not examined.
    EXPECT_TRUE(navigationPasses({Navigation(u"a"_s, QString(), u"::bad::"_s, {}, {})}));
}

TEST(EPUBInformationValidation, PositionsMustLieInsideTheSectionTheyName) {
    EXPECT_TRUE(navigationPasses({entry(u"a"_s, at(u"s1"_s, 0)), entry(u"b"_s, at(u"s2"_s, 10))}));
    EXPECT_TRUE(navigationPasses({entry(u"a"_s, at(u"s1"_s, 9)), entry(u"b"_s, at(u"s2"_s, 19))}));
    // The end of a section belongs to the next one, also at the end of the text.
    EXPECT_FALSE(navigationPasses({entry(u"a"_s, at(u"s1"_s, 10))}));
    EXPECT_FALSE(navigationPasses({entry(u"a"_s, at(u"s2"_s, 20))}));
    EXPECT_FALSE(navigationPasses({entry(u"a"_s, at(u"s2"_s, 5))}));  // in the text, but in the other section
    EXPECT_FALSE(navigationPasses({entry(u"a"_s, at(u"s1"_s, -1))}));
    EXPECT_FALSE(navigationPasses({entry(u"a"_s, at(u"s3"_s, 0))}));
    EXPECT_FALSE(navigationPasses({entry(u"a"_s, at(u"s2"_s, 13))}));  // between the halves of the emoji
    // A bad destination deep in the tree is found too.
    EXPECT_FALSE(
        navigationPasses({test::chain(50), entry(u"p"_s, {}, {entry(u"q"_s, {}, {entry(u"r"_s, at(u"s1"_s, 10))})})}));
    for (int reason = 0; reason <= static_cast<int>(Unavailable::missingAnchor); ++reason) {
        EXPECT_TRUE(
            navigationPasses({entry(u"a"_s, EPUBBook::Destination::unavailable(static_cast<Unavailable>(reason)))}));
    }
}

TEST(EPUBInformationValidation, LinksLieInTheTextAndLeadInsideTheirSection) {
    const auto nowhere = EPUBBook::Destination::unavailable(Unavailable::externalReference);
    EXPECT_TRUE(linkPasses({0, 0, u"x"_s, nowhere}));
    EXPECT_TRUE(linkPasses({5, 5, u"x"_s, nowhere}));
    EXPECT_TRUE(linkPasses({15, 20, u"x"_s, nowhere}));
    EXPECT_FALSE(linkPasses({15, 21, u"x"_s, nowhere}));
    EXPECT_FALSE(linkPasses({-1, 3, u"x"_s, nowhere}));
    EXPECT_FALSE(linkPasses({4, 3, u"x"_s, nowhere}));
    // A link's own range may cut a surrogate pair; its destination may not.
    EXPECT_TRUE(linkPasses({13, 13, u"x"_s, nowhere}));
    EXPECT_TRUE(linkPasses({0, 2, u"#b"_s, at(u"s2"_s, 12)}));
    EXPECT_FALSE(linkPasses({0, 2, u"#b"_s, at(u"s2"_s, 13)}));
    EXPECT_FALSE(linkPasses({0, 2, u"#b"_s, at(u"s1"_s, 10)}));
    EXPECT_FALSE(linkPasses({0, 2, u"#b"_s, at(u"missing"_s, 1)}));
    // Every link is checked, not only the first.
    EXPECT_FALSE(information({}, {{0, 1, u"x"_s, nowhere}, {0, 30, u"x"_s, nowhere}}).isValid(twoSections()));
}

}  // namespace
}  // namespace tavrine
