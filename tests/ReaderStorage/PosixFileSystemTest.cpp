#include "ReaderStorage/PosixFileSystem.h"

#include "support/QtPrinters.h"
#include "support/TemporaryDirectory.h"

#include <gtest/gtest.h>
#include <QFile>

#include <cerrno>

namespace tavrine {
namespace {
using namespace Qt::StringLiterals;
using test::TemporaryDirectory;

class PosixFileSystemTest : public testing::Test {
protected:
    void link(const QString& target, const QString& name) {
        ASSERT_TRUE(QFile::link(target, directory.filePath(name)));
    }

    TemporaryDirectory directory;
    PosixFileSystem fileSystem;
};

TEST_F(PosixFileSystemTest, ReadsWholeFilesAndTellsAMissingOneApart) {
    QByteArray large(3 * 1024 * 1024 + 17, '\0');
    for (qsizetype i = 0; i < large.size(); ++i) large[i] = static_cast<char>(i * 7);
    EXPECT_EQ(fileSystem.readFile(directory.write(u"large"_s, large)), large);
    EXPECT_EQ(fileSystem.readFile(directory.write(u"empty"_s, QByteArray())), QByteArray());

    const auto missing = fileSystem.readFile(directory.filePath(u"missing"_s));
    ASSERT_FALSE(missing);
    EXPECT_TRUE(missing.error().isNoSuchFile());
    // A missing directory on the way is the same case.
    EXPECT_TRUE(fileSystem.readFile(directory.filePath(u"gone/file"_s)).error().isNoSuchFile());

    const auto folder = fileSystem.readFile(directory.path());
    ASSERT_FALSE(folder);
    EXPECT_FALSE(folder.error().isNoSuchFile());
    EXPECT_EQ(folder.error().code, EISDIR);
}

TEST_F(PosixFileSystemTest, StatusDescribesTheEntryItselfWithEveryStampField) {
    const QString file = directory.write(u"file"_s, "12345");
    const auto status = fileSystem.status(file);
    ASSERT_TRUE(status);
    EXPECT_EQ(status->type, FileStatus::Type::regular);
    EXPECT_EQ(status->size, 5u);
    EXPECT_TRUE(status->inode && status->modified && status->created);

    link(file, u"link"_s);
    const auto linkStatus = fileSystem.status(directory.filePath(u"link"_s));
    ASSERT_TRUE(linkStatus);
    EXPECT_EQ(linkStatus->type, FileStatus::Type::symbolicLink);
    EXPECT_NE(linkStatus->inode, status->inode);

    EXPECT_EQ(fileSystem.status(directory.path())->type, FileStatus::Type::directory);
    EXPECT_TRUE(fileSystem.status(directory.filePath(u"missing"_s)).error().isNoSuchFile());
}

TEST_F(PosixFileSystemTest, StatusChangesWhenAFileIsReplaced) {
    const QString path = directory.write(u"file"_s, "one");
    const auto before = fileSystem.status(path);
    EXPECT_EQ(fileSystem.status(path), before);  // stable while nothing changes
    directory.write(u"other"_s, "two");
    ASSERT_EQ(
        ::rename(QFile::encodeName(directory.filePath(u"other"_s)).constData(), QFile::encodeName(path).constData()),
        0);
    EXPECT_NE(fileSystem.status(path)->inode, before->inode);
}

TEST_F(PosixFileSystemTest, OpenedFilesAreReadInPiecesAndLinksAreRefused) {
    const QString path = directory.write(u"file"_s, "abcdefghij");
    auto file = fileSystem.openForReading(path);
    ASSERT_TRUE(file);
    EXPECT_EQ((*file)->read(4), "abcd");
    EXPECT_EQ((*file)->read(4), "efgh");
    EXPECT_EQ((*file)->read(4), "ij");
    EXPECT_EQ((*file)->read(4), QByteArray());

    link(path, u"link"_s);
    const auto linked = fileSystem.openForReading(directory.filePath(u"link"_s));
    ASSERT_FALSE(linked);
    EXPECT_EQ(linked.error().code, ELOOP);
    EXPECT_TRUE(fileSystem.openForReading(directory.filePath(u"missing"_s)).error().isNoSuchFile());
}

TEST_F(PosixFileSystemTest, ListsEveryEntryButTheDotEntries) {
    directory.write(u"folder/a"_s, "");
    directory.write(u"folder/.hidden"_s, "");
    directory.write(u"folder/sub/b"_s, "");
    auto names = fileSystem.list(directory.filePath(u"folder"_s));
    ASSERT_TRUE(names);
    names->sort();
    EXPECT_EQ(*names, (QStringList{u".hidden"_s, u"a"_s, u"sub"_s}));
    EXPECT_TRUE(fileSystem.list(directory.filePath(u"missing"_s)).error().isNoSuchFile());
    EXPECT_EQ(fileSystem.list(directory.filePath(u"folder/a"_s)).error().code, ENOTDIR);
}

TEST_F(PosixFileSystemTest, RemovesTreesButNeverFollowsLinks) {
    directory.write(u"keep/precious"_s, "data");
    directory.write(u"tree/a/b/c"_s, "");
    directory.write(u"tree/.hidden"_s, "");
    link(directory.filePath(u"keep"_s), u"tree/a/to-keep"_s);
    link(directory.filePath(u"keep"_s), u"top-link"_s);

    EXPECT_TRUE(fileSystem.removeRecursively(directory.filePath(u"tree"_s)));
    EXPECT_TRUE(fileSystem.removeRecursively(directory.filePath(u"top-link"_s)));
    EXPECT_EQ(directory.list(), QStringList{u"keep"_s});
    EXPECT_EQ(directory.read(u"keep/precious"_s), "data");

    EXPECT_TRUE(fileSystem.removeRecursively(directory.write(u"file"_s, "")));
    EXPECT_FALSE(directory.exists(u"file"_s));
    EXPECT_TRUE(fileSystem.removeRecursively(directory.filePath(u"missing"_s)).error().isNoSuchFile());
}

TEST_F(PosixFileSystemTest, AnAtomicWriteReplacesTheWholeFileOrNothing) {
    const QString path = directory.write(u"store.json"_s, "old");
    const auto before = fileSystem.status(path);
    ASSERT_TRUE(fileSystem.writeFileAtomically(path, "new contents"));
    EXPECT_EQ(directory.read(u"store.json"_s), "new contents");
    EXPECT_NE(fileSystem.status(path)->inode, before->inode);  // a new file took the name
    ASSERT_TRUE(fileSystem.writeFileAtomically(directory.filePath(u"empty"_s), QByteArray()));
    EXPECT_EQ(directory.list(), (QStringList{u"empty"_s, u"store.json"_s}));

    // A folder in the way: the write fails and its temporary file is gone.
    directory.write(u"folder/inside"_s, "");
    const auto failed = fileSystem.writeFileAtomically(directory.filePath(u"folder"_s), "x");
    ASSERT_FALSE(failed);
    EXPECT_EQ(failed.error().operation, FileError::Operation::write);
    EXPECT_EQ(directory.list(), (QStringList{u"empty"_s, u"folder"_s, u"store.json"_s}));
    EXPECT_TRUE(fileSystem.writeFileAtomically(directory.filePath(u"missing/file"_s), "x").error().isNoSuchFile());
}

TEST_F(PosixFileSystemTest, CreatesEveryMissingFolderOnAPath) {
    const QString deep = directory.filePath(u"a/b//c/"_s);
    ASSERT_TRUE(fileSystem.createDirectories(deep));
    EXPECT_EQ(fileSystem.status(directory.filePath(u"a/b/c"_s))->type, FileStatus::Type::directory);
    EXPECT_TRUE(fileSystem.createDirectories(deep));  // already there

    directory.write(u"file"_s, "");
    const auto blocked = fileSystem.createDirectories(directory.filePath(u"file/sub"_s));
    ASSERT_FALSE(blocked);
    EXPECT_EQ(blocked.error().code, ENOTDIR);
    EXPECT_EQ(blocked.error().path, directory.filePath(u"file"_s));
}

}  // namespace
}  // namespace tavrine
