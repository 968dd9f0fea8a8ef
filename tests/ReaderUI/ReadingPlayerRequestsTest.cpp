// Playback requests and which of them the player can carry out.
#include "PlayerTesting.h"

#include "support/QtPrinters.h"

#include <gtest/gtest.h>

#include <limits>

namespace tavrine {
namespace {

using namespace Qt::StringLiterals;
using Action = ReaderPlaybackRequest::Action;
using test::readingOf;

class ReadingPlayerRequestsTest : public testing::Test, public test::PlayerFixture {
protected:
    // The actions available now, in order.
    QList<Action> available() {
        QList<Action> actions;
        for (Action action : ReaderPlaybackRequest::allActions) {
            if (player().canPerform(action)) actions.append(action);
        }
        return actions;
    }
};

TEST(ReaderPlaybackRequestTest, EveryRequestIsNew) {
    const ReaderPlaybackRequest first(Action::faster);
    EXPECT_NE(first, ReaderPlaybackRequest(Action::faster));
    EXPECT_EQ(first, first);
}

TEST_F(ReadingPlayerRequestsTest, WithNothingLoadedOnlyTheSpeedCanChange) {
    makePlayer();
    EXPECT_EQ(available(), (QList<Action>{Action::faster}));
    player().setBaseSeconds(0.1);
    EXPECT_EQ(available(), (QList<Action>{Action::slower, Action::faster}));
}

TEST_F(ReadingPlayerRequestsTest, AFirstWindowStillPreparedOffersTheTransportAndTheNextSentence) {
    makePlayer();
    chunks.hold();
    player().load(readingOf(test::japaneseText(3'000)), 0);
    ASSERT_TRUE(player().session().chunks.isEmpty());
    EXPECT_EQ(available(), (QList<Action>{Action::replay, Action::togglePlayback, Action::backSentence,
                                          Action::forwardSentence, Action::faster, Action::showDocumentInformation}));
}

TEST_F(ReadingPlayerRequestsTest, TheNextSentenceIsOfferedWhileTextFollows) {
    // The last sentence of a short text.
    makePlayer();
    player().load(readingOf(u"吾輩は猫である。名前はまだ無い。"_s), 0);
    EXPECT_TRUE(player().canPerform(Action::forwardSentence));
    player().moveSentence(true);
    EXPECT_FALSE(player().canPerform(Action::forwardSentence));

    // The last sentence of a window with more of the text behind it.
    makePlayer();
    chunks.answerWith([](qsizetype from) { return QList<ReadingChunk>{test::chunkAt(from, 8)}; });
    player().load(readingOf(test::japaneseText(3'000)), 0);
    ASSERT_TRUE(waitUntilPrepared());
    EXPECT_TRUE(player().canPerform(Action::forwardSentence));
}

TEST_F(ReadingPlayerRequestsTest, SpeedStepsAreOfferedUpToTheExactBounds) {
    struct Case {
        double baseSeconds;
        bool slower;
        bool faster;
    };
    const double nan = std::numeric_limits<double>::quiet_NaN();
    const Case cases[] = {
        {0.04, true, false}, {0.3, false, true}, {0.0401, true, true}, {0.2999, true, true},
        {nan, false, true},  {0.5, false, true}, {0.01, true, false},
    };
    makePlayer();
    for (const Case& c : cases) {
        SCOPED_TRACE(c.baseSeconds);
        player().setBaseSeconds(c.baseSeconds);
        EXPECT_EQ(player().canPerform(Action::slower), c.slower);
        EXPECT_EQ(player().canPerform(Action::faster), c.faster);
    }
}

TEST_F(ReadingPlayerRequestsTest, TheTableOfContentsNeedsABookAndTheInformationAText) {
    makePlayer();
    const auto sections = test::sectionsOf({1'500, 1'500});
    player().load(readingOf(test::japaneseText(3'000), sections), 0);
    EXPECT_FALSE(player().canPerform(Action::showEPUBNavigation));
    EXPECT_TRUE(player().canPerform(Action::showDocumentInformation));

    SavedReading book = readingOf(test::japaneseText(3'000), sections);
    book.epub = EPUBBook::Information{};
    player().load(book, 0);
    EXPECT_TRUE(player().canPerform(Action::showEPUBNavigation));

    player().load(readingOf(QString()), 0);
    EXPECT_FALSE(player().canPerform(Action::showDocumentInformation));
}

}  // namespace
}  // namespace tavrine
