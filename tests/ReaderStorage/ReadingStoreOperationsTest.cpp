#include "StoreFixture.h"

#include <cerrno>

namespace tavrine::test {
namespace {
using namespace Qt::StringLiterals;

const StoreFailure kDuplicate = ReadingStoreError::duplicateIdentity();

class ReadingStoreOperationsTest : public StoreFixture {
protected:
    void SetUp() override {
        store = open();
        ASSERT_TRUE(store);
        ASSERT_TRUE(await(store->setHistoryEnabled(true)));
    }

    void play(int number, double date) {
        ASSERT_EQ(await(store->recordPlayback(reading(number), Date{date}, {})), true) << number;
    }
    QList<QUuid> historyIDs() { return idsOf(await(store->history())); }
    QList<QUuid> libraryIDs() { return idsOf(await(store->library())); }
    QSet<QUuid> tombstones() { return stateOf(*store).tombstones; }
    QStringList originals() { return directory.list(files().originalsDirectory()); }
    static CancellationToken cancelled() {
        CancellationToken token;
        token.cancel();
        return token;
    }

    std::unique_ptr<ReadingStore> store;
};

TEST_F(ReadingStoreOperationsTest, TheHistoryKeepsTheMostRecentPlaysWithinItsLimit) {
    ASSERT_TRUE(await(store->setHistoryLimit(3)));
    ASSERT_TRUE(await(store->addToLibrary(reading(1), {})));
    play(2, 20);
    play(3, 20);  // the same instant: the greater identifier comes later and drops first
    ASSERT_TRUE(await(store->recordPlayback(idNumber(1), Date{10}, std::nullopt)));
    EXPECT_EQ(historyIDs(), (QList{idNumber(2), idNumber(3), idNumber(1)}));

    // A fourth play pushes the least recent out: the library reading only leaves the history.
    play(4, 30);
    EXPECT_EQ(historyIDs(), (QList{idNumber(4), idNumber(2), idNumber(3)}));
    EXPECT_EQ(libraryIDs(), QList{idNumber(1)});
    EXPECT_TRUE(tombstones().isEmpty());

    // Lowering the limit drops at once; readings only in the history are deleted for good.
    EXPECT_EQ(await(store->setHistoryLimit(0)), tl::unexpected(kInvalid));
    EXPECT_EQ(await(store->historyLimit()), 3);
    ASSERT_TRUE(await(store->setHistoryLimit(1)));
    EXPECT_EQ(historyIDs(), QList{idNumber(4)});
    EXPECT_EQ(tombstones(), (QSet{idNumber(2), idNumber(3)}));

    // Replaying a stored reading moves it to the front; its progress changes only when one is given.
    ASSERT_TRUE(await(store->setHistoryLimit(5)));
    ASSERT_TRUE(await(store->recordPlayback(idNumber(1), Date{40}, ReadingProgress{1, false})));
    EXPECT_EQ(historyIDs(), (QList{idNumber(1), idNumber(4)}));
    EXPECT_EQ(await(store->storedReading(idNumber(1)))->progress, (ReadingProgress{1, false}));
}

TEST_F(ReadingStoreOperationsTest, WithTheHistoryOffNothingEntersItAndNothingLeaves) {
    play(1, 10);
    ASSERT_TRUE(await(store->setHistoryEnabled(false)));
    EXPECT_EQ(await(store->recordPlayback(reading(2), Date{20}, {})), false);
    EXPECT_EQ(await(store->storedReading(idNumber(2))), std::nullopt);

    // A stored reading keeps its place; only a given progress is saved.
    ASSERT_TRUE(await(store->recordPlayback(idNumber(1), Date{30}, ReadingProgress{2, true})));
    const auto played = await(store->storedReading(idNumber(1)));
    EXPECT_EQ(played->lastPlayedAt, Date{10});
    EXPECT_EQ(played->progress, (ReadingProgress{2, true}));

    ASSERT_TRUE(await(store->setHistoryEnabled(true)));
    play(3, 40);
    EXPECT_EQ(historyIDs(), (QList{idNumber(3), idNumber(1)}));
}

TEST_F(ReadingStoreOperationsTest, StoredAndTombstonedIdentifiersAreRefusedForGood) {
    ASSERT_TRUE(await(store->addToLibrary(reading(1), {})));
    EXPECT_EQ(await(store->addToLibrary(reading(1), {})), tl::unexpected(kDuplicate));
    EXPECT_EQ(await(store->recordPlayback(reading(1), Date{1}, {})), tl::unexpected(kDuplicate));

    ASSERT_TRUE(await(store->deleteDocument(idNumber(1))));
    EXPECT_EQ(await(store->addToLibrary(reading(1), {})), tl::unexpected(kMissing));
    // A blank text is judged before the tombstone.
    EXPECT_EQ(await(store->addToLibrary(reading(1, u" \n\u3000\t"_s), {})), tl::unexpected(kInvalid));
    ASSERT_TRUE(await(store->setHistoryEnabled(false)));
    EXPECT_EQ(await(store->recordPlayback(reading(1), Date{1}, {})), tl::unexpected(kMissing));
    for (auto result : {await(store->addToLibrary(idNumber(1))), await(store->updateProgress(idNumber(1), {})),
                        await(store->recordPlayback(idNumber(1), Date{1}, std::nullopt)),
                        await(store->deleteDocument(idNumber(1))), await(store->removeFromHistory(idNumber(1)))}) {
        EXPECT_EQ(result, tl::unexpected(kMissing));
    }

    // Naming an identifier that was never stored tombstones it too, and the tombstones outlive the store.
    EXPECT_EQ(await(store->removeFromHistory(QSet{idNumber(9)})), QSet<QUuid>());
    store.reset();
    store = open();
    EXPECT_EQ(tombstones(), (QSet{idNumber(1), idNumber(9)}));
    EXPECT_EQ(await(store->addToLibrary(reading(9), {})), tl::unexpected(kMissing));
}

TEST_F(ReadingStoreOperationsTest, AReadingThatLeavesItsLastListIsDeleted) {
    ASSERT_TRUE(await(store->addToLibrary(reading(1), {})));
    ASSERT_TRUE(await(store->recordPlayback(idNumber(1), Date{5}, std::nullopt)));  // library and history
    play(2, 6);                                                                     // history only

    EXPECT_EQ(await(store->deleteDocument(idNumber(2))), tl::unexpected(kMissing));
    EXPECT_EQ(await(store->removeFromHistory(QSet{idNumber(1), idNumber(2), idNumber(3)})), QSet{idNumber(2)});
    EXPECT_EQ(historyIDs(), QList<QUuid>());
    EXPECT_EQ(libraryIDs(), QList{idNumber(1)});
    EXPECT_EQ(tombstones(), (QSet{idNumber(2), idNumber(3)}));

    // A history entry that joins the library stays; deleting a reading in both lists removes it from both.
    play(4, 7);
    ASSERT_TRUE(await(store->addToLibrary(idNumber(4))));
    ASSERT_TRUE(await(store->recordPlayback(idNumber(1), Date{8}, std::nullopt)));
    ASSERT_TRUE(await(store->deleteDocument(idNumber(1))));
    EXPECT_EQ(historyIDs(), QList{idNumber(4)});
    EXPECT_EQ(libraryIDs(), QList{idNumber(4)});
}

TEST_F(ReadingStoreOperationsTest, OperationsThatChangeNothingWriteNothing) {
    ASSERT_TRUE(await(store->addToLibrary(reading(1), {})));
    ASSERT_TRUE(await(store->removeFromHistory(QSet<QUuid>())));
    fileSystem->written.clear();

    ASSERT_TRUE(await(store->addToLibrary(idNumber(1))));
    ASSERT_TRUE(await(store->updateProgress(idNumber(1), {})));
    ASSERT_TRUE(await(store->removeFromHistory(QSet<QUuid>())));
    ASSERT_TRUE(await(store->setHistoryEnabled(false)));
    fileSystem->written.clear();
    ASSERT_TRUE(await(store->recordPlayback(idNumber(1), Date{3}, std::nullopt)));
    EXPECT_EQ(await(store->recordPlayback(reading(2), Date{3}, {})), false);
    EXPECT_EQ(fileSystem->written, QStringList());

    // The history setting is written even when it does not change.
    ASSERT_TRUE(await(store->setHistoryEnabled(false)));
    EXPECT_EQ(fileSystem->written.size(), 1);
}

TEST_F(ReadingStoreOperationsTest, ATextFileBecomesANewLibraryReadingTitledByItsName) {
    const LibraryTextFile file{u"notes.txt"_s, "\xEF\xBB\xBF  hello\r\n"};
    clock.setNow(Date{1234.5});
    EXPECT_EQ(await(store->importTextFile(file)), idNumber(101));
    // Importing the same file again makes another reading.
    EXPECT_EQ(await(store->importFile(LibraryFileImport::text(file))), idNumber(102));
    StoredReading expected = textFileRecord(idNumber(101), file.filename, file.data);
    expected.reading.importedAt = Date{1234.5};
    EXPECT_EQ(await(store->storedReading(idNumber(101))), expected);

    EXPECT_EQ(await(store->importTextFile({u"notes.txt"_s, " \n"})),
              tl::unexpected(StoreFailure(LibraryTextFile::Failure::empty)));
    EXPECT_EQ(await(store->importTextFile(file, cancelled())), tl::unexpected(StoreFailure(OperationCancelled{})));
    EXPECT_EQ(libraryIDs().size(), 2);
}

TEST_F(ReadingStoreOperationsTest, AnEPUBOriginalIsKeptUnderTheNewIdentifierUntilTheReadingIsDeleted) {
    const QByteArray bytes(1000, 'e');
    EPUBBook untitled = testBook();
    untitled.metadata.titles.clear();
    const auto first = await(store->importFile(epubImport(u"Neko.EPUB"_s, bytes)));
    const auto second = await(store->importFile(epubImport(u"Neko.EPUB"_s, bytes, untitled)));
    ASSERT_TRUE(first && second);
    EXPECT_EQ(originals(),
              (QStringList{ReadingStoreFiles::originalFileName(*first), ReadingStoreFiles::originalFileName(*second)}));
    EXPECT_EQ(directory.read(files().originalFile(*second)), bytes);
    EXPECT_EQ(await(store->originalEPUBData(*second)), bytes);

    const auto stored = await(store->storedReading(*second));
    EXPECT_EQ(stored->reading.title, u"Neko.EPUB"_s);  // no title in the book
    EXPECT_EQ(await(store->storedReading(*first))->reading.title, u"猫"_s);
    EXPECT_EQ(stored->originalEPUB, (EPUBOriginal{u"Neko.EPUB"_s, 1000, sha256Hex(bytes)}));

    // Reading an original back verifies every original; readings without one have none to give.
    ASSERT_TRUE(await(store->addToLibrary(reading(1), {})));
    EXPECT_EQ(await(store->originalEPUBData(idNumber(1))), tl::unexpected(kMissing));
    EXPECT_EQ(await(store->originalEPUBData(idNumber(2))), tl::unexpected(kMissing));
    directory.write(files().originalFile(*first), QByteArray(1000, 'E'));
    EXPECT_EQ(await(store->originalEPUBData(*second)), tl::unexpected(kInvalid));

    ASSERT_TRUE(await(store->deleteDocument(*first)));
    EXPECT_EQ(originals(), QStringList{ReadingStoreFiles::originalFileName(*second)});
}

TEST_F(ReadingStoreOperationsTest, AnEPUBImportRefusedCancelledOrUnstoredKeepsNoOriginal) {
    EXPECT_TRUE(await(store->importFile(epubImport(u"big.epub"_s, QByteArray(EPUBOriginal::kByteLimit, 'x')))));
    const std::pair<QString, qsizetype> refused[] = {{u"too-big.epub"_s, EPUBOriginal::kByteLimit + 1},
                                                     {u"empty.epub"_s, 0},
                                                     {u"folder/book.epub"_s, 10},
                                                     {u"book.zip"_s, 10},
                                                     {QString(), 10}};
    for (const auto& [name, size] : refused) {
        EXPECT_EQ(await(store->importFile(epubImport(name, QByteArray(size, 'x')))), tl::unexpected(kInvalid))
            << name.toStdString();
    }
    EPUBBook blank = testBook();
    blank.document.text = u" \n\u3000"_s;
    blank.document.sections->first().end = blank.document.text.size();
    EXPECT_EQ(await(store->importFile(epubImport(u"a.epub"_s, "abc", blank))), tl::unexpected(kInvalid));
    EXPECT_EQ(await(store->importFile(epubImport(u"a.epub"_s, "abc"), cancelled())),
              tl::unexpected(StoreFailure(OperationCancelled{})));
    fileSystem->failOn(FileError::Operation::write, files().storeFile(), ENOSPC);
    EXPECT_EQ(await(store->importFile(epubImport(u"a.epub"_s, "abc"))),
              tl::unexpected(StoreFailure(FileError{FileError::Operation::write, ENOSPC, files().storeFile()})));
    EXPECT_EQ(originals().size(), 1);
    EXPECT_EQ(libraryIDs().size(), 1);
}

TEST_F(ReadingStoreOperationsTest, ListenersStartWithTheStateAndThenGetOnlyTheNewest) {
    auto first = await(store->changes());
    auto second = await(store->changes());
    EXPECT_EQ(await(nextState(&first)), stateOf(*store));

    // Two changes while the first listener is busy: it sees only the later state.
    ASSERT_TRUE(await(store->addToLibrary(reading(1), {})));
    ASSERT_TRUE(await(store->addToLibrary(reading(2), {})));
    const ReadingStoreState newest = stateOf(*store);
    EXPECT_EQ(await(nextState(&first)), newest);
    EXPECT_FALSE(hasPending(first));

    // The second listener still holds its own first value, replaced by the newest.
    EXPECT_EQ(await(nextState(&second)), newest);

    // A listener that ends no longer receives anything; the other goes on.
    second.close();
    EXPECT_EQ(await(nextState(&second)), std::nullopt);
    ASSERT_TRUE(await(store->deleteDocument(idNumber(1))));
    EXPECT_EQ(await(nextState(&first)), stateOf(*store));

    // A failed operation announces nothing; publish() repeats the current state.
    EXPECT_EQ(await(store->deleteDocument(idNumber(1))), tl::unexpected(kMissing));
    EXPECT_FALSE(hasPending(first));
    await(store->publish());
    EXPECT_EQ(await(nextState(&first)), stateOf(*store));
}

}  // namespace
}  // namespace tavrine::test
