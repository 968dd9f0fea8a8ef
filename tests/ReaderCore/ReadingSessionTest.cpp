#include "ReaderCore/ReadingSession.h"

#include <gtest/gtest.h>

#include <limits>

namespace tavrine {
namespace {
using Status = ReadingSession::Status;
using Place = std::pair<qsizetype, Status>;

// Chunks of 10 units with a gap of 2 between them, with the given sentence indexes.
QList<ReadingChunk> chunks(std::initializer_list<qsizetype> sentences) {
    QList<ReadingChunk> result;
    for (qsizetype sentence : sentences) {
        const qsizetype start = result.size() * 12;
        result.append(ReadingChunk{{start, start + 10}, QString(10, u'x'), sentence, ReadingChunk::Boundary::none});
    }
    return result;
}

Place place(const ReadingSession& session) {
    return {session.index, session.status};
}

void play(ReadingSession& session, int advances) {
    session.play();
    for (int i = 0; i < advances; ++i) session.advance();
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
    session.forcePause();  // unlike play(), even with nothing to show
    EXPECT_EQ(session.status, Status::paused);
}

TEST(ReadingSession, AdvanceCompletesAtTheEndOnlyWhenNoMoreSourceFollows) {
    ReadingSession whole(chunks({0, 0, 1}));
    whole.advance();
    EXPECT_EQ(whole.index, 0);  // not playing: ignored
    play(whole, 2);
    EXPECT_EQ(place(whole), (Place{2, Status::playing}));
    whole.advance();
    EXPECT_EQ(place(whole), (Place{2, Status::completed}));

    // A window of a longer text keeps playing on its last chunk while the next window is prepared.
    ReadingSession window(chunks({0, 1}), 1000);
    play(window, 2);
    EXPECT_EQ(place(window), (Place{1, Status::playing}));
    EXPECT_TRUE(window.hasNextSentence());

    // A window that reaches the end of the text completes.
    ReadingSession lastWindow(chunks({0, 1}), 22);
    play(lastWindow, 2);
    EXPECT_EQ(lastWindow.status, Status::completed);
    EXPECT_EQ(lastWindow.progress(), 1.0);
    lastWindow.pause();  // pausing a completed session does nothing; playing again starts over
    EXPECT_EQ(lastWindow.status, Status::completed);
    lastWindow.play();
    EXPECT_EQ(place(lastWindow), (Place{0, Status::playing}));
}

TEST(ReadingSession, SeeksClampAndLandOnTheNextChunkAfterAGap) {
    ReadingSession session(chunks({0, 0, 1, 1}));  // ranges 0-10, 12-22, 24-34, 36-46
    const std::pair<qsizetype, qsizetype> seeks[] = {
        {-5, 0}, {11, 1}, {21, 1}, {22, 2}, {std::numeric_limits<qsizetype>::max(), 3}};
    for (const auto& [offset, index] : seeks) {
        session.play();
        session.seekToSourceOffset(offset);
        EXPECT_EQ(place(session), (Place{index, Status::ready})) << offset;
    }

    // A fraction of the last chunk's start (here 101) rounds half away from zero, then pauses.
    QList<ReadingChunk> list = chunks({0, 0});
    list[1].sourceRange = {101, 110};
    ReadingSession fractions(list);
    fractions.seekToFraction(0.5);  // 50.5 is 51: inside the gap, so chunk 1
    EXPECT_EQ(place(fractions), (Place{1, Status::paused}));
    fractions.seekToFraction(0.0);
    EXPECT_EQ(fractions.index, 0);
    fractions.status = Status::playing;
    fractions.seekToFraction(std::numeric_limits<double>::quiet_NaN());
    EXPECT_EQ(fractions.status, Status::playing);  // NaN changes nothing
    fractions.seekToFraction(7);
    EXPECT_EQ(fractions.index, 1);
    fractions.seekToFraction(-3);
    EXPECT_EQ(fractions.index, 0);
}

TEST(ReadingSession, SentenceMovesStayInsideTheListAndAlwaysPause) {
    ReadingSession session(chunks({0, 0, 1, 1, 1, 2}));
    const std::tuple<qsizetype, bool, qsizetype> moves[] = {
        {3, false, 2},  // back to the start of its own sentence
        {2, false, 0},  // already at a start: the previous sentence
        {0, false, 0},  // the first chunk
        {2, true, 5},   //
        {5, true, 5},   // the last chunk
    };
    for (const auto& [from, forward, to] : moves) {
        session.index = from;
        session.status = Status::playing;
        forward ? session.moveToNextSentence() : session.moveToPreviousSentence();
        EXPECT_EQ(place(session), (Place{to, Status::paused})) << from << (forward ? " forward" : " back");
    }
    EXPECT_FALSE(session.hasNextSentence());

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
    session.index = 1;
    EXPECT_DOUBLE_EQ(session.progress(), 0.5);
    session.index = 2;
    EXPECT_EQ(session.progress(), 1.0);

    ReadingSession window(chunks({0, 0, 1}), 49);
    window.index = 1;
    EXPECT_DOUBLE_EQ(window.progress(), 0.25);
    EXPECT_EQ(ReadingSession(chunks({0}), 1).progress(), 0.0);  // divisor at least 1
    EXPECT_EQ(ReadingSession(chunks({0})).progress(), 0.0);     // the last chunk starts at 0
}

}  // namespace
}  // namespace tavrine
