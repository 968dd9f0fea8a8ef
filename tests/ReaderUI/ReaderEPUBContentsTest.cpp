#include "ReaderUI/Workspace/ReaderEPUBContents.h"
#include "ReaderUI/Workspace/ReaderEPUBPresentation.h"

#include "support/NavigationTrees.h"
#include "support/QtPrinters.h"

#include <gtest/gtest.h>

namespace tavrine {
namespace {
using namespace Qt::StringLiterals;
using test::at;
using test::entry;
using Selection = ReaderEPUBContents::Selection;
using Destination = EPUBBook::Destination;
using Section = ReadingDocument::Section;

const Destination kNowhere = Destination::unavailable(EPUBBook::Unavailable::externalReference);

SavedReading book(QList<EPUBBook::Navigation> navigation, std::optional<QList<Section>> sections) {
    SavedReading reading;
    reading.document.text = u"x"_s.repeated(300);
    reading.document.sections = std::move(sections);
    EPUBBook::Information information;
    information.navigation = std::move(navigation);
    reading.epub = std::move(information);
    return reading;
}

const QList<Section> kSections{{u"s1"_s, u"一"_s, 0, 100}, {u"s2"_s, std::nullopt, 100, 300}};

TEST(ReaderEPUBContents, OffersTheChaptersWhenNoEntryLeadsIntoTheText) {
    const QList<Selection> chapters{Selection::chapter(u"s1"_s), Selection::chapter(u"s2"_s)};

    SavedReading plain = book({}, kSections);
    plain.epub.reset();
    const ReaderEPUBContents withoutBook(plain);
    EXPECT_TRUE(withoutBook.rows.isEmpty());
    EXPECT_TRUE(withoutBook.usesChapterFallback);
    EXPECT_EQ(withoutBook.primarySelections, chapters);
    EXPECT_EQ(withoutBook.destinations.value(Selection::chapter(u"s2"_s)), Destination::position(u"s2"_s, 100));

    // Entries that lead nowhere are rows all the same, but get no key.
    const ReaderEPUBContents unavailable(
        book({entry(u"group"_s, kNowhere, {entry(u"child"_s, kNowhere)}), entry(u"gone"_s, kNowhere)}, kSections));
    EXPECT_EQ(unavailable.rows.size(), 3);
    EXPECT_TRUE(unavailable.usesChapterFallback);
    EXPECT_EQ(unavailable.primarySelections, chapters);
    EXPECT_EQ(unavailable.destinations.size(), 2);

    // Neither entries nor sections: nothing to offer at all.
    const ReaderEPUBContents empty(book({entry(u"gone"_s, kNowhere)}, std::nullopt));
    EXPECT_TRUE(empty.usesChapterFallback);
    EXPECT_TRUE(empty.primarySelections.isEmpty());
    EXPECT_TRUE(empty.chapterSelections.isEmpty());
    EXPECT_TRUE(empty.destinations.isEmpty());
}

TEST(ReaderEPUBContents, OneJumpableEntryIsEnoughToOfferTheTableOfContents) {
    const ReaderEPUBContents contents(
        book({entry(u"gone"_s, kNowhere, {entry(u"here"_s, at(u"s2"_s, 150))}), entry(u"also gone"_s, kNowhere)},
             kSections));
    EXPECT_FALSE(contents.usesChapterFallback);
    EXPECT_EQ(contents.primarySelections, QList<Selection>{Selection::navigation(u"here"_s)});
    EXPECT_EQ(contents.chapterSelections.size(), 2);
    EXPECT_EQ(contents.destinations.value(Selection::navigation(u"here"_s)), at(u"s2"_s, 150));
}

TEST(ReaderEPUBContents, RepeatedIdsKeepEveryRowAndTheLaterDestination) {
    const ReaderEPUBContents contents(book({entry(u"twin"_s, at(u"s1"_s, 10)), entry(u"twin"_s, at(u"s2"_s, 200))},
                                           QList<Section>{{u"a"_s, {}, 0, 50}, {u"a"_s, {}, 50, 300}}));
    EXPECT_EQ(contents.primarySelections,
              (QList<Selection>{Selection::navigation(u"twin"_s), Selection::navigation(u"twin"_s)}));
    EXPECT_EQ(contents.destinations.value(Selection::navigation(u"twin"_s)), at(u"s2"_s, 200));
    EXPECT_EQ(contents.destinations.value(Selection::chapter(u"a"_s)), at(u"a"_s, 50));
}

TEST(ReaderEPUBContents, ANavigationKeyAndAChapterKeyWithOneStringAreDifferentKeys) {
    const ReaderEPUBContents contents(book({entry(u"s2"_s, at(u"s2"_s, 120))}, kSections));
    EXPECT_EQ(contents.destinations.value(Selection::navigation(u"s2"_s)), at(u"s2"_s, 120));
    EXPECT_EQ(contents.destinations.value(Selection::chapter(u"s2"_s)), at(u"s2"_s, 100));
    EXPECT_EQ(contents.destinations.size(), 3);

    EXPECT_NE(Selection::navigation(u"x"_s), Selection::chapter(u"x"_s));
    EXPECT_EQ(qHash(Selection::chapter(u"x"_s), 7), qHash(Selection::chapter(u"x"_s), 7));
    EXPECT_EQ(ReaderEPUBContents::currentChapter(kSections[1]), Selection::chapter(u"s2"_s));
    EXPECT_EQ(ReaderEPUBContents::currentChapter(std::nullopt), std::nullopt);
}

TEST(ReaderEPUBPresentation, StartsHiddenAndTellsObserversOnlyOfChanges) {
    ReaderEPUBPresentation presentation;
    QList<bool> told;
    QObject::connect(&presentation, &ReaderEPUBPresentation::showsNavigationChanged,
                     [&](bool shows) { told.append(shows); });
    EXPECT_FALSE(presentation.showsNavigation());
    presentation.setShowsNavigation(true);
    presentation.setShowsNavigation(true);
    presentation.toggleShowsNavigation();
    presentation.setShowsNavigation(false);
    EXPECT_EQ(told, (QList<bool>{true, false}));
    EXPECT_FALSE(presentation.showsNavigation());
}

}  // namespace
}  // namespace tavrine
