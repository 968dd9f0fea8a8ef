// The one store and the one player: where the store is opened, and the unsaved player when it cannot be.
#include "PelmoraMac/Library/MacReadingPlayback.h"
#include "ReaderCore/ImportedReading.h"
#include "ReaderCore/MemoryDefaults.h"
#include "ReaderStorage/ReadingStore.h"

#include "support/EventLoop.h"
#include "support/FakeClock.h"
#include "support/QtPrinters.h"
#include "support/RunTask.h"
#include "support/TemporaryDirectory.h"

#include <gtest/gtest.h>

namespace tavrine {
namespace {
using namespace Qt::StringLiterals;

const QString kStoreUnavailable =
    u"保存データを開けませんでした。今回の再生は保存されません。文章の取り込みと再生は使えます。"_s;

class ReadingPlaybackCreation : public testing::Test {
protected:
    std::unique_ptr<MacReadingPlayback> make(std::optional<QString> storeFile) {
        return std::make_unique<MacReadingPlayback>(std::move(storeFile), defaults, clock,
                                                    MacReadingPlayback::readingFontPhraseWidth());
    }

    test::TemporaryDirectory folder;
    MemoryDefaults defaults;
    test::FakeClock clock;
};

TEST_F(ReadingPlaybackCreation, AFirstLaunchOpensAnEmptyStoreAndCreatesNothing) {
    const QString storeFile = folder.filePath(u"data/org.tavrine.Tavrine/reading-store.json"_s);
    auto playback = make(storeFile);

    ASSERT_TRUE(playback->store());
    EXPECT_EQ(playback->store()->files().storeFile(), storeFile);  // exactly the file given
    EXPECT_FALSE(playback->player().storageMessage());
    playback.reset();
    EXPECT_TRUE(folder.list().isEmpty());
}

TEST_F(ReadingPlaybackCreation, AnUnreadableStoreLeavesThePlayerUnsavedAndTheFileAsItWas) {
    // A store file cut short in the middle of its JSON.
    const QByteArray truncated = R"({"version":3,"revision":"6F1C2A4E-0B7D-4C39-9A57-1E2D3C4B5A69","docu)";
    const QString storeFile = folder.write(u"reading-store.json"_s, truncated);
    auto playback = make(storeFile);

    EXPECT_FALSE(playback->store());
    EXPECT_EQ(playback->player().storageMessage(), kStoreUnavailable);
    // Importing and playing still work.
    EXPECT_TRUE(playback->player().apply(ImportedReading::fromText(u"読めます。"_s, false, clock), true));
    EXPECT_EQ(playback->player().document()->text, u"読めます。"_s);
    playback->player().startPlayback(true);
    EXPECT_EQ(playback->player().session().status, ReadingSession::Status::playing);
    playback->player().prepareForTermination();
    // The stopped loop ends on a later turn of the event loop.
    test::settlePool();
    playback.reset();

    EXPECT_EQ(folder.read(u"reading-store.json"_s), truncated);
    EXPECT_EQ(folder.list(), (QStringList{u"reading-store.json"_s, u"reading-store.json.lock"_s}));
}

TEST_F(ReadingPlaybackCreation, NoPlaceForAStoreIsOneMoreFailure) {
    auto playback = make(std::nullopt);
    EXPECT_FALSE(playback->store());
    EXPECT_EQ(playback->player().storageMessage(), kStoreUnavailable);
}

TEST_F(ReadingPlaybackCreation, AStoreOwnedElsewhereIsNotOpenedTwice) {
    const QString storeFile = folder.filePath(u"reading-store.json"_s);
    auto owner = ReadingStore::open(storeFile);
    ASSERT_TRUE(owner);
    const auto written = test::runTask((*owner)->setHistoryEnabled(true));
    ASSERT_TRUE(written && *written);

    auto playback = make(storeFile);
    EXPECT_FALSE(playback->store());
    EXPECT_EQ(playback->player().storageMessage(), kStoreUnavailable);
}

}  // namespace
}  // namespace tavrine
