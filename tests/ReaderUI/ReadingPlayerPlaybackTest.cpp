// Starting and stopping, the timed loop across windows, the automatic start and the speed, all on the
// fake clock.
#include "PlayerTesting.h"

#include "support/QtPrinters.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cmath>
#include <limits>

namespace tavrine {
namespace {

using namespace Qt::StringLiterals;
using namespace std::chrono_literals;
using Boundary = ReadingChunk::Boundary;
using Status = ReadingSession::Status;
using test::readingOf;
using Seconds = std::chrono::duration<double>;

class ReadingPlayerPlaybackTest : public testing::Test, public test::PlayerFixture {
protected:
    // Loads a prepared text of length units whose every window is the chunks make gives for its offset,
    // and waits for the first window.
    ReadingPlayer& loadWindows(std::function<QList<ReadingChunk>(qsizetype)> make, qsizetype length = 2'000) {
        ReadingPlayer& loaded = makePlayer();
        chunks.answerWith(std::move(make));
        loaded.load(readingOf(test::japaneseText(length)), 0);
        EXPECT_TRUE(waitUntilPrepared());
        return loaded;
    }

    // Expects the current chunk to change exactly `seconds` from now, not a millisecond earlier.
    void expectNextChunkAfter(double seconds) {
        const qsizetype index = player().session().index;
        const QList<ReadingChunk> list = player().session().chunks;
        advance(Seconds(seconds) - 1ms);
        EXPECT_EQ(player().session().index, index) << "changed early";
        EXPECT_EQ(player().session().chunks, list);
        advance(1ms);
        EXPECT_TRUE(player().session().index != index || player().session().chunks != list) << "did not change";
    }
};

TEST_F(ReadingPlayerPlaybackTest, EachChunkShowsForItsBaseTimesItsLengthAndBreakFactors) {
    ReadingPlayer& player = loadWindows([](qsizetype) {
        return QList<ReadingChunk>{
            test::chunkAt(0, 4), test::chunkAt(4, 12, Boundary::clause), test::chunkAt(16, 20, Boundary::sentence),
            test::chunkAt(36, 40, Boundary::paragraph, 1), test::chunkAt(76, 8, Boundary::none, 2)};
    });
    player.startPlayback(true);
    ASSERT_EQ(player.session().status, Status::playing);
    expectNextChunkAfter(0.3);              // 4 Characters, no break
    expectNextChunkAfter(0.3 * 1.5 * 1.4);  // 12 Characters before a clause break
    expectNextChunkAfter(0.3 * 2.5 * 2.0);  // 20 Characters before a sentence break
    expectNextChunkAfter(0.3 * 2.5 * 2.8);  // 40 Characters before a paragraph break
    EXPECT_EQ(player.session().index, 4);
}

TEST_F(ReadingPlayerPlaybackTest, TheSpeedIsKeptAsSetAndClampedWhereChunksAreTimed) {
    struct Case {
        double set;
        double shown;
    };
    const Case cases[] = {{0.01, 0.04},
                          {1.0, 0.3},
                          {std::numeric_limits<double>::quiet_NaN(), 0.3},
                          {std::numeric_limits<double>::infinity(), 0.3},
                          {0.1, 0.1}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.set);
        ReadingPlayer& player = loadWindows([](qsizetype) { return test::tilingChunks(0, 2'000, 4); });
        player.setBaseSeconds(c.set);
        EXPECT_TRUE(player.baseSeconds() == c.set || (std::isnan(c.set) && std::isnan(player.baseSeconds())));
        const double stored = defaults.doubleForKey(ReadingPlayer::kBaseSecondsKey);
        EXPECT_TRUE(stored == c.set || (std::isnan(c.set) && std::isnan(stored)));
        player.startPlayback(true);
        expectNextChunkAfter(c.shown);
    }
}

TEST_F(ReadingPlayerPlaybackTest, AStartAfterTheEndPlaysAgainFromTheFirstChunk) {
    // A short text, chunked at once.
    ReadingPlayer& player = makePlayer();
    player.load(readingOf(u"吾輩は猫である。名前はまだ無い。"_s), 0);
    player.startPlayback(true);
    ASSERT_TRUE(advanceUntil([&] { return player.session().status == Status::completed; }, 10s));
    player.startPlayback(true);
    EXPECT_EQ(player.session().status, Status::playing);
    EXPECT_EQ(player.session().index, 0);

    // A prepared text prepares its first window again and starts when it arrives.
    ReadingPlayer& prepared = loadWindows([](qsizetype) { return test::tilingChunks(0, 1'100, 100); }, 1'100);
    prepared.startPlayback(true);
    ASSERT_TRUE(advanceUntil([&] { return prepared.session().status == Status::completed; }, 20s));
    prepared.startPlayback(true);
    EXPECT_TRUE(prepared.isWaitingToPlay());
    EXPECT_TRUE(prepared.session().chunks.isEmpty());
    EXPECT_EQ(prepared.session().status, Status::paused);
    ASSERT_TRUE(waitUntil([&] { return prepared.session().status == Status::playing; }));
    EXPECT_EQ(prepared.session().index, 0);
    EXPECT_FALSE(prepared.isWaitingToPlay());
    EXPECT_EQ(chunks.offsets().last(), 0);
}

TEST_F(ReadingPlayerPlaybackTest, AStartDuringTheFirstPreparationWaitsForItsWindow) {
    ReadingPlayer& player = makePlayer();
    chunks.hold();
    player.load(readingOf(test::japaneseText(3'000)), 1'200);
    player.startPlayback(true);
    EXPECT_TRUE(player.isWaitingToPlay());
    EXPECT_TRUE(player.isPreparing());
    EXPECT_EQ(chunks.offsets(), (QList<qsizetype>{1'200, 1'200}));

    chunks.release();
    ASSERT_TRUE(waitUntil([&] { return player.session().status == Status::playing; }));
    EXPECT_TRUE(player.session().currentChunk()->sourceRange.contains(1'200));
    EXPECT_FALSE(player.isWaitingToPlay());
    EXPECT_TRUE(player.hasActuallyPlayed());
    drainStore();
    EXPECT_EQ(playRecords(), 1);
}

TEST_F(ReadingPlayerPlaybackTest, OnlyOneLoopRuns) {
    ReadingPlayer& player = loadWindows([](qsizetype) { return test::tilingChunks(0, 2'000, 40); });  // 0.75 s each

    // Two starts in a row.
    player.startPlayback(true);
    player.startPlayback(true);
    expectNextChunkAfter(0.75);
    EXPECT_EQ(player.session().index, 1);

    // A start while the automatic start still waits cancels it: its start would show the chunk again.
    player.pause();
    player.scheduleAutoplay();
    player.startPlayback(true);
    expectNextChunkAfter(0.75);
    EXPECT_EQ(player.session().index, 2);
    drainStore();
    EXPECT_EQ(playRecords(), 3);
}

// The automatic start's half second is timed in the transport tests.
TEST_F(ReadingPlayerPlaybackTest, APauseOrACancelledAutomaticStartStopsTheWaitAtOnce) {
    ReadingPlayer& player = loadWindows([](qsizetype) { return test::tilingChunks(0, 2'000, 8); });
    player.startPlayback(true);
    advance(100ms);
    player.pause();
    EXPECT_EQ(player.session().status, Status::paused);
    settle();
    EXPECT_EQ(clock.pendingAlarms(), 0u);  // no loop and no checkpoint waits any more
    advance(1s);
    EXPECT_EQ(player.session().index, 0);

    player.scheduleAutoplay();
    player.cancelAutoplay();
    advance(1s);
    EXPECT_EQ(player.session().status, Status::paused);
    EXPECT_EQ(clock.pendingAlarms(), 0u);
}

TEST_F(ReadingPlayerPlaybackTest, ASpeedChangeShowsTheChunkAgainAtTheNewSpeed) {
    ReadingPlayer& player = loadWindows([](qsizetype) { return test::tilingChunks(0, 2'000, 8); });

    // While playing: the chunk starts over at the new speed; no new play record, the checkpoints go on.
    player.startPlayback(true);
    advance(200ms);
    player.setBaseSeconds(0.04);
    EXPECT_EQ(player.session().status, Status::playing);
    expectNextChunkAfter(0.04);
    advance(Seconds(4.8) - 40ms - 1ms);
    drainStore();
    EXPECT_THAT(savedPositions(), testing::IsEmpty());
    advance(1ms);  // five seconds after the start
    drainStore();
    EXPECT_EQ(savedPositions().size(), 1);
    EXPECT_EQ(playRecords(), 1);

    // While paused: the player pauses again, saving, and stays paused.
    player.pause();
    drainStore();
    const qsizetype saves = savedPositions().size();
    player.setBaseSeconds(0.2);
    drainStore();
    EXPECT_EQ(player.session().status, Status::paused);
    EXPECT_EQ(savedPositions().size(), saves + 1);
    EXPECT_EQ(playRecords(), 1);
}

TEST_F(ReadingPlayerPlaybackTest, TheLoopFetchesTheNextWindowAfterTheLastChunk) {
    // Windows of two chunks of 5,000 units (0.75 s each) over a text of 30,000, which the source pane
    // shows about 12,000 units at a time.
    ReadingPlayer& player = loadWindows(
        [](qsizetype offset) {
            return QList<ReadingChunk>{test::chunkAt(offset, 2'500), test::chunkAt(offset + 2'500, 2'500)};
        },
        30'000);
    const ReadingSourceWindow first = *player.sourceWindow();
    ASSERT_EQ(first.sourceRange.lowerBound, 0);
    ASSERT_LT(first.sourceRange.upperBound, 15'000);
    player.startPlayback(true);

    advance(1.5s);  // both chunks of the first window shown
    EXPECT_EQ(chunks.offsets(), (QList<qsizetype>{0, 5'000}));
    EXPECT_EQ(player.session().status, Status::playing);
    EXPECT_EQ(player.session().index, 0);
    EXPECT_EQ(player.session().currentChunk()->sourceRange.lowerBound, 5'000);
    EXPECT_EQ(player.requestedOffset(), 5'000);
    EXPECT_FALSE(player.isPreparing());
    EXPECT_EQ(player.sourceWindow(), first);  // the new chunks lie inside the shown window

    advance(1.5s);  // the third window reaches past the shown one: a new source window comes first
    ASSERT_TRUE(waitUntil([&] { return player.sourceWindow() != first; }));
    EXPECT_TRUE(player.sourceWindow()->sourceRange.contains(10'000));
    EXPECT_EQ(player.session().currentChunk()->sourceRange.lowerBound, 10'000);
    EXPECT_EQ(player.session().status, Status::playing);
}

TEST_F(ReadingPlayerPlaybackTest, APauseDuringTheNextWindowKeepsTheLastChunk) {
    ReadingPlayer& player = loadWindows([](qsizetype offset) { return test::tilingChunks(offset, offset + 16, 8); });
    player.startPlayback(true);
    advance(0.3s);
    chunks.hold();
    advance(0.3s);
    ASSERT_EQ(chunks.heldCount(), 1);
    EXPECT_TRUE(player.isPreparing());
    EXPECT_EQ(player.session().status, Status::playing);  // the last chunk stays on display meanwhile
    const ReadingSession shown = player.session();

    player.pause();
    chunks.release();
    drainStore();
    EXPECT_EQ(player.session().chunks, shown.chunks);
    EXPECT_EQ(player.session().index, shown.index);
    EXPECT_EQ(player.session().status, Status::paused);
    EXPECT_FALSE(player.isPreparing());
}

TEST_F(ReadingPlayerPlaybackTest, TheEndOfTheTextCompletesTheSessionAndSavesOnce) {
    ReadingPlayer& player = loadWindows(
        [](qsizetype offset) { return test::tilingChunks(offset, std::min<qsizetype>(offset + 400, 1'100), 100); },
        1'100);
    player.startPlayback(true);
    ASSERT_TRUE(advanceUntil([&] { return player.session().status == Status::completed; }, 20s));
    EXPECT_EQ(chunks.offsets(), (QList<qsizetype>{0, 400, 800}));
    drainStore();
    // The checkpoint at 5 s, then the end once.
    const QList<ReadingProgress> saved{{600, false}, {1'100, true}};
    EXPECT_EQ(savedPositions(), saved);

    // The checkpoints ended with the loop.
    advance(10s);
    drainStore();
    EXPECT_EQ(savedPositions(), saved);
}

TEST_F(ReadingPlayerPlaybackTest, WithoutAStoreEverythingPlaysAndNothingIsSaved) {
    ReadingPlayer& player = makePlayer(false);
    player.load(readingOf(u"吾輩は猫である。名前はまだ無い。"_s), 0);
    player.startPlayback(true);
    advance(6s, 50ms);
    EXPECT_EQ(player.session().status, Status::completed);
    player.scheduleNavigationSave();
    player.pause();
    advance(1s);
    EXPECT_THAT(store->log(), testing::IsEmpty());
}

}  // namespace
}  // namespace tavrine
