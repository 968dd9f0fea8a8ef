// One store owns its files: a second opener, in this process or another, is refused before it reads,
// removes or creates anything but the lock file, and a store whose folder did not exist when it opened
// takes the lock at its first write.
#include "StoreFixture.h"

#include "support/CheckoutPaths.h"
#include "support/EventLoop.h"
#include "support/ReadOnlyFolder.h"

#include <QDirIterator>
#include <QProcess>

#include <cerrno>
#include <chrono>
#include <map>

namespace tavrine::test {
namespace {
using namespace Qt::StringLiterals;

const StoreFailure kLockUnavailable = ReadingStoreError::lockUnavailable();

// Every file and folder under folder, each with its bytes (folders with none), by relative path.
std::map<QString, QByteArray> contentsOf(const QString& folder) {
    std::map<QString, QByteArray> contents;
    QDirIterator entries(folder, QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot,
                         QDirIterator::Subdirectories);
    while (entries.hasNext()) {
        const QString path = entries.next();
        QFile file(path);
        const QString name = path.mid(folder.size() + 1);
        contents[name] = entries.fileInfo().isDir() ? QByteArray("<folder>")
                                                    : (file.open(QIODevice::ReadOnly) ? file.readAll() : "<unread>");
    }
    return contents;
}

class StoreOwnershipTest : public StoreFixture {
protected:
    QString dataFolder() const { return files().folder(); }

