// Keeping the reader's place: what is saved when, the play record, and a player that goes away while its
// tasks still wait.
#include "PlayerTesting.h"

#include "support/QtPrinters.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

namespace tavrine {

void PrintTo(const ReadingProgress& progress, std::ostream* out) {
    *out << progress.utf16Offset << (progress.isCompleted ? " (completed)" : "");
}

namespace {

using namespace Qt::StringLiterals;
using namespace std::chrono_literals;
using Call = test::FakePlaybackStore::Call;
using Logged = test::FakePlaybackStore::LoggedCall;
using Status = ReadingSession::Status;
using WhenReady = ReadingPlayer::WhenReady;
using test::readingOf;
using testing::ElementsAre;
using testing::IsEmpty;

class ReadingPlayerSavingTest : public testing::Test, public test::PlayerFixture {
protected:
    // A prepared text of 2,000 units whose windows are 80 units of 8-Character chunks (0.3 s each).
    ReadingPlayer& loadPlayable() {
        ReadingPlayer& loaded = makePlayer();
        chunks.answerWith([](qsizetype offset) { return test::tilingChunks(offset, offset + 80, 8); });
        loaded.load(readingOf(test::japaneseText(2'000)), 0);
        EXPECT_TRUE(waitUntilPrepared());
        return loaded;
    }
};

TEST_F(ReadingPlayerSavingTest, NothingIsSavedForATextThatNeverPlayed) {
    ReadingPlayer& player = loadPlayable();
    player.prepareWindow(
        500,
        {.pausing = true, .sentenceStep = std::nullopt, .whenReady = WhenReady::saveNavigation});  // as a seek does
    ASSERT_TRUE(waitUntilPrepared());
    player.scheduleNavigationSave();
    player.savePosition();
    player.pause();
    advance(1s);
    drainStore();
    EXPECT_THAT(store->log(), IsEmpty());
}

TEST_F(ReadingPlayerSavingTest, AStartRecordsThePlayWithThePositionItStartsFrom) {
    ReadingPlayer& player = loadPlayable();
    player.prepareWindow(160, {.pausing = true, .sentenceStep = std::nullopt, .whenReady = WhenReady::nothing});
    ASSERT_TRUE(waitUntilPrepared());
    const QUuid id = player.reading()->id;
    player.startPlayback(true);
    drainStore();
    const QList<Logged> records = [&] {
        QList<Logged> found;
        for (const Logged& call : store->log())
            if (call.call == Call::recordPlaybackOfReading) found.append(call);
        return found;
    }();
    EXPECT_THAT(records, ElementsAre(Logged{Call::recordPlaybackOfReading, id, ReadingProgress{160, false}}));
    ASSERT_TRUE(store->find(id));
    EXPECT_EQ(store->find(id)->lastPlayedAt, clock.now());
}

TEST_F(ReadingPlayerSavingTest, CheckpointsSaveWhilePlayingAndAPauseEndsThem) {
    ReadingPlayer& player = loadPlayable();
    player.startPlayback(true);
    advance(4.99s);
    drainStore();
    EXPECT_THAT(savedPositions(), IsEmpty());
    advance(10ms);  // 5 s: the second window's chunks came at 3 s, one each 0.3 s
    drainStore();
    EXPECT_THAT(savedPositions(), ElementsAre(ReadingProgress{128, false}));
    advance(5s);
    drainStore();
    EXPECT_EQ(savedPositions().size(), 2);

    // The pause saves once, and no checkpoint follows.
    player.pause();
    drainStore();
    EXPECT_EQ(savedPositions().size(), 3);
    advance(10s);
    drainStore();
    EXPECT_EQ(savedPositions().size(), 3);
}

TEST_F(ReadingPlayerSavingTest, NavigationsCloseTogetherSaveOnceAfterTheLast) {
    ReadingPlayer& player = loadPlayable();
    player.startPlayback(true);
    advance(1s);
    player.pause();
    drainStore();
    const qsizetype before = savedPositions().size();

    player.scheduleNavigationSave();
    advance(100ms);
    player.scheduleNavigationSave();
    advance(100ms);
    player.scheduleNavigationSave();
    advance(299ms);
    drainStore();
    EXPECT_EQ(savedPositions().size(), before);
    advance(1ms);
    drainStore();
    EXPECT_EQ(savedPositions().size(), before + 1);
    advance(1s);
    drainStore();
    EXPECT_EQ(savedPositions().size(), before + 1);

    // A save in between replaces the pending one.
    player.scheduleNavigationSave();
    player.savePosition();
    advance(1s);
    drainStore();
    EXPECT_EQ(savedPositions().size(), before + 2);
}

TEST_F(ReadingPlayerSavingTest, ASaveStoresThePositionAtTheMomentItIsAsked) {
    ReadingPlayer& player = loadPlayable();
    player.startPlayback(true);
    advance(0.9s);  // the fourth chunk, at 24

    // A slow store writes later what was asked now.
    store->delayNext(Call::updateProgress, 2s);
    player.savePosition();
    advance(0.3s);
    player.savePosition();
    advance(3s);
    drainStore();
    EXPECT_EQ(savedPositions().mid(0, 2), (QList<ReadingProgress>{{24, false}, {32, false}}));

    // While the loop fetches the next window the last chunk stays current, and a save stores its start.
    chunks.hold();
    ASSERT_TRUE(advanceUntil([&] { return chunks.heldCount() == 1; }, 30s));
    const qsizetype saves = savedPositions().size();
    player.savePosition();
    drainStore();
    EXPECT_EQ(savedPositions().size(), saves + 1);
    EXPECT_EQ(savedPositions().last(),
              (ReadingProgress{player.session().currentChunk()->sourceRange.lowerBound, false}));
    chunks.release();

    // While a window is prepared there is no chunk to save.
    player.pause();
    drainStore();
    const qsizetype paused = savedPositions().size();
    chunks.hold();
    player.prepareWindow(800, {.pausing = true, .sentenceStep = std::nullopt, .whenReady = WhenReady::saveNavigation});
    player.savePosition();
    drainStore();
    EXPECT_EQ(savedPositions().size(), paused);
}

TEST_F(ReadingPlayerSavingTest, LoadingAnotherReadingSavesThePlaceInTheOneLeft) {
    ReadingPlayer& player = loadPlayable();
    const QUuid left = player.reading()->id;
    player.startPlayback(true);
    advance(0.6s);
    player.load(readingOf(u"次の文書。"_s), 0);
    drainStore();
    ASSERT_FALSE(store->log().isEmpty());
    EXPECT_EQ(store->log().last(), (Logged{Call::updateProgress, left, ReadingProgress{16, false}}));
    EXPECT_FALSE(player.hasActuallyPlayed());
}

TEST_F(ReadingPlayerSavingTest, TheCheckpointsResumeAfterASpeedChangeThatPreparesAgain) {
    ReadingPlayer& player = loadPlayable();
    player.startPlayback(true);
    advance(2.9s);
    chunks.hold();
    advance(0.1s);
    ASSERT_EQ(chunks.heldCount(), 1);
    player.setBaseSeconds(0.2);
    settle();
    ASSERT_EQ(chunks.heldCount(), 2);
    EXPECT_EQ(player.session().status, Status::paused);
    advance(2.5s);
    drainStore();
    EXPECT_THAT(savedPositions(), IsEmpty());
    chunks.release();
    ASSERT_TRUE(waitUntil([&] { return player.session().status == Status::playing; }));
    advance(5s);
    drainStore();
    EXPECT_EQ(savedPositions().size(), 1);
    advance(5s);
    drainStore();
    EXPECT_EQ(savedPositions().size(), 2);
    EXPECT_EQ(playRecords(), 1);
}

TEST_F(ReadingPlayerSavingTest, APlayerDestroyedWhileItsTasksWaitLeavesNothingRunning) {
    ReadingPlayer& player = loadPlayable();
    player.startPlayback(true);
    advance(1s);
    player.scheduleNavigationSave();
    chunks.hold();
    player.prepareWindow(1'000,
                         {.pausing = false, .sentenceStep = std::nullopt, .whenReady = WhenReady::saveNavigation});
    settle();
    ASSERT_EQ(chunks.heldCount(), 1);
    drainStore();
    const qsizetype calls = store->log().size();

    destroyPlayer();
    chunks.release();
    advance(20s);
    drainStore();

    EXPECT_EQ(store->log().size(), calls);
    EXPECT_EQ(clock.pendingAlarms(), 0u);
}

}  // namespace
}  // namespace tavrine
