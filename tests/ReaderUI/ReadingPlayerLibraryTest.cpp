// The library and history actions the player runs for the library window, and quitting: what reaches
// the store in which order, which notices they leave, and what is refused; on the fake clock and store.
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
using LoggedCall = test::FakePlaybackStore::LoggedCall;
using Status = ReadingSession::Status;
using test::readingOf;
namespace Messages = ReadingPlayerMessages;

const QString kShortText = u"吾輩は猫である。名前はまだ無い。どこで生れたかとんと見当がつかぬ。"_s;
const StoreFailure kFailure = ReadingStoreError::invalidData();

class ReadingPlayerLibraryTest : public testing::Test, public test::PlayerFixture {
protected:
    bool run(QCoro::Task<bool> action) { return finish(begin(std::move(action))); }

    SavedReading keepInHistory(const QString& text) { return keepInStore(readingOf(text), false); }

    // The store calls that write, in order (reads of the state left out).
    QList<LoggedCall> writes() const {
        QList<LoggedCall> calls;
        for (const LoggedCall& call : store->log()) {
            if (call.call != Call::loadState && call.call != Call::historyEnabled && call.call != Call::storedReading)
                calls.append(call);
        }
        return calls;
    }

    qsizetype shownOffset() { return test::shownOffset(player()); }
};

TEST_F(ReadingPlayerLibraryTest, TheOpenReadingGoesInAtItsStartUntilItHasPlayedThenWithItsPlaceSavedFirst) {
    ReadingPlayer& player = makePlayer();

    // Never played, though moved on: stored at its start.
    const SavedReading fresh = readingOf(kShortText);
    player.load(fresh, 0);
    player.jumpToSourceOffset(10, kShortText, false);
    ASSERT_GT(player.currentSourceOffset(), 0);
    EXPECT_TRUE(run(player.addCurrentReadingToLibrary()));
    EXPECT_EQ(writes(), (QList<LoggedCall>{{Call::addReadingToLibrary, fresh.id, ReadingProgress{0, false}}}));
    EXPECT_TRUE(player.isCurrentReadingSaved());
    ASSERT_TRUE(store->find(fresh.id));
    EXPECT_TRUE(store->find(fresh.id)->isInLibrary);

    // Played, and stored in the history by its play record: the position save goes first.
    const SavedReading played = readingOf(kShortText);
    player.load(played, 0);
    player.startPlayback(true);
    advance(0.7s);
    player.pause(false);
    const qsizetype reached = shownOffset();
    ASSERT_GT(reached, 0);
    drainStore();
    store->clearLog();
    EXPECT_TRUE(run(player.addCurrentReadingToLibrary()));
    EXPECT_EQ(writes(), (QList<LoggedCall>{{Call::updateProgress, played.id, ReadingProgress{reached, false}},
                                           {Call::addToLibrary, played.id, std::nullopt}}));

    // Played, but its play record failed: the store gets the place reached with the reading.
    const SavedReading unsaved = readingOf(kShortText);
    store->failNext(Call::recordPlaybackOfReading, kFailure);
    player.load(unsaved, 0);
    player.startPlayback(true);
    ASSERT_TRUE(advanceUntil([&] { return player.session().status == Status::completed; }, 10s));
    drainStore();
    EXPECT_EQ(player.storageMessage(), Messages::kSaveFailed);
    store->clearLog();
    EXPECT_TRUE(run(player.addCurrentReadingToLibrary()));
    EXPECT_EQ(writes(),
              (QList<LoggedCall>{{Call::addReadingToLibrary, unsaved.id, ReadingProgress{kShortText.size(), true}}}));
    // Its outcome settles the flag and replaces the failure notice.
    EXPECT_TRUE(player.isCurrentReadingSaved());
    EXPECT_EQ(player.storageMessage(), std::nullopt);
}

