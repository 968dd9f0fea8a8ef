#include "ReaderStorage/internal/ReadingStoreLoader.h"
#include "ReaderStorage/internal/ReadingStoreWriter.h"

#include "StoreFixture.h"

#include "support/UnprivilegedUser.h"

#include <QFile>
#include <QFileInfo>

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

namespace tavrine::test {
namespace {
using namespace Qt::StringLiterals;

class ReadingStoreWriteTest : public StoreFixture {
protected:
    void SetUp() override {
        store = open();
        ASSERT_TRUE(store);
        ASSERT_TRUE(await(store->addToLibrary(reading(1, u"abcdef"_s), {})));
        ASSERT_TRUE(await(store->addToLibrary(reading(2), {})));
    }

    QByteArray storeBytes() const { return directory.read(storePath()).value_or(QByteArray()); }
    std::optional<ReadingStoreSnapshot> onDisk() const {
        auto snapshot = decodeJsonText<ReadingStoreSnapshot>(storeBytes());
        return snapshot ? std::optional(*snapshot) : std::nullopt;
    }
    QString progressFile() const { return files().progressFile(*onDisk()->revision); }
    QStringList folder() const { return directory.list(u"data"_s); }

    std::unique_ptr<ReadingStore> store;
};

TEST_F(ReadingStoreWriteTest, APositionAloneRewritesOnlyTheCurrentProgressFile) {
    const QByteArray before = storeBytes();
    const auto stamp = readFileStamp(*fileSystem, storePath());
    fileSystem->written.clear();

    ASSERT_TRUE(await(store->updateProgress(idNumber(1), {3, false})));
    ASSERT_TRUE(await(store->setHistoryEnabled(false)));  // unchanged: still only positions
    EXPECT_EQ(fileSystem->written, (QStringList{progressFile(), progressFile()}));
    EXPECT_EQ(storeBytes(), before);
    EXPECT_EQ(readFileStamp(*fileSystem, storePath()), stamp);

    store.reset();
    store = open();
    EXPECT_EQ(await(store->storedReading(idNumber(1)))->progress, (ReadingProgress{3, false}));
}

TEST_F(ReadingStoreWriteTest, AnyOtherChangeWritesANewRevisionAndDropsTheOldProgressFile) {
    const QUuid revision = *onDisk()->revision;
    ASSERT_TRUE(await(store->setHistoryEnabled(true)));
    EXPECT_NE(onDisk()->revision, revision);
    EXPECT_EQ(folder(), (QStringList{u"reading-store.json"_s, u"reading-store.json.lock"_s,
                                     QFileInfo(progressFile()).fileName()}));

    // A deleted reading's identifier stays a tombstone in every later write.
    ASSERT_TRUE(await(store->deleteDocument(idNumber(2))));
    ASSERT_TRUE(await(store->setHistoryLimit(7)));
    EXPECT_EQ(onDisk()->tombstones, QSet{idNumber(2)});
    EXPECT_EQ(onDisk()->version, 3);
}

TEST_F(ReadingStoreWriteTest, AStoreFileReplacedBehindTheStoresBackIsNotWrittenTo) {
    const QByteArray before = storeBytes();
    const QString side = progressFile();
    const auto sideBytes = directory.read(side);
    directory.write(storePath() + u".new"_s, before);
    ASSERT_TRUE(QFile::remove(storePath()));
    ASSERT_TRUE(QFile::rename(storePath() + u".new"_s, storePath()));  // same bytes, new inode

    EXPECT_EQ(await(store->updateProgress(idNumber(1), {2, false})), tl::unexpected(kInvalid));
    EXPECT_EQ(directory.read(side), sideBytes);
    EXPECT_EQ(await(store->storedReading(idNumber(1)))->progress, ReadingProgress{});
}

// The store never writes a file that it would refuse to read.
TEST_F(ReadingStoreWriteTest, AChangeThatWouldOutgrowTheLargestFileIsRefusedTouchingNothing) {
    store.reset();
    const ReadingStoreFiles storeFiles = files();
    const auto current = ReadingStoreLoader(*fileSystem, storeFiles).readSnapshot();
    ASSERT_TRUE(current && *current);
    const ReadingStoreWriter::Stamps stamps{*readFileStamp(*fileSystem, storePath()),
                                            *readFileStamp(*fileSystem, progressFile())};
    const QByteArray storeFile = storeBytes();
    const QByteArray progress = *directory.read(progressFile());
    const QStringList before = folder();

    ReadingStoreSnapshot grown = **current;
    grown.documents.append(textRecord(idNumber(3)));
    EXPECT_EQ(failureOf(ReadingStoreWriter(*fileSystem, storeFiles, storeFile.size()).write(**current, grown, stamps)),
              kInvalid);
    // A position alone rewrites only the progress file, which is bounded alike.
    ReadingStoreSnapshot moved = **current;
    moved.documents[0].progress = {3, false};
    EXPECT_EQ(
        failureOf(ReadingStoreWriter(*fileSystem, storeFiles, progress.size() - 1).write(**current, moved, stamps)),
        kInvalid);
    EXPECT_EQ(storeBytes(), storeFile);
    EXPECT_EQ(directory.read(progressFile()), progress);
    EXPECT_EQ(folder(), before);

    EXPECT_TRUE(ReadingStoreWriter(*fileSystem, storeFiles, progress.size()).write(**current, moved, stamps));
}

// Each failing step of a write, and what must be left exactly as it was.
TEST_F(ReadingStoreWriteTest, AFailedWriteLeavesStateFilesAndListenersUnchanged) {
    auto listener = await(store->changes());
    ASSERT_TRUE(await(nextState(&listener)));
    const ReadingStoreState state = stateOf(*store);
    const QByteArray storeFile = storeBytes();
    const QStringList before = folder();
    const QString currentProgressFile = progressFile();
    const auto progressFileBytes = directory.read(currentProgressFile);

    using Operation = FileError::Operation;
    struct Case {
        std::optional<Operation> fault;  // nothing: the new position itself is invalid
        QString path;                    // a prefix when it ends with '-'
        bool progressOnly;               // else a change that rewrites the store file
    };
    for (const Case& c : {Case{Operation::createDirectory, files().folder(), false},
                          Case{Operation::write, storePath() + u".progress-"_s, false},
                          Case{Operation::write, storePath(), false}, Case{Operation::status, storePath(), true},
                          Case{Operation::write, currentProgressFile, true}, Case{std::nullopt, {}, true}}) {
        fileSystem->clearFaults();
        if (c.fault) fileSystem->failOn(*c.fault, c.path, EIO, c.path.endsWith(u'-'));
        const auto result = c.progressOnly ? await(store->updateProgress(idNumber(1), {c.fault ? 4 : 7, true}))
                                           : await(store->deleteDocument(idNumber(2)));
        ASSERT_FALSE(result);
        if (c.fault) {
            const auto* error = std::get_if<FileError>(&result.error());
            ASSERT_TRUE(error) << describeStoreFailure(result.error()).toStdString();
            EXPECT_EQ(error->operation, *c.fault);
        } else {
            EXPECT_EQ(result.error(), kInvalid);
        }
        EXPECT_EQ(stateOf(*store), state);
        EXPECT_EQ(storeBytes(), storeFile);
        EXPECT_EQ(directory.read(currentProgressFile), progressFileBytes);
        EXPECT_EQ(folder(), before);  // a new progress file, if written, is gone again
        EXPECT_FALSE(hasPending(listener));
    }

    fileSystem->clearFaults();
    ASSERT_TRUE(await(store->deleteDocument(idNumber(2))));
    EXPECT_TRUE(hasPending(listener));
}

// Its folder where the user the test switches to can reach it.
class ProtectedStoreFileTest : public StoreFixture {
protected:
    ProtectedStoreFileTest() : StoreFixture(UnprivilegedUser::reachableTemporaryFolder()) {}
};

// A store file or progress file that this user may not write, in a folder it may: made read-only, or
// another user's. The write that would replace it fails as a failed write does, with the permission's
// error, leaving state, files and folder as they were; once the file may be written again the next write
// goes through. Root may write any file, and does.
TEST_F(ProtectedStoreFileTest, AFileThisUserMayNotWriteFailsTheWriteUntilItMay) {
    TAVRINE_SKIP_UNLESS_REACHABLE(directory.path());
    const QString data = files().folder();
    ASSERT_TRUE(QDir().mkpath(data));
    ASSERT_TRUE(UnprivilegedUser::give(directory.path()) && UnprivilegedUser::give(data));
    std::unique_ptr<ReadingStore> store;
    {
        const UnprivilegedUser user;
        TAVRINE_SKIP_UNLESS_UNPRIVILEGED(user);
        store = open();
        ASSERT_TRUE(store);
        ASSERT_TRUE(await(store->addToLibrary(reading(1, u"abcdef"_s), {})));
    }
    const auto progressFile = [&]() -> QString {
        for (const QString& name : directory.list(data)) {
            if (files().progressFileRevision(name)) return data + u'/' + name;
        }
        return QString();
    };
    int change = 0;
    const auto write = [&](bool progressOnly) {
        ++change;
        return progressOnly ? await(store->updateProgress(idNumber(1), {change, false}))
                            : await(store->setHistoryLimit(10 + change));
    };

    struct Case {
        const char* what;
        bool progressOnly;  // else a change that rewrites the store file
        bool othersFile;
    };
    for (const Case& c : {Case{"read-only store file", false, false}, Case{"read-only progress file", true, false},
                          Case{"another user's store file", false, true}}) {
        SCOPED_TRACE(c.what);
        if (c.othersFile && !UnprivilegedUser::isRoot()) continue;  // only root makes one
        const QString file = c.progressOnly ? progressFile() : storePath();
        const QByteArray native = QFile::encodeName(file);
        if (c.othersFile) {
            ASSERT_EQ(::chown(native.constData(), 0, 0), 0);
        }
        ASSERT_EQ(::chmod(native.constData(), c.othersFile ? 0644 : 0444), 0);
        const auto before = ownerAndMode(file);
        const ReadingStoreState state = stateOf(*store);
        const auto storeFile = directory.read(storePath());
        const QString otherFile = c.progressOnly ? storePath() : progressFile();
        const auto otherBytes = directory.read(otherFile);
        const QStringList folder = directory.list(data);

        const UnprivilegedUser user;
        const auto result = write(c.progressOnly);
        ASSERT_FALSE(result);
        const auto* error = std::get_if<FileError>(&result.error());
        ASSERT_TRUE(error) << describeStoreFailure(result.error()).toStdString();
        EXPECT_EQ(*error, (FileError{FileError::Operation::write, EACCES, file}));
        EXPECT_EQ(stateOf(*store), state);
        EXPECT_EQ(directory.read(storePath()), storeFile);
        EXPECT_EQ(directory.read(otherFile), otherBytes);
        EXPECT_EQ(ownerAndMode(file), before);
        EXPECT_EQ(directory.list(data), folder);  // a new progress file, if written, is gone again
        if (c.othersFile) continue;

        ASSERT_EQ(::chmod(native.constData(), 0600), 0);
        EXPECT_TRUE(write(c.progressOnly));
    }

    if (!UnprivilegedUser::isRoot()) return;
    ASSERT_EQ(::chmod(QFile::encodeName(storePath()).constData(), 0444), 0);
    EXPECT_TRUE(write(false));
    EXPECT_EQ(stateOf(*store).historyLimit, 10 + change);
}

// Once the new store file is in place the write has happened: no rollback.
TEST_F(ReadingStoreWriteTest, AnOriginalThatCannotBeRemovedStaysAnOrphanUntilTheNextOpening) {
    const auto id = await(store->importFile(epubImport(u"a.epub"_s, "book")));
    ASSERT_TRUE(id);
    EXPECT_EQ(onDisk()->version, 4);
    const QString original = files().originalFile(*id);
    fileSystem->failOn(FileError::Operation::remove, original, EACCES);

    ASSERT_TRUE(await(store->deleteDocument(*id)));
    EXPECT_EQ(await(store->storedReading(*id)), std::nullopt);
    EXPECT_EQ(onDisk()->version, 4);  // never lowered once an EPUB reading was kept
    EXPECT_TRUE(directory.exists(original));

    fileSystem->clearFaults();
    store.reset();
    store = open();
    ASSERT_TRUE(store);
    EXPECT_FALSE(directory.exists(original));
    EXPECT_EQ(stateOf(*store).library.size(), 2);
}

TEST_F(ReadingStoreWriteTest, OpeningRemovesWhatInterruptedWritesLeftBehind) {
    const QString current = QFileInfo(progressFile()).fileName();
    store.reset();
    const QString stale = QFileInfo(files().progressFile(idNumber(77))).fileName();
    for (const QString& name :
         QStringList{u".reading-store.json.tmp-a1B2c3"_s, u"."_s + stale + u".tmp-zzzzzz"_s, stale,
                     u"reading-store.json.originals/."_s + ReadingStoreFiles::originalFileName(idNumber(5)) +
                         u".tmp-000000"_s}) {
        directory.write(u"data/"_s + name, "x");
    }
    // Names that only look alike are not the store's.
    const QStringList others{u".reading-store.json.tmp-toolong"_s, u"notes.txt"_s, u"reading-store.json.bak"_s};
    for (const QString& name : others) directory.write(u"data/"_s + name, "x");

    store = open();
    ASSERT_TRUE(store);
    QStringList expected = others + QStringList{u"reading-store.json"_s, current, u"reading-store.json.lock"_s,
                                                u"reading-store.json.originals"_s};
    expected.sort();
    EXPECT_EQ(folder(), expected);
    EXPECT_EQ(directory.list(files().originalsDirectory()), QStringList());
}

}  // namespace
}  // namespace tavrine::test
