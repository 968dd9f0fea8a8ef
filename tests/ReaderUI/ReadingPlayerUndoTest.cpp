// Undoing and redoing the replacement of a reading by a paste: what comes back, where, with which flags,
// and everything that ends the history; on the fake clock and store.
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

const QString kShortText = u"吾輩は猫である。名前はまだ無い。どこで生れたかとんと見当がつかぬ。"_s;

class ReadingPlayerUndoTest : public testing::Test, public test::PlayerFixture {
protected:
    // A paste into the reader: an import that allows undo.
    ImportedReading paste(const QString& text = u"貼り付けた文章。"_s) {
        return ImportedReading::create(ReadingDocument{.sections = std::nullopt, .text = text, .spans = {}}, false,
                                       std::nullopt, std::nullopt, /*allowsReplacementUndo=*/true, clock);
    }

    // The player offers exactly undo (or exactly redo).
    void expectOffers(bool undo, bool redo) {
        EXPECT_EQ(player().canUndoReplacement(), undo);
        EXPECT_EQ(player().canRedoReplacement(), redo);
    }

    qsizetype shownOffset() { return test::shownOffset(player()); }
};

TEST_F(ReadingPlayerUndoTest, UndoBringsThePlayedReadingBackPausedWhereItWasAndRedoThePaste) {
    ReadingPlayer& player = makePlayer();
    const SavedReading original = readingOf(kShortText);
    player.load(original, 0);
    player.startPlayback(true);
    advance(0.7s);
    const qsizetype reached = shownOffset();
    ASSERT_GT(reached, 0);

    const ImportedReading pasted = paste(u"名前はまだ無い。どこで生れたかとんと見当がつかぬ。"_s);
    ASSERT_TRUE(player.apply(pasted, true));
    expectOffers(true, false);
    drainStore();
    store->clearLog();

    // Redo is not what is offered: refused, nothing changes.
    const ReadingSession shown = player.session();
    EXPECT_FALSE(player.undoReplacement(true));
    EXPECT_EQ(player.reading(), pasted.reading);
    EXPECT_EQ(player.session(), shown);

    // The paste is moved on before undo; redo brings it back there.
    player.jumpToSourceOffset(12, pasted.text(), false);
    const qsizetype pastedOffset = shownOffset();
    ASSERT_GT(pastedOffset, 0);
    EXPECT_TRUE(player.undoReplacement(false));
    EXPECT_EQ(player.reading(), original);
    EXPECT_EQ(shownOffset(), reached);
    EXPECT_EQ(player.session().status, Status::paused);
    EXPECT_TRUE(player.resumesFromCursor());
    EXPECT_TRUE(player.hasPreviouslyPlayed());
    EXPECT_FALSE(player.hasActuallyPlayed());
    EXPECT_EQ(player.replacementExpectedID(), original.id);
    expectOffers(false, true);

    EXPECT_TRUE(player.undoReplacement(true));
    EXPECT_EQ(player.reading(), pasted.reading);
    EXPECT_EQ(shownOffset(), pastedOffset);
    EXPECT_FALSE(player.hasPreviouslyPlayed());
    expectOffers(true, false);

    // Swapping saves nothing: not the reading left, not a pending navigation of the paste.
    advance(1s);
    drainStore();
    EXPECT_THAT(store->calls(), testing::Not(testing::Contains(Call::updateProgress)));

    // The restored reading resumes through the automatic start.
    EXPECT_TRUE(player.undoReplacement(false));
    player.togglePlayback();
    EXPECT_EQ(player.session().status, Status::paused);
    advance(0.5s);
    EXPECT_EQ(player.session().status, Status::playing);
    EXPECT_TRUE(test::shows(player, reached));
}