TEST_F(ReadingPlayerLibraryTest, NothingOrABlankTextIsRefusedWithoutAskingTheStore) {
    ReadingPlayer& player = makePlayer();
    EXPECT_FALSE(run(player.addCurrentReadingToLibrary()));
    player.load(readingOf(u" \n\t　\r\n"_s), 0);
    EXPECT_FALSE(run(player.addCurrentReadingToLibrary()));
    drainStore();
    EXPECT_TRUE(store->log().isEmpty());
    EXPECT_EQ(player.storageMessage(), std::nullopt);

    // Without a store the history switch is refused too (the other actions: ReadingPlayerUndoTest).
    ReadingPlayer& alone = makePlayer(false);
    EXPECT_FALSE(run(alone.setHistoryEnabled(false)));
    EXPECT_EQ(alone.storageMessage(), std::nullopt);
}

TEST_F(ReadingPlayerLibraryTest, AFailedAdditionLeavesItsNoticeOnlyWhileTheReadingIsStillOpen) {
    ReadingPlayer& player = makePlayer();
    const SavedReading first = readingOf(kShortText);
    player.load(first, 0);
    store->failNext(Call::addReadingToLibrary, kFailure);
    EXPECT_FALSE(run(player.addCurrentReadingToLibrary()));
    EXPECT_EQ(player.storageMessage(), Messages::kLibraryAddFailed);
    EXPECT_FALSE(player.isCurrentReadingSaved());

    // Tried again successfully: the outcome clears it.
    EXPECT_TRUE(run(player.addCurrentReadingToLibrary()));
    EXPECT_EQ(player.storageMessage(), std::nullopt);

    // Another reading is opened while the store takes its time, then fails: nothing is said.
    player.load(readingOf(kShortText), 0);
    store->respondNext(Call::addReadingToLibrary, {1s, kFailure});
    const auto adding = begin(player.addCurrentReadingToLibrary());
    player.load(readingOf(u"別の文章。"_s), 0);
    advance(2s);
    EXPECT_FALSE(finish(adding));
    EXPECT_EQ(player.storageMessage(), std::nullopt);
}

TEST_F(ReadingPlayerLibraryTest, StoredReadingsAreAddedOrDeletedWithoutNoticesAndTheOpenOneIsSavedFirst) {
    ReadingPlayer& player = makePlayer();
    const SavedReading stored = keepInHistory(kShortText);
    ASSERT_TRUE(run(player.openSavedReading(stored.id)));
    player.startPlayback(true);
    advance(0.7s);
    player.pause(false);
    const qsizetype reached = shownOffset();
    drainStore();
    store->clearLog();

    EXPECT_TRUE(run(player.addSavedReadingToLibrary(stored.id)));
    EXPECT_EQ(writes(), (QList<LoggedCall>{{Call::updateProgress, stored.id, ReadingProgress{reached, false}},
                                           {Call::addToLibrary, stored.id, std::nullopt}}));
    EXPECT_TRUE(store->find(stored.id)->isInLibrary);

    // Another stored reading: no save of the open one.
    const SavedReading other = keepInHistory(u"別の文章。"_s);
    store->clearLog();
    EXPECT_TRUE(run(player.addSavedReadingToLibrary(other.id)));
    EXPECT_EQ(writes(), (QList<LoggedCall>{{Call::addToLibrary, other.id, std::nullopt}}));

    // Failures leave no notice: the window words its own.
    store->failNext(Call::addToLibrary, kFailure);
    EXPECT_FALSE(run(player.addSavedReadingToLibrary(other.id)));
    store->failNext(Call::deleteDocument, kFailure);
    EXPECT_FALSE(run(player.deleteLibraryDocument(other.id)));
    EXPECT_EQ(player.storageMessage(), std::nullopt);
    EXPECT_TRUE(run(player.deleteLibraryDocument(other.id)));
    EXPECT_EQ(store->find(other.id), std::nullopt);
    EXPECT_EQ(player.reading(), stored);
}