    // Files that the opening clean-up of a store removes: leftovers of interrupted writes, a progress
    // file of another revision and an orphaned original.
    QStringList putLeftovers() {
        const QStringList names{u".reading-store.json.tmp-a1B2c3"_s,
                                QFileInfo(files().progressFile(idNumber(77))).fileName(),
                                u"reading-store.json.originals/"_s + ReadingStoreFiles::originalFileName(idNumber(8))};
        for (const QString& name : names) directory.write(u"data/"_s + name, "left over " + name.toUtf8());
        return names;
    }
    bool allThere(const QStringList& names) const {
        return std::all_of(names.cbegin(), names.cend(),
                           [this](const QString& name) { return directory.exists(u"data/"_s + name); });
    }
};

TEST_F(StoreOwnershipTest, ASecondOpenerIsRefusedHavingTouchedNothing) {
    auto owner = open();
    ASSERT_TRUE(owner);
    ASSERT_TRUE(await(owner->addToLibrary(reading(1), {})));
    // Put down while the owner is open: the second opener must not take them for its own leftovers.
    const QStringList leftovers = putLeftovers();
    const auto before = contentsOf(dataFolder());

    EXPECT_EQ(openFailure(), kLockUnavailable);
    EXPECT_EQ(failureOf(ReadingStore::open(storePath())), kLockUnavailable);  // the real file system alike
    EXPECT_EQ(contentsOf(dataFolder()), before);
    // The owner is not disturbed: it writes on, and its content is what it was.
    ASSERT_TRUE(await(owner->addToLibrary(reading(2), {})));
    EXPECT_TRUE(allThere(leftovers));

    // Once the owner is gone, the next opening owns the files and cleans up; the lock file stays.
    owner.reset();
    auto next = open();
    ASSERT_TRUE(next);
    EXPECT_EQ(idsOf(stateOf(*next).library).size(), 2);
    for (const QString& name : leftovers) EXPECT_FALSE(directory.exists(u"data/"_s + name)) << name.toStdString();
    EXPECT_TRUE(directory.exists(files().lockFile()));
}

TEST_F(StoreOwnershipTest, AStoreWithoutItsFolderCreatesNothingUntilItsFirstWriteTakesTheLock) {
    auto first = open();
    auto second = open();  // neither holds a lock yet: there is nothing to hold
    ASSERT_TRUE(first && second);
    EXPECT_TRUE(directory.list().isEmpty());

    ASSERT_TRUE(await(first->addToLibrary(reading(1), {})));
    EXPECT_TRUE(directory.exists(files().lockFile()));
    const auto afterFirst = contentsOf(dataFolder());

    // The second's writes of every kind are refused while the first holds the files, an EPUB import
    // before its original is written.
    EXPECT_EQ(await(second->addToLibrary(reading(2), {})), tl::unexpected(kLockUnavailable));
    EXPECT_EQ(failureOf(await(second->importFile(epubImport(u"Neko.epub"_s, "PK book")))), kLockUnavailable);
    EXPECT_EQ(contentsOf(dataFolder()), afterFirst);
    EXPECT_EQ(stateOf(*second).library.size(), 0);

    // With the first gone the lock is free, but the store file it wrote is not the second's to replace.
    first.reset();
    EXPECT_EQ(await(second->addToLibrary(reading(2), {})), tl::unexpected(kInvalid));
    EXPECT_EQ(contentsOf(dataFolder()), afterFirst);
    second.reset();
    auto reopened = open();
    ASSERT_TRUE(reopened);
    EXPECT_EQ(idsOf(stateOf(*reopened).library), QList{idNumber(1)});
}

// A store on a file system mounted read-only (or a folder this user may not change), made before the
// lock existed: it opens with its readings, one opener at a time; every write fails with the file
// system's refusal, and not one byte changes, not even the clean-up of what interrupted writes left.
TEST_F(StoreOwnershipTest, AStoreOnAReadOnlyFolderShowsItsReadingsAndEveryWriteFailsChangingNothing) {
    {
        auto owner = open();
        ASSERT_TRUE(owner);
        ASSERT_TRUE(await(owner->setHistoryEnabled(true)));
        ASSERT_TRUE(await(owner->addToLibrary(reading(1), {})));
        ASSERT_TRUE(await(owner->importFile(epubImport(u"Neko.epub"_s, "PK book"))));
        ASSERT_TRUE(await(owner->recordPlayback(reading(2), clock.now(), ReadingProgress{1, false})));
    }
    putLeftovers();
    ASSERT_TRUE(QFile::remove(files().lockFile()));
    const auto before = contentsOf(dataFolder());
    const ReadOnlyFolder readOnly(dataFolder());
    TAVRINE_SKIP_UNLESS_READ_ONLY(readOnly);
    SCOPED_TRACE(*readOnly.way());

    auto store = open();
    ASSERT_TRUE(store);
    const ReadingStoreState state = stateOf(*store);
    EXPECT_EQ(idsOf(state.library), (QList{idNumber(101), idNumber(1)}));
    EXPECT_EQ(idsOf(state.history), QList{idNumber(2)});
    EXPECT_EQ(openFailure(), kLockUnavailable);

    const auto isRefusal = [](const std::optional<StoreFailure>& failure) {
        const auto* error = failure ? std::get_if<FileError>(&*failure) : nullptr;
        return error && (error->code == EROFS || error->code == EACCES);
    };
    EXPECT_TRUE(isRefusal(failureOf(await(store->addToLibrary(reading(3), {})))));
    EXPECT_TRUE(isRefusal(failureOf(await(store->importFile(epubImport(u"Tora.epub"_s, "PK other book"))))));
    EXPECT_TRUE(isRefusal(failureOf(await(store->updateProgress(idNumber(1), ReadingProgress{1, false})))));
    EXPECT_TRUE(isRefusal(failureOf(await(store->deleteDocument(idNumber(101))))));
    EXPECT_TRUE(isRefusal(failureOf(await(store->setHistoryEnabled(false)))));
    EXPECT_EQ(stateOf(*store), state);
    EXPECT_EQ(contentsOf(dataFolder()), before);
}

TEST_F(StoreOwnershipTest, ALockThatCannotBeTakenForAnotherReasonIsItsFileError) {
    directory.write(storePath(), "not even JSON");
    fileSystem->failOn(FileError::Operation::lock, files().lockFile(), EACCES);
    EXPECT_EQ(openFailure(), StoreFailure(FileError{FileError::Operation::lock, EACCES, files().lockFile()}));

    // A lock file that is a link is not followed, and what it points to is left alone.
    fileSystem->clearFaults();
    const QString target = directory.write(u"elsewhere"_s, "someone's file");
    ASSERT_TRUE(QFile::link(target, files().lockFile()));
    const auto failure = openFailure();
    const auto* error = failure ? std::get_if<FileError>(&*failure) : nullptr;
    ASSERT_TRUE(error) << (failure ? describeStoreFailure(*failure).toStdString() : "opened");
    EXPECT_EQ(error->code, ELOOP);
    EXPECT_EQ(directory.read(target), "someone's file");

    // Without such a fault, the damaged store file is what fails the opening, after the lock was taken.
    QFile::remove(files().lockFile());
    EXPECT_TRUE(isDecodingError(openFailure()));
    EXPECT_EQ(directory.list(u"data"_s), (QStringList{u"reading-store.json"_s, u"reading-store.json.lock"_s}));
}

// ---- Two processes ----

// A store-lock-worker process and the lines it has said. It answers, however slowly a loaded machine runs it:
// it is waited for as long as the test may run.
class Worker {
public:
    explicit Worker(const QStringList& arguments) {
        m_process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        m_process.start(test::inCheckout(STORE_LOCK_WORKER), arguments);
        if (!m_process.waitForStarted()) ADD_FAILURE() << m_process.errorString().toStdString();
    }
    ~Worker() {
        if (m_process.state() == QProcess::NotRunning) return;
        m_process.kill();
        m_process.waitForFinished();
    }

