#pragma once

#include "ReaderStorage/ReadingStore.h"

#include "FaultyFileSystem.h"
#include "StoreTestSupport.h"
#include "support/FakeClock.h"
#include "support/QtPrinters.h"
#include "support/RunTask.h"
#include "support/TemporaryDirectory.h"

#include <gtest/gtest.h>
#include <QFile>

#include <memory>

namespace tavrine::test {

// A store in a temporary folder over a file system that takes faults, with a fake clock and readable
// identifiers for new imports (00000000-0000-0000-0000-000000000101, …102, …).
class StoreFixture : public testing::Test {
protected:
    QString storePath() const { return directory.filePath(QStringLiteral("data/reading-store.json")); }
    ReadingStoreFiles files() const { return ReadingStoreFiles(storePath()); }

    // Opens the store; a failure fails the test and gives no store.
    std::unique_ptr<ReadingStore> open() {
        auto store = ReadingStore::open(storePath(), fileSystem, clock, [this] { return idNumber(++lastImportID); });
        if (!store) {
            ADD_FAILURE() << describeStoreFailure(store.error()).toStdString();
            return nullptr;
        }
        return std::move(*store);
    }

    // The value of a store operation, awaited on this thread.
    template <typename T>
    static T await(QCoro::Task<T> task) {
        auto value = runTask(std::move(task));
        if (!value) std::abort();  // runTask has failed the test already
        return std::move(*value);
    }

    static void await(QCoro::Task<void> task) { runTask(std::move(task)); }

    // The next value of a subscription: the newest state not taken yet, or nothing once it has ended.
    static QCoro::Task<std::optional<ReadingStoreState>> nextState(ReadingStore::Subscription* subscription) {
        auto next = subscription->next();
        std::optional<ReadingStoreState> state = co_await next;
        co_return state;
    }
    // Whether a subscription holds a value not taken yet.
    static bool hasPending(ReadingStore::Subscription& subscription) { return subscription.next().await_ready(); }

    ReadingStoreState stateOf(ReadingStore& store) { return await(store.currentState()); }
    // The bytes of a file under the store's folder, or nothing when it does not exist.
    std::optional<QByteArray> fileBytes(const QString& path) const {
        QFile file(path);
        if (!file.open(QIODevice::ReadOnly)) return std::nullopt;
        return file.readAll();
    }

    // A reading of the given text, imported at the given time.
    static SavedReading reading(int number, const QString& text = QStringLiteral("本文"), Date importedAt = {}) {
        return SavedReading{idNumber(number), ReadingDocument{std::nullopt, text, {}},
                            std::nullopt,     std::nullopt,
                            std::nullopt,     importedAt};
    }

    TemporaryDirectory directory;
    std::shared_ptr<FaultyFileSystem> fileSystem = std::make_shared<FaultyFileSystem>();
    FakeClock clock;
    int lastImportID = 100;
};

}  // namespace tavrine::test