TEST_F(ReadingPlayerLibraryTest, HistoryDeletionAndTheHistorySettingClearOnlyTheirOwnNotices) {
    ReadingPlayer& player = makePlayer();
    const SavedReading entry = keepInHistory(kShortText);

    store->failNext(Call::removeFromHistory, kFailure);
    EXPECT_FALSE(run(player.deleteHistory({entry.id})));
    EXPECT_EQ(player.storageMessage(), Messages::kHistoryDeletionFailed);
    EXPECT_TRUE(store->find(entry.id));
    EXPECT_TRUE(run(player.deleteHistory({entry.id})));
    EXPECT_EQ(player.storageMessage(), std::nullopt);
    EXPECT_EQ(store->find(entry.id), std::nullopt);

    store->failNext(Call::setHistoryEnabled, kFailure);
    EXPECT_FALSE(run(player.setHistoryEnabled(false)));
    EXPECT_EQ(player.storageMessage(), Messages::kHistorySettingFailed);
    EXPECT_TRUE(store->state().historyEnabled);
    EXPECT_TRUE(run(player.setHistoryEnabled(false)));
    EXPECT_EQ(player.storageMessage(), std::nullopt);
    EXPECT_FALSE(store->state().historyEnabled);

    // A success leaves another action's notice in place.
    store->failNext(Call::setHistoryEnabled, kFailure);
    EXPECT_FALSE(run(player.setHistoryEnabled(true)));
    EXPECT_TRUE(run(player.deleteHistory({QUuid::createUuid()})));
    EXPECT_EQ(player.storageMessage(), Messages::kHistorySettingFailed);
    store->failNext(Call::removeFromHistory, kFailure);
    EXPECT_FALSE(run(player.deleteHistory({QUuid::createUuid()})));
    EXPECT_TRUE(run(player.setHistoryEnabled(true)));
    EXPECT_EQ(player.storageMessage(), Messages::kHistoryDeletionFailed);
}

TEST_F(ReadingPlayerLibraryTest, DeletingTheOpenReadingFromTheHistoryStopsIt) {
    ReadingPlayer& player = makePlayer();
    const SavedReading entry = keepInHistory(kShortText);
    ASSERT_TRUE(run(player.openSavedReading(entry.id)));
    player.startPlayback(true);
    advance(0.3s);
    EXPECT_TRUE(run(player.deleteHistory({entry.id})));
    EXPECT_EQ(player.reading(), std::nullopt);
    EXPECT_NE(player.session().status, Status::playing);
    EXPECT_EQ(player.storageMessage(), Messages::kReadingRemoved);
}

TEST_F(ReadingPlayerLibraryTest, QuittingRefusesEveryActionWhileTheLastSavesAreAwaited) {
    ReadingPlayer& player = makePlayer();
    const SavedReading stored = keepInHistory(kShortText);
    ASSERT_TRUE(run(player.openSavedReading(stored.id)));
    player.startPlayback(true);
    advance(0.7s);

    // Flushing waits for the writes without stopping anything.
    EXPECT_TRUE(finish(begin(player.flushPersistence())));
    EXPECT_EQ(player.session().status, Status::playing);

    // The store is slow: the final position save takes 5 s.
    drainStore();
    store->clearLog();
    store->delayNext(Call::updateProgress, 5s);
    player.prepareForTermination();
    const ReadingProgress last = player.currentProgress();
    ASSERT_GT(last.utf16Offset, 0);
    const auto finished = begin(player.finishPersistence());
    settle();  // the save reaches the store now

    EXPECT_FALSE(run(player.addCurrentReadingToLibrary()));
    EXPECT_FALSE(run(player.addSavedReadingToLibrary(stored.id)));
    EXPECT_FALSE(run(player.deleteLibraryDocument(stored.id)));
    EXPECT_FALSE(run(player.deleteHistory({stored.id})));
    EXPECT_FALSE(run(player.setHistoryEnabled(false)));
    EXPECT_EQ(player.storageMessage(), std::nullopt);

    advance(4.9s);
    EXPECT_FALSE(finished->has_value());
    advance(0.1s);
    EXPECT_TRUE(finish(finished));
    // Saved as the quit began and once more as the application waits; nothing else was written.
    EXPECT_THAT(writes(),
                testing::AllOf(testing::SizeIs(2), testing::Each(LoggedCall{Call::updateProgress, stored.id, last})));
    ASSERT_TRUE(store->find(stored.id));
    EXPECT_EQ(store->find(stored.id)->progress, last);

    // Without a store there is nothing to wait for.
    ReadingPlayer& alone = makePlayer(false);
    alone.prepareForTermination();
    EXPECT_TRUE(finish(begin(alone.finishPersistence())));
}

}  // namespace
}  // namespace tavrine
