// The replacement history alone: which swap it offers for which open reading, what a swap leaves in it,
// how the reading it keeps follows the store, and what ends it.
#include "ReaderUI/Player/ReadingPlayerMessages.h"
#include "ReaderUI/Player/ReplacementHistory.h"

#include "PlayerTesting.h"

#include "support/QtPrinters.h"

#include <gtest/gtest.h>

namespace tavrine {
namespace {

using namespace Qt::StringLiterals;
using Outcome = PlaybackPersistence::Outcome;

// What the reader showed: reading (none: an empty reader), saved or not, with a notice.
ReplacementSnapshot shown(std::optional<SavedReading> reading, bool saved = false,
                          std::optional<QString> message = std::nullopt) {
    return ReplacementSnapshot{.reading = std::move(reading),
                               .session = {},
                               .prepared = nullptr,
                               .sourceWindow = std::nullopt,
                               .offset = 0,
                               .filename = std::nullopt,
                               .saved = saved,
                               .previouslyPlayed = false,
                               .message = std::move(message)};
}

class ReplacementHistoryTest : public testing::Test {
protected:
    const SavedReading replaced = test::readingOf(u"置き換えられた文章。"_s);
    const SavedReading pasted = test::readingOf(u"貼り付けた文章。"_s);
    ReplacementHistory history;
};

TEST_F(ReplacementHistoryTest, UndoIsOfferedOnlyWhileTheImportIsOpenAndOnlyWhenSomethingWasKept) {
    // An import that does not allow undo is expected, but nothing can come back.
    history.recordImport(pasted.id, std::nullopt);
    EXPECT_EQ(history.expectedID(), pasted.id);
    EXPECT_FALSE(history.offers(false, pasted.id));

    history.recordImport(pasted.id, shown(replaced));
    EXPECT_TRUE(history.offers(false, pasted.id));
    EXPECT_FALSE(history.offers(true, pasted.id));
    EXPECT_FALSE(history.offers(false, replaced.id));
    EXPECT_FALSE(history.offers(false, std::nullopt));
}

TEST_F(ReplacementHistoryTest, SwapsAlternateAndAnEmptyReaderCountsAsAReading) {
    // A paste into an empty reader: undo brings the empty reader back, and redo is offered there.
    history.recordImport(pasted.id, shown(std::nullopt));
    ASSERT_TRUE(history.offers(false, pasted.id));
    history.exchange(shown(pasted, true));
    EXPECT_EQ(history.expectedID(), std::nullopt);
    EXPECT_TRUE(history.isRedo());
    EXPECT_TRUE(history.offers(true, std::nullopt));
    EXPECT_FALSE(history.offers(false, std::nullopt));
    EXPECT_EQ(history.snapshot(), shown(pasted, true));

    history.exchange(shown(std::nullopt));
    EXPECT_EQ(history.expectedID(), pasted.id);
    EXPECT_FALSE(history.isRedo());
    EXPECT_TRUE(history.offers(false, pasted.id));

    // With nothing kept there is nothing to swap.
    history.clear();
    history.exchange(shown(replaced));
    EXPECT_EQ(history.snapshot(), std::nullopt);
    EXPECT_FALSE(history.offers(false, std::nullopt));
}

TEST_F(ReplacementHistoryTest, TheKeptReadingFollowsItsOwnOutcomesAndItsRemovalEndsTheHistory) {
    history.recordImport(pasted.id, shown(replaced, false, ReadingPlayerMessages::kLibraryAddFailed));

    // An outcome of the open import leaves the kept reading alone.
    history.follow(pasted.id, Outcome::saved);
    EXPECT_EQ(history.snapshot()->message, ReadingPlayerMessages::kLibraryAddFailed);

    history.follow(replaced.id, Outcome::failed);
    EXPECT_FALSE(history.snapshot()->saved);
    EXPECT_EQ(history.snapshot()->message, ReadingPlayerMessages::kSaveFailed);
    // Only the notice of a failed addition is settled by putting the reading in the library.
    history.follow(replaced.id, Outcome::librarySaved);
    EXPECT_TRUE(history.snapshot()->saved);
    EXPECT_EQ(history.snapshot()->message, ReadingPlayerMessages::kSaveFailed);
    history.follow(replaced.id, Outcome::saved);
    EXPECT_EQ(history.snapshot()->message, std::nullopt);
    history.follow(replaced.id, Outcome::notSaved);
    EXPECT_FALSE(history.snapshot()->saved);

    history.follow(replaced.id, Outcome::removed);
    EXPECT_EQ(history.snapshot(), std::nullopt);
    EXPECT_EQ(history.expectedID(), std::nullopt);
}

TEST_F(ReplacementHistoryTest, TheStoreEndsTheHistoryOnlyWhenItDropsTheKeptReading) {
    history.recordImport(pasted.id, shown(replaced));
    history.exchange(shown(pasted));
    ASSERT_TRUE(history.isRedo());

    // The kept reading is the import now; the open one's removal is the player's to handle.
    history.forgetRemoved({});
    history.forgetRemoved({replaced.id, QUuid::createUuid()});
    EXPECT_TRUE(history.offers(true, replaced.id));
    history.forgetRemoved({QUuid::createUuid(), pasted.id});
    EXPECT_EQ(history.snapshot(), std::nullopt);
    EXPECT_FALSE(history.isRedo());
}

TEST_F(ReplacementHistoryTest, AppliedImportsOutliveTheHistory) {
    EXPECT_FALSE(history.hasHandled(pasted.id));
    history.recordImport(pasted.id, shown(replaced));
    history.clear();
    history.forgetRemoved({replaced.id, pasted.id});
    EXPECT_TRUE(history.hasHandled(pasted.id));
    EXPECT_FALSE(history.hasHandled(replaced.id));
    EXPECT_EQ(history.handledImportIDs(), QSet<QUuid>{pasted.id});
}

}  // namespace
}  // namespace tavrine
