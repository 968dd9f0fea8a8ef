// Chapter targets and moves, sentence moves, on the fake clock and store.
#include "PlayerTesting.h"

#include "support/QtPrinters.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

namespace tavrine {
namespace {

using namespace Qt::StringLiterals;
using namespace std::chrono_literals;
using Status = ReadingSession::Status;
using Action = ReaderPlaybackRequest::Action;
using test::readingOf;
using Target = std::optional<qsizetype>;

// Three chapters starting at 0, 100 and 250.
const QList<qsizetype> kChapterLengths{100, 150, 150};

class ReadingPlayerNavigationTest : public testing::Test, public test::PlayerFixture {
protected:
    // Opens the three chapters with windows that chunks makes, once the first window is there.
    ReadingPlayer& loadChapters(std::function<QList<ReadingChunk>(qsizetype)> make) {
        ReadingPlayer& loaded = makePlayer();
        chunks.answerWith(std::move(make));
        loaded.load(readingOf(test::japaneseText(400), test::sectionsOf(kChapterLengths)), 0);
        EXPECT_TRUE(waitUntilPrepared());
        return loaded;
    }

    // Jumps to offset and waits for the window there.
    void showAt(qsizetype offset) {
        player().jumpToSourceOffset(offset, player().reading()->document.text, false);
        EXPECT_TRUE(waitUntilPrepared());
    }

    std::pair<Target, Target> targets() { return {player().chapterTarget(false), player().chapterTarget(true)}; }
};

TEST_F(ReadingPlayerNavigationTest, ChapterTargetsAreTakenFromTheLastUnitShown) {
    // Windows of one chunk at the offset asked for: 8 units, 10 at 120, the rest of the text at 250.
    ReadingPlayer& player = loadChapters([](qsizetype from) {
        if (from == 250) return QList<ReadingChunk>{test::chunkAt(250, 150)};
        return QList<ReadingChunk>{test::chunkAt(from, from == 120 ? 10 : 8)};
    });
    ASSERT_EQ(player.chapterNavigation().offsets, (QList<qsizetype>{0, 100, 250}));

    struct Case {
        qsizetype shown;  // where the chunk shown starts
        Target back;
        Target forward;
    };
    const Case cases[] = {
        {120, 100, 250},  // inside the second chapter: its start
        {100, 0, 250},    // at its start: the chapter before
        {0, std::nullopt, 100},
        {96, 0, 250},  // the chunk [96, 104) already shows the second chapter's start
        {260, 250, std::nullopt},
        {250, 100, std::nullopt},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.shown);
        showAt(c.shown);
        ASSERT_EQ(test::shownOffset(player), c.shown);
        EXPECT_EQ(targets(), std::pair(c.back, c.forward));
        EXPECT_EQ(player.canPerform(Action::backChapter), c.back.has_value());
        EXPECT_EQ(player.canPerform(Action::forwardChapter), c.forward.has_value());
    }

    // After the end, back is the start of the chapter of the last chunk, even when that chunk starts it.
    player.startPlayback(true);
    ASSERT_TRUE(advanceUntil([&] { return player.session().status == Status::completed; }, 5s));
    EXPECT_EQ(targets(), std::pair(Target(250), Target()));

