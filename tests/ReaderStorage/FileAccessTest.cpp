#include "ReaderStorage/internal/OriginalFiles.h"

#include "StoreFixture.h"
#include "support/ReadOnlyFolder.h"
#include "support/SpecialFiles.h"

#include <QFile>

#include <sys/resource.h>

#include <array>
#include <cerrno>
#include <csignal>
#include <limits>

namespace tavrine::test {
namespace {
using namespace Qt::StringLiterals;

QByteArray bookBytes(qsizetype size) {
    QByteArray bytes(size, '\0');
    for (qsizetype i = 0; i < size; ++i) bytes[i] = static_cast<char>((i * 31) ^ (i >> 8));
    return bytes;
}

// The machine's file system as the store uses it, and the verification of kept originals on top of it.
class FileAccessTest : public testing::Test {
protected:
    QString path(const QString& name) const { return directory.filePath(name); }
    static constexpr qint64 kNoLimit = std::numeric_limits<qint32>::max();
    static const FileError* fileErrorOf(const WholeFileResult& result) {
        return result ? nullptr : std::get_if<FileError>(&result.error());
    }
    static const FileError* fileErrorOf(const auto& result) { return result ? nullptr : &result.error(); }
    static bool isNoSuchFile(const auto& result) {
        const FileError* error = fileErrorOf(result);
        return error && error->isNoSuchFile();
    }
    static int codeOf(const auto& result) {
        const FileError* error = fileErrorOf(result);
        return error ? error->code : 0;
    }

