// The file reader's access to the machine's own disk: what it says of a path, and the open file it
// reads in pieces.
#include "PelmoraMac/Library/LibraryFileReader.h"

#include "support/SpecialFiles.h"
#include "support/TemporaryDirectory.h"

#include <gtest/gtest.h>
#include <QDir>
#include <QFile>

#include <cerrno>

namespace tavrine {
namespace {
using namespace Qt::StringLiterals;

// The descriptors this process holds now.
qsizetype openDescriptors() {
    return QDir(u"/proc/self/fd"_s).entryList(QDir::AllEntries | QDir::System | QDir::NoDotAndDotDot).size();
}

TEST(LibraryFileAccess, ReadsARegularFileInPiecesToItsEndAndClosesIt) {
    const test::TemporaryDirectory folder;
    QByteArray bytes(20'000, Qt::Uninitialized);
    for (qsizetype index = 0; index < bytes.size(); ++index) bytes[index] = char(index % 251);
    const QString path = folder.write(u"book.txt"_s, bytes);
    LibraryFileAccess& access = *LibraryFileAccess::system();

    const auto attributes = access.attributes(path);
    ASSERT_TRUE(attributes);
    EXPECT_TRUE(attributes->isRegularFile);
    EXPECT_EQ(attributes->size, 20'000);

    const qsizetype before = openDescriptors();
    {
        auto file = access.open(path);
        ASSERT_TRUE(file);
        EXPECT_EQ(openDescriptors(), before + 1);
        QByteArray read;
        QList<qsizetype> pieces;
        for (;;) {
            const auto piece = (*file)->read(LibraryFileReader::kPieceBytes);
            ASSERT_TRUE(piece);
            if (piece->isEmpty()) break;
            pieces.append(piece->size());
            read += *piece;
        }
        EXPECT_EQ(pieces, (QList<qsizetype>{8'192, 8'192, 3'616}));
        EXPECT_EQ(read, bytes);
        // At the end it stays at the end.
        EXPECT_EQ((*file)->read(1), QByteArray());
    }
    EXPECT_EQ(openDescriptors(), before);
}

TEST(LibraryFileAccess, RefusesWhatIsNoRegularFileWithoutWaitingOrKeepingADescriptor) {
    const test::TemporaryDirectory folder;
    LibraryFileAccess& access = *LibraryFileAccess::system();
    const QString fifo = folder.filePath(u"pipe.txt"_s);
    test::makeFifo(fifo);
    const QString directory = folder.filePath(u"folder.epub"_s);
    ASSERT_TRUE(QDir().mkdir(directory));
    const QString missing = folder.filePath(u"missing.txt"_s);

    const auto fifoAttributes = access.attributes(fifo);
    ASSERT_TRUE(fifoAttributes);
    EXPECT_FALSE(fifoAttributes->isRegularFile);
    EXPECT_EQ(access.attributes(missing).error().code, ENOENT);

    const qsizetype before = openDescriptors();
    // A pipe put where the file was asked about: refused at once, no writer awaited.
    const auto opened = test::withinDeadline([&] { return access.open(fifo); });
    ASSERT_FALSE(opened);
    EXPECT_EQ(opened.error().operation, FileError::Operation::open);
    EXPECT_FALSE(access.open(directory));
    EXPECT_EQ(access.open(missing).error().code, ENOENT);
    EXPECT_EQ(openDescriptors(), before);
}

}  // namespace
}  // namespace tavrine
