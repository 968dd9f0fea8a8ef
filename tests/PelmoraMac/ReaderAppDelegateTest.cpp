// Quitting waits for what must be saved: a real player over a real store in a temporary folder.
#include "PelmoraMac/App/ReaderAppDelegate.h"
#include "ReaderCore/Characters.h"
#include "ReaderCore/ImportedReading.h"
#include "ReaderCore/MemoryDefaults.h"
#include "ReaderStorage/ReadingStore.h"
#include "ReaderUI/Player/ReadingPlayer.h"
#include "ReaderUI/Player/ReadingStorePlaybackStore.h"

#include "AppTesting.h"
#include "support/EventLoop.h"
#include "support/FakeClock.h"
#include "support/RunTask.h"
#include "support/TemporaryDirectory.h"

#include <gtest/gtest.h>
#include <QCoro/QCoroTimer>
#include <QStringList>

namespace tavrine {
namespace {
using namespace Qt::StringLiterals;
using namespace std::chrono_literals;
using test::processEventsUntil;

const QString kText =
    u"吾輩は猫である。名前はまだ無い。どこで生れたかとんと見当がつかぬ。"
    u"何でも薄暗いじめじめした所でニャーニャー泣いていた事だけは記憶している。"
    u"吾輩はここで始めて人間というものを見た。"_s;

// What happened, in order.
using EventLog = std::shared_ptr<QStringList>;

QCoro::Task<void> slowFileImport(EventLog log) {
    log->append(u"import started"_s);
    co_await QCoro::sleepFor(300ms);
    log->append(u"import finished"_s);
}

// A player as the application makes one, over a real store whose writes the test can slow down, and a
// delegate whose granted quit is logged.
class DeferredQuit : public testing::Test {
protected:
    void SetUp() override {
        auto opened = ReadingStore::open(folder.filePath(u"reading-store.json"_s), files);
        ASSERT_TRUE(opened);
        store = std::move(*opened);
        player = std::make_unique<ReadingPlayer>(
            std::make_shared<ReadingStorePlaybackStore>(store), false, true, std::chrono::seconds(5), defaults, clock,
            ReadingPlayer::PhraseWidth{[](QStringView phrase) { return double(characterCount(phrase)); }, 8});
    }
    // The player's store listener, woken as the player goes, ends on the event loop.
    void TearDown() override {
        player.reset();
        QCoreApplication::sendPostedEvents();
        QCoreApplication::processEvents();
    }

    // Plays the text on the fake clock until a few phrases in, its play record written.
    void playAWhile() {
        const ImportedReading imported = ImportedReading::fromText(kText, false, clock);
        readingID = imported.id();
        ASSERT_TRUE(player->apply(imported, true));
        player->startPlayback(true);
        for (int step = 0; step < 300 && player->session().index < 4; ++step) {
            clock.advance(10ms);
            QCoreApplication::processEvents();
        }
        ASSERT_GE(player->session().index, 4);
        ASSERT_TRUE(processEventsUntil([&] { return files->finishedWrites > 0; }));
    }

    // The position on disk, read by a new store once this one is gone.
    std::optional<ReadingProgress> positionOnDisk() {
        player.reset();
        store.reset();
        auto reopened = ReadingStore::open(folder.filePath(u"reading-store.json"_s));
        if (!reopened) return std::nullopt;
        const auto stored = test::runTask((*reopened)->storedReading(readingID));
        if (!stored || !*stored) return std::nullopt;
        return (*stored)->progress;
    }

