// The player over the real store in a temporary folder, with the real segmenters and the fake clock: a
// reading is played, moved about and left as the application quits, and a new player over the store
// reopened from its folder opens it where it was left.
#include "PlayerTesting.h"

#include "ReaderEPUB/EPUBReader.h"
#include "ReaderStorage/ReadingStore.h"
#include "ReaderUI/Player/ReadingStorePlaybackStore.h"

#include "support/QtPrinters.h"
#include "support/RunTask.h"
#include "support/SharedData.h"
#include "support/TemporaryDirectory.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <QFile>

namespace tavrine {
namespace {

using namespace Qt::StringLiterals;
using namespace std::chrono_literals;
using Status = ReadingSession::Status;
using test::runTask;

const QString kSampleBook = u"epub/kusamakura.epub"_s;

class ReadingPlayerEndToEndTest : public testing::Test, public test::PlayerFixture {
protected:
    void TearDown() override { closeAll(); }

    // Opens the store in the test's folder and a player over it.
    ReadingPlayer& start() {
        StoreResult<std::unique_ptr<ReadingStore>> opened =
            ReadingStore::open(m_folder.filePath(u"store.json"_s), clock);
        EXPECT_TRUE(opened.has_value());
        if (!opened) return makePlayer(false);
        m_store = std::move(*opened);
        return makePlayerOver(std::make_shared<ReadingStorePlaybackStore>(m_store));
    }

    ReadingStore& readingStore() { return *m_store; }

    // What the application does when it quits, then the player and the store go, the store's lock with
    // them.
    void quit() {
        player().prepareForTermination();
        EXPECT_TRUE(finish(begin(player().finishPersistence())));
        closeAll();
    }

    std::optional<StoredReading> stored(const QUuid& id) {
        return runTask(m_store->storedReading(id)).value_or(std::nullopt);
    }

    // Plays from a paused or ready reading, through the automatic start, for the given time.
    void playFor(std::chrono::duration<double> time) {
        player().togglePlayback();
        ASSERT_TRUE(waitUntilPrepared());
        advance(ReadingPlayer::kAutoplayDelay);
        ASSERT_TRUE(waitUntil([&] { return player().session().status == Status::playing; }));
        advance(time);
    }

    // Waits for the window of a move, then gives the position shown.
    qsizetype settled() {
        EXPECT_TRUE(waitUntilPrepared());
        return player().currentSourceOffset();
    }

private:
    void closeAll() {
        destroyPlayer();
        const std::weak_ptr<ReadingStore> closing = m_store;
        m_store.reset();
        // Writes still queued hold the store until they have run.
        EXPECT_TRUE(waitUntil([&] { return closing.expired(); }));
    }

