#include "ReaderStorage/OriginalFiles.h"

#include "StoreFixture.h"

#include <cerrno>

namespace tavrine::test {
namespace {
using namespace Qt::StringLiterals;

QByteArray bookBytes(qsizetype size) {
    QByteArray bytes(size, '\0');
    for (qsizetype i = 0; i < size; ++i) bytes[i] = static_cast<char>((i * 31) ^ (i >> 8));
    return bytes;
}

class OriginalFilesTest : public testing::Test {
protected:
    TemporaryDirectory directory;
    FaultyFileSystem fileSystem;
};

TEST_F(OriginalFilesTest, AnExactCopyPassesAndIsReadInBoundedPieces) {
    const QByteArray bytes = bookBytes(3 * kOriginalDigestPieceBytes + 5);
    const QString path = directory.write(u"book.epub"_s, bytes);
    EXPECT_TRUE(verifyOriginalFile(fileSystem, path, {u"Book.epub"_s, bytes.size(), sha256Hex(bytes)}));
    EXPECT_EQ(fileSystem.largestPiece, kOriginalDigestPieceBytes);
    EXPECT_EQ(fileSystem.bytesRead, bytes.size());
}

TEST_F(OriginalFilesTest, AnythingButAReadableRegularFileOfTheRecordedLengthFails) {
    const QByteArray bytes = bookBytes(1000);
    const EPUBOriginal record{u"b.epub"_s, bytes.size(), sha256Hex(bytes)};
    EXPECT_EQ(failureOf(verifyOriginalFile(fileSystem, directory.write(u"long"_s, bytes + 'x'), record)), kInvalid);
    directory.write(u"folder/inside"_s, bytes);
    EXPECT_EQ(failureOf(verifyOriginalFile(fileSystem, directory.filePath(u"folder"_s), record)), kInvalid);

    const QString path = directory.write(u"book"_s, bytes);
    fileSystem.failOn(FileError::Operation::read, path, EIO);
    EXPECT_EQ(failureOf(verifyOriginalFile(fileSystem, path, record)),
              StoreFailure(FileError{FileError::Operation::read, EIO, path}));
    // No size reported is as bad as a wrong one.
    fileSystem.alterStatus = [](const QString&, FileStatus& status) { status.size.reset(); };
    EXPECT_EQ(failureOf(verifyOriginalFile(fileSystem, path, record)), kInvalid);
}

TEST_F(OriginalFilesTest, AFileThatGrowsAfterItWasExaminedStopsTheReadingEarly) {
    const QByteArray bytes = bookBytes(10 * kOriginalDigestPieceBytes);
    const QString path = directory.write(u"growing"_s, bytes);
    const qint64 recorded = kOriginalDigestPieceBytes + 1;
    // The status claims the recorded size, as it would have just before the file was appended to.
    fileSystem.alterStatus = [&](const QString& p, FileStatus& status) {
        if (p == path) status.size = recorded;
    };
    EXPECT_EQ(failureOf(verifyOriginalFile(fileSystem, path, {u"g.epub"_s, recorded, sha256Hex(bytes)})), kInvalid);
    EXPECT_LE(fileSystem.bytesRead, 2 * kOriginalDigestPieceBytes);
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
}  // namespace tavrine::test