    TemporaryDirectory directory;
    PosixFileSystem posix;
    FaultyFileSystem faulty;
};

TEST_F(FileAccessTest, ReadsWholeFilesAndTellsAMissingOneApart) {
    QByteArray large(3 * 1024 * 1024 + 17, '\0');
    for (qsizetype i = 0; i < large.size(); ++i) large[i] = static_cast<char>(i * 7);
    EXPECT_EQ(posix.readFile(directory.write(u"large"_s, large), kNoLimit), large);
    EXPECT_EQ(posix.readFile(directory.write(u"empty"_s, QByteArray()), kNoLimit), QByteArray());
    // A missing directory on the way is the same case as a missing file; a folder is another error.
    EXPECT_TRUE(isNoSuchFile(posix.readFile(path(u"missing"_s), kNoLimit)));
    EXPECT_TRUE(isNoSuchFile(posix.readFile(path(u"gone/file"_s), kNoLimit)));
    EXPECT_EQ(codeOf(posix.readFile(directory.path(), kNoLimit)), EISDIR);
}

TEST_F(FileAccessTest, OnlyRegularFilesAreReadAndNoFurtherThanTheLimit) {
    const auto refusalOf = [](const WholeFileResult& result) -> std::optional<FileRefusal> {
        if (result || !std::holds_alternative<FileRefusal>(result.error())) return std::nullopt;
        return std::get<FileRefusal>(result.error());
    };
    const QString ten = directory.write(u"ten"_s, "0123456789");
    EXPECT_EQ(posix.readFile(ten, 10), "0123456789");
    EXPECT_EQ(refusalOf(posix.readFile(ten, 9)), FileRefusal::tooLarge);
    // A file whose size says nothing (0 for this one) is cut off as it is read.
    ASSERT_EQ(posix.status(u"/proc/self/status"_s)->size, 0u);
    EXPECT_EQ(refusalOf(posix.readFile(u"/proc/self/status"_s, 16)), FileRefusal::tooLarge);

    // Special files are never read: neither a FIFO without a writer nor an endless device (also behind
    // a link) can hold the read up. A socket cannot even be opened.
    makeFifo(path(u"fifo"_s));
    ASSERT_TRUE(QFile::link(u"/dev/zero"_s, path(u"zero"_s)));
    makeSocket(path(u"socket"_s));
    const auto results = withinDeadline([&] {
        return std::array{posix.readFile(path(u"fifo"_s), kNoLimit), posix.readFile(path(u"zero"_s), kNoLimit),
                          posix.readFile(path(u"socket"_s), kNoLimit)};
    });
    EXPECT_EQ(refusalOf(results[0]), FileRefusal::notRegularFile);
    EXPECT_EQ(refusalOf(results[1]), FileRefusal::notRegularFile);
    EXPECT_EQ(codeOf(results[2]), ENXIO);
}

TEST_F(FileAccessTest, ALockExcludesEveryOtherHolderUntilReleasedAndItsFileStays) {
    const QString file = path(u"store.lock"_s);
    auto first = posix.lockExclusively(file);
    ASSERT_TRUE(first);
    // Another open of the same file, even in this process, is another holder.
    const auto second = posix.lockExclusively(file);
    ASSERT_FALSE(second);
    EXPECT_TRUE(second.error().isLockHeldElsewhere());
    EXPECT_EQ(second.error(), (FileError{FileError::Operation::lock, EWOULDBLOCK, file}));
    first->reset();
    EXPECT_TRUE(posix.lockExclusively(file));
    EXPECT_EQ(directory.list(), QStringList{u"store.lock"_s});

    // A missing folder is created by no one; a link in the lock file's place is not followed.
    EXPECT_TRUE(isNoSuchFile(posix.lockExclusively(path(u"missing/store.lock"_s))));
    EXPECT_FALSE(directory.exists(u"missing"_s));
    ASSERT_TRUE(QFile::link(path(u"elsewhere"_s), path(u"linked.lock"_s)));
    EXPECT_EQ(codeOf(posix.lockExclusively(path(u"linked.lock"_s))), ELOOP);
    EXPECT_FALSE(directory.exists(u"elsewhere"_s));
}

// A folder that may be read but not changed: the lock is still taken, by one holder at a time, on the
// lock file opened for reading or, where there is none, on the folder; nothing is created.
TEST_F(FileAccessTest, OnAReadOnlyFolderTheLockIsTakenAndNothingIsCreated) {
    directory.write(u"older/store.lock"_s, "");
    ASSERT_TRUE(QDir().mkpath(path(u"bare"_s)));
    const ReadOnlyFolder older(path(u"older"_s));
    const ReadOnlyFolder bare(path(u"bare"_s));
    TAVRINE_SKIP_UNLESS_READ_ONLY(older);
    TAVRINE_SKIP_UNLESS_READ_ONLY(bare);
    SCOPED_TRACE(*older.way());
    for (const QString& lockFile : {path(u"older/store.lock"_s), path(u"bare/store.lock"_s)}) {
        SCOPED_TRACE(lockFile.toStdString());
        auto first = posix.lockExclusively(lockFile);
        ASSERT_TRUE(first) << first.error().description().toStdString();
        const auto second = posix.lockExclusively(lockFile);
        ASSERT_FALSE(second);
        EXPECT_TRUE(second.error().isLockHeldElsewhere());
        first->reset();
        EXPECT_TRUE(posix.lockExclusively(lockFile));
    }
    const auto written = posix.writeFileAtomically(path(u"bare/store.json"_s), "{}");
    ASSERT_FALSE(written);
    EXPECT_TRUE(written.error().code == EROFS || written.error().code == EACCES) << written.error().code;
    EXPECT_TRUE(directory.list(u"bare"_s).isEmpty());
    EXPECT_EQ(directory.list(u"older"_s), QStringList{u"store.lock"_s});
}

TEST_F(FileAccessTest, SymbolicLinksAreNeverFollowed) {
    const QString file = directory.write(u"keep/precious"_s, "data");
    directory.write(u"tree/a/b/c"_s, "");
    directory.write(u"tree/.hidden"_s, "");
    ASSERT_TRUE(QFile::link(path(u"keep"_s), path(u"tree/a/to-keep"_s)));
    ASSERT_TRUE(QFile::link(path(u"keep"_s), path(u"top-link"_s)));
    ASSERT_TRUE(QFile::link(file, path(u"file-link"_s)));

    EXPECT_EQ(codeOf(posix.openForReading(path(u"file-link"_s))), ELOOP);

    for (const QString& name : {u"tree"_s, u"top-link"_s, u"file-link"_s}) {
        EXPECT_TRUE(posix.removeRecursively(path(name))) << name;
    }
    EXPECT_EQ(directory.list(), QStringList{u"keep"_s});
    EXPECT_EQ(directory.read(file), "data");
    EXPECT_TRUE(posix.removeRecursively(file));
    EXPECT_TRUE(isNoSuchFile(posix.removeRecursively(file)));
}

TEST_F(FileAccessTest, AnAtomicWriteReplacesTheWholeFileOrNothing) {
    const QString file = directory.write(u"store.json"_s, "old");
    const auto before = posix.status(file);
    ASSERT_TRUE(posix.writeFileAtomically(file, "new contents"));
    EXPECT_EQ(directory.read(file), "new contents");
    EXPECT_NE(posix.status(file)->inode, before->inode);  // a new file took the name
    ASSERT_TRUE(posix.writeFileAtomically(path(u"empty"_s), QByteArray()));
    EXPECT_EQ(directory.read(u"empty"_s), QByteArray());

    // A folder in the way: the write fails and its temporary file is gone.
    directory.write(u"folder/inside"_s, "");
    EXPECT_EQ(codeOf(posix.writeFileAtomically(path(u"folder"_s), "x")), EISDIR);
    EXPECT_EQ(directory.list(), (QStringList{u"empty"_s, u"folder"_s, u"store.json"_s}));
    EXPECT_TRUE(isNoSuchFile(posix.writeFileAtomically(path(u"missing/file"_s), "x")));
}

TEST_F(FileAccessTest, AStreamedWriteTakesItsPiecesInOrderOrLeavesTheOldFile) {
    const QString file = directory.write(u"store.json"_s, "old");
    // More than the writer hands to the disk between its hints to start writing back.
    QByteArray expected;
    ASSERT_TRUE(posix.writeFileAtomicallyFrom(file, [&](FileContents& contents) {
        for (int i = 0; i < 300; ++i) {
            const QByteArray piece = QByteArray::number(i).repeated(10'000 + i);
            expected += piece;
            if (!contents.append(piece)) return false;
        }
        return true;
    }));
    EXPECT_EQ(directory.read(file), expected);

    // Abandoned by its producer: cancelled, and nothing changes.
    const auto abandoned =
        posix.writeFileAtomicallyFrom(file, [](FileContents& contents) { return contents.append("partial") && false; });
    EXPECT_EQ(codeOf(abandoned), ECANCELED);
    EXPECT_EQ(directory.read(file), expected);
    EXPECT_EQ(directory.list(), QStringList{u"store.json"_s});

    // The disk refusing a piece half way (a file size limit): the failure is the write's, and the
    // producer learns it at once.
    std::signal(SIGXFSZ, SIG_IGN);
    rlimit limit{};
    ASSERT_EQ(::getrlimit(RLIMIT_FSIZE, &limit), 0);
    const rlimit small{1 << 20, limit.rlim_max};
    ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &small), 0);
    int refusals = 0;
    const auto refused = posix.writeFileAtomicallyFrom(file, [&](FileContents& contents) {
        for (int i = 0; i < 40; ++i) {
            if (!contents.append(QByteArray(100'000, 'x'))) ++refusals;
        }
        return true;
    });
    ::setrlimit(RLIMIT_FSIZE, &limit);
    EXPECT_EQ(codeOf(refused), EFBIG);
    EXPECT_EQ(refusals, 30);
    EXPECT_EQ(directory.read(file), expected);
    EXPECT_EQ(directory.list(), QStringList{u"store.json"_s});
}

TEST_F(FileAccessTest, CreatesEveryMissingFolderOnAPath) {
    const QString deep = path(u"a/b//c/"_s);
    ASSERT_TRUE(posix.createDirectories(deep));
    EXPECT_EQ(posix.status(path(u"a/b/c"_s))->type, FileStatus::Type::directory);
    EXPECT_TRUE(posix.createDirectories(deep));  // already there

    directory.write(u"file"_s, "");
    const auto blocked = posix.createDirectories(path(u"file/sub"_s));
    ASSERT_FALSE(blocked);
    EXPECT_EQ(blocked.error(), (FileError{FileError::Operation::createDirectory, ENOTDIR, path(u"file"_s)}));
}

TEST_F(FileAccessTest, AnOriginalIsReadInBoundedPiecesAndNoFurtherThanRecorded) {
    const QByteArray bytes = bookBytes(3 * kOriginalDigestPieceBytes + 5);
    const QString path = directory.write(u"book.epub"_s, bytes);
    EXPECT_TRUE(verifyOriginalFile(faulty, path, {u"Book.epub"_s, bytes.size(), sha256Hex(bytes)}));
    EXPECT_EQ(faulty.largestPiece, kOriginalDigestPieceBytes);
    EXPECT_EQ(faulty.bytesRead, bytes.size());

    // A file that grew after it was examined: the status still gives the recorded size.
    const qint64 recorded = kOriginalDigestPieceBytes + 1;
    faulty.alterStatus = [&](const QString&, FileStatus& status) { status.size = recorded; };
    faulty.bytesRead = 0;
    EXPECT_EQ(failureOf(verifyOriginalFile(faulty, path, {u"g.epub"_s, recorded, sha256Hex(bytes)})), kInvalid);
    EXPECT_LE(faulty.bytesRead, 2 * kOriginalDigestPieceBytes);
}

TEST_F(FileAccessTest, AnOriginalThatIsNoReadableRegularFileFails) {
    const QByteArray bytes = bookBytes(1000);
    const EPUBOriginal record{u"b.epub"_s, bytes.size(), sha256Hex(bytes)};
    directory.write(u"folder/inside"_s, bytes);
    EXPECT_EQ(failureOf(verifyOriginalFile(faulty, directory.filePath(u"folder"_s), record)), kInvalid);

    const QString path = directory.write(u"book"_s, bytes);
    faulty.failOn(FileError::Operation::read, path, EIO);
    EXPECT_EQ(failureOf(verifyOriginalFile(faulty, path, record)),
              StoreFailure(FileError{FileError::Operation::read, EIO, path}));
    // No size reported is as bad as a wrong one.
    faulty.alterStatus = [](const QString&, FileStatus& status) { status.size.reset(); };
    EXPECT_EQ(failureOf(verifyOriginalFile(faulty, path, record)), kInvalid);
}

TEST(ReadingStoreFiles, NamesAreDerivedFromTheStoreFile) {
    const ReadingStoreFiles files(u"/data/reading-store.json"_s);
    const QUuid id = *parseUuid(u"6f1c2a4e-0b7d-4c39-9a57-1e2d3c4b5a69"_s);
    EXPECT_EQ(files.progressFile(id), u"/data/reading-store.json.progress-6F1C2A4E-0B7D-4C39-9A57-1E2D3C4B5A69.json"_s);
    EXPECT_EQ(files.originalFile(id),
              u"/data/reading-store.json.originals/6F1C2A4E-0B7D-4C39-9A57-1E2D3C4B5A69.epub"_s);
    EXPECT_TRUE(ReadingStoreFiles::applicationStoreFile().value_or(QString()).endsWith(
        u"/org.tavrine.Tavrine/reading-store.json"_s));
}

}  // namespace
}  // namespace tavrine::test