    test::TemporaryDirectory m_folder;
    std::shared_ptr<ReadingStore> m_store;
};

TEST_F(ReadingPlayerEndToEndTest, AnImportedTextIsLeftAsTheApplicationQuitsAndOpensThereAgain) {
    ReadingPlayer& player = start();
    const ReadingDocument document{
        .sections = test::sectionsOf({1'500, 1'500, 1'500}), .text = test::japaneseText(4'500), .spans = {}};
    const ImportedReading imported =
        ImportedReading::create(document, false, u"三つの章"_s, std::nullopt, false, clock);
    ASSERT_TRUE(player.apply(imported, true));
    ASSERT_TRUE(waitUntilPrepared());
    ASSERT_TRUE(player.preparedReading());

    playFor(3s);
    const qsizetype played = player.currentSourceOffset();
    EXPECT_GT(played, 0);
    EXPECT_TRUE(finish(begin(player.flushPersistence())));
    // Its play record put it in the history.
    const std::optional<StoredReading> record = stored(imported.id());
    ASSERT_TRUE(record);
    EXPECT_TRUE(record->lastPlayedAt);
    EXPECT_FALSE(record->isInLibrary);
    EXPECT_TRUE(player.isCurrentReadingSaved());

    player.togglePlayback();
    EXPECT_EQ(player.session().status, Status::paused);
    player.seekToFraction(0.25);
    settled();
    EXPECT_TRUE(test::shows(player, 1'125));
    player.moveSentence(true);
    const qsizetype sentence = settled();
    EXPECT_GT(sentence, 1'125);
    player.moveChapter(true);
    EXPECT_EQ(settled(), 1'500);
    player.moveChapter(true);
    EXPECT_EQ(settled(), 3'000);
    player.moveSentence(true);
    const qsizetype left = settled();
    EXPECT_GT(left, 3'000);
    ASSERT_TRUE(test::shows(player, left));

    quit();

    ReadingPlayer& reopened = start();
    const std::optional<StoredReading> kept = stored(imported.id());
    ASSERT_TRUE(kept);
    EXPECT_EQ(kept->progress, (ReadingProgress{left, false}));
    EXPECT_EQ(kept->reading, imported.reading);
    EXPECT_TRUE(finish(begin(reopened.openSavedReading(imported.id()))));
    EXPECT_EQ(reopened.reading(), imported.reading);
    EXPECT_EQ(reopened.session().status, Status::paused);
    EXPECT_TRUE(test::shows(reopened, left));
    EXPECT_EQ(reopened.currentSection(), document.sections->at(2));
    EXPECT_TRUE(reopened.resumesFromCursor());
    EXPECT_TRUE(reopened.hasPreviouslyPlayed());
    quit();
}

TEST_F(ReadingPlayerEndToEndTest, TheSampleBookImportedIntoTheStoreIsLeftAndOpensThereAgain) {
    const QString path = test::sharedDataFile(kSampleBook);
    TAVRINE_SKIP_WITHOUT(path, kSampleBook);
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    const QByteArray bytes = file.readAll();
    const auto book = runTask(EPUBReader().read(bytes, CancellationToken()));
    ASSERT_TRUE(book && book->has_value());

    ReadingPlayer& player = start();
    const auto imported =
        runTask(readingStore().importFile(LibraryFileImport::epub(u"kusamakura.epub"_s, bytes, **book)));
    ASSERT_TRUE(imported && imported->has_value());
    const QUuid id = **imported;

    EXPECT_TRUE(finish(begin(player.openSavedReading(id))));
    EXPECT_EQ(player.originalEPUBFilename(), u"kusamakura.epub"_s);
    EXPECT_EQ(player.currentSourceOffset(), 0);
    playFor(3s);
    EXPECT_GT(player.currentSourceOffset(), 0);
    player.togglePlayback();

    // Into the next chapter, then a sentence on.
    const std::optional<qsizetype> chapter = player.chapterTarget(true);
    ASSERT_TRUE(chapter);
    player.moveChapter(true);
    EXPECT_EQ(settled(), *chapter);
    player.moveSentence(true);
    const qsizetype left = settled();
    EXPECT_GT(left, *chapter);
    const std::optional<ReadingDocument::Section> section = player.currentSection();
    ASSERT_TRUE(section);

    quit();

    ReadingPlayer& reopened = start();
    const std::optional<StoredReading> kept = stored(id);
    ASSERT_TRUE(kept);
    EXPECT_EQ(kept->progress, (ReadingProgress{left, false}));
    EXPECT_TRUE(kept->lastPlayedAt);
    EXPECT_TRUE(kept->isInLibrary);
    EXPECT_TRUE(finish(begin(reopened.openSavedReading(id))));
    EXPECT_EQ(reopened.session().status, Status::paused);
    EXPECT_TRUE(test::shows(reopened, left));
    EXPECT_EQ(reopened.currentSection(), section);
    EXPECT_EQ(reopened.originalEPUBFilename(), u"kusamakura.epub"_s);
    quit();
}

}  // namespace
}  // namespace tavrine
