#pragma once

#include "ReaderCore/Uuid.h"
#include "ReaderStorage/EPUBOriginal.h"
#include "ReaderStorage/StoreFailure.h"
#include "ReaderStorage/StoredReading.h"

#include <optional>
#include <ostream>

namespace tavrine {

// Failures print as their descriptions, alone or inside a StoreFailure.
inline void PrintTo(const ReadingStoreError& error, std::ostream* out) {
    *out << describeStoreFailure(error).toStdString();
}
inline void PrintTo(const FileError& error, std::ostream* out) {
    *out << describeStoreFailure(error).toStdString();
}
inline void PrintTo(const DecodingError& error, std::ostream* out) {
    *out << describeStoreFailure(error).toStdString();
}

namespace test {

// The failure of a store result, or nothing when it succeeded.
template <typename T>
std::optional<StoreFailure> failureOf(const StoreResult<T>& result) {
    if (result) return std::nullopt;
    return result.error();
}

inline StoreFailure invalidData() {
    return ReadingStoreError::invalidData();
}

// Whether the failure is the file system's "no such file" for path.
inline bool isNoSuchFile(const std::optional<StoreFailure>& failure, const QString& path) {
    const auto* error = failure ? std::get_if<FileError>(&*failure) : nullptr;
    return error && error->isNoSuchFile() && error->path == path;
}

// Whether the failure is a JSON decoding error.
inline bool isDecodingError(const std::optional<StoreFailure>& failure) {
    return failure && std::holds_alternative<DecodingError>(*failure);
}

// A recognisable identifier: 00000000-0000-0000-0000-0000000000NN.
inline QUuid idNumber(int number) {
    return *parseUuid(QStringLiteral("00000000-0000-0000-0000-%1").arg(number, 12, 10, QLatin1Char('0')));
}

// A library reading of a plain text, imported at the given time.
inline StoredReading textRecord(const QUuid& id, const QString& text = QStringLiteral("本文"), Date importedAt = {},
                                std::optional<Date> lastPlayedAt = std::nullopt, bool isInLibrary = true) {
    StoredReading record;
    record.reading.id = id;
    record.reading.document.text = text;
    record.reading.importedAt = importedAt;
    record.isInLibrary = isInLibrary;
    record.lastPlayedAt = lastPlayedAt;
    return record;
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

}  // namespace test
}  // namespace tavrine
