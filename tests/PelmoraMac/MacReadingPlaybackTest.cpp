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

#include <QFile>

#include <cerrno>

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

// What the user reads of a refused store, in the notice's details and on stderr: the file, what it is
// to the store, and why it was refused.
TEST_F(ReadingPlaybackCreation, ARefusedStoreNamesTheFileAndTheReason) {
    const QString storeFile = folder.write(u"reading-store.json"_s, R"({"version":3,"docu)");
    EXPECT_EQ(
        make(storeFile)->refusalDetails(),
        u"ファイル："_s + storeFile + u"（保存データの本体）\n理由：JSONとして読めません。ファイルが壊れています。"_s);
    folder.write(u"reading-store.json"_s, R"({"version":7})");
    EXPECT_EQ(make(storeFile)->refusalDetails(),
              u"ファイル："_s + storeFile +
                  u"（保存データの本体）\n理由：このTavrineでは読めない形式（版 7）です。"
                  u"より新しいTavrineで保存された可能性があります。"_s);
    folder.write(u"reading-store.json"_s, R"({"version":3,"historyEnabled":true,"historyLimit":"100"})");
    EXPECT_EQ(make(storeFile)->refusalDetails(),
              u"ファイル："_s + storeFile +
                  u"（保存データの本体）\n理由：必要な項目が欠けているか、値の形式が違います（historyLimit）。"_s);
    QFile::remove(storeFile);
    EXPECT_EQ(make(storeFile)->refusalDetails(), std::nullopt);
    EXPECT_EQ(make(std::nullopt)->refusalDetails(), std::nullopt);

    using File = StoreOpeningFailure::File;
    const QString kept = u"/data/reading-store.json.originals/00000000-0000-0000-0000-000000000002.epub"_s;
    const auto describe = [&](StoreFailure failure, File file, std::optional<QString> name = std::nullopt) {
        return MacReadingPlayback::describeRefusal({std::move(failure), file, kept, std::move(name)});
    };
    EXPECT_EQ(
        describe(FileError{FileError::Operation::status, ENOENT, kept}, File::original, u"猫.epub"_s),
        u"ファイル："_s + kept + u"（「猫.epub」から取り込んだEPUBの保管コピー）\n理由：ファイルが見つかりません。"_s);
    EXPECT_EQ(describe(ReadingStoreError::invalidData(), File::original, u"猫.epub"_s),
              u"ファイル："_s + kept +
                  u"（「猫.epub」から取り込んだEPUBの保管コピー）\n理由：通常のファイルでないか、"
                  u"大きさかSHA-256が取り込んだときの記録と一致しません。"_s);
    EXPECT_TRUE(describe(FileError{FileError::Operation::open, EACCES, kept}, File::original)
                    .endsWith(u"理由：このユーザーには扱う権限がありません。"_s));
    EXPECT_TRUE(describe(FileError{FileError::Operation::read, EIO, kept}, File::progress)
                    .contains(u"（読書位置の記録）\n理由：読み取れませんでした（"_s));
    EXPECT_TRUE(describe(ReadingStoreError::lockUnavailable(), File::lock)
                    .endsWith(u"理由：ほかのTavrineが同じ保存データを使っています。"_s));

    // The names the store holds come from outside: their control characters reach the notice and stderr
    // escaped, so none colours a terminal or adds a line.
    const QString odd = u"/data/\u001B]0;x\u0007/reading-store.json"_s;
    EXPECT_EQ(
        MacReadingPlayback::describeRefusal(
            {ReadingStoreError::invalidData(), File::original, odd, u"猫\u001B[31m\n.epub"_s}),
        u"ファイル：/data/\\x1B]0;x\\x07/reading-store.json（「猫\\x1B[31m\\x0A.epub」から取り込んだEPUBの保管コピー）"
        u"\n理由：通常のファイルでないか、大きさかSHA-256が取り込んだときの記録と一致しません。"_s);
    EXPECT_TRUE(
        describe(DecodingError{DecodingError::Kind::keyNotFound, u"documents.Index 0.\u009B2J"_s, {}}, File::store)
            .endsWith(u"（documents.Index 0.\\x9B2J）。"_s));
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
