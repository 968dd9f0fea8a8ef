#pragma once

#include "ReaderCore/Uuid.h"
#include "ReaderStorage/ReadingStore.h"

#include "FaultyFileSystem.h"
#include "support/FakeClock.h"
#include "support/QtPrinters.h"
#include "support/RunTask.h"
#include "support/TemporaryDirectory.h"

#include <gtest/gtest.h>

#include <memory>
#include <optional>
#include <ostream>

namespace tavrine {

// Failures print as their descriptions, alone or inside a StoreFailure.
inline void PrintTo(const ReadingStoreError& e, std::ostream* out) {
    *out << describeStoreFailure(e).toStdString();
}
inline void PrintTo(const FileError& e, std::ostream* out) {
    *out << describeStoreFailure(e).toStdString();
}
inline void PrintTo(const DecodingError& e, std::ostream* out) {
    *out << describeStoreFailure(e).toStdString();
}

namespace test {

inline const StoreFailure kInvalid = ReadingStoreError::invalidData();
inline const StoreFailure kMissing = ReadingStoreError::missingDocument();

// The failure of a store result, or nothing when it succeeded.
template <typename T>
std::optional<StoreFailure> failureOf(const StoreResult<T>& result) {
    if (result) return std::nullopt;
    return result.error();
}

// Whether the failure is the file system's "no such file" for path.
inline bool isNoSuchFile(const std::optional<StoreFailure>& failure, const QString& path) {
    const auto* error = failure ? std::get_if<FileError>(&*failure) : nullptr;
    return error && error->isNoSuchFile() && error->path == path;
}

inline bool isDecodingError(const std::optional<StoreFailure>& failure) {
    return failure && std::holds_alternative<DecodingError>(*failure);
}

// A recognisable identifier: 00000000-0000-0000-0000-0000000000NN.
inline QUuid idNumber(int number) {
    return *parseUuid(QStringLiteral("00000000-0000-0000-0000-%1").arg(number, 12, 10, QLatin1Char('0')));
}

inline QList<QUuid> idsOf(const QList<StoredReading>& records) {
    QList<QUuid> ids;
    for (const StoredReading& record : records) ids.append(record.id());
    return ids;
}

// A library reading of a plain text, imported at the given time.
inline StoredReading textRecord(const QUuid& id, const QString& text = QStringLiteral("本文"), Date importedAt = {},
                                std::optional<Date> lastPlayedAt = std::nullopt, bool isInLibrary = true) {
    return StoredReading{
        SavedReading{id, ReadingDocument{std::nullopt, text, {}}, std::nullopt, std::nullopt, std::nullopt, importedAt},
        std::nullopt,
        std::nullopt,
        isInLibrary,
        {},
        lastPlayedAt};
}

// A reading only in the history, played at the given time.
inline StoredReading historyRecord(const QUuid& id, Date lastPlayedAt) {
    return textRecord(id, QStringLiteral("履歴"), {}, lastPlayedAt, false);
}

// A library reading imported from a text file, its document and title as the import makes them.
inline StoredReading textFileRecord(const QUuid& id, const QString& filename, const QByteArray& bytes) {
    StoredReading record = textRecord(id);
    record.reading.document = *LibraryTextFile::decodeText(filename, bytes);
    record.reading.title = filename;
    record.originalTextFile = LibraryTextFile{filename, bytes};
    return record;
}

// A library reading of an EPUB book of one chapter whose original file holds bytes.
inline StoredReading epubRecord(const QUuid& id, const QByteArray& bytes) {
    StoredReading record = textRecord(id);
    const QString text = QStringLiteral("第一章\n吾輩は猫である。");
    record.reading.document =
        ReadingDocument{QList{ReadingDocument::Section{QStringLiteral("c1"), std::nullopt, 0, text.size()}}, text, {}};
    EPUBBook::Information information;
    information.metadata.titles = QStringList{QStringLiteral("猫")};
    information.navigation = {EPUBBook::Navigation(QStringLiteral("n1"), QStringLiteral("第一章"),
                                                   QStringLiteral("c1.xhtml"),
                                                   EPUBBook::Destination::position(QStringLiteral("c1"), 0))};
    information.packagePath = QStringLiteral("OEBPS/content.opf");
    record.reading.epub = information;
    record.reading.title = QStringLiteral("猫");
    record.originalEPUB = EPUBOriginal{QStringLiteral("Neko.epub"), bytes.size(), sha256Hex(bytes)};
    return record;
}

// The import of an EPUB file holding the book of epubRecord(), titled "猫" unless untitled.
inline LibraryFileImport epubImport(const QString& filename, const QByteArray& data, bool titled = true) {
    const StoredReading record = epubRecord({}, {});
    EPUBBook book;
    book.document = record.reading.document;
    book.metadata = record.reading.epub->metadata;
    if (!titled) book.metadata.titles.clear();
    book.navigation = record.reading.epub->navigation;
    book.packagePath = record.reading.epub->packagePath;
    return LibraryFileImport::epub(filename, data, std::move(book));
}

// A store in a temporary folder over a file system that takes faults, with a fake clock and readable
// identifiers for new imports (00000000-0000-0000-0000-000000000101, …102, …).
class StoreFixture : public testing::Test {
protected:
    QString storePath() const { return directory.filePath(QStringLiteral("data/reading-store.json")); }
    ReadingStoreFiles files() const { return ReadingStoreFiles(storePath()); }

    std::optional<StoreFailure> openFailure() { return failureOf(tryOpen()); }
    // Opens the store; a failure fails the test and gives no store.
    std::unique_ptr<ReadingStore> open() {
        auto store = tryOpen();
        if (store) return std::move(*store);
        ADD_FAILURE() << describeStoreFailure(store.error()).toStdString();
        return nullptr;
    }

    // The value of a store operation, awaited on this thread.
    template <typename T>
    static T await(QCoro::Task<T> task) {
        auto value = runTask(std::move(task));
        if (!value) std::abort();  // runTask has failed the test already
        return std::move(*value);
    }
    static void await(QCoro::Task<void> task) { runTask(std::move(task)); }
    ReadingStoreState stateOf(ReadingStore& store) { return await(store.currentState()); }

    // The next value of a subscription: the newest state not taken yet, or nothing once it has ended.
    static QCoro::Task<std::optional<ReadingStoreState>> nextState(ReadingStore::Subscription* subscription) {
        auto next = subscription->next();
        std::optional<ReadingStoreState> state = co_await next;
        co_return state;
    }
    static bool hasPending(ReadingStore::Subscription& subscription) { return subscription.next().await_ready(); }

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

private:
    StoreResult<std::unique_ptr<ReadingStore>> tryOpen() {
        return ReadingStore::open(storePath(), fileSystem, clock, [this] { return idNumber(++lastImportID); });
    }
};

}  // namespace test
}  // namespace tavrine
