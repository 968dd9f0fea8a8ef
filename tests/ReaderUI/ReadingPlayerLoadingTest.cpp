// The player's state and loading: the stored speed, the storage notice, the derived position and
// section, what a change signals, and how a reading's text becomes its chunks.
#include "PlayerTesting.h"

#include "ReaderUI/Player/ReadingPlayerMessages.h"

#include "support/QtPrinters.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cmath>
#include <limits>

namespace tavrine {
namespace {

using namespace Qt::StringLiterals;
using namespace std::chrono_literals;
using Status = ReadingSession::Status;
using WhenReady = ReadingPlayer::WhenReady;
using test::readingOf;

class ReadingPlayerLoadingTest : public testing::Test, public test::PlayerFixture {};

TEST_F(ReadingPlayerLoadingTest, StoredSpeedIsReadIntoTheSpeedRange) {
    struct Case {
        std::optional<double> stored;
        double baseSeconds;
        double multiplier;
    };
    const double nan = std::numeric_limits<double>::quiet_NaN();
    const double infinity = std::numeric_limits<double>::infinity();
    const Case cases[] = {
        {std::nullopt, 0.3, 1.0}, {0.0, 0.3, 1.0},      {0.01, 0.04, 7.5},     {-1.0, 0.04, 7.5},
        {1.0, 0.3, 1.0},          {infinity, 0.3, 1.0}, {-infinity, 0.3, 1.0}, {nan, 0.3, 1.0},
        {0.1, 0.1, 3.0},          {0.04, 0.04, 7.5},    {0.3, 0.3, 1.0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.stored ? c.stored.value() : -99);
        defaults.remove(ReadingPlayer::kBaseSecondsKey);
        if (c.stored) defaults.setDouble(ReadingPlayer::kBaseSecondsKey, *c.stored);
        const ReadingPlayer& made = makePlayer();
        EXPECT_DOUBLE_EQ(made.baseSeconds(), c.baseSeconds);
        EXPECT_DOUBLE_EQ(made.speedMultiplier(), c.multiplier);
    }
    // A string never reads as a speed.
    defaults.setString(ReadingPlayer::kBaseSecondsKey, u"0.1"_s);
    EXPECT_DOUBLE_EQ(makePlayer().baseSeconds(), 0.3);

    defaults.setDouble(ReadingPlayer::kBaseSecondsKey, 0.1);
    const ReadingPlayer& made = makePlayer();
    EXPECT_EQ(made.speedLabel(), u"3.0×"_s);
    EXPECT_EQ(made.speedAccessibilityValue(), u"3.0倍"_s);
}

TEST_F(ReadingPlayerLoadingTest, OnlyAnUnavailableStoreIsAnnounced) {
    EXPECT_EQ(makePlayer(false, true).storageMessage(), ReadingPlayerMessages::kStoreUnavailable);
    EXPECT_EQ(makePlayer(false, false).storageMessage(), std::nullopt);
    EXPECT_EQ(makePlayer(true, false).storageMessage(), std::nullopt);

    // The notice outlives every load, since no load can make the store available.
    ReadingPlayer& withoutStore = makePlayer(false, true);
    withoutStore.load(readingOf(u"吾輩は猫である。"_s), 0);
    withoutStore.startPlayback(true);
    withoutStore.load(readingOf(test::japaneseText(2'000)), 0);
    EXPECT_EQ(withoutStore.storageMessage(), ReadingPlayerMessages::kStoreUnavailable);
}

TEST_F(ReadingPlayerLoadingTest, TheSectionOfThePositionEndsBeforeItsEnd) {
    ReadingPlayer& player = makePlayer();
    EXPECT_EQ(player.currentSection(), std::nullopt);

    const QString text = test::japaneseText(2'000);
    const auto sections = test::sectionsOf({600, 1'400});
    // While the window is prepared the position is the offset asked for.
    player.load(readingOf(text, sections), 599);
    EXPECT_EQ(player.currentSourceOffset(), 599);
    EXPECT_EQ(player.currentSection(), sections[0]);
    player.load(readingOf(text, sections), 600);
    EXPECT_EQ(player.currentSection(), sections[1]);

    // Sections that stop short of the text leave the rest without a section.
    player.load(readingOf(text, test::sectionsOf({10})), 1'500);
    EXPECT_EQ(player.currentSection(), std::nullopt);
    player.load(readingOf(text), 1'500);
    EXPECT_EQ(player.currentSection(), std::nullopt);
}

TEST_F(ReadingPlayerLoadingTest, EqualWritesAreSilentButEverySessionWriteSignals) {
    ReadingPlayer& player = makePlayer();
    int sessionSignals = 0;
    int waitingSignals = 0;
    int loadIDSignals = 0;
    QObject::connect(&player, &ReadingPlayer::sessionChanged, [&] { ++sessionSignals; });
    QObject::connect(&player, &ReadingPlayer::isWaitingToPlayChanged, [&] { ++waitingSignals; });
    QObject::connect(&player, &ReadingPlayer::savedLoadIDChanged, [&] { ++loadIDSignals; });

    player.pause();
    player.pause();
    EXPECT_EQ(sessionSignals, 2);  // a pause writes the session even when it stays ready
    EXPECT_EQ(waitingSignals, 0);  // it was false and stays false
    EXPECT_EQ(loadIDSignals, 2);   // renewed by every pause
}

TEST_F(ReadingPlayerLoadingTest, ShortPlainTextsAreChunkedAtOnceAndTheRestWindowByWindow) {
    ReadingPlayer& player = makePlayer();

    // At the limit: chunked inside the call, the whole text one list.
    player.load(readingOf(test::japaneseText(ReadingPlayer::kImmediateChunkingLimit)), 0);
    EXPECT_FALSE(player.isPreparing());
    EXPECT_EQ(player.preparedReading(), nullptr);
    ASSERT_FALSE(player.session().chunks.isEmpty());
    EXPECT_EQ(player.session().chunks.last().sourceRange.upperBound, ReadingPlayer::kImmediateChunkingLimit);
    EXPECT_EQ(player.session().totalSourceLength, std::nullopt);
    ASSERT_TRUE(player.sourceWindow());
    EXPECT_EQ(player.sourceWindow()->totalLength, ReadingPlayer::kImmediateChunkingLimit);

    // One unit more, or any sections at all: an empty session of the right length until the window comes.
    const SavedReading longer = readingOf(test::japaneseText(ReadingPlayer::kImmediateChunkingLimit + 1));
    const SavedReading sectioned = readingOf(test::japaneseText(100), test::sectionsOf({40, 60}));
    for (const SavedReading& reading : {longer, sectioned}) {
        const qsizetype length = reading.document.text.size();
        player.load(reading, 0);
        EXPECT_TRUE(player.isPreparing());
        ASSERT_NE(player.preparedReading(), nullptr);
        EXPECT_TRUE(player.session().chunks.isEmpty());
        EXPECT_EQ(player.session().totalSourceLength, length);
        EXPECT_EQ(player.sourceWindow(), std::nullopt);

        ASSERT_TRUE(waitUntilPrepared());
        ASSERT_TRUE(player.session().currentChunk());
        EXPECT_EQ(player.session().currentChunk()->sourceRange.lowerBound, 0);
        EXPECT_EQ(player.session().totalSourceLength, length);
        ASSERT_TRUE(player.sourceWindow());
        EXPECT_EQ(player.sourceWindow()->document.text, reading.document.text);
    }
}

TEST_F(ReadingPlayerLoadingTest, AnEmptyTextHasNothingToPlay) {
    ReadingPlayer& player = makePlayer();
    player.load(readingOf(QString()), 0);
    EXPECT_TRUE(player.session().chunks.isEmpty());
    EXPECT_FALSE(player.isPreparing());

    player.startPlayback(true);
    EXPECT_EQ(player.session().status, Status::ready);
    EXPECT_FALSE(player.hasActuallyPlayed());
    EXPECT_EQ(clock.pendingAlarms(), 0u);  // neither a loop nor checkpoints wait
    drainStore();
    EXPECT_THAT(store->log(), testing::IsEmpty());

    // Prepared (its sections say so), an empty text gives an empty window: a start that waited for it ends
    // instead of asking for the same empty window again and again.
    player.load(readingOf(QString(), QList<ReadingDocument::Section>()), 0);
    ASSERT_TRUE(waitUntilPrepared());
    player.startPlayback(true);
    ASSERT_TRUE(waitUntil([&] { return !player.isWaitingToPlay(); }));
    drainStore();
    EXPECT_EQ(chunks.offsets(), (QList<qsizetype>{0, 0}));
    EXPECT_FALSE(player.isPreparing());
    EXPECT_FALSE(player.hasActuallyPlayed());
}

TEST_F(ReadingPlayerLoadingTest, OffsetsAreClampedOnlyForPreparedTexts) {
    ReadingPlayer& player = makePlayer();
    const SavedReading longText = readingOf(test::japaneseText(2'000));

    // Beyond the end: the last unit, paused before and after the window arrives.
    player.load(longText, 5'000);
    EXPECT_EQ(player.requestedOffset(), 1'999);
    EXPECT_EQ(player.session().status, Status::paused);
    ASSERT_TRUE(waitUntilPrepared());
    EXPECT_EQ(player.session().status, Status::paused);
    EXPECT_EQ(player.session().currentChunk()->sourceRange.upperBound, 2'000);

    // Before the start: 0, and ready, as at 0 itself.
    for (qsizetype offset : {-5, 0}) {
        player.load(longText, offset);
        EXPECT_EQ(player.requestedOffset(), 0);
        EXPECT_EQ(player.session().status, Status::ready);
        ASSERT_TRUE(waitUntilPrepared());
        EXPECT_EQ(player.session().status, Status::ready);
    }

    // A short text keeps the raw offset while its session moves to the chunk that holds the clamped one,
    // and stays ready wherever it opens.
    const SavedReading shortText = readingOf(test::japaneseText(100));
    player.load(shortText, 5'000);
    EXPECT_EQ(player.requestedOffset(), 5'000);
    EXPECT_EQ(player.session().status, Status::ready);
    EXPECT_EQ(player.session().index, player.session().chunks.size() - 1);
    player.load(shortText, -3);
    EXPECT_EQ(player.requestedOffset(), -3);
    EXPECT_EQ(player.session().index, 0);
    player.load(shortText, 50);
    EXPECT_EQ(player.session().status, Status::ready);
    EXPECT_TRUE(player.session().currentChunk()->sourceRange.contains(50));
}

TEST_F(ReadingPlayerLoadingTest, TheArrivedWindowPutsThePositionAtItsChunkStart) {
    ReadingPlayer& player = makePlayer();
    chunks.answerWith([](qsizetype) { return test::tilingChunks(600, 800, 10); });
    player.load(readingOf(test::japaneseText(2'000)), 705);
    EXPECT_EQ(player.requestedOffset(), 705);
    EXPECT_EQ(player.currentSourceOffset(), 705);
    ASSERT_TRUE(waitUntilPrepared());
    EXPECT_EQ(player.requestedOffset(), 700);
    EXPECT_EQ(player.currentSourceOffset(), 700);
    EXPECT_EQ(chunks.offsets(), QList<qsizetype>{705});
}

TEST_F(ReadingPlayerLoadingTest, OnlyTheNewestPreparationIsApplied) {
    ReadingPlayer& player = makePlayer();
    const SavedReading first = readingOf(test::japaneseText(3'000));
    const SavedReading second = readingOf(u"ここから"_s + test::japaneseText(2'000));

    // A first window held back while a second load asks for another; the older arrives first.
    chunks.hold();
    player.load(first, 0);
    player.load(second, 0);
    settle();
    ASSERT_EQ(chunks.heldCount(), 2);
    chunks.release();
    ASSERT_TRUE(waitUntilPrepared());
    test::PlayerFixture::settle();
    EXPECT_EQ(player.reading()->id, second.id);
    EXPECT_EQ(player.sourceWindow()->document.text, second.document.text);
    EXPECT_TRUE(player.session().currentChunk()->text.startsWith(u"ここ"_s));

    // The same for a second window of one reading asked for while the first is coming.
    chunks.hold();
    player.load(first, 0);
    player.prepareWindow(1'500,
                         {.pausing = true, .sentenceStep = std::nullopt, .whenReady = WhenReady::saveNavigation});
    chunks.release();
    ASSERT_TRUE(waitUntilPrepared());
    test::PlayerFixture::settle();
    EXPECT_TRUE(player.session().currentChunk()->sourceRange.contains(1'500));
}

TEST_F(ReadingPlayerLoadingTest, AFailedPreparationEndsQuietly) {
    ReadingPlayer& player = makePlayer();
    player.load(readingOf(test::japaneseText(2'000)), 0);
    ASSERT_TRUE(waitUntilPrepared());

    // A start that must prepare its window again, and fails to.
    chunks.failNext();
    player.prepareWindow(400, {.pausing = true, .sentenceStep = std::nullopt, .whenReady = WhenReady::play});
    EXPECT_TRUE(player.isWaitingToPlay());
    ASSERT_TRUE(waitUntilPrepared());
    EXPECT_FALSE(player.isWaitingToPlay());
    EXPECT_TRUE(player.session().chunks.isEmpty());
    EXPECT_EQ(player.session().totalSourceLength, 2'000);
    EXPECT_EQ(player.storageMessage(), std::nullopt);

    // The player stays usable: the next start prepares again and plays.
    player.startPlayback(true);
    ASSERT_TRUE(waitUntil([&] { return player.session().status == Status::playing; }));
    EXPECT_TRUE(player.session().currentChunk()->sourceRange.contains(400));
}

TEST_F(ReadingPlayerLoadingTest, AWindowMayFirstMoveToASentenceStart) {
    ReadingPlayer& player = makePlayer();
    // 「吾輩は猫である。」 is 8 units, 「名前はまだ無い。」 the next 8.
    player.load(readingOf(test::japaneseText(2'000)), 0);
    ASSERT_TRUE(waitUntilPrepared());

    player.prepareWindow(0, {.pausing = true, .sentenceStep = true, .whenReady = WhenReady::nothing});
    ASSERT_TRUE(waitUntilPrepared());
    EXPECT_EQ(player.currentSourceOffset(), 8);
    player.prepareWindow(12, {.pausing = true, .sentenceStep = false, .whenReady = WhenReady::nothing});
    ASSERT_TRUE(waitUntilPrepared());
    EXPECT_EQ(player.currentSourceOffset(), 8);
    EXPECT_EQ(player.session().status, Status::paused);
}

TEST_F(ReadingPlayerLoadingTest, ChaptersComeFromTheTableOfContentsOrTheSections) {
    ReadingPlayer& player = makePlayer();
    const QString text = test::japaneseText(1'300);
    const auto sections = test::sectionsOf({600, 700});

    player.load(readingOf(text, sections), 0);
    EXPECT_EQ(player.chapterNavigation().offsets, (QList<qsizetype>{0, 600}));

    SavedReading book = readingOf(text, sections);
    EPUBBook::Information information;
    information.navigation.append(
        {u"n1"_s, u"第一章の途中"_s, std::nullopt, EPUBBook::Destination::position(u"s0"_s, 300), {}});
    book.epub = information;
    player.load(book, 0);
    EXPECT_EQ(player.chapterNavigation().offsets, (QList<qsizetype>{0, 300}));

    player.load(readingOf(u"短い文。"_s), 0);
    EXPECT_TRUE(player.chapterNavigation().offsets.isEmpty());
}

}  // namespace
}  // namespace tavrine
