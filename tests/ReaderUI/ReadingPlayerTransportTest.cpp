// What the controls call: the play/pause toggle, replay, speed and position steps, seeks, jumps, book
// destinations, imports and the application's activity, all on the fake clock and store.
#include "PlayerTesting.h"

#include "support/NavigationTrees.h"
#include "support/QtPrinters.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <limits>

namespace tavrine {
namespace {

using namespace Qt::StringLiterals;
using namespace std::chrono_literals;
using Status = ReadingSession::Status;
using test::readingOf;

// Three sentences, chunked at once.
const QString kShortText = u"吾輩は猫である。名前はまだ無い。どこで生れたかとんと見当がつかぬ。"_s;
constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();

class ReadingPlayerTransportTest : public testing::Test, public test::PlayerFixture {
protected:
    // A prepared reading of length units whose every window is 8-unit chunks over 400 units from the
    // offset asked for, opened at offset once its first window is there.
    ReadingPlayer& loadPrepared(qsizetype length, qsizetype offset = 0) {
        ReadingPlayer& loaded = makePlayer();
        chunks.answerWith(
            [length](qsizetype from) { return test::tilingChunks(from, std::min(from + 400, length), 8); });
        loaded.load(readingOf(test::japaneseText(length)), offset);
        EXPECT_TRUE(waitUntilPrepared());
        return loaded;
    }

    ReadingPlayer& loadShort() {
        ReadingPlayer& loaded = makePlayer();
        loaded.load(readingOf(kShortText), 0);
        return loaded;
    }

    qsizetype shownOffset() { return test::shownOffset(player()); }

