#include "ReaderStorage/PosixFileSystem.h"

#include "support/QtPrinters.h"
#include "support/TemporaryDirectory.h"

#include <gtest/gtest.h>
#include <QFile>

#include <cerrno>

namespace tavrine {
namespace {
using namespace Qt::StringLiterals;

class PosixFileSystemTest : public testing::Test {
protected:
    QString path(const QString& name) const { return directory.filePath(name); }
    static bool isNoSuchFile(const auto& result) { return !result && result.error().isNoSuchFile(); }
    static int codeOf(const auto& result) { return result ? 0 : result.error().code; }

    test::TemporaryDirectory directory;
    PosixFileSystem fileSystem;
};

TEST_F(PosixFileSystemTest, ReadsWholeFilesAndTellsAMissingOneApart) {
    QByteArray large(3 * 1024 * 1024 + 17, '\0');
    for (qsizetype i = 0; i < large.size(); ++i) large[i] = static_cast<char>(i * 7);
    EXPECT_EQ(fileSystem.readFile(directory.write(u"large"_s, large)), large);
    EXPECT_EQ(fileSystem.readFile(directory.write(u"empty"_s, QByteArray())), QByteArray());
    // A missing directory on the way is the same case as a missing file; a folder is another error.
    EXPECT_TRUE(isNoSuchFile(fileSystem.readFile(path(u"missing"_s))));
    EXPECT_TRUE(isNoSuchFile(fileSystem.readFile(path(u"gone/file"_s))));
    EXPECT_EQ(codeOf(fileSystem.readFile(directory.path())), EISDIR);
}

TEST_F(PosixFileSystemTest, StatusDescribesTheEntryAndOpenedFilesAreReadInPieces) {
    const QString file = directory.write(u"file"_s, "abcdefghij");
    const auto status = fileSystem.status(file);
    ASSERT_TRUE(status);
    EXPECT_EQ(status->type, FileStatus::Type::regular);
    EXPECT_EQ(status->size, 10u);
    EXPECT_TRUE(status->inode && status->modified && status->created);
    EXPECT_EQ(fileSystem.status(directory.path())->type, FileStatus::Type::directory);
    EXPECT_TRUE(isNoSuchFile(fileSystem.status(path(u"missing"_s))));

    auto opened = fileSystem.openForReading(file);
    ASSERT_TRUE(opened);
    for (const char* piece : {"abcd", "efgh", "ij", ""}) EXPECT_EQ((*opened)->read(4), piece);
    EXPECT_TRUE(isNoSuchFile(fileSystem.openForReading(path(u"missing"_s))));
}

TEST_F(PosixFileSystemTest, SymbolicLinksAreNeverFollowed) {
    const QString file = directory.write(u"keep/precious"_s, "data");
    directory.write(u"tree/a/b/c"_s, "");
    directory.write(u"tree/.hidden"_s, "");
    ASSERT_TRUE(QFile::link(path(u"keep"_s), path(u"tree/a/to-keep"_s)));
    ASSERT_TRUE(QFile::link(path(u"keep"_s), path(u"top-link"_s)));
    ASSERT_TRUE(QFile::link(file, path(u"file-link"_s)));

    const auto status = fileSystem.status(path(u"file-link"_s));
    EXPECT_EQ(status->type, FileStatus::Type::symbolicLink);
    EXPECT_NE(status->inode, fileSystem.status(file)->inode);
    EXPECT_EQ(codeOf(fileSystem.openForReading(path(u"file-link"_s))), ELOOP);

    for (const QString& name : {u"tree"_s, u"top-link"_s, u"file-link"_s}) {
        EXPECT_TRUE(fileSystem.removeRecursively(path(name))) << name;
    }
    EXPECT_EQ(directory.list(), QStringList{u"keep"_s});
    EXPECT_EQ(directory.read(file), "data");
    EXPECT_TRUE(fileSystem.removeRecursively(file));
    EXPECT_TRUE(isNoSuchFile(fileSystem.removeRecursively(file)));
}

TEST_F(PosixFileSystemTest, AnAtomicWriteReplacesTheWholeFileOrNothing) {
    const QString file = directory.write(u"store.json"_s, "old");
    const auto before = fileSystem.status(file);
    ASSERT_TRUE(fileSystem.writeFileAtomically(file, "new contents"));
    EXPECT_EQ(directory.read(file), "new contents");
    EXPECT_NE(fileSystem.status(file)->inode, before->inode);  // a new file took the name
    ASSERT_TRUE(fileSystem.writeFileAtomically(path(u"empty"_s), QByteArray()));
    EXPECT_EQ(directory.read(u"empty"_s), QByteArray());

    // A folder in the way: the write fails and its temporary file is gone.
    directory.write(u"folder/inside"_s, "");
    EXPECT_EQ(codeOf(fileSystem.writeFileAtomically(path(u"folder"_s), "x")), EISDIR);
    EXPECT_EQ(directory.list(), (QStringList{u"empty"_s, u"folder"_s, u"store.json"_s}));
    EXPECT_TRUE(isNoSuchFile(fileSystem.writeFileAtomically(path(u"missing/file"_s), "x")));
}

TEST_F(PosixFileSystemTest, CreatesEveryMissingFolderOnAPath) {
    const QString deep = path(u"a/b//c/"_s);
    ASSERT_TRUE(fileSystem.createDirectories(deep));
    EXPECT_EQ(fileSystem.status(path(u"a/b/c"_s))->type, FileStatus::Type::directory);
    EXPECT_TRUE(fileSystem.createDirectories(deep));  // already there

    directory.write(u"file"_s, "");
    const auto blocked = fileSystem.createDirectories(path(u"file/sub"_s));
    ASSERT_FALSE(blocked);
    EXPECT_EQ(blocked.error(), (FileError{FileError::Operation::createDirectory, ENOTDIR, path(u"file"_s)}));
}

}  // namespace
}  // namespace tavrine
