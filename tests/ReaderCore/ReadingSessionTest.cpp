#include "ReaderCore/ReadingSession.h"

#include <gtest/gtest.h>

#include <limits>

namespace tavrine {
namespace {
using Status = ReadingSession::Status;

// Chunks of 10 units with a gap of 2 between them, with the given sentence indexes.
QList<ReadingChunk> chunks(std::initializer_list<qsizetype> sentences) {
    QList<ReadingChunk> result;
    qsizetype start = 0;
    for (qsizetype sentence : sentences) {
        result.append(ReadingChunk{{start, start + 10}, QString(10, u'x'), sentence, ReadingChunk::Boundary::none});
        start += 12;
    }
    return result;
}

TEST(ReadingSession, EmptySessionStaysPutAndReportsNothing) {
    ReadingSession session;
    EXPECT_EQ(session.currentChunk(), std::nullopt);
    EXPECT_TRUE(session.isAtLastChunk());
    EXPECT_FALSE(session.hasNextSentence());
    EXPECT_EQ(session.progress(), 0.0);
    session.play();
    session.seekToSourceOffset(5);
    session.seekToFraction(0.5);
    session.moveToNextSentence();
    session.moveToPreviousSentence();
    EXPECT_EQ(session.status, Status::ready);
    session.forcePause();
    EXPECT_EQ(session.status, Status::paused);
}

TEST(ReadingSession, AdvanceCompletesAtTheEndOnlyWhenNoMoreSourceFollows) {
    ReadingSession whole(chunks({0, 0, 1}));
    whole.advance();
    EXPECT_EQ(whole.index, 0);  // not playing: ignored
    whole.play();
    whole.advance();
    whole.advance();
    EXPECT_EQ(whole.index, 2);
    EXPECT_EQ(whole.status, Status::playing);
    whole.advance();
    EXPECT_EQ(whole.status, Status::completed);
    EXPECT_EQ(whole.index, 2);

    // A window of a longer text keeps playing on its last chunk while the next window is prepared.
    ReadingSession window(chunks({0, 1}), 1000);
    window.play();
    window.advance();
    window.advance();
    EXPECT_EQ(window.index, 1);
    EXPECT_EQ(window.status, Status::playing);
    EXPECT_TRUE(window.hasNextSentence());

    // A window that reaches the end of the text completes.
    ReadingSession lastWindow(chunks({0, 1}), 22);
    lastWindow.play();
    lastWindow.advance();
    lastWindow.advance();
    EXPECT_EQ(lastWindow.status, Status::completed);
    EXPECT_EQ(lastWindow.progress(), 1.0);

    // Playing again from the end starts over; pausing a completed session does nothing.
    lastWindow.pause();
    EXPECT_EQ(lastWindow.status, Status::completed);
    lastWindow.play();
    EXPECT_EQ(lastWindow.index, 0);
    EXPECT_EQ(lastWindow.status, Status::playing);
}

TEST(ReadingSession, SeekingToAnOffsetClampsAndSelectsTheNextChunkAfterAGap) {
    ReadingSession session(chunks({0, 0, 1, 1}));  // ranges 0-10, 12-22, 24-34, 36-46
    session.play();
    session.seekToSourceOffset(-5);
    EXPECT_EQ(session.index, 0);
    EXPECT_EQ(session.status, Status::ready);
    session.seekToSourceOffset(11);  // in the gap
    EXPECT_EQ(session.index, 1);
    session.seekToSourceOffset(21);
    EXPECT_EQ(session.index, 1);
    session.seekToSourceOffset(22);
    EXPECT_EQ(session.index, 2);
    session.seekToSourceOffset(std::numeric_limits<qsizetype>::max());
    EXPECT_EQ(session.index, 3);
    session.status = Status::completed;
    session.seekToSourceOffset(0);
    EXPECT_EQ(session.status, Status::ready);
}

TEST(ReadingSession, SeekingToAFractionUsesTheLastChunkStartAndPauses) {
    QList<ReadingChunk> list = chunks({0, 0});
    list[1].sourceRange = {101, 110};  // the last chunk starts at 101
    ReadingSession session(list);
    session.seekToFraction(0.5);  // 50.5 rounds away from zero to 51: inside the gap, so chunk 1
    EXPECT_EQ(session.index, 1);
    EXPECT_EQ(session.status, Status::paused);
    session.seekToFraction(0.0);
    EXPECT_EQ(session.index, 0);
    session.status = Status::playing;
    session.seekToFraction(std::numeric_limits<double>::quiet_NaN());
    EXPECT_EQ(session.status, Status::playing);  // NaN changes nothing
    session.seekToFraction(-3);
    EXPECT_EQ(session.index, 0);
    session.seekToFraction(7);
    EXPECT_EQ(session.index, 1);
}

TEST(ReadingSession, SentenceMovesStayInsideTheListAndAlwaysPause) {
    ReadingSession session(chunks({0, 0, 1, 1, 1, 2}));
    session.index = 3;
    session.moveToPreviousSentence();
    EXPECT_EQ(session.index, 2);
    EXPECT_EQ(session.status, Status::paused);
    session.moveToPreviousSentence();
    EXPECT_EQ(session.index, 0);
    session.status = Status::playing;
    session.moveToPreviousSentence();
    EXPECT_EQ(session.index, 0);
    EXPECT_EQ(session.status, Status::paused);

    session.index = 2;
    session.moveToNextSentence();
    EXPECT_EQ(session.index, 5);
    EXPECT_FALSE(session.hasNextSentence());
    session.status = Status::playing;
    session.moveToNextSentence();
    EXPECT_EQ(session.index, 5);
    EXPECT_EQ(session.status, Status::paused);

    // At the last sentence of a window the move stays, yet more source means a next sentence exists.
    ReadingSession window(chunks({0, 1}), 500);
    window.index = 1;
    window.moveToNextSentence();
    EXPECT_EQ(window.index, 1);
    EXPECT_TRUE(window.hasNextSentence());

    ReadingSession invalid(chunks({0, 1}));
    invalid.index = 7;
    invalid.moveToNextSentence();
    invalid.moveToPreviousSentence();
    EXPECT_EQ(invalid.status, Status::ready);
    EXPECT_FALSE(invalid.hasNextSentence());
}

TEST(ReadingSession, ProgressIsOfTheWholeTextWhenItsLengthIsKnown) {
    ReadingSession session(chunks({0, 0, 1}));  // the last chunk starts at 24
    EXPECT_EQ(session.progress(), 0.0);
    session.index = 1;
    EXPECT_DOUBLE_EQ(session.progress(), 0.5);
    session.index = 2;
    EXPECT_EQ(session.progress(), 1.0);

    ReadingSession window(chunks({0, 0, 1}), 49);
    window.index = 1;
    EXPECT_DOUBLE_EQ(window.progress(), 0.25);

    ReadingSession tiny(chunks({0}), 1);
    EXPECT_EQ(tiny.progress(), 0.0);  // divisor at least 1

    ReadingSession single(chunks({0}));
    EXPECT_EQ(single.progress(), 0.0);  // the last chunk starts at 0
}

}  // namespace
}  // namespace tavrine
