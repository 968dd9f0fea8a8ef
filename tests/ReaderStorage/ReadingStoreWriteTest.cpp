#include "StoreFixture.h"

#include <cerrno>

namespace tavrine {
namespace {
using namespace Qt::StringLiterals;
using test::idNumber;

// The revision that the store file on disk names.
QUuid revisionOnDisk(const QByteArray& storeFile) {
    return *decodeJsonText<ReadingStoreSnapshot>(storeFile)->revision;
}

class ReadingStoreWriteTest : public test::StoreFixture {
protected:
    void SetUp() override {
        store = open();
        ASSERT_TRUE(store);
        ASSERT_TRUE(await(store->addToLibrary(reading(1, u"abcdef"_s), {})));
        ASSERT_TRUE(await(store->addToLibrary(reading(2), {})));
    }

    QByteArray storeBytes() const { return fileBytes(files().storeFile()).value_or(QByteArray()); }
    QStringList folder() const { return directory.list(u"data"_s); }
    QString sideFileName(const QUuid& revision) const {
        return u"reading-store.json.progress-"_s + uuidString(revision) + u".json"_s;
    }

    std::unique_ptr<ReadingStore> store;
};

TEST_F(ReadingStoreWriteTest, APositionAloneRewritesOnlyTheCurrentSideFile) {
    const QByteArray before = storeBytes();
    const QUuid revision = revisionOnDisk(before);
    const auto stamp = readFileStamp(*fileSystem, files().storeFile());
    fileSystem->written.clear();

    ASSERT_TRUE(await(store->updateProgress(idNumber(1), {3, false})));
    ASSERT_TRUE(await(store->setHistoryEnabled(false)));  // unchanged: still only positions
    EXPECT_EQ(fileSystem->written, (QStringList{files().progressFile(revision), files().progressFile(revision)}));
    EXPECT_EQ(storeBytes(), before);
    EXPECT_EQ(readFileStamp(*fileSystem, files().storeFile()), stamp);

    store.reset();
    store = open();
    EXPECT_EQ(await(store->storedReading(idNumber(1)))->progress, (ReadingProgress{3, false}));
}

TEST_F(ReadingStoreWriteTest, AnyOtherChangeWritesANewRevisionAndDropsTheOldSideFile) {
    const QUuid revision = revisionOnDisk(storeBytes());
    ASSERT_TRUE(await(store->setHistoryEnabled(true)));
    const QUuid next = revisionOnDisk(storeBytes());
    EXPECT_NE(next, revision);
    EXPECT_EQ(folder(), (QStringList{u"reading-store.json"_s, sideFileName(next)}));

    // A deleted reading's identifier stays a tombstone in every later write.
    ASSERT_TRUE(await(store->deleteDocument(idNumber(2))));
    ASSERT_TRUE(await(store->setHistoryLimit(7)));
    const auto written = decodeJsonText<ReadingStoreSnapshot>(storeBytes());
    EXPECT_EQ(written->removedIDs, QSet{idNumber(2)});
    EXPECT_EQ(written->version, 3);
    EXPECT_EQ(written->historyLimit, 7);
}

TEST_F(ReadingStoreWriteTest, OnceAnEPUBReadingWasKeptTheVersionStaysFour) {
    const StoredReading epub = test::epubRecord({}, "book");
    EPUBBook book;
    book.document = epub.reading.document;
    book.metadata = epub.reading.epub->metadata;
    book.packagePath = epub.reading.epub->packagePath;
    const auto id = await(store->importFile(LibraryFileImport::epub(u"a.epub"_s, "book", book)));
    ASSERT_TRUE(id);
    EXPECT_EQ(decodeJsonText<ReadingStoreSnapshot>(storeBytes())->version, 4);
    ASSERT_TRUE(await(store->deleteDocument(*id)));
    EXPECT_EQ(decodeJsonText<ReadingStoreSnapshot>(storeBytes())->version, 4);
    EXPECT_EQ(directory.list(u"data/reading-store.json.originals"_s), QStringList());
}

TEST_F(ReadingStoreWriteTest, AStoreFileReplacedBehindTheStoresBackIsNotWrittenTo) {
    const QByteArray before = storeBytes();
    directory.write(u"data/reading-store.json.new"_s, before);
    ASSERT_TRUE(QFile::remove(files().storeFile()));
    ASSERT_TRUE(QFile::rename(files().storeFile() + u".new"_s, files().storeFile()));  // same bytes, new inode
    const QByteArray sideFile = *fileBytes(files().progressFile(revisionOnDisk(before)));

    EXPECT_EQ(await(store->updateProgress(idNumber(1), {2, false})),
              tl::unexpected(StoreFailure(ReadingStoreError::invalidData())));
    EXPECT_EQ(fileBytes(files().progressFile(revisionOnDisk(before))), sideFile);
    EXPECT_EQ(await(store->storedReading(idNumber(1)))->progress, ReadingProgress{});
}

// Each failing step of a write, and what must be left exactly as it was.
TEST_F(ReadingStoreWriteTest, AFailedWriteLeavesStateFilesAndListenersUnchanged) {
    auto listener = await(store->changes());
    ASSERT_TRUE(await(nextState(&listener)));
    const ReadingStoreState state = stateOf(*store);
    const QByteArray storeFile = storeBytes();
    const QStringList before = folder();
    const QString currentSideFile = files().progressFile(revisionOnDisk(storeFile));
    const auto sideFileBytes = fileBytes(currentSideFile);
    const QString anySideFile = files().storeFile() + u".progress-"_s;

    using Operation = FileError::Operation;
    struct Fault {
        Operation operation;
        QString path;
        bool progressOnly;  // else a change that rewrites the store file
    };
    for (const Fault& fault :
         {Fault{Operation::createDirectory, files().folder(), false}, Fault{Operation::write, anySideFile, false},
          Fault{Operation::write, files().storeFile(), false}, Fault{Operation::status, files().storeFile(), true},
          Fault{Operation::write, currentSideFile, true}}) {
        fileSystem->clearFaults();
        if (fault.path == anySideFile) {
            fileSystem->failOnPrefix(fault.operation, fault.path, EIO);
        } else {
            fileSystem->failOn(fault.operation, fault.path, EIO);
        }
        const auto result = fault.progressOnly ? await(store->updateProgress(idNumber(1), {4, true}))
                                               : await(store->deleteDocument(idNumber(2)));
        ASSERT_FALSE(result);
        const auto* error = std::get_if<FileError>(&result.error());
        ASSERT_TRUE(error) << describeStoreFailure(result.error()).toStdString();
        EXPECT_EQ(error->operation, fault.operation);
        EXPECT_EQ(stateOf(*store), state);
        EXPECT_EQ(storeBytes(), storeFile);
        EXPECT_EQ(fileBytes(currentSideFile), sideFileBytes);
        EXPECT_EQ(folder(), before);  // a new side file, if written, is gone again
        EXPECT_FALSE(hasPending(listener));
    }

    fileSystem->clearFaults();
    ASSERT_TRUE(await(store->deleteDocument(idNumber(2))));
    EXPECT_TRUE(hasPending(listener));
}

TEST_F(ReadingStoreWriteTest, AnOriginalThatCannotBeRemovedStaysAnOrphanUntilTheNextOpening) {
    const StoredReading epub = test::epubRecord({}, "book");
    EPUBBook book;
    book.document = epub.reading.document;
    book.metadata = epub.reading.epub->metadata;
    book.packagePath = epub.reading.epub->packagePath;
    const auto id = await(store->importFile(LibraryFileImport::epub(u"a.epub"_s, "book", book)));
    ASSERT_TRUE(id);
    const QString original = files().originalFile(*id);
    fileSystem->failOn(FileError::Operation::remove, original, EACCES);

    // The deletion is committed with the new store file; the original only lingers.
    ASSERT_TRUE(await(store->deleteDocument(*id)));
    EXPECT_EQ(await(store->storedReading(*id)), std::nullopt);
    EXPECT_TRUE(fileBytes(original));

    fileSystem->clearFaults();
    store.reset();
    store = open();
    ASSERT_TRUE(store);
    EXPECT_FALSE(fileBytes(original));
    EXPECT_EQ(stateOf(*store).library.size(), 2);
}

TEST_F(ReadingStoreWriteTest, OpeningRemovesWhatInterruptedWritesLeftBehind) {
    const QUuid revision = revisionOnDisk(storeBytes());
    store.reset();
    const QString stale = sideFileName(idNumber(77));
    const QStringList leftovers{u".reading-store.json.tmp-a1B2c3"_s, u"."_s + stale + u".tmp-zzzzzz"_s, stale};
    for (const QString& name : leftovers) directory.write(u"data/"_s + name, "x");
    const QString temporaryOriginal = u"."_s + ReadingStoreFiles::originalFileName(idNumber(5)) + u".tmp-000000"_s;
    directory.write(u"data/reading-store.json.originals/"_s + temporaryOriginal, "x");
    // Names that only look alike are not the store's.
    const QStringList others{u".reading-store.json.tmp-toolong"_s, u"notes.txt"_s, u"reading-store.json.bak"_s};
    for (const QString& name : others) directory.write(u"data/"_s + name, "x");

    store = open();
    ASSERT_TRUE(store);
    QStringList expected =
        others + QStringList{u"reading-store.json"_s, sideFileName(revision), u"reading-store.json.originals"_s};
    expected.sort();
    EXPECT_EQ(folder(), expected);
    EXPECT_EQ(directory.list(u"data/reading-store.json.originals"_s), QStringList());
}

}  // namespace
}  // namespace tavrine
