// A process that changes the store is killed with SIGKILL at a random moment, 200 times over, against
// one store folder. After every kill the store must open, hold every operation that had returned and
// either hold or lack the one that was running (never a part of it), and keep nothing beside its files
// once opened. The kill moments vary from run to run; what is asserted does not.
#include "ReaderStorage/ReadingStore.h"
#include "ReaderStorage/internal/ReadingStoreSnapshot.h"

#include "StoreCrashJournal.h"
#include "support/CheckoutPaths.h"
#include "support/QtPrinters.h"
#include "support/RunTask.h"
#include "support/TemporaryDirectory.h"

#include <gtest/gtest.h>
#include <QDir>
#include <QProcess>
#include <QThread>

#include <random>

namespace tavrine::test::crash {
namespace {
using namespace Qt::StringLiterals;

constexpr int kRounds = 200;
// Most workers are killed while they change the store, at most this long after it has opened; every
// tenth may be killed while it starts and opens the store.
constexpr int kLongestRunMs = 60;
constexpr int kEveryNthKilledEarly = 10;

// The state of the store as it opens now, or the failure that keeps it closed.
tl::expected<QString, QString> openedDigest(const QString& storeFile) {
    auto store = ReadingStore::open(storeFile);
    if (!store) return tl::unexpected(describeStoreFailure(store.error()));
    return digestOf(*runTask((*store)->currentState()));
}

QStringList entries(const QString& folder) {
    return QDir(folder).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot, QDir::Name);
}

// Once the store has opened, its folder holds only the store file, its current progress file, the lock
// file and the originals folder with one original per EPUB reading.
void expectOnlyTheStoresFiles(const ReadingStoreFiles& files, const std::optional<QByteArray>& storeBytes) {
    QStringList expected;
    QStringList originals;
    if (storeBytes) {
        const auto snapshot = decodeJsonText<ReadingStoreSnapshot>(*storeBytes);
        ASSERT_TRUE(snapshot);
        expected = {files.storeFileName(), QFileInfo(files.progressFile(*snapshot->revision)).fileName(),
                    QFileInfo(files.lockFile()).fileName()};
        for (const StoredReading& record : snapshot->documents) {
            if (record.originalEPUB) originals.append(ReadingStoreFiles::originalFileName(record.id()));
        }
    }
    QStringList present = entries(files.folder());
    present.removeAll(QFileInfo(files.originalsDirectory()).fileName());
    // Before the first write the lock file may be there alone: a worker takes the lock before it writes.
    if (!storeBytes) present.removeAll(QFileInfo(files.lockFile()).fileName());
    expected.sort();
    originals.sort();
    EXPECT_EQ(present, expected);
    EXPECT_EQ(entries(files.originalsDirectory()), originals);
}

TEST(StoreCrashTest, AKilledWriterLosesAtMostTheOperationItWasIn) {
    TemporaryDirectory directory;
    const QString storeFile = directory.filePath(u"store/reading-store.json"_s);
    std::mt19937 random(7);
    auto before = openedDigest(storeFile);
    ASSERT_TRUE(before);

    int completed = 0;
    int interrupted = 0;
    for (int round = 0; round < kRounds; ++round) {
        SCOPED_TRACE(round);
        const QString journalFile = directory.filePath(u"journal-%1"_s.arg(round));
        QProcess worker;
        worker.setProcessChannelMode(QProcess::ForwardedChannels);
        worker.start(test::inCheckout(STORE_CRASH_WORKER),
                     {storeFile, directory.filePath(u"shadow"_s), journalFile, QString::number(round + 1)});
        ASSERT_TRUE(worker.waitForStarted()) << worker.errorString().toStdString();
        // Unless killed early, the worker is killed after the store has opened (or it has ended).
        for (int waited = 0; round % kEveryNthKilledEarly != 0 && waited < 10'000; ++waited) {
            if (readJournal(journalFile).opened || worker.state() != QProcess::Running) break;
            QThread::msleep(1);
        }
        QThread::msleep(std::uniform_int_distribution<unsigned>(0, kLongestRunMs)(random));
        worker.kill();
        ASSERT_TRUE(worker.waitForFinished());

        const Journal journal = readJournal(journalFile);
        ASSERT_FALSE(journal.problem) << journal.problem->toStdString();
        ASSERT_EQ(worker.exitStatus(), QProcess::CrashExit) << "the worker ended by itself";
        ASSERT_TRUE(!journal.opened || *journal.opened == *before) << "the store changed between";

        const auto after = openedDigest(storeFile);
        ASSERT_TRUE(after) << after.error().toStdString();
        const QString lastReturned = journal.lastDone.value_or(*before);
        if (*after != lastReturned) {
            ASSERT_TRUE(journal.interrupted && *after == *journal.interrupted)
                << "the store holds neither the state after the last operation that "
                << "returned nor the state after the one that was running";
            ++interrupted;
        }
        expectOnlyTheStoresFiles(ReadingStoreFiles(storeFile), directory.read(storeFile));
        completed += journal.completed;
        before = after;
    }
    // The store took part.
    EXPECT_GT(completed, 0);
    std::printf("%d operations returned before a kill; %d interrupted operations were kept\n", completed, interrupted);
}

}  // namespace
}  // namespace tavrine::test::crash