    test::TemporaryDirectory folder;
    std::shared_ptr<test::SlowWritingFileSystem> files = std::make_shared<test::SlowWritingFileSystem>();
    test::FakeClock clock;
    MemoryDefaults defaults;
    std::shared_ptr<ReadingStore> store;
    std::unique_ptr<ReadingPlayer> player;
    QUuid readingID;
    EventLog log = std::make_shared<QStringList>();
};

TEST_F(DeferredQuit, DuringPlaybackPausesThenWaitsForTheImportThenForTheSavesThenQuits) {
    playAWhile();
    // GIVEN the position's write held back longer than the import hook takes
    files->writeDelayMs = 600;
    const int writesBefore = files->finishedWrites;
    int writesAtQuit = -1;
    ReaderAppDelegate delegate([&] {
        log->append(u"quit"_s);
        writesAtQuit = files->finishedWrites;
    });
    delegate.setPlayer(player.get());
    delegate.setPrepareForTermination([&] { log->append(u"prepare"_s); });
    delegate.setFinishFileImport([&] { return slowFileImport(log); });

    // WHEN the user quits while the reading plays
    EXPECT_EQ(delegate.applicationShouldTerminate(), TerminateReply::later);

    // THEN the player stopped at once, keeping its place, and the wait began
    EXPECT_TRUE(player->isTerminating());
    EXPECT_EQ(player->session().status, ReadingSession::Status::paused);
    const qsizetype position = player->currentSourceOffset();
    EXPECT_GT(position, 0);
    EXPECT_EQ(*log, (QStringList{u"prepare"_s, u"import started"_s}));

    // WHEN the user asks again meanwhile, THEN nothing more starts
    EXPECT_EQ(delegate.applicationShouldTerminate(), TerminateReply::later);
    delegate.requestTermination();
    EXPECT_EQ(*log, (QStringList{u"prepare"_s, u"import started"_s}));

    // THEN the application quits once, after the import, and only once the position is written
    ASSERT_TRUE(processEventsUntil([&] { return log->contains(u"quit"_s); }));
    EXPECT_EQ(*log, (QStringList{u"prepare"_s, u"import started"_s, u"import finished"_s, u"quit"_s}));
    EXPECT_GT(writesAtQuit, writesBefore);
    EXPECT_TRUE(delegate.isFinishing());
    // Nothing further happens while the event loop runs on.
    test::settlePool();
    EXPECT_EQ(log->count(u"quit"_s), 1);

    const auto saved = positionOnDisk();
    ASSERT_TRUE(saved);
    EXPECT_EQ(saved->utf16Offset, position);
}

TEST_F(DeferredQuit, WithoutHooksWaitsForTheSavesAlone) {
    playAWhile();
    files->writeDelayMs = 300;
    const int writesBefore = files->finishedWrites;
    int writesAtQuit = -1;
    ReaderAppDelegate delegate([&] { writesAtQuit = files->finishedWrites; });
    delegate.setPlayer(player.get());

    delegate.requestTermination();
    EXPECT_EQ(writesAtQuit, -1);
    ASSERT_TRUE(processEventsUntil([&] { return writesAtQuit >= 0; }));
    EXPECT_GT(writesAtQuit, writesBefore);
    const qsizetype position = player->currentSourceOffset();
    EXPECT_EQ(positionOnDisk().value_or(ReadingProgress{}).utf16Offset, position);
}

TEST(ReaderAppDelegate, WithoutAPlayerQuitsAtOnceAndRunsNoHook) {
    int quits = 0;
    bool prepared = false;
    ReaderAppDelegate delegate([&] { ++quits; });
    delegate.setPrepareForTermination([&] { prepared = true; });

    EXPECT_EQ(delegate.applicationShouldTerminate(), TerminateReply::now);
    EXPECT_EQ(quits, 0);  // the answer alone quits nothing: the caller does
    delegate.requestTermination();
    EXPECT_EQ(quits, 1);
    EXPECT_FALSE(prepared);
    EXPECT_FALSE(delegate.isFinishing());
    EXPECT_FALSE(ReaderAppDelegate::applicationShouldTerminateAfterLastWindowClosed());
}

TEST_F(DeferredQuit, AStartedQuitIsAbandonedWithTheDelegate) {
    playAWhile();
    int quits = 0;
    {
        ReaderAppDelegate delegate([&] { ++quits; });
        delegate.setPlayer(player.get());
        delegate.setFinishFileImport([&] { return slowFileImport(log); });
        delegate.requestTermination();
    }
    ASSERT_TRUE(processEventsUntil([&] { return log->contains(u"import finished"_s); }));
    test::settlePool();
    EXPECT_EQ(quits, 0);
}

}  // namespace
}  // namespace tavrine
