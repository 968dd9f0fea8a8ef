#pragma once

#include "ReaderCore/Uuid.h"
#include "ReaderStorage/ReadingStore.h"
#include "ReaderStorage/internal/FileStamp.h"
#include "ReaderStorage/internal/ReadingStoreSnapshot.h"

#include "support/FakeClock.h"
#include "support/FaultyFileSystem.h"
#include "support/QtPrinters.h"
#include "support/RunTask.h"
#include "support/TemporaryDirectory.h"

#include <gtest/gtest.h>

#include <memory>
#include <optional>
#include <ostream>

namespace tavrine {

// Failures print as their descriptions, alone or inside a StoreFailure.
template <typename Error>
requires std::is_same_v<Error, ReadingStoreError> || std::is_same_v<Error, FileError> ||
    std::is_same_v<Error, DecodingError>
void PrintTo(const Error& error, std::ostream* out) {
    *out << describeStoreFailure(error).toStdString();
}

namespace test {
using namespace Qt::StringLiterals;

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
    return *parseUuid(u"00000000-0000-0000-0000-%1"_s.arg(number, 12, 10, QLatin1Char('0')));
}

inline QList<QUuid> idsOf(const QList<StoredReading>& records) {
    QList<QUuid> ids;
    for (const StoredReading& record : records) ids.append(record.id());
    return ids;
}

// A library reading of a plain text, imported at the given time.
inline StoredReading textRecord(const QUuid& id, const QString& text = u"本文"_s, Date importedAt = {},
                                std::optional<Date> lastPlayedAt = std::nullopt, bool isInLibrary = true) {
    StoredReading record;
    record.reading = SavedReading{id, {std::nullopt, text, {}}, std::nullopt, std::nullopt, std::nullopt, importedAt};
    record.isInLibrary = isInLibrary;
    record.lastPlayedAt = lastPlayedAt;
    return record;
}

// A reading only in the history, played at the given time.
inline StoredReading historyRecord(const QUuid& id, Date lastPlayedAt) {
    return textRecord(id, u"履歴"_s, {}, lastPlayedAt, false);
}

// A library reading imported from a text file, its document and title as the import makes them.
inline StoredReading textFileRecord(const QUuid& id, const QString& filename, const QByteArray& bytes) {
    StoredReading record = textRecord(id);
    record.reading.document = *LibraryTextFile::decodeText(filename, bytes);
    record.reading.title = filename;
    record.originalTextFile = LibraryTextFile{filename, bytes};
    return record;
}

// A book of one chapter titled "猫".
inline EPUBBook testBook() {
    const QString text = u"第一章\n吾輩は猫である。"_s;
    EPUBBook book;
    book.document = ReadingDocument{QList{ReadingDocument::Section{u"c1"_s, std::nullopt, 0, text.size()}}, text, {}};
    book.metadata.titles = QStringList{u"猫"_s};
    book.packagePath = u"OEBPS/content.opf"_s;
    return book;
}

// A library reading of testBook() whose original file "Neko.epub" holds bytes.
inline StoredReading epubRecord(const QUuid& id, const QByteArray& bytes) {
    const EPUBBook book = testBook();
    StoredReading record;
    record.reading = SavedReading{id, book.document, u"猫"_s, book.information(), std::nullopt, {}};
    record.isInLibrary = true;
    record.originalEPUB = EPUBOriginal{u"Neko.epub"_s, bytes.size(), sha256Hex(bytes)};
    return record;
}

inline LibraryFileImport epubImport(const QString& filename, const QByteArray& data, EPUBBook book = testBook()) {
    return LibraryFileImport::epub(filename, data, std::move(book));
}

// A store in a temporary folder over a file system that takes faults, with a fake clock and readable
// identifiers for new imports (00000000-0000-0000-0000-000000000101, …102, …).
class StoreFixture : public testing::Test {
protected:
    StoreFixture() = default;
    // The store's folder made in folder rather than in the system's temporary folder.
    explicit StoreFixture(const QString& folder) : directory(folder) {}

    QString storePath() const { return directory.filePath(u"data/reading-store.json"_s); }
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

    static SavedReading reading(int number, const QString& text = u"本文"_s) {
        return textRecord(idNumber(number), text).reading;
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