    // While a window is prepared, the position asked for is the reference itself.
    chunks.hold();
    player.jumpToSourceOffset(99, player.reading()->document.text, false);
    EXPECT_EQ(targets(), std::pair(Target(0), Target(100)));
    chunks.release();
    ASSERT_TRUE(waitUntilPrepared());
    EXPECT_EQ(targets(), std::pair(Target(0), Target(250)));  // the chunk [99, 107) shows unit 100
}

TEST_F(ReadingPlayerNavigationTest, AChapterMovePreparesItsWindowAgainEvenInsideTheOneShown) {
    // Every window is the whole text, in chunks of 10 (0.375 s each).
    ReadingPlayer& player = loadChapters([](qsizetype) { return test::tilingChunks(0, 400, 10); });
    player.startPlayback(true);
    advance(0.4s);
    ASSERT_EQ(player.session().index, 1);
    const qsizetype requests = chunks.offsets().size();

    player.moveChapter(true);
    EXPECT_EQ(chunks.offsets().size(), requests + 1);
    EXPECT_EQ(chunks.offsets().last(), 100);
    EXPECT_TRUE(player.isPreparing());
    EXPECT_FALSE(player.isWaitingToPlay());
    EXPECT_TRUE(player.session().chunks.isEmpty());
    EXPECT_EQ(player.session().status, Status::paused);
    EXPECT_TRUE(player.hasNavigatedSavedReading());  // its play record stored it
    ASSERT_TRUE(waitUntilPrepared());
    EXPECT_EQ(test::shownOffset(player), 100);
    EXPECT_EQ(player.session().status, Status::paused);

    // The place is saved 0.3 s after the window came, the reading having played.
    advance(0.3s);
    drainStore();
    EXPECT_EQ(savedPositions(), (QList<ReadingProgress>{{100, false}}));

    player.moveChapter(false);
    EXPECT_EQ(chunks.offsets().last(), 0);
    ASSERT_TRUE(waitUntilPrepared());

    // No target, or quitting: nothing moves.
    player.moveChapter(false);
    EXPECT_FALSE(player.isPreparing());
    player.prepareForTermination();
    player.moveChapter(true);
    EXPECT_FALSE(player.isPreparing());
    EXPECT_EQ(chunks.offsets().last(), 0);
}

TEST_F(ReadingPlayerNavigationTest, SentenceMovesOnAShortTextChangeTheSessionInPlace) {
    ReadingPlayer& player = makePlayer();
    // Sentences at 0, 8 and 16.
    player.load(readingOf(u"吾輩は猫である。名前はまだ無い。どこで生れたかとんと見当がつかぬ。"_s), 0);
    const auto shown = [&] { return test::shownOffset(player); };

    player.moveSentence(true);
    EXPECT_EQ(shown(), 8);
    EXPECT_EQ(player.session().status, Status::paused);
    player.moveSentence(true);
    player.moveSentence(true);  // the last sentence stays
    EXPECT_EQ(shown(), 16);
    EXPECT_FALSE(player.canPerform(Action::forwardSentence));

    player.moveSentence(false);  // at a sentence's start: the one before
    EXPECT_EQ(shown(), 8);
    player.startPlayback(true);
    ASSERT_TRUE(advanceUntil([&] { return shown() > 8; }, 2s));
    player.moveSentence(false);  // inside it: its own start
    EXPECT_EQ(shown(), 8);
    EXPECT_EQ(player.session().status, Status::paused);

    // Saved 0.3 s later, since the reading played; not a stored one, so no navigation of one.
    advance(299ms);
    drainStore();
    EXPECT_THAT(savedPositions(), testing::IsEmpty());
    advance(1ms);
    drainStore();
    EXPECT_EQ(savedPositions(), (QList<ReadingProgress>{{8, false}}));
    EXPECT_FALSE(player.hasNavigatedSavedReading());
}

TEST_F(ReadingPlayerNavigationTest, SentenceMovesOnAPreparedTextStartFromThePositionItself) {
    // The text's own chunks: sentences start at 0, 8, 16 and 49.
    ReadingPlayer& player = makePlayer();
    player.load(readingOf(test::japaneseText(3'000)), 0);
    ASSERT_TRUE(waitUntilPrepared());
    const auto shown = [&] { return test::shownOffset(player); };

    player.moveSentence(true);
    EXPECT_TRUE(player.isPreparing());
    EXPECT_EQ(player.session().status, Status::paused);
    EXPECT_TRUE(player.canPerform(Action::forwardSentence));  // more may come with the window
    ASSERT_TRUE(waitUntilPrepared());
    EXPECT_EQ(shown(), 8);
    player.moveSentence(true);
    ASSERT_TRUE(waitUntilPrepared());
    EXPECT_EQ(shown(), 16);
    player.moveSentence(false);
    ASSERT_TRUE(waitUntilPrepared());
    EXPECT_EQ(shown(), 8);
    EXPECT_EQ(player.session().status, Status::paused);

    // Carried out also while quitting.
    player.prepareForTermination();
    player.moveSentence(true);
    ASSERT_TRUE(waitUntilPrepared());
    EXPECT_EQ(shown(), 16);
}

}  // namespace
}  // namespace tavrine