TEST_F(ReadingPlayerUndoTest, AReadingReplacedWhileItsWindowWasPreparedIsPreparedAgainWhereItWas) {
    ReadingPlayer& player = makePlayer();
    const SavedReading original = readingOf(test::japaneseText(3'000));
    chunks.hold();
    player.load(original, 1'200);
    ASSERT_TRUE(waitUntil([&] { return chunks.heldCount() == 1; }));
    const std::shared_ptr<PreparedReading> prepared = player.preparedReading();

    ASSERT_TRUE(player.apply(paste(), true));
    EXPECT_EQ(player.preparedReading(), nullptr);
    chunks.release();

    EXPECT_TRUE(player.undoReplacement(false));
    // The same prepared text, not a copy.
    EXPECT_EQ(player.preparedReading(), prepared);
    EXPECT_TRUE(player.isPreparing());
    ASSERT_TRUE(waitUntilPrepared());
    EXPECT_TRUE(test::shows(player, 1'200));
    EXPECT_EQ(player.session().status, Status::paused);
    EXPECT_TRUE(player.resumesFromCursor());
    EXPECT_EQ(player.chapterNavigation(), ReadingChapterNavigation(original.document, {}));
    // Prepared again without a navigation save.
    advance(1s);
    drainStore();
    EXPECT_TRUE(savedPositions().isEmpty());
}

TEST_F(ReadingPlayerUndoTest, ACompletedReadingComesBackCompletedWithoutResumingFromTheCursor) {
    ReadingPlayer& player = makePlayer();
    player.load(readingOf(u"吾輩は猫である。"_s), 0);
    player.startPlayback(true);
    ASSERT_TRUE(advanceUntil([&] { return player.session().status == Status::completed; }, 5s));

    ASSERT_TRUE(player.apply(paste(), true));
    EXPECT_TRUE(player.undoReplacement(false));
    EXPECT_EQ(player.session().status, Status::completed);
    EXPECT_FALSE(player.resumesFromCursor());
    EXPECT_TRUE(player.hasPreviouslyPlayed());
}

TEST_F(ReadingPlayerUndoTest, WithNothingOpenBeforeThePasteUndoEmptiesTheReader) {
    ReadingPlayer& player = makePlayer();
    const ImportedReading pasted = paste();
    ASSERT_TRUE(player.apply(pasted, true));
    EXPECT_TRUE(player.undoReplacement(false));
    EXPECT_EQ(player.reading(), std::nullopt);
    EXPECT_TRUE(player.session().chunks.isEmpty());
    EXPECT_FALSE(player.resumesFromCursor());
    // No reading is open and none is expected: redo is offered.
    EXPECT_EQ(player.replacementExpectedID(), std::nullopt);
    expectOffers(false, true);
    EXPECT_TRUE(player.undoReplacement(true));
    EXPECT_EQ(player.reading(), pasted.reading);
}

TEST_F(ReadingPlayerUndoTest, TheHistoryEndsWithAnyOtherOpeningActionOrRemoval) {
    const SavedReading stored = keepInStore(readingOf(kShortText), true);
    const StoreFailure failure = ReadingStoreError::invalidData();

    // Each case: the stored reading open, replaced by a paste, then something else happens.
    struct Case {
        const char* what;
        std::function<void(test::PlayerFixture&, ReadingPlayer&)> happen;
        bool ends = true;
    };
    const QList<Case> cases{
        {"another reading loaded", [](auto&, ReadingPlayer& p) { p.load(readingOf(u"別の文章。"_s), 0); }},
        {"a stored reading opened",
         [&](auto& f, ReadingPlayer& p) { f.finish(f.begin(p.openSavedReading(stored.id))); }},
        {"a reading added to the library",
         [](auto& f, ReadingPlayer& p) { f.finish(f.begin(p.addCurrentReadingToLibrary())); }},
        {"a stored reading added to the library",
         [&](auto& f, ReadingPlayer& p) { f.finish(f.begin(p.addSavedReadingToLibrary(stored.id))); }},
        {"a library reading deleted, in vain",
         [&](auto& f, ReadingPlayer& p) {
             f.store->failNext(Call::deleteDocument, failure);
             EXPECT_FALSE(f.finish(f.begin(p.deleteLibraryDocument(stored.id))));
         }},
        {"history entries deleted",
         [](auto& f, ReadingPlayer& p) { f.finish(f.begin(p.deleteHistory({QUuid::createUuid()}))); }},
        {"the replaced reading reported removed",
         [&](auto&, ReadingPlayer& p) { p.handleOutcome(stored.id, Outcome::removed); }},
        {"the history switched", [](auto& f, ReadingPlayer& p) { f.finish(f.begin(p.setHistoryEnabled(true))); },
         false},
        {"the store read again", [](auto& f, ReadingPlayer& p) { f.finish(f.begin(p.refreshStorage())); }, false},
        // Last: the store has the reading no more.
        {"the replaced reading deleted elsewhere",
         [&](auto& f, ReadingPlayer&) {
             ReadingStoreState state = f.store->state();
             state.library.clear();
             state.tombstones.insert(stored.id);
             f.store->publish(state);
             f.drainStore();
         }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        ReadingPlayer& player = makePlayer();
        ASSERT_TRUE(finish(begin(player.openSavedReading(stored.id))));
        ASSERT_TRUE(player.apply(paste(), true));
        ASSERT_TRUE(player.canUndoReplacement());
        c.happen(*this, player);
        EXPECT_EQ(player.replacementSnapshot().has_value(), !c.ends);
        EXPECT_EQ(player.canUndoReplacement(), !c.ends);
        if (c.ends) {
            EXPECT_EQ(player.replacementExpectedID(), std::nullopt);
        }
    }

    // Without a store the four library and history actions refuse silently, and still end it.
    const std::vector<std::function<QCoro::Task<bool>(ReadingPlayer&)>> refusing{
        [](ReadingPlayer& p) { return p.addCurrentReadingToLibrary(); },
        [&](ReadingPlayer& p) { return p.addSavedReadingToLibrary(stored.id); },
        [&](ReadingPlayer& p) { return p.deleteLibraryDocument(stored.id); },
        [&](ReadingPlayer& p) { return p.deleteHistory({stored.id}); },
    };
    for (const auto& action : refusing) {
        ReadingPlayer& alone = makePlayer(false);
        ASSERT_TRUE(alone.apply(paste(), true));
        EXPECT_FALSE(finish(begin(action(alone))));
        EXPECT_EQ(alone.storageMessage(), std::nullopt);
        EXPECT_FALSE(alone.canUndoReplacement());
        EXPECT_EQ(alone.replacementSnapshot(), std::nullopt);
    }

    // Quitting refuses the swap but keeps the history.
    ReadingPlayer& player = makePlayer();
    ASSERT_TRUE(player.apply(paste(), true));
    player.prepareForTermination();
    EXPECT_FALSE(player.undoReplacement(false));
    EXPECT_TRUE(player.replacementSnapshot().has_value());
}

TEST_F(ReadingPlayerUndoTest, TheReplacedReadingKeepsUpWithItsSavesAndComesBackWithThem) {
    ReadingPlayer& player = makePlayer();
    const SavedReading original = readingOf(kShortText);
    player.load(original, 0);
    player.startPlayback(true);
    advance(0.4s);
    drainStore();  // the play record stored it
    ASSERT_TRUE(player.isCurrentReadingSaved());

    // The position saves the paste queues as it replaces the reading fail after the paste is shown.
    store->respondAlways(Call::updateProgress, {{}, ReadingStoreError::invalidData()});
    const ImportedReading pasted = paste();
    ASSERT_TRUE(player.apply(pasted, true));
    drainStore();
    ASSERT_TRUE(player.replacementSnapshot());
    EXPECT_EQ(player.replacementSnapshot()->message, ReadingPlayerMessages::kSaveFailed);
    EXPECT_TRUE(player.replacementSnapshot()->saved);
    EXPECT_EQ(player.storageMessage(), std::nullopt);  // the paste's own notice

    EXPECT_TRUE(player.undoReplacement(false));
    EXPECT_EQ(player.storageMessage(), ReadingPlayerMessages::kSaveFailed);
    EXPECT_TRUE(player.isCurrentReadingSaved());

    // Now the paste is kept: it is saved by a later play, and redo finds it so.
    EXPECT_FALSE(player.replacementSnapshot()->saved);
    player.handleOutcome(pasted.id(), Outcome::saved);
    EXPECT_TRUE(player.replacementSnapshot()->saved);
    EXPECT_TRUE(player.undoReplacement(true));
    EXPECT_TRUE(player.isCurrentReadingSaved());
    EXPECT_EQ(player.storageMessage(), std::nullopt);
}

}  // namespace
}  // namespace tavrine
