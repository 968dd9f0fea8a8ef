#include "ReaderUI/Library/ReadingLibrarySearch.h"

#include "ReaderCore/Characters.h"

#include "support/EventLoop.h"
#include "support/QtPrinters.h"

#include <gtest/gtest.h>

#include <memory>

namespace tavrine {
namespace {
using namespace Qt::StringLiterals;
using IDs = QSet<QUuid>;

SavedReading reading(const QString& text, std::optional<QString> title = std::nullopt,
                     const QStringList& creators = {}) {
    SavedReading result;
    result.id = QUuid::createUuid();
    result.document.text = text;
    result.title = std::move(title);
    if (!creators.isEmpty()) {
        EPUBBook::Information information;
        information.metadata.creators = creators;
        result.epub = information;
    }
    return result;
}

// A text longer than the quick match handles, which sends every search to the pool.
SavedReading longReading(const QString& tail = QString()) {
    return reading(QString(kWholeTextLimit + 1 - tail.size(), u'x') + tail);
}

struct Signals {
    int searching = 0;
    int matching = 0;
    int request = 0;
    explicit Signals(ReadingLibrarySearch& search) {
        QObject::connect(&search, &ReadingLibrarySearch::isSearchingChanged, [this] { ++searching; });
        QObject::connect(&search, &ReadingLibrarySearch::matchingIDsChanged, [this] { ++matching; });
        QObject::connect(&search, &ReadingLibrarySearch::requestIDChanged, [this] { ++request; });
    }
};

TEST(ReadingLibrarySearch, LeavesBlankQueriesAndShortTextsToTheCaller) {
    ReadingLibrarySearch search;
    Signals count(search);
    const QList<SavedReading> readings{longReading(), reading(u"short"_s)};

    // Spaces and line breaks only: no result, no search, as at creation.
    search.update(readings, u" \n\t\u3000"_s);
    EXPECT_EQ(search.matchingIDs(), std::nullopt);
    EXPECT_FALSE(search.isSearching());
    EXPECT_EQ(count.matching + count.searching, 0);
    EXPECT_EQ(count.request, 1);

    // Every text at most 20,000 units: the caller's quick match decides.
    const QList<SavedReading> shortOnes{reading(QString(kWholeTextLimit, u'x'))};
    search.update(shortOnes, u"x"_s);
    EXPECT_EQ(search.matchingIDs(), std::nullopt);
    EXPECT_FALSE(search.isSearching());
    search.update({}, u"x"_s);
    EXPECT_EQ(search.matchingIDs(), std::nullopt);
    EXPECT_EQ(count.matching + count.searching, 0);

    // One unit more and the search runs on the pool: nothing matches until its result arrives.
    const QList<SavedReading> oneLonger{reading(QString(kWholeTextLimit + 1, u'x'))};
    search.update(oneLonger, u"x"_s);
    EXPECT_EQ(search.matchingIDs(), IDs());
    EXPECT_TRUE(search.isSearching());
    ASSERT_TRUE(test::processEventsUntil([&] { return !search.isSearching(); }));
    EXPECT_EQ(search.matchingIDs(), IDs{oneLonger[0].id});
    EXPECT_EQ(count.matching, 2);
    EXPECT_EQ(count.searching, 2);
}

TEST(ReadingLibrarySearch, RepeatsNothingForTheSameTrimmedQueryAndEqualReadings) {
    ReadingLibrarySearch search;
    Signals count(search);
    const QList<SavedReading> readings{longReading(u"needle"_s)};
    search.update(readings, u"needle"_s);
    const QUuid request = search.requestID();
    ASSERT_TRUE(search.isSearching());

    // Trailing spaces while the search runs: the same request, the search goes on and applies.
    search.update(readings, u"needle  "_s);
    search.update(QList<SavedReading>(readings), u"\tneedle\n"_s);  // another list, equal readings
    EXPECT_EQ(search.requestID(), request);
    ASSERT_TRUE(test::processEventsUntil([&] { return !search.isSearching(); }));
    EXPECT_EQ(search.matchingIDs(), IDs{readings[0].id});
    EXPECT_EQ(count.request, 1);

    // A found result stays for an equal update, without a signal.
    const int matching = count.matching;
    search.update(readings, u"needle "_s);
    EXPECT_EQ(search.requestID(), request);
    EXPECT_EQ(count.matching, matching);

    // Progress is not part of a reading: the store's records with a moved position change nothing.
    StoredReading record;
    record.reading = readings[0];
    QList<StoredReading> library{record};
    search.update(ReadingLibrarySearch::readingsOf({}, library), u"needle"_s);
    library[0].progress.utf16Offset = 500;
    search.update(ReadingLibrarySearch::readingsOf({}, library), u"needle"_s);
    EXPECT_EQ(search.requestID(), request);

    // A reading added, removed or moved is a new request.
    const SavedReading other = reading(u"other"_s);
    search.update({readings[0], other}, u"needle"_s);
    const QUuid added = search.requestID();
    EXPECT_NE(added, request);
    search.update({other, readings[0]}, u"needle"_s);
    EXPECT_NE(search.requestID(), added);
    ASSERT_TRUE(test::processEventsUntil([&] { return !search.isSearching(); }));
}

TEST(ReadingLibrarySearch, AppliesOnlyTheLatestOfTwoQuickUpdates) {
    ReadingLibrarySearch search;
    Signals count(search);
    const SavedReading first = longReading(u"first"_s);
    const SavedReading second = longReading(u"second"_s);
    const QList<SavedReading> readings{first, second};

    search.update(readings, u"first"_s);
    search.update(readings, u"second"_s);
    ASSERT_TRUE(test::processEventsUntil([&] { return !search.isSearching(); }));
    test::settlePool();  // the first search has ended too, and its result was dropped
    EXPECT_EQ(search.matchingIDs(), IDs{second.id});
    // Empty set once (both updates), then the second result: the first never showed.
    EXPECT_EQ(count.matching, 2);
    EXPECT_EQ(count.searching, 2);

    // A blank query supersedes a running search: its result never lands.
    search.update(readings, u"first"_s);
    search.update(readings, u" "_s);
    test::settlePool();
    EXPECT_EQ(search.matchingIDs(), std::nullopt);
    EXPECT_FALSE(search.isSearching());
}

TEST(ReadingLibrarySearch, DestroyedMidSearchAppliesNothing) {
    // Enough long texts that the search is still running when its owner goes.
    const QString text(400'000, u'y');  // shared, as the store shares its texts
    QList<SavedReading> readings;
    for (int i = 0; i < 200; ++i) readings.append(reading(text));
    auto search = std::make_unique<ReadingLibrarySearch>();
    int applied = 0;
    QObject::connect(search.get(), &ReadingLibrarySearch::matchingIDsChanged, [&] { ++applied; });
    search->update(readings, u"needle"_s);
    ASSERT_TRUE(search->isSearching());
    ASSERT_EQ(applied, 1);
    search.reset();
    test::settlePool();
    EXPECT_EQ(applied, 1);
}

TEST(ReadingLibrarySearch, FindsByCreatorThenTitleThenTextWithTheFirstHitWinning) {
    const SavedReading byCreator = reading(u"本文"_s, u"題"_s, {u"夏目漱石"_s, u"Natsume Sōseki"_s});
    const SavedReading epubByTitle = reading(u"本文"_s, u"Sōseki Zenshū"_s, {u"someone"_s});
    const SavedReading epubByText = reading(u"…soseki…"_s, u"題"_s, {u"someone"_s});
    const SavedReading titledByText = reading(longReading(u"SOSEKI"_s).document.text, u"題"_s);
    const SavedReading untitledByText = reading(u"soseki"_s);
    const SavedReading missing = reading(u"nothing here"_s, u"Natsume"_s, {u"夏目"_s});
    const QList<SavedReading> readings{byCreator,      epubByTitle, epubByText, titledByText,
                                       untitledByText, missing,     byCreator /* also in the library */};

    ReadingLibrarySearch search;
    search.update(readings, u"soseki"_s);
    ASSERT_TRUE(search.isSearching());
    ASSERT_TRUE(test::processEventsUntil([&] { return !search.isSearching(); }));
    EXPECT_EQ(search.matchingIDs(),
              (IDs{byCreator.id, epubByTitle.id, epubByText.id, titledByText.id, untitledByText.id}));

    // The fold: か finds が, in a long text as in a title; つ does not find っ.
    const SavedReading voiced = reading(longReading(u"がっこう"_s).document.text);
    const SavedReading voicedTitle = reading(u"x"_s, u"ガッコウ"_s);
    EXPECT_EQ(ReadingLibrarySearch::computeMatchingIDs({voiced, voicedTitle, reading(u"x"_s, u"かつこう"_s)},
                                                       u"かっこう"_s, SearchFold(), CancellationToken::none()),
              (IDs{voiced.id}));
    EXPECT_EQ(
        ReadingLibrarySearch::computeMatchingIDs({voicedTitle}, u"カッコ"_s, SearchFold(), CancellationToken::none()),
        (IDs{voicedTitle.id}));
}

TEST(ReadingLibrarySearch, MatcherReturnsWhatItFoundOnceCancelled) {
    CancellationToken cancelled;
    cancelled.cancel();
    const QList<SavedReading> readings{reading(u"needle"_s)};
    EXPECT_EQ(ReadingLibrarySearch::computeMatchingIDs(readings, u"needle"_s, SearchFold(), cancelled), IDs());
    // A query with nothing to compare after folding matches nothing.
    EXPECT_EQ(ReadingLibrarySearch::computeMatchingIDs(readings, u"\u0301"_s, SearchFold(), CancellationToken::none()),
              IDs());
}

}  // namespace
}  // namespace tavrine
