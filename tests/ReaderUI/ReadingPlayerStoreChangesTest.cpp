// How saves ended and readings removed from the store reach the player: the fake store publishes its
// states through its change stream as the real one does, and the clock is the fake one.
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
using Outcome = PlaybackPersistence::Outcome;
using Status = ReadingSession::Status;
using test::readingOf;
namespace Messages = ReadingPlayerMessages;

class ReadingPlayerStoreChangesTest : public testing::Test, public test::PlayerFixture {
protected:
    // Keeps a long reading in the store's library at offset.
    SavedReading keepLong(qsizetype offset = 0) {
        return keepInStore(readingOf(test::japaneseText(3'000)), true, {offset, false});
    }

    // Deletes the reading elsewhere (another window, say): the store announces it gone, and the event loop
    // delivers the news.
    void deleteElsewhere(const QUuid& id) {
        ReadingStoreState state = store->state();
        const auto matches = [&](const StoredReading& record) { return record.id() == id; };
        state.library.removeIf(matches);
        state.history.removeIf(matches);
        state.tombstones.insert(id);
        store->publish(state);
        settle();
    }

    // The player shows nothing, because its reading was deleted.
    void expectStoppedForRemoval() {
        const ReadingPlayer& p = player();
        EXPECT_EQ(p.reading(), std::nullopt);
        EXPECT_NE(p.session().status, Status::playing);
        EXPECT_TRUE(p.session().chunks.isEmpty());
        EXPECT_EQ(p.sourceWindow(), std::nullopt);
        EXPECT_EQ(p.preparedReading(), nullptr);
        EXPECT_EQ(p.chapterNavigation(), ReadingChapterNavigation());
        EXPECT_FALSE(p.isCurrentReadingSaved());
        EXPECT_FALSE(p.isWaitingToPlay());
        EXPECT_EQ(p.storageMessage(), Messages::kReadingRemoved);
    }

    std::shared_ptr<std::optional<bool>> open(const QUuid& id) { return begin(player().openSavedReading(id)); }
};

TEST_F(ReadingPlayerStoreChangesTest, TheOpenReadingDeletedElsewhereStopsAndNothingMoreIsSavedForIt) {
    ReadingPlayer& player = makePlayer();
    const SavedReading stored = keepLong(500);
    ASSERT_TRUE(finish(open(stored.id)));
    player.startPlayback(true);
    advance(2s);
    drainStore();
    store->clearLog();

    deleteElsewhere(stored.id);
    expectStoppedForRemoval();
    // Neither the stop nor anything later writes for it: no checkpoint, no navigation save.
    advance(12s);
    drainStore();
    EXPECT_THAT(store->calls(), testing::Not(testing::Contains(Call::updateProgress)));
    EXPECT_EQ(store->find(stored.id), std::nullopt);

    // Its notice stays until the next reading is opened, which clears only that notice.
    player.load(readingOf(u"次の文章。"_s), 0);
    EXPECT_EQ(player.storageMessage(), std::nullopt);
    player.handleOutcome(player.reading()->id, Outcome::failed);
    player.load(readingOf(u"その次。"_s), 0);
    EXPECT_EQ(player.storageMessage(), Messages::kSaveFailed);
}

TEST_F(ReadingPlayerStoreChangesTest, DeletingTheOpenReadingFromTheLibraryStopsItWithoutWaitingForTheStoreNews) {
    ReadingPlayer& player = makePlayer();
    const SavedReading stored = keepLong();
    ASSERT_TRUE(finish(open(stored.id)));
    player.startPlayback(true);
    advance(1s);
    // The change stream ends: only the queue can tell the player.
    store->endChanges();
    EXPECT_TRUE(finish(begin(player.deleteLibraryDocument(stored.id))));
    expectStoppedForRemoval();

    // A deletion that fails stops nothing.
    const SavedReading other = keepLong();
    ASSERT_TRUE(finish(open(other.id)));
    store->failNext(Call::deleteDocument, ReadingStoreError::invalidData());
    EXPECT_FALSE(finish(begin(player.deleteLibraryDocument(other.id))));
    EXPECT_EQ(player.reading(), other);
    EXPECT_EQ(player.storageMessage(), std::nullopt);
}

TEST_F(ReadingPlayerStoreChangesTest, AReadingDeletedWhileItIsBeingOpenedIsNotOpened) {
    ReadingPlayer& player = makePlayer();
    const SavedReading shown = readingOf(u"吾輩は猫である。"_s);
    player.load(shown, 0);
    const SavedReading stored = keepLong(100);

    store->delayNext(Call::loadState, 1s);
    const auto opened = open(stored.id);
    settle();
    ASSERT_EQ(player.loadingSavedReadingID(), stored.id);
    deleteElsewhere(stored.id);
    EXPECT_EQ(player.loadingSavedReadingID(), std::nullopt);
    advance(1s);
    EXPECT_FALSE(finish(opened));
    EXPECT_EQ(player.reading(), shown);
    EXPECT_EQ(player.storageMessage(), std::nullopt);
}

TEST_F(ReadingPlayerStoreChangesTest, TheOpenReadingDeletedWhileAnotherOpensLetsThatOneOpen) {
    ReadingPlayer& player = makePlayer();
    const SavedReading current = keepLong();
    const SavedReading next = keepLong(700);
    ASSERT_TRUE(finish(open(current.id)));
    player.startPlayback(true);
    advance(1s);

    store->delayNext(Call::loadState, 1s);
    const auto opened = open(next.id);
    settle();
    deleteElsewhere(current.id);
    expectStoppedForRemoval();
    EXPECT_EQ(player.loadingSavedReadingID(), next.id);

    advance(1s);
    EXPECT_TRUE(finish(opened));
    EXPECT_EQ(player.reading(), next);
    EXPECT_TRUE(test::shows(player, 700));
    // Opening it cleared the deletion notice.
    EXPECT_EQ(player.storageMessage(), std::nullopt);
}

TEST_F(ReadingPlayerStoreChangesTest, OutcomesSettleTheSavedFlagAndNoticeOfTheOpenReadingAndOfTheReplacedOne) {
    // From a saved flag and a notice, one outcome leads to another flag and notice.
    struct Case {
        Outcome outcome;
        bool savedBefore;
        std::optional<QString> noticeBefore;
        bool savedAfter;
        std::optional<QString> noticeAfter;
    };
    const QList<Case> cases{
        {Outcome::saved, false, Messages::kSaveFailed, true, std::nullopt},
        {Outcome::librarySaved, false, Messages::kLibraryAddFailed, true, std::nullopt},
        {Outcome::librarySaved, false, Messages::kSaveFailed, true, Messages::kSaveFailed},
        {Outcome::notSaved, true, Messages::kSaveFailed, false, Messages::kSaveFailed},
        {Outcome::failed, true, std::nullopt, true, Messages::kSaveFailed},
        {Outcome::failed, false, Messages::kLibraryAddFailed, false, Messages::kSaveFailed},
    };
    const SavedReading reading = readingOf(u"置き換えられる文章。"_s);
    // A new player with the reading open, saved or not, showing the notice.
    const auto openAt = [&](bool saved, const std::optional<QString>& notice) -> ReadingPlayer& {
        ReadingPlayer& p = makePlayer();
        p.load(reading, 0);
        if (notice == Messages::kLibraryAddFailed) {
            store->failNext(Call::addReadingToLibrary, ReadingStoreError::invalidData());
            EXPECT_FALSE(finish(begin(p.addCurrentReadingToLibrary())));
        }
        p.handleOutcome(reading.id, saved ? Outcome::saved : Outcome::notSaved);
        if (notice == Messages::kSaveFailed) p.handleOutcome(reading.id, Outcome::failed);
        EXPECT_EQ(p.isCurrentReadingSaved(), saved);
        EXPECT_EQ(p.storageMessage(), notice);
        return p;
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << "outcome " << int(c.outcome) << ", saved " << c.savedBefore << ", "
                                        << c.noticeBefore.value_or(u"no notice"_s).toStdString());
        ReadingPlayer& open = openAt(c.savedBefore, c.noticeBefore);
        open.handleOutcome(reading.id, c.outcome);
        EXPECT_EQ(open.isCurrentReadingSaved(), c.savedAfter);
        EXPECT_EQ(open.storageMessage(), c.noticeAfter);

        // Replaced by a paste, the reading takes the outcome in its snapshot, and undo shows the result.
        ReadingPlayer& replaced = openAt(c.savedBefore, c.noticeBefore);
        ASSERT_TRUE(replaced.apply(
            ImportedReading::create(ReadingDocument{.sections = std::nullopt, .text = u"貼り付け。"_s, .spans = {}},
                                    false, std::nullopt, std::nullopt, /*allowsReplacementUndo=*/true, clock),
            true));
        const std::optional<QString> pasteNotice = replaced.storageMessage();
        replaced.handleOutcome(reading.id, c.outcome);
        ASSERT_TRUE(replaced.replacementSnapshot());
        EXPECT_EQ(replaced.replacementSnapshot()->saved, c.savedAfter);
        EXPECT_EQ(replaced.replacementSnapshot()->message, c.noticeAfter);
        EXPECT_EQ(replaced.storageMessage(), pasteNotice);
        ASSERT_TRUE(replaced.undoReplacement(false));
        EXPECT_EQ(replaced.isCurrentReadingSaved(), c.savedAfter);
        EXPECT_EQ(replaced.storageMessage(), c.noticeAfter);
    }
}

TEST_F(ReadingPlayerStoreChangesTest, TheListenerEndsWithThePlayerOrTheStream) {
    makePlayer();
    settle();
    EXPECT_EQ(store->listenerCount(), 1);
    destroyPlayer();
    settle();
    EXPECT_EQ(store->listenerCount(), 0);

    makePlayer(false);
    settle();
    EXPECT_EQ(store->listenerCount(), 0);

    // The stream ends first: the player goes on without it.
    ReadingPlayer& player = makePlayer();
    settle();
    store->endChanges();
    settle();
    player.load(readingOf(u"吾輩は猫である。"_s), 0);
    player.startPlayback(true);
    EXPECT_EQ(player.session().status, Status::playing);
}

TEST_F(ReadingPlayerStoreChangesTest, ReadingTheStoreAgainStopsAReadingItNoLongerHasOrSaysItCouldNot) {
    ReadingPlayer& player = makePlayer();
    const SavedReading stored = keepLong();
    ASSERT_TRUE(finish(open(stored.id)));

    // It fails: a notice, nothing else changes.
    store->failNext(Call::loadState, ReadingStoreError::invalidData());
    EXPECT_TRUE(finish(begin(player.refreshStorage())));
    EXPECT_EQ(player.storageMessage(), Messages::kStorageRereadFailed);
    EXPECT_EQ(player.reading(), stored);

    // The reading is still there: nothing changes.
    EXPECT_TRUE(finish(begin(player.refreshStorage())));
    EXPECT_EQ(player.reading(), stored);

    // Gone, with nobody listening to the news: the re-read finds out.
    store->endChanges();
    deleteElsewhere(stored.id);
    EXPECT_EQ(player.reading(), stored);
    EXPECT_TRUE(finish(begin(player.refreshStorage())));
    expectStoppedForRemoval();

    // Without a store there is nothing to read.
    ReadingPlayer& alone = makePlayer(false);
    store->clearLog();
    EXPECT_TRUE(finish(begin(alone.refreshStorage())));
    EXPECT_TRUE(store->log().isEmpty());
    EXPECT_EQ(alone.storageMessage(), std::nullopt);
}

}  // namespace
}  // namespace tavrine
