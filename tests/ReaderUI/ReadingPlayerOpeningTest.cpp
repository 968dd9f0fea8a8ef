// Opening stored readings: where they open, what they mark, and how a later action makes a pending
// opening give up, on the fake clock and store.
#include "PlayerTesting.h"

#include "ReaderUI/Player/ReadingPlayerMessages.h"

#include "support/QtPrinters.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

namespace tavrine {
namespace {

using namespace Qt::StringLiterals;
using namespace std::chrono_literals;
using Call = test::FakePlaybackStore::Call;
using Status = ReadingSession::Status;
using test::readingOf;

// Holds the result of an opening once it has one.
using Result = std::shared_ptr<std::optional<bool>>;

class ReadingPlayerOpeningTest : public testing::Test, public test::PlayerFixture {
protected:
    // Keeps reading in the store's library at progress, played last at lastPlayed.
    SavedReading keep(SavedReading reading, ReadingProgress progress, std::optional<Date> lastPlayed = std::nullopt,
                      std::optional<QString> epubFilename = std::nullopt) {
        std::optional<EPUBOriginal> original;
        if (epubFilename)
            original = EPUBOriginal{.filename = *epubFilename, .byteCount = 1, .sha256 = QString(64, u'0')};
        store->keep(StoredReading{.reading = reading,
                                  .originalTextFile = std::nullopt,
                                  .originalEPUB = original,
                                  .isInLibrary = true,
                                  .progress = progress,
                                  .lastPlayedAt = lastPlayed});
        return reading;
    }
    SavedReading keepLong(ReadingProgress progress, std::optional<Date> lastPlayed = std::nullopt) {
        return keep(readingOf(test::japaneseText(3'000)), progress, lastPlayed);
    }

    // Starts an opening; its result arrives later.
    Result start(QCoro::Task<bool> opening) { return begin(std::move(opening)); }
    Result open(const QUuid& id, CancellationToken token = CancellationToken::none()) {
        return start(player().openSavedReading(id, std::move(token)));
    }

    qsizetype shownOffset() { return test::shownOffset(player()); }
};

TEST_F(ReadingPlayerOpeningTest, AStoredReadingOpensPausedAtItsPlaceToResumeFromThere) {
    ReadingPlayer& player = makePlayer();
    const SavedReading stored = keepLong({1'200, false});
    EXPECT_TRUE(finish(open(stored.id)));
    EXPECT_EQ(player.reading(), stored);
    EXPECT_TRUE(test::shows(player, 1'200));
    EXPECT_EQ(player.session().status, Status::paused);
    EXPECT_TRUE(player.resumesFromCursor());
    EXPECT_TRUE(player.isCurrentReadingSaved());
    EXPECT_TRUE(player.hasPreviouslyPlayed());  // it has a place beyond its start
    EXPECT_EQ(player.loadingSavedReadingID(), std::nullopt);
    EXPECT_EQ(player.originalEPUBFilename(), std::nullopt);
    EXPECT_EQ(player.storageMessage(), std::nullopt);
    EXPECT_FALSE(player.pendingAutoplay());

    // The play command starts it through the delay.
    player.togglePlayback();
    EXPECT_EQ(player.session().status, Status::paused);
    advance(0.5s);
    EXPECT_EQ(player.session().status, Status::playing);

    // A short one with its EPUB original, opened at its start: chunked at once, never played before.
    const SavedReading book = keep(readingOf(u"吾輩は猫である。"_s), {0, false}, std::nullopt, u"猫.epub"_s);
    EXPECT_TRUE(finish(open(book.id)));
    EXPECT_EQ(player.originalEPUBFilename(), u"猫.epub"_s);
    EXPECT_FALSE(player.hasPreviouslyPlayed());
    EXPECT_EQ(player.session().index, 0);
    EXPECT_EQ(player.session().status, Status::paused);
}

TEST_F(ReadingPlayerOpeningTest, ACompletedReadingOrOnePlayedFromTheBeginningOpensAtItsStart) {
    ReadingPlayer& player = makePlayer();
    const SavedReading completed = keepLong({3'000, true});
    EXPECT_TRUE(finish(open(completed.id)));
    EXPECT_EQ(shownOffset(), 0);
    EXPECT_EQ(player.session().status, Status::paused);
    EXPECT_TRUE(player.hasPreviouslyPlayed());

    // From the beginning: the record still says it was played.
    const SavedReading played = keepLong({0, false}, Date{700'000'000});
    EXPECT_TRUE(finish(start(player.playSavedReading(played.id, true, true))));
    EXPECT_EQ(shownOffset(), 0);
    EXPECT_TRUE(player.hasPreviouslyPlayed());
    EXPECT_TRUE(player.pendingAutoplay());
    advance(0.5s);
    EXPECT_EQ(player.session().status, Status::playing);

    const SavedReading fresh = keepLong({0, false});
    EXPECT_TRUE(finish(open(fresh.id)));
    EXPECT_FALSE(player.hasPreviouslyPlayed());
}

TEST_F(ReadingPlayerOpeningTest, APlayingReadingReopenedResumesFromTheSavedPlace) {
    ReadingPlayer& player = makePlayer();
    const SavedReading stored = keepLong({0, false});
    ASSERT_TRUE(finish(open(stored.id)));
    player.startPlayback(true);
    advance(2s);
    const qsizetype reached = shownOffset();
    ASSERT_GT(reached, 0);

    // The pause's save is queued before the lookup, which reads the store after it.
    EXPECT_TRUE(finish(open(stored.id)));
    EXPECT_EQ(shownOffset(), reached);
}

TEST_F(ReadingPlayerOpeningTest, OnlyTheLatestOfTwoOpeningsOpens) {
    ReadingPlayer& player = makePlayer();
    const SavedReading first = keepLong({100, false});
    const SavedReading second = keepLong({200, false});
    const Result firstResult = open(first.id);
    const Result secondResult = open(second.id);
    EXPECT_TRUE(finish(secondResult));
    EXPECT_FALSE(finish(firstResult));
    EXPECT_EQ(player.reading(), second);
    EXPECT_TRUE(test::shows(player, 200));
}

TEST_F(ReadingPlayerOpeningTest, APauseDuringTheLookupLeavesTheScreenAsItWas) {
    ReadingPlayer& player = makePlayer();
    player.load(readingOf(u"吾輩は猫である。"_s), 0);
    const SavedReading shown = *player.reading();
    const SavedReading stored = keepLong({100, false});
    store->delayNext(Call::loadState, 1s);

    const Result result = open(stored.id);
    EXPECT_EQ(player.loadingSavedReadingID(), stored.id);
    player.pause();
    EXPECT_EQ(player.loadingSavedReadingID(), std::nullopt);
    advance(2s);  // the lookup starts a turn or two later
    EXPECT_FALSE(finish(result));
    EXPECT_EQ(player.reading(), shown);
    EXPECT_EQ(player.storageMessage(), std::nullopt);
}

TEST_F(ReadingPlayerOpeningTest, AFailedLookupIsAnnouncedOnlyWhileTheOpeningIsCurrent) {
    ReadingPlayer& player = makePlayer();
    player.load(readingOf(u"吾輩は猫である。"_s), 0);
    const SavedReading shown = *player.reading();
    const SavedReading stored = keepLong({100, false});
    const StoreFailure failure = ReadingStoreError::invalidData();

    store->failNext(Call::loadState, failure);
    EXPECT_FALSE(finish(open(stored.id)));
    EXPECT_EQ(player.storageMessage(), ReadingPlayerMessages::kStoredReadingLookupFailed);
    EXPECT_EQ(player.loadingSavedReadingID(), std::nullopt);
    EXPECT_EQ(player.reading(), shown);

    // Stale by the time it fails: nothing is said.
    ReadingPlayer& next = makePlayer();
    next.load(shown, 0);
    store->respondNext(Call::loadState, {1s, failure});
    const Result result = open(stored.id);
    next.pause();
    advance(2s);
    EXPECT_FALSE(finish(result));
    EXPECT_EQ(next.storageMessage(), std::nullopt);
    EXPECT_EQ(next.reading(), shown);
}

TEST_F(ReadingPlayerOpeningTest, AReadingTheStoreDoesNotHaveIsDroppedAsRemoved) {
    ReadingPlayer& player = makePlayer();
    player.load(readingOf(u"吾輩は猫である。"_s), 0);
    const SavedReading shown = *player.reading();
    // The lookup reports the reading removed, which drops the opening before it could say anything: the
    // list it was chosen from loses it with the store's next change.
    EXPECT_FALSE(finish(open(QUuid::createUuid())));
    EXPECT_EQ(player.storageMessage(), std::nullopt);
    EXPECT_EQ(player.loadingSavedReadingID(), std::nullopt);
    EXPECT_EQ(player.reading(), shown);
}

TEST_F(ReadingPlayerOpeningTest, WithoutAStoreTheOpeningIsRefusedAndPlaybackGoesOn) {
    ReadingPlayer& player = makePlayer(false);
    player.load(readingOf(u"吾輩は猫である。名前はまだ無い。"_s), 0);
    player.startPlayback(true);
    EXPECT_FALSE(finish(open(QUuid::createUuid())));
    EXPECT_EQ(player.storageMessage(), ReadingPlayerMessages::kStoredReadingsUnavailable);
    EXPECT_EQ(player.session().status, Status::playing);
}

TEST_F(ReadingPlayerOpeningTest, AnOpeningAskedForWhileInactivePlaysHalfASecondAfterActivation) {
    ReadingPlayer& player = makePlayer();
    const SavedReading stored = keepLong({500, false});
    EXPECT_TRUE(finish(start(player.playSavedReading(stored.id, false, false))));
    EXPECT_TRUE(test::shows(player, 500));
    EXPECT_TRUE(player.pendingAutoplay());
    EXPECT_TRUE(player.isWaitingToPlay());
    advance(2s);
    EXPECT_NE(player.session().status, Status::playing);

    player.scenePhaseChanged(true);
    EXPECT_NE(player.session().status, Status::playing);
    advance(0.5s);
    EXPECT_EQ(player.session().status, Status::playing);
    EXPECT_TRUE(test::shows(player, 500));
}

TEST_F(ReadingPlayerOpeningTest, AnOpeningGivesUpWhenItsWindowIsOvertaken) {
    ReadingPlayer& player = makePlayer();
    const SavedReading stored = keepLong({100, false});

    // Cancelled while its window is prepared: the preparation ends too, and nothing is settled.
    chunks.hold();
    CancellationToken token;
    Result result = open(stored.id, token);
    ASSERT_TRUE(waitUntil([&] { return chunks.heldCount() == 1; }));
    EXPECT_EQ(player.reading(), stored);
    token.cancel();
    chunks.release();
    EXPECT_FALSE(finish(result));
    EXPECT_FALSE(player.isPreparing());
    EXPECT_TRUE(player.session().chunks.isEmpty());
    EXPECT_FALSE(player.resumesFromCursor());

    // A seek while the window is prepared starts a preparation of its own, which stands.
    chunks.hold();
    result = open(stored.id);
    ASSERT_TRUE(waitUntil([&] { return chunks.heldCount() == 1; }));
    player.seekToFraction(0.5);
    chunks.release();
    EXPECT_FALSE(finish(result));
    ASSERT_TRUE(waitUntilPrepared());
    EXPECT_TRUE(test::shows(player, 1'500));
    EXPECT_FALSE(player.resumesFromCursor());

    // An import replaces the reading meanwhile: it stays.
    chunks.hold();
    result = start(player.playSavedReading(stored.id, false, true));
    ASSERT_TRUE(waitUntil([&] { return chunks.heldCount() == 1; }));
    const ImportedReading imported = ImportedReading::fromText(u"取り込み。"_s, false, clock);
    EXPECT_TRUE(player.apply(imported, true));
    chunks.release();
    EXPECT_FALSE(finish(result));
    EXPECT_EQ(player.reading(), imported.reading);
    EXPECT_FALSE(player.pendingAutoplay());
}

TEST_F(ReadingPlayerOpeningTest, WhileQuittingNothingOpensButTheUndoIsDroppedFirst) {
    ReadingPlayer& player = makePlayer();
    const SavedReading stored = keepLong({100, false});
    ASSERT_TRUE(player.apply(
        ImportedReading::create(ReadingDocument{.sections = std::nullopt, .text = u"貼り付け。"_s, .spans = {}}, false,
                                std::nullopt, std::nullopt, /*allowsReplacementUndo=*/true, clock),
        true));
    ASSERT_TRUE(player.replacementSnapshot());
    player.prepareForTermination();
    EXPECT_FALSE(finish(open(stored.id)));
    EXPECT_EQ(player.replacementSnapshot(), std::nullopt);
    EXPECT_EQ(player.replacementExpectedID(), std::nullopt);
    EXPECT_NE(player.reading(), stored);
    EXPECT_THAT(store->calls(), testing::Not(testing::Contains(Call::storedReading)));
}

}  // namespace
}  // namespace tavrine
