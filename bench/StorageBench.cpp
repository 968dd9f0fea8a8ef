// What grows with the library a user keeps: the text-file gate on a file at its limits (1.5 MB of
// Japanese UTF-8, 500,000 UTF-16 units, so the per-Character walk runs); the SHA-256 digest alone and the
// verification of a kept EPUB original of the largest accepted size (32 MiB); and the opening of a large store, which
// runs on the main thread at start-up: 20 readings imported from text files at their limits (a store file of about 40
// MB, every file decoded again to check its reading) and 5 EPUB originals of 32 MiB, each digested.
#include "ReaderStorage/LibraryTextFile.h"
#include "ReaderStorage/ReadingStore.h"
#include "ReaderStorage/internal/OriginalFiles.h"
#include "ReaderStorage/internal/PosixFileSystem.h"
#include "ReaderStorage/internal/SnapshotValidation.h"

#include <benchmark/benchmark.h>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>

namespace {
using namespace tavrine;

QByteArray japaneseFileAtTheLimits() {
    const QString sample = QStringLiteral("吾輩は猫である。名前はまだ無い。どこで生れたかとんと見当がつかぬ。\n");
    QString text;
    while (text.size() < LibraryTextFile::utf16Limit) text += sample;
    text.truncate(LibraryTextFile::utf16Limit);
    return QByteArray("\xEF\xBB\xBF") + text.toUtf8();
}

void BM_TextFileGate(benchmark::State& state) {
    const QByteArray file = japaneseFileAtTheLimits();
    if (!LibraryTextFile::decodeText(QStringLiteral("novel.txt"), file)) {
        state.SkipWithError("the benchmark file is refused");
        return;
    }
    for (auto _ : state) benchmark::DoNotOptimize(LibraryTextFile::decodeText(QStringLiteral("novel.txt"), file));
    state.SetBytesProcessed(state.iterations() * file.size());
}
BENCHMARK(BM_TextFileGate)->Unit(benchmark::kMillisecond);

QByteArray largestOriginal(int seed) {
    QByteArray bytes(EPUBOriginal::kByteLimit, '\0');
    for (qsizetype i = 0; i < bytes.size(); ++i) bytes[i] = static_cast<char>((i * 131 + seed) ^ (i >> 11));
    return bytes;
}

bool writeFile(const QString& path, const QByteArray& bytes) {
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size();
}

// SHA-256 alone, over the largest original in memory: the processor's SHA extensions give over 1 GB/s.
void BM_Sha256(benchmark::State& state) {
    const QByteArray bytes = largestOriginal(1);
    for (auto _ : state) benchmark::DoNotOptimize(sha256Hex(bytes));
    state.SetBytesProcessed(state.iterations() * bytes.size());
}
BENCHMARK(BM_Sha256)->Unit(benchmark::kMillisecond);

void BM_VerifyLargestOriginal(benchmark::State& state) {
    QTemporaryDir directory;
    const QString path = directory.filePath(QStringLiteral("book.epub"));
    const QByteArray bytes = largestOriginal(0);
    if (!writeFile(path, bytes)) {
        state.SkipWithError("cannot write the original");
        return;
    }
    const EPUBOriginal original{QStringLiteral("book.epub"), bytes.size(), sha256Hex(bytes)};
    PosixFileSystem fileSystem;
    for (auto _ : state) {
        if (!verifyOriginalFile(fileSystem, path, original)) state.SkipWithError("the original does not verify");
    }
    state.SetBytesProcessed(state.iterations() * bytes.size());
}
BENCHMARK(BM_VerifyLargestOriginal)->Unit(benchmark::kMillisecond);

// Writes the large store into directory and returns the path of its store file, or nothing on failure.
std::optional<QString> writeLargeStore(const QTemporaryDir& directory) {
    const ReadingStoreFiles files(directory.filePath(QStringLiteral("reading-store.json")));
    ReadingStoreSnapshot snapshot;
    snapshot.version = ReadingStoreSnapshot::kEPUBVersion;
    snapshot.revision = QUuid::createUuid();
    snapshot.tombstones = QSet<QUuid>();
    const QByteArray text = japaneseFileAtTheLimits();
    for (int i = 0; i < 20; ++i) {
        StoredReading record;
        record.reading.id = QUuid::createUuid();
        record.reading.title = QStringLiteral("novel-%1.txt").arg(i);
        record.reading.document = *LibraryTextFile::decodeText(*record.reading.title, text);
        record.originalTextFile = LibraryTextFile{*record.reading.title, text};
        record.isInLibrary = true;
        snapshot.documents.append(record);
    }
    if (!QDir().mkpath(files.originalsDirectory())) return std::nullopt;
    for (int i = 0; i < 5; ++i) {
        StoredReading record;
        record.reading.id = QUuid::createUuid();
        const QString chapter = QStringLiteral("第一章");
        record.reading.document = ReadingDocument{
            QList{ReadingDocument::Section{QStringLiteral("c1"), std::nullopt, 0, chapter.size()}}, chapter, {}};
        record.reading.epub = EPUBBook::Information{{}, {}, {}, {}, QStringLiteral("content.opf")};
        const QByteArray bytes = largestOriginal(i);
        record.originalEPUB = EPUBOriginal{QStringLiteral("book-%1.epub").arg(i), bytes.size(), sha256Hex(bytes)};
        record.isInLibrary = true;
        if (!writeFile(files.originalFile(record.id()), bytes)) return std::nullopt;
        snapshot.documents.append(record);
    }
    if (!validateSnapshot(snapshot)) return std::nullopt;
    if (!writeFile(files.storeFile(), encodeJson(snapshot)) ||
        !writeFile(files.progressFile(*snapshot.revision), *encodeProgressFile(snapshot))) {
        return std::nullopt;
    }
    return files.storeFile();
}

void BM_OpenLargeStore(benchmark::State& state) {
    QTemporaryDir directory;
    const auto storeFile = writeLargeStore(directory);
    if (!storeFile) {
        state.SkipWithError("cannot write the store");
        return;
    }
    const auto fileSystem = std::make_shared<PosixFileSystem>();
    for (auto _ : state) {
        if (!ReadingStore::open(*storeFile, fileSystem)) state.SkipWithError("the store does not open");
    }
}
BENCHMARK(BM_OpenLargeStore)->Unit(benchmark::kMillisecond)->Iterations(3);

}  // namespace