    // Waits until the worker has said a line that starts with prefix; false when it ends or the deadline
    // passes first.
    bool waitFor(const QString& prefix, std::chrono::milliseconds deadline = test::patience()) {
        const auto end = std::chrono::steady_clock::now() + deadline;
        for (;;) {
            take();
            if (std::any_of(m_lines.cbegin(), m_lines.cend(), [&](const QString& l) { return l.startsWith(prefix); }))
                return true;
            if (m_process.state() == QProcess::NotRunning || std::chrono::steady_clock::now() > end) return false;
            m_process.waitForReadyRead(50);
        }
    }
    // The identifiers of the imports it has reported so far.
    QList<QUuid> imported() {
        take();
        QList<QUuid> ids;
        for (const QString& line : std::as_const(m_lines)) {
            if (line.startsWith(u"imported ")) ids.append(QUuid::fromString(line.mid(9)));
        }
        return ids;
    }
    QStringList lines() {
        take();
        return m_lines;
    }
    void say(const QByteArray& line) { m_process.write(line + '\n'); }
    // Ends its standard input and waits for it to exit 0 by itself.
    bool finish(std::chrono::milliseconds deadline = test::patience()) {
        m_process.closeWriteChannel();
        if (!m_process.waitForFinished(static_cast<int>(deadline.count()))) return false;
        take();
        return m_process.exitStatus() == QProcess::NormalExit && m_process.exitCode() == 0;
    }

private:
    // Reads what the worker has said by now, without waiting.
    void take() {
        if (m_process.state() == QProcess::Running) m_process.waitForReadyRead(0);
        while (m_process.canReadLine()) m_lines.append(QString::fromUtf8(m_process.readLine()).trimmed());
    }

