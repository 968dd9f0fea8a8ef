#include "ReaderCore/Uuid.h"
#include "ReaderStorage/FileStamp.h"
#include "ReaderStorage/OriginalFiles.h"
#include "ReaderStorage/ReadingStoreFiles.h"

#include "FaultyFileSystem.h"
#include "StoreTestSupport.h"
#include "support/QtPrinters.h"
#include "support/TemporaryDirectory.h"

#include <gtest/gtest.h>

#include <cerrno>

namespace tavrine {
namespace {
using namespace Qt::StringLiterals;
using test::failureOf;
using test::invalidData;

QByteArray bookBytes(qsizetype size) {
    QByteArray bytes(size, '\0');
    for (qsizetype i = 0; i < size; ++i) bytes[i] = static_cast<char>((i * 31) ^ (i >> 8));
    return bytes;
}

class OriginalFilesTest : public testing::Test {
protected:
    QString keep(const QString& name, const QByteArray& bytes) {
        return directory.write(u"originals/"_s + name, bytes);
    }
    QString originals() const { return directory.filePath(u"originals"_s); }

    test::TemporaryDirectory directory;
    test::FaultyFileSystem fileSystem;
};

TEST_F(OriginalFilesTest, AnExactCopyPassesAndIsReadInBoundedPieces) {
    const QByteArray bytes = bookBytes(3 * kOriginalDigestPieceBytes + 5);
    const QString path = keep(u"book.epub"_s, bytes);
    EXPECT_TRUE(verifyOriginalFile(fileSystem, path, {u"Book.epub"_s, bytes.size(), sha256Hex(bytes)}));
    EXPECT_EQ(fileSystem.largestPiece, kOriginalDigestPieceBytes);
    EXPECT_EQ(fileSystem.bytesRead, bytes.size());
}

TEST_F(OriginalFilesTest, OnlyARegularFileOfTheRecordedLengthMatches) {
    const QByteArray bytes = bookBytes(1000);
    const EPUBOriginal record{u"b.epub"_s, bytes.size(), sha256Hex(bytes)};
    EXPECT_EQ(failureOf(verifyOriginalFile(fileSystem, keep(u"long"_s, bytes + 'x'), record)), invalidData());
    directory.write(u"originals/folder/inside"_s, bytes);
    EXPECT_EQ(failureOf(verifyOriginalFile(fileSystem, directory.filePath(u"originals/folder"_s), record)),
              invalidData());
}

TEST_F(OriginalFilesTest, AFileThatGrowsAfterItWasExaminedStopsTheReadingEarly) {
    const QByteArray bytes = bookBytes(10 * kOriginalDigestPieceBytes);
    const QString path = keep(u"growing"_s, bytes);
    const qint64 recorded = kOriginalDigestPieceBytes + 1;
    // The status claims the recorded size, as it would have just before the file was appended to.
    fileSystem.alterStatus = [&](const QString& p, FileStatus& status) {
        if (p == path) status.size = recorded;
    };
    EXPECT_EQ(failureOf(verifyOriginalFile(fileSystem, path, {u"g.epub"_s, recorded, sha256Hex(bytes)})),
              invalidData());
    EXPECT_LE(fileSystem.bytesRead, 2 * kOriginalDigestPieceBytes);
}

TEST_F(OriginalFilesTest, FilesThatCannotBeExaminedOrReadGiveTheirFileError) {
    const QByteArray bytes = bookBytes(10);
    const EPUBOriginal record{u"b.epub"_s, bytes.size(), sha256Hex(bytes)};
    EXPECT_TRUE(test::isNoSuchFile(failureOf(verifyOriginalFile(fileSystem, originals() + u"/missing"_s, record)),
                                   originals() + u"/missing"_s));

    const QString path = keep(u"book"_s, bytes);
    fileSystem.failOn(FileError::Operation::read, path, EIO);
    EXPECT_EQ(failureOf(verifyOriginalFile(fileSystem, path, record)),
              StoreFailure(FileError{FileError::Operation::read, EIO, path}));
    fileSystem.failOn(FileError::Operation::open, path, EACCES);
    EXPECT_EQ(failureOf(verifyOriginalFile(fileSystem, path, record)),
              StoreFailure(FileError{FileError::Operation::open, EACCES, path}));

    // No size reported is as bad as a wrong one.
    fileSystem.alterStatus = [](const QString&, FileStatus& status) { status.size.reset(); };
    EXPECT_EQ(failureOf(verifyOriginalFile(fileSystem, path, record)), invalidData());
}

TEST_F(OriginalFilesTest, PruningMatchesKeptNamesExactlyAndRemovesFoldersWhole) {
    const QUuid kept = QUuid::createUuid();
    const QString keptName = ReadingStoreFiles::originalFileName(kept);
    keep(keptName, "kept");
    // The kept name is upper case: a lower-case copy of the same identifier is an orphan.
    keep(keptName.toLower(), "orphan in lower case");
    keep(ReadingStoreFiles::originalFileName(QUuid::createUuid()) + u"/nested/file"_s, "a folder by that name");

    ASSERT_TRUE(pruneOriginalsDirectory(fileSystem, originals(), {keptName}));
    EXPECT_EQ(directory.list(u"originals"_s), QStringList{keptName});
}

TEST_F(OriginalFilesTest, PruningWithoutADirectoryOrWithFailuresStops) {
    EXPECT_TRUE(pruneOriginalsDirectory(fileSystem, originals(), {}));
    EXPECT_FALSE(directory.exists(u"originals"_s));

    // Sorted listing: a, then b; the removal of b fails after a has gone.
    const QString a = u"00000000-0000-0000-0000-00000000000A.epub"_s;
    const QString b = u"00000000-0000-0000-0000-00000000000B.epub"_s;
    const QString c = u"00000000-0000-0000-0000-00000000000C.epub"_s;
    keep(a, "a");
    keep(b, "b");
    keep(c, "c");
    fileSystem.failOn(FileError::Operation::remove, originals() + u'/' + b, EBUSY);
    EXPECT_EQ(failureOf(pruneOriginalsDirectory(fileSystem, originals(), {})),
              StoreFailure(FileError{FileError::Operation::remove, EBUSY, originals() + u'/' + b}));
    EXPECT_EQ(directory.list(u"originals"_s), (QStringList{b, c}));

    fileSystem.failOn(FileError::Operation::list, originals(), EACCES);
    EXPECT_EQ(failureOf(pruneOriginalsDirectory(fileSystem, originals(), {})),
              StoreFailure(FileError{FileError::Operation::list, EACCES, originals()}));
}

TEST_F(OriginalFilesTest, StampsAreAbsentForMissingFilesAndNeedEveryAttribute) {
    const auto missing = readFileStamp(fileSystem, directory.filePath(u"missing"_s));
    ASSERT_TRUE(missing);
    EXPECT_FALSE(*missing);
    const QString path = directory.write(u"file"_s, "12345");
    const auto stamp = readFileStamp(fileSystem, path);
    ASSERT_TRUE(stamp && *stamp);
    EXPECT_EQ((*stamp)->size, 5u);
    EXPECT_EQ(*readFileStamp(fileSystem, path), *stamp);

    fileSystem.alterStatus = [](const QString&, FileStatus& status) { status.inode.reset(); };
    EXPECT_EQ(failureOf(readFileStamp(fileSystem, path)), invalidData());
    fileSystem.failOn(FileError::Operation::status, path, EACCES);
    EXPECT_EQ(failureOf(readFileStamp(fileSystem, path)),
              StoreFailure(FileError{FileError::Operation::status, EACCES, path}));
}

TEST(ReadingStoreFiles, NamesAreDerivedFromTheStoreFile) {
    const ReadingStoreFiles files(u"/data/reading-store.json"_s);
    const QUuid id = *parseUuid(u"6f1c2a4e-0b7d-4c39-9a57-1e2d3c4b5a69"_s);
    EXPECT_EQ(files.progressFile(id), u"/data/reading-store.json.progress-6F1C2A4E-0B7D-4C39-9A57-1E2D3C4B5A69.json"_s);
    EXPECT_EQ(files.originalFile(id),
              u"/data/reading-store.json.originals/6F1C2A4E-0B7D-4C39-9A57-1E2D3C4B5A69.epub"_s);
    EXPECT_TRUE(ReadingStoreFiles::applicationStoreFile().endsWith(u"/org.tavrine.Tavrine/reading-store.json"_s));
}

}  // namespace
}  // namespace tavrine
