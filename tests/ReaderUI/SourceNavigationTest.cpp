#include "ReaderUI/Source/ReaderSourceNavigation.h"

#include "support/EventLoop.h"
#include "support/QtPrinters.h"

#include <gtest/gtest.h>
#include <QSemaphore>

#include <algorithm>
#include <memory>
#include <mutex>

namespace tavrine {
namespace {
using namespace Qt::StringLiterals;
using Kind = ReadingDocument::Span::Kind;
using Ranges = QList<TextRange>;

// Counts every change signal of a navigation.
struct SignalCount {
    int total = 0;
    explicit SignalCount(ReaderSourceNavigation& navigation) {
        using N = ReaderSourceNavigation;
        for (const auto signal :
             {&N::documentIDChanged, &N::usesLinearTablesChanged, &N::followsPlaybackChanged, &N::showsFindChanged,
              &N::queryChanged, &N::isSearchingChanged, &N::matchesChanged, &N::matchIndexChanged,
              &N::focusRequestChanged, &N::revealRequestChanged, &N::selectedRangesChanged, &N::visibleOffsetChanged,
              &N::sourceChanged, &N::generationChanged})
            QObject::connect(&navigation, signal, [this] { ++total; });
    }
};

// Searches for query and waits for the result.
void search(ReaderSourceNavigation& navigation, const QString& query) {
    navigation.setQuery(query);
    navigation.startSearch();
    ASSERT_TRUE(test::processEventsUntil([&] { return !navigation.isSearching(); }));
}

TEST(ReaderSourceNavigation, FindsMovesBetweenMatchesAndSaysWhereItIs) {
    ReaderSourceNavigation navigation;
    const QUuid id = QUuid::createUuid();
    navigation.loadDocument(u"Eine Ähre, eine Ecke: e"_s, {}, id);
    EXPECT_TRUE(navigation.followsPlayback());
    navigation.showFind();
    EXPECT_FALSE(navigation.followsPlayback());
    EXPECT_TRUE(navigation.showsFind());

    navigation.setQuery(u"e"_s);
    navigation.startSearch();
    EXPECT_TRUE(navigation.isSearching());
    EXPECT_EQ(navigation.searchStatusText(), u"検索中"_s);
    // No current match while searching: moving changes nothing.
    navigation.selectAdjacentMatch(true);
    EXPECT_EQ(navigation.matchIndex(), std::nullopt);
    ASSERT_TRUE(test::processEventsUntil([&] { return !navigation.isSearching(); }));
    ASSERT_GE(navigation.matches().size(), 3);
    EXPECT_EQ(navigation.matchIndex(), 0);
    EXPECT_EQ(navigation.currentMatch(), (TextRange{0, 1}));
    const qsizetype count = navigation.matches().size();
    EXPECT_EQ(navigation.searchStatusText(), u"1 / %1件"_s.arg(count));

    // Wrap-around both ways; each move reveals the match and ends following.
    navigation.setFollowsPlayback(true);
    const QUuid reveal = navigation.revealRequest();
    navigation.selectAdjacentMatch(false);
    EXPECT_EQ(navigation.matchIndex(), count - 1);
    EXPECT_NE(navigation.revealRequest(), reveal);
    EXPECT_FALSE(navigation.followsPlayback());
    navigation.selectAdjacentMatch(true);
    EXPECT_EQ(navigation.matchIndex(), 0);
    navigation.selectAdjacentMatch(true);
    EXPECT_EQ(navigation.searchStatusText(), u"2 / %1件"_s.arg(count));

    // Nothing found still reveals, and says so; no matches means no moves either.
    const QUuid beforeMiss = navigation.revealRequest();
    search(navigation, u"zz"_s);
    EXPECT_NE(navigation.revealRequest(), beforeMiss);
    EXPECT_EQ(navigation.searchStatusText(), u"見つかりません"_s);
    navigation.setFollowsPlayback(true);
    navigation.selectAdjacentMatch(true);
    EXPECT_TRUE(navigation.followsPlayback());
    EXPECT_EQ(navigation.currentMatch(), std::nullopt);

    // The return to playback.
    navigation.setFollowsPlayback(false);
    const QUuid beforeReturn = navigation.revealRequest();
    navigation.resumeFollowingPlayback();
    EXPECT_TRUE(navigation.followsPlayback());
    EXPECT_NE(navigation.revealRequest(), beforeReturn);
}

TEST(ReaderSourceNavigation, ClearingTheQueryStopsTheSearchAndLeavesFollowingAlone) {
    ReaderSourceNavigation navigation;
    navigation.loadDocument(QString(300'000, u'a'), {}, QUuid::createUuid());
    navigation.setQuery(u"a"_s);
    navigation.startSearch();
    ASSERT_TRUE(navigation.isSearching());
    EXPECT_FALSE(navigation.followsPlayback());
    navigation.setFollowsPlayback(true);

    navigation.setQuery(QString());
    navigation.startSearch();
    EXPECT_FALSE(navigation.isSearching());
    EXPECT_EQ(navigation.searchStatusText(), QString());
    EXPECT_TRUE(navigation.followsPlayback());
    test::settlePool();
    EXPECT_TRUE(navigation.matches().isEmpty());
    EXPECT_EQ(navigation.matchIndex(), std::nullopt);
}

TEST(ReaderSourceNavigation, LoadingADocumentKeepsTheSameOneAndResetsForAnother) {
    ReaderSourceNavigation navigation;
    const QUuid id = QUuid::createUuid();
    const QString text = u"りんご ごりら らっぱ"_s;
    navigation.loadDocument(text, {}, id);
    navigation.showFind();
    search(navigation, u"ら"_s);
    navigation.setSelectedRanges({{1, 2}, {4, 5}});
    EXPECT_EQ(navigation.selectedRanges(), (Ranges{{1, 2}}));  // a text view has one selection
    navigation.setVisibleOffset(3);

    // The same document again: not a single signal.
    SignalCount count(navigation);
    navigation.loadDocument(QString(text), {}, id);
    navigation.setFollowsPlayback(false);
    navigation.setQuery(u"ら"_s);
    navigation.setVisibleOffset(3);
    navigation.setSelectedRanges({{1, 2}});
    EXPECT_EQ(count.total, 0);
    EXPECT_EQ(navigation.matches().size(), 2);

    // The same text under another identifier is another document.
    const QUuid reveal = navigation.revealRequest();
    navigation.loadDocument(text, {}, std::nullopt);
    EXPECT_EQ(navigation.documentID(), std::nullopt);
    EXPECT_FALSE(navigation.showsFind());
    EXPECT_EQ(navigation.query(), QString());
    EXPECT_TRUE(navigation.matches().isEmpty());
    EXPECT_EQ(navigation.matchIndex(), std::nullopt);
    EXPECT_TRUE(navigation.selectedRanges().isEmpty());
    EXPECT_EQ(navigation.visibleOffset(), std::nullopt);
    EXPECT_TRUE(navigation.followsPlayback());
    EXPECT_NE(navigation.revealRequest(), reveal);

    // Tables read linearly only where the bounded engine shows the document.
    const QString longText = QString(30'000, u'x');
    navigation.loadDocument(longText, {{Kind::table, 0, 100, 1}}, QUuid::createUuid());
    EXPECT_TRUE(navigation.usesLinearTables());  // one 30,000-unit paragraph
    navigation.loadDocument(longText, {}, QUuid::createUuid());
    EXPECT_FALSE(navigation.usesLinearTables());  // bounded, but there is no table
    navigation.loadDocument(u"x"_s, {{Kind::table, 0, 1, 1}}, QUuid::createUuid());
    EXPECT_FALSE(navigation.usesLinearTables());
}

// Holds scans back until the test lets them go; records what each scan gave.
struct ScanGate {
    QSemaphore entered;
    QSemaphore released;
    std::atomic_bool holding{true};
    // The held scan ignores cancellation, like one that finished just before it was cancelled.
    std::atomic_bool ignoreCancellation{false};
    std::mutex mutex;
    QList<ReaderSourceSearch::Result> results;
    QList<ReaderSourceSearch::Request> requests;

    ReaderSourceSearch::Scanner scanner(const std::shared_ptr<ScanGate>& self) {
        return [self](ReaderSourceSearch::Request request, CancellationToken cancellation) {
            {
                std::lock_guard lock(self->mutex);
                self->requests.append(request);
            }
            const bool held = self->holding.exchange(false);
            if (held) {
                self->entered.release();
                self->released.acquire();
            }
            auto result = ReaderSourceSearch::scan(
                request, held && self->ignoreCancellation ? CancellationToken::none() : cancellation);
            std::lock_guard lock(self->mutex);
            self->results.append(result);
            return result;
        };
    }
};

TEST(ReaderSourceNavigation, NeverAppliesAScanOfADocumentThatWasReplaced) {
    auto gate = std::make_shared<ScanGate>();
    gate->ignoreCancellation = true;
    ReaderSourceNavigation navigation(gate->scanner(gate));
    navigation.loadDocument(u"alpha beta alpha"_s, {}, QUuid::createUuid());
    navigation.setQuery(u"alpha"_s);
    navigation.startSearch();
    gate->entered.acquire();  // the first scan runs and waits

    navigation.loadDocument(u"gamma alpha"_s, {}, QUuid::createUuid());
    search(navigation, u"alpha"_s);
    EXPECT_EQ(navigation.matches(), (Ranges{{6, 11}}));

    gate->released.release();
    test::settlePool();
    // The held scan did finish, with the old document's matches.
    ASSERT_EQ(gate->results.size(), 2);
    EXPECT_TRUE(std::any_of(gate->results.cbegin(), gate->results.cend(), [](const ReaderSourceSearch::Result& result) {
        return result.matches == Ranges{{0, 5}, {11, 16}};
    }));
    EXPECT_EQ(navigation.matches(), (Ranges{{6, 11}}));
    EXPECT_EQ(navigation.matchIndex(), 0);

    // The fold made by the applied scan serves the next one; a new document needs its own.
    search(navigation, u"gamma"_s);
    ASSERT_EQ(gate->requests.size(), 3);
    EXPECT_TRUE(gate->requests[2].folded);
    navigation.loadDocument(u"delta"_s, {}, QUuid::createUuid());
    search(navigation, u"d"_s);
    EXPECT_FALSE(gate->requests[3].folded);
}

TEST(ReaderSourceNavigation, CancellationStopsTheScanItself) {
    auto gate = std::make_shared<ScanGate>();
    ReaderSourceNavigation navigation(gate->scanner(gate));
    navigation.loadDocument(QString(100'000, u'e'), {}, QUuid::createUuid());
    navigation.showFind();
    navigation.setQuery(u"e"_s);
    navigation.startSearch();
    gate->entered.acquire();

    navigation.resetSearch();
    EXPECT_FALSE(navigation.isSearching());
    EXPECT_FALSE(navigation.showsFind());
    EXPECT_EQ(navigation.query(), QString());
    gate->released.release();
    test::settlePool();
    // The scan saw the cancellation and gave nothing, though every unit matches.
    ASSERT_EQ(gate->results.size(), 1);
    EXPECT_TRUE(gate->results[0].matches.isEmpty());
    EXPECT_FALSE(gate->results[0].folded);
    EXPECT_TRUE(navigation.matches().isEmpty());
}

TEST(ReaderSourceNavigation, DestroyedWhileSearchingAppliesNothing) {
    auto gate = std::make_shared<ScanGate>();
    auto navigation = std::make_unique<ReaderSourceNavigation>(gate->scanner(gate));
    navigation->loadDocument(u"abc"_s, {}, QUuid::createUuid());
    navigation->setQuery(u"b"_s);
    navigation->startSearch();
    gate->entered.acquire();
    navigation.reset();
    gate->released.release();
    test::settlePool();
    ASSERT_EQ(gate->results.size(), 1);
    EXPECT_TRUE(gate->results[0].matches.isEmpty());
}

}  // namespace
}  // namespace tavrine