    // Expects the automatic start: nothing for 0.5 s less a millisecond, then playing.
    void expectDelayedStart() {
        EXPECT_TRUE(player().isWaitingToPlay());
        advance(499ms);
        EXPECT_NE(player().session().status, Status::playing) << "started early";
        advance(1ms);
        EXPECT_EQ(player().session().status, Status::playing) << "did not start";
    }
};

TEST_F(ReadingPlayerTransportTest, TheToggleFollowsTheSessionStatus) {
    ReadingPlayer& player = loadShort();

    // Ready: a replay, which starts after the delay.
    player.togglePlayback();
    EXPECT_EQ(player.session().status, Status::ready);
    expectDelayedStart();
    EXPECT_EQ(player.session().index, 0);

    // Playing: paused, the position saved.
    advance(0.3s);
    player.togglePlayback();
    EXPECT_EQ(player.session().status, Status::paused);
    drainStore();
    EXPECT_EQ(savedPositions(), (QList<ReadingProgress>{{shownOffset(), false}}));

    // Paused: playing at once, a new play recorded.
    player.togglePlayback();
    EXPECT_EQ(player.session().status, Status::playing);
    drainStore();
    EXPECT_EQ(playRecords(), 2);

    // Paused at a position chosen in the source: the delayed start again.
    player.togglePlayback();
    const ReadingChunk last = player.session().chunks.last();
    player.jumpToSourceOffset(last.sourceRange.lowerBound + 1, kShortText, false);
    EXPECT_EQ(player.session().status, Status::paused);
    EXPECT_TRUE(player.resumesFromCursor());
    player.togglePlayback();
    EXPECT_FALSE(player.resumesFromCursor());
    expectDelayedStart();
    EXPECT_EQ(player.session().currentChunk(), last);

    // Completed: back to the first chunk, ready, and playing again after the delay.
    ASSERT_TRUE(advanceUntil([&] { return player.session().status == Status::completed; }, 10s));
    player.togglePlayback();
    EXPECT_EQ(player.session().index, 0);
    EXPECT_EQ(player.session().status, Status::ready);
    expectDelayedStart();
    EXPECT_EQ(player.session().index, 0);
}

TEST_F(ReadingPlayerTransportTest, TheToggleDropsAStartWaitingForItsWindow) {
    ReadingPlayer& player = makePlayer();
    chunks.hold();
    player.load(readingOf(test::japaneseText(3'000)), 0);
    player.startPlayback(true);
    ASSERT_TRUE(player.isWaitingToPlay());

    player.togglePlayback();
    EXPECT_FALSE(player.isWaitingToPlay());
    EXPECT_FALSE(player.isPreparing());
    EXPECT_EQ(player.session().status, Status::paused);
    chunks.release();
    drainStore();
    EXPECT_TRUE(player.session().chunks.isEmpty());
    EXPECT_FALSE(player.hasActuallyPlayed());
}

TEST_F(ReadingPlayerTransportTest, ReplayOnAPreparedTextPreparesTheStartAndPlaysItAfterTheDelay) {
    ReadingPlayer& player = loadPrepared(2'000, 1'000);
    player.startPlayback(true);
    advance(1s);
    player.replay();
    EXPECT_EQ(chunks.offsets().last(), 0);
    EXPECT_EQ(player.session().status, Status::ready);  // not paused: it waits for its start
    EXPECT_TRUE(player.pendingAutoplay());
    ASSERT_TRUE(waitUntilPrepared());
    EXPECT_EQ(player.session().status, Status::ready);
    expectDelayedStart();
    EXPECT_EQ(shownOffset(), 0);
}

TEST_F(ReadingPlayerTransportTest, SpeedStepsMoveTheMultiplierByATenthWithinItsBounds) {
    ReadingPlayer& player = makePlayer();
    const auto stepped = [&](double from, bool faster) {
        player.setBaseSeconds(from);
        player.stepSpeed(faster);
        return player.baseSeconds();
    };
    EXPECT_DOUBLE_EQ(stepped(0.3, true), 0.3 / 1.1);
    EXPECT_EQ(stepped(0.3, false), 0.3);   // 1.0× is the slowest
    EXPECT_EQ(stepped(0.04, true), 0.04);  // 7.5× the fastest
    EXPECT_DOUBLE_EQ(stepped(0.04, false), 0.3 / 7.4);
    EXPECT_DOUBLE_EQ(stepped(kNaN, true), 0.3 / 1.1);  // a speed that is no number counts as 1.0×
    EXPECT_DOUBLE_EQ(stepped(0.5, true), 0.3 / 1.1);
    EXPECT_EQ(stepped(0.01, true), 0.04);
    EXPECT_EQ(defaults.doubleForKey(ReadingPlayer::kBaseSecondsKey), 0.04);

    // 65 steps lead from one end to the other exactly, however the tenths add up.
    player.setBaseSeconds(0.3);
    for (int step = 0; step < 65; ++step) player.stepSpeed(true);
    EXPECT_EQ(player.baseSeconds(), 0.04);
    for (int step = 0; step < 65; ++step) player.stepSpeed(false);
    EXPECT_EQ(player.baseSeconds(), 0.3);
}

TEST_F(ReadingPlayerTransportTest, PositionStepsAreAHundredthOfTheTextAndForwardLeavesTheChunk) {
    // 20,001 units: steps of 200.
    ReadingPlayer& player = loadPrepared(20'001, 10'000);
    player.stepPosition(false);
    EXPECT_EQ(chunks.offsets().last(), 9'800);
    ASSERT_TRUE(waitUntilPrepared());
    player.stepPosition(true);  // the chunk [9,800, 9,808) is far behind the step
    EXPECT_EQ(chunks.offsets().last(), 10'000);
    ASSERT_TRUE(waitUntilPrepared());

    // 50 units: 0.49 rounds to 0, and the step is 1. Forward from a chunk of 20 lands at its end.
    ReadingPlayer& fifty = makePlayer();
    chunks.answerWith([](qsizetype) {
        QList<ReadingChunk> window{test::chunkAt(0, 20)};
        window.append(test::tilingChunks(20, 50, 8));
        return window;
    });
    fifty.load(readingOf(test::japaneseText(50), test::sectionsOf({20, 30})), 0);
    ASSERT_TRUE(waitUntilPrepared());
    fifty.stepPosition(true);
    EXPECT_EQ(chunks.offsets().last(), 20);
    ASSERT_TRUE(waitUntilPrepared());
    fifty.stepPosition(false);
    EXPECT_EQ(chunks.offsets().last(), 19);
    ASSERT_TRUE(waitUntilPrepared());
    EXPECT_EQ(shownOffset(), 0);

    // At either end the step stops there.
    fifty.stepPosition(false);
    EXPECT_EQ(chunks.offsets().last(), 0);
    ASSERT_TRUE(waitUntilPrepared());
    fifty.seekToFraction(1.0);
    ASSERT_TRUE(waitUntilPrepared());
    fifty.stepPosition(true);
    EXPECT_EQ(chunks.offsets().last(), 49);
}

TEST_F(ReadingPlayerTransportTest, SeeksClampTheFractionAndAlwaysPrepareAgain) {
    ReadingPlayer& player = loadPrepared(2'000);
    player.startPlayback(true);
    advance(1s);

    player.seekToFraction(1.5);
    EXPECT_EQ(player.requestedOffset(), 1'999);
    EXPECT_EQ(player.session().status, Status::paused);
    EXPECT_TRUE(player.isPreparing());
    ASSERT_TRUE(waitUntilPrepared());
    EXPECT_EQ(player.session().status, Status::paused);
    EXPECT_EQ(shownOffset(), 1'999);

    player.seekToFraction(-0.2);
    EXPECT_EQ(chunks.offsets().last(), 0);
    ASSERT_TRUE(waitUntilPrepared());

    // A target inside the window shown is prepared again all the same.
    const qsizetype requests = chunks.offsets().size();
    player.seekToFraction(0.1);
    EXPECT_EQ(chunks.offsets().size(), requests + 1);
    EXPECT_EQ(chunks.offsets().last(), 200);  // 0.1 × 1,999 = 199.9
    ASSERT_TRUE(waitUntilPrepared());

    // A fraction that is no number only pauses and forgets the cursor.
    player.jumpToSourceOffset(300, player.reading()->document.text, false);
    ASSERT_TRUE(waitUntilPrepared());
    ASSERT_TRUE(player.resumesFromCursor());
    player.seekToFraction(kNaN);
    EXPECT_FALSE(player.resumesFromCursor());
    EXPECT_FALSE(player.isPreparing());
    EXPECT_EQ(chunks.offsets().last(), 300);
    EXPECT_EQ(shownOffset(), 300);

    // Seeks save nothing themselves; the navigation save records the place 0.3 s after the last window
    // arrived (the reading has played).
    drainStore();
    EXPECT_THAT(savedPositions(), testing::IsEmpty());
    advance(0.3s);
    drainStore();
    EXPECT_EQ(savedPositions(), (QList<ReadingProgress>{{300, false}}));
}

TEST_F(ReadingPlayerTransportTest, SeeksInAShortTextMoveTheSessionAtOnce) {
    ReadingPlayer& player = loadShort();
    player.startPlayback(true);

    player.seekToFraction(1.5);
    EXPECT_EQ(player.session().status, Status::paused);
    EXPECT_EQ(player.session().index, player.session().chunks.size() - 1);
    player.seekToFraction(-0.2);
    EXPECT_EQ(player.session().index, 0);
    player.seekToFraction(0.5);  // unit 16 begins the third sentence
    EXPECT_EQ(shownOffset(), 16);
    EXPECT_EQ(player.session().status, Status::paused);

    advance(299ms);
    drainStore();
    EXPECT_THAT(savedPositions(), testing::IsEmpty());
    advance(1ms);
    drainStore();
    EXPECT_EQ(savedPositions(), (QList<ReadingProgress>{{16, false}}));

    player.seekToFraction(kNaN);
    EXPECT_EQ(shownOffset(), 16);
}

TEST_F(ReadingPlayerTransportTest, JumpsLeaveThePlayerPausedToResumeFromThere) {
    // Short text: the chunk that holds the offset, paused.
    ReadingPlayer& player = loadShort();
    const SavedReading loaded = *player.reading();
    player.jumpToSourceOffset(10, kShortText, false);
    EXPECT_EQ(shownOffset(), 8);
    EXPECT_EQ(player.session().status, Status::paused);
    EXPECT_TRUE(player.resumesFromCursor());
    EXPECT_EQ(player.reading(), loaded);

    // An edited source: a new, plain, unsaved reading of that text.
    const QString edited = u"新しい文章です。ここから読む。"_s;
    player.jumpToSourceOffset(9, edited, true);
    ASSERT_TRUE(player.reading());
    EXPECT_NE(player.reading()->id, loaded.id);
    EXPECT_EQ(player.reading()->document, (ReadingDocument{.sections = std::nullopt, .text = edited, .spans = {}}));
    EXPECT_EQ(player.reading()->title, std::nullopt);
    EXPECT_EQ(player.reading()->importedAt, clock.now());
    EXPECT_FALSE(player.isCurrentReadingSaved());
    EXPECT_TRUE(test::shows(player, 9));
    EXPECT_EQ(player.session().status, Status::paused);
    EXPECT_TRUE(player.resumesFromCursor());

    // A prepared text: its window prepared there, paused before and after.
    ReadingPlayer& prepared = loadPrepared(3'000);
    prepared.jumpToSourceOffset(2'500, prepared.reading()->document.text, false);
    EXPECT_EQ(prepared.requestedOffset(), 2'500);
    EXPECT_EQ(prepared.session().status, Status::paused);
    EXPECT_TRUE(prepared.resumesFromCursor());
    ASSERT_TRUE(waitUntilPrepared());
    EXPECT_EQ(shownOffset(), 2'500);
    EXPECT_EQ(prepared.session().status, Status::paused);

    // Nothing to play: nothing to resume.
    ReadingPlayer& empty = makePlayer();
    empty.jumpToSourceOffset(0, QString(), false);
    EXPECT_FALSE(empty.resumesFromCursor());
}

TEST_F(ReadingPlayerTransportTest, BookDestinationsMustLeadIntoTheOpenBook) {
    // Two chapters, with a character outside the basic plane at 1,000 in the second.
    const QString text = test::japaneseText(1'000) + u"𠮷"_s + test::japaneseText(998);
    SavedReading book = readingOf(text, test::sectionsOf({600, 1'400}));
    book.epub = EPUBBook::Information{};
    ReadingPlayer& player = makePlayer();
    chunks.answerWith(
        [](qsizetype from) { return test::tilingChunks(from, std::min<qsizetype>(from + 400, 2'000), 8); });
    player.load(book, 0);
    ASSERT_TRUE(waitUntilPrepared());
    const qsizetype requests = chunks.offsets().size();

    const auto refused = [&](const EPUBBook::Destination& destination, const QUuid& id) {
        const bool moved = player.navigate(destination, id);
        EXPECT_FALSE(moved);
        EXPECT_EQ(chunks.offsets().size(), requests);
        EXPECT_EQ(player.currentSourceOffset(), 0);
        EXPECT_FALSE(player.resumesFromCursor());
        return !moved;
    };
    EXPECT_TRUE(refused(test::at(u"s1"_s, 700), QUuid::createUuid()));  // another reading
    EXPECT_TRUE(refused(EPUBBook::Destination::unavailable(EPUBBook::Unavailable::missingAnchor), book.id));
    EXPECT_TRUE(refused(test::at(u"nowhere"_s, 700), book.id));
    EXPECT_TRUE(refused(test::at(u"s0"_s, 600), book.id));    // the end of its section
    EXPECT_TRUE(refused(test::at(u"s1"_s, 599), book.id));    // before its section
    EXPECT_TRUE(refused(test::at(u"s1"_s, 1'001), book.id));  // inside a surrogate pair

    EXPECT_TRUE(player.navigate(test::at(u"s1"_s, 1'002), book.id));
    EXPECT_EQ(player.requestedOffset(), 1'002);
    EXPECT_TRUE(player.resumesFromCursor());
    EXPECT_EQ(player.session().status, Status::paused);
    ASSERT_TRUE(waitUntilPrepared());
    EXPECT_EQ(shownOffset(), 1'002);

    // A plain reading with the same sections is no book.
    const SavedReading plain = readingOf(text, test::sectionsOf({600, 1'400}));
    player.load(plain, 0);
    ASSERT_TRUE(waitUntilPrepared());
    EXPECT_FALSE(player.navigate(test::at(u"s1"_s, 700), plain.id));

    // Nor does anything lead anywhere while quitting.
    player.load(book, 0);
    ASSERT_TRUE(waitUntilPrepared());
    player.prepareForTermination();
    EXPECT_FALSE(player.navigate(test::at(u"s1"_s, 700), book.id));
}

TEST_F(ReadingPlayerTransportTest, AnImportIsAppliedOnceAndKeepsWhatItReplacesOnlyForUndo) {
    ReadingPlayer& player = loadShort();
    player.startPlayback(true);
    advance(0.3s);
    const qsizetype replacedOffset = shownOffset();

    // Without undo: only the expected reading is noted.
    const ImportedReading first = ImportedReading::fromText(u"一つ目の取り込み。"_s, false, clock);
    EXPECT_TRUE(player.apply(first, true));
    EXPECT_EQ(player.reading(), first.reading);
    EXPECT_EQ(player.replacementSnapshot(), std::nullopt);
    EXPECT_EQ(player.replacementExpectedID(), first.id());
    EXPECT_FALSE(player.canUndoReplacement());
    EXPECT_FALSE(player.canRedoReplacement());
    EXPECT_FALSE(player.undoReplacement(false));
    EXPECT_EQ(player.session().status, Status::ready);
    EXPECT_FALSE(player.pendingAutoplay());
    drainStore();
    // The reading it replaced kept its place.
    EXPECT_THAT(savedPositions(), testing::AllOf(testing::Not(testing::IsEmpty()),
                                                 testing::Each(ReadingProgress{replacedOffset, false})));

    // Applied again: refused, nothing changes.
    player.jumpToSourceOffset(3, first.text(), false);
    const ReadingSession session = player.session();
    EXPECT_FALSE(player.apply(first, true));
    EXPECT_EQ(player.session(), session);
    EXPECT_EQ(player.handledImportIDs(), (QSet<QUuid>{first.id()}));

    // With undo: what the first import showed is kept.
    const ImportedReading second =
        ImportedReading::create(ReadingDocument{.sections = std::nullopt, .text = u"二つ目。"_s, .spans = {}}, false,
                                std::nullopt, std::nullopt, /*allowsReplacementUndo=*/true, clock);
    EXPECT_TRUE(player.apply(second, true));
    ASSERT_TRUE(player.replacementSnapshot());
    EXPECT_EQ(player.replacementSnapshot()->reading, first.reading);
    EXPECT_EQ(player.replacementSnapshot()->session, session);
    ASSERT_TRUE(session.currentChunk());
    EXPECT_EQ(player.replacementSnapshot()->offset, session.currentChunk()->sourceRange.lowerBound);
    EXPECT_FALSE(player.replacementSnapshot()->previouslyPlayed);
    EXPECT_EQ(player.replacementExpectedID(), second.id());
}

TEST_F(ReadingPlayerTransportTest, AnAutomaticImportStartsHalfASecondAfterTheApplicationIsActive) {
    // Active: after the delay.
    ReadingPlayer& player = makePlayer();
    EXPECT_TRUE(player.apply(ImportedReading::fromText(kShortText, true, clock), true));
    EXPECT_TRUE(player.pendingAutoplay());
    expectDelayedStart();

    // Inactive, a short text: nothing plays until the application is active again.
    EXPECT_TRUE(player.apply(ImportedReading::fromText(kShortText, true, clock), false));
    EXPECT_TRUE(player.pendingAutoplay());
    advance(2s);
    EXPECT_EQ(player.session().status, Status::ready);
    player.scenePhaseChanged(true);
    expectDelayedStart();

    // Inactive, a long text whose first window is still being prepared: the preparation goes on through
    // the deactivation, and the start follows the activation.
    chunks.hold();
    EXPECT_TRUE(player.apply(ImportedReading::fromText(test::japaneseText(3'000), true, clock), false));
    EXPECT_TRUE(player.isPreparing());
    EXPECT_TRUE(player.pendingAutoplay());
    chunks.release();
    ASSERT_TRUE(waitUntilPrepared());
    ASSERT_TRUE(player.session().currentChunk());
    advance(2s);
    EXPECT_EQ(player.session().status, Status::ready);
    player.scenePhaseChanged(true);
    expectDelayedStart();
    EXPECT_EQ(shownOffset(), 0);

    // Nothing to play: nothing pending.
    EXPECT_TRUE(player.apply(ImportedReading::fromText(QString(), true, clock), true));
    EXPECT_FALSE(player.pendingAutoplay());
    EXPECT_FALSE(player.isWaitingToPlay());
}

TEST_F(ReadingPlayerTransportTest, DeactivationStopsEveryStartThatWouldPlayWhileInactive) {
    // A start waiting for its window.
    ReadingPlayer& player = makePlayer();
    chunks.hold();
    player.load(readingOf(test::japaneseText(3'000)), 0);
    player.startPlayback(true);
    ASSERT_TRUE(player.isWaitingToPlay());
    player.scenePhaseChanged(false);
    EXPECT_FALSE(player.isWaitingToPlay());
    EXPECT_FALSE(player.isPreparing());
    chunks.release();
    advance(2s);
    EXPECT_NE(player.session().status, Status::playing);

    // A window prepared for no start still comes: a long reading opened while inactive is shown.
    chunks.hold();
    player.load(readingOf(test::japaneseText(3'000)), 0);
    player.scenePhaseChanged(false);
    chunks.release();
    ASSERT_TRUE(waitUntilPrepared());
    EXPECT_EQ(shownOffset(), 0);
    EXPECT_NE(player.session().status, Status::playing);

    // The automatic start while it waits its half second.
    player.load(readingOf(kShortText), 0);
    player.resumeFromCursor();
    advance(0.2s);
    player.scenePhaseChanged(false);
    EXPECT_FALSE(player.pendingAutoplay());
    advance(2s);
    EXPECT_NE(player.session().status, Status::playing);
    // Becoming active again does not bring it back.
    player.scenePhaseChanged(true);
    advance(2s);
    EXPECT_NE(player.session().status, Status::playing);

    // Playing: paused and saved.
    player.startPlayback(true);
    advance(0.3s);
    player.scenePhaseChanged(false);
    EXPECT_EQ(player.session().status, Status::paused);
    drainStore();
    EXPECT_EQ(savedPositions().size(), 1);

    // Anything else: the position is saved and the player stays as it was.
    player.scenePhaseChanged(false);
    drainStore();
    EXPECT_EQ(savedPositions().size(), 2);
    EXPECT_EQ(player.session().status, Status::paused);
}

TEST_F(ReadingPlayerTransportTest, WhileQuittingNothingStartsButSentencesStillMove) {
    ReadingPlayer& player = loadShort();
    player.startPlayback(true);
    advance(0.3s);
    player.prepareForTermination();
    EXPECT_TRUE(player.isTerminating());
    EXPECT_EQ(player.session().status, Status::paused);
    drainStore();
    EXPECT_EQ(savedPositions().size(), 1);

    player.togglePlayback();
    player.replay();
    EXPECT_FALSE(player.pendingAutoplay());
    advance(1s);
    EXPECT_NE(player.session().status, Status::playing);
    EXPECT_FALSE(player.apply(ImportedReading::fromText(kShortText, true, clock), true));

    player.moveSentence(true);
    EXPECT_EQ(shownOffset(), 8);
    player.moveSentence(true);
    EXPECT_EQ(shownOffset(), 16);
}

}  // namespace
}  // namespace tavrine