    QProcess m_process;
    QStringList m_lines;
};

TEST_F(StoreOwnershipTest, AnotherProcessIsRefusedWhileTheOwnerWritesAndSeesEveryWriteAfterIt) {
    {
        auto store = open();
        ASSERT_TRUE(store && await(store->addToLibrary(reading(1), {})));
    }
    Worker owner({u"hold"_s, storePath(), u"owner"_s});
    ASSERT_TRUE(owner.waitFor(u"opened"_s)) << owner.lines().join(u'\n').toStdString();
    const QStringList leftovers = putLeftovers();

    // While it writes, in a loop.
    int refusals = 0;
    const auto end = std::chrono::steady_clock::now() + test::patience();
    while (owner.imported().size() < 20 && std::chrono::steady_clock::now() < end) {
        EXPECT_EQ(failureOf(ReadingStore::open(storePath())), kLockUnavailable);
        ++refusals;
    }
    ASSERT_GE(owner.imported().size(), 20);
    EXPECT_GT(refusals, 0);
    EXPECT_TRUE(allThere(leftovers));

    // While it holds the store without writing: the attempts leave every byte as it was.
    owner.say("stop");
    ASSERT_TRUE(owner.waitFor(u"stopped"_s));
    const auto before = contentsOf(dataFolder());
    EXPECT_EQ(failureOf(ReadingStore::open(storePath())), kLockUnavailable);
    Worker third({u"import"_s, storePath(), u"1"_s, u"third"_s});
    ASSERT_TRUE(third.finish());
    EXPECT_EQ(third.lines(), QStringList{u"refused lockUnavailable"_s});
    EXPECT_EQ(contentsOf(dataFolder()), before);

    const QList<QUuid> written = owner.imported();
    ASSERT_TRUE(owner.finish());
    EXPECT_FALSE(owner.lines().join(u'\n').contains(u"failed"_s)) << owner.lines().join(u'\n').toStdString();
    auto store = ReadingStore::open(storePath());
    ASSERT_TRUE(store) << describeStoreFailure(store.error()).toStdString();
    QSet<QUuid> expected(written.cbegin(), written.cend());
    expected.insert(idNumber(1));
    const QList<QUuid> library = idsOf(await((*store)->library()));
    EXPECT_EQ(QSet<QUuid>(library.cbegin(), library.cend()), expected);
    EXPECT_EQ(library.size(), expected.size());
}

// Two processes import at once into one store, once into an existing folder and once where the folder
// does not exist yet (neither then holds a lock until its first write). Whatever the timing, every
// import that was reported is stored, and nothing else.
TEST_F(StoreOwnershipTest, TwoImportingProcessesLoseNoReportedImport) {
    for (const bool folderExists : {true, false}) {
        SCOPED_TRACE(folderExists ? "existing folder" : "no folder");
        const QString storeFile =
            directory.filePath(u"race-%1/reading-store.json"_s.arg(folderExists ? u"existing"_s : u"new"_s));
        if (folderExists) {
            ASSERT_TRUE(QDir().mkpath(QFileInfo(storeFile).path()));
        }

        Worker a({u"import"_s, storeFile, u"100"_s, u"a"_s});
        Worker b({u"import"_s, storeFile, u"100"_s, u"b"_s});
        ASSERT_TRUE(a.finish());
        ASSERT_TRUE(b.finish());
        const QList<QUuid> reported = a.imported() + b.imported();
        const QStringList said = a.lines() + b.lines();
        EXPECT_FALSE(said.filter(u"failed"_s).isEmpty() && said.filter(u"refused"_s).isEmpty() &&
                     reported.size() != 200)
            << "imports went missing without a word";

        auto store = ReadingStore::open(storeFile);
        ASSERT_TRUE(store) << describeStoreFailure(store.error()).toStdString();
        const QList<QUuid> library = idsOf(await((*store)->library()));
        EXPECT_EQ(QSet<QUuid>(library.cbegin(), library.cend()), QSet<QUuid>(reported.cbegin(), reported.cend()));
        EXPECT_EQ(library.size(), reported.size());
        std::printf(
            "%s: %lld imports reported and stored; refusals: %lld\n", folderExists ? "existing" : "new",
            static_cast<long long>(reported.size()),
            static_cast<long long>(said.filter(u"lockUnavailable"_s).size() + said.filter(u"invalidData"_s).size()));
    }
}

}  // namespace
}  // namespace tavrine::test
