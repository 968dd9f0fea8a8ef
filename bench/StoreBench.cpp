// The reading store at the size of a long-kept library: 200 readings of 50,000 UTF-16 units each (195
// imported from Japanese text files, whose bytes the store keeps and checks again at every full write,
// and 5 EPUB books with originals of 4 MiB), 100 of them in the history. Prints one JSON line of medians:
//   openMs           opening the store (reading, decoding and checking everything, digesting the originals)
//   fullWriteMs      a change that rewrites the store file (switching the history setting)
//   progressWriteMs  saving one reading position (only the progress file is rewritten)
//   publishMs        announcing the state to two listeners
// store-bench --write FOLDER: writes that library's files into FOLDER (made if missing) and exits, for
// drivers that start the application over it.
// store-bench --large: a store at the largest size it takes, 60 readings of 499,000 units imported
// from text files (about 206 MB), none played. It is written by a child process, so that only the
// store's own work counts in the peak memory. Prints one line of medians and the peak resident memory
// of opening it and rewriting it:
//   {"readings":60,"storeMB":…,"openMs":…,"fullWriteMs":…,"peakRssMB":…}
#include "ReaderStorage/LibraryTextFile.h"
#include "ReaderStorage/ReadingStore.h"
#include "ReaderStorage/internal/SnapshotValidation.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>

#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <optional>
#include <string>
#include <vector>

namespace {
using namespace tavrine;
using namespace Qt::StringLiterals;

// The store a benchmark opens and rewrites.
struct StoreShape {
    int readings;
    int epubReadings;  // the first ones
    int played;        // every other reading from the first, up to this many
    qsizetype readingLength;
};

constexpr StoreShape kLibrary{200, 5, 100, 50'000};
constexpr StoreShape kLargest{60, 0, 0, 499'000};
constexpr qsizetype kOriginalBytes = 4 * 1024 * 1024;

// Runs the event loop until the task has finished.
template <typename T>
T awaitTask(QCoro::Task<T> task) {
    std::optional<T> result;
    QEventLoop loop;
    auto collect = [](QCoro::Task<T> task, std::optional<T>* result, QEventLoop* loop) -> QCoro::Task<void> {
        *result = co_await task;
        loop->quit();
    };
    auto running = collect(std::move(task), &result, &loop);
    if (!result) loop.exec();
    return std::move(*result);
}

void awaitTask(QCoro::Task<void> task) {
    bool done = false;
    QEventLoop loop;
    auto collect = [](QCoro::Task<void> task, bool* done, QEventLoop* loop) -> QCoro::Task<void> {
        co_await task;
        *done = true;
        loop->quit();
    };
    auto running = collect(std::move(task), &done, &loop);
    if (!done) loop.exec();
}

// A Japanese text of exactly length units, different for each reading.
QString readingText(int number, qsizetype length) {
    const QString sample = u"吾輩は猫である。名前はまだ無い。どこで生れたかとんと見当がつかぬ。\n"_s;
    QString text = u"第%1巻\n"_s.arg(number);
    text.reserve(length + sample.size());
    while (text.size() < length) text += sample;
    text.truncate(length);
    return text;
}

QByteArray originalBytes(int seed) {
    QByteArray bytes(kOriginalBytes, Qt::Uninitialized);
    for (qsizetype i = 0; i < bytes.size(); ++i) bytes[i] = static_cast<char>((i * 131 + seed) ^ (i >> 11));
    return bytes;
}

bool writeFile(const QString& path, const QByteArray& bytes) {
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size();
}

StoredReading textFileReading(int number, qsizetype length) {
    const QString filename = u"novel-%1.txt"_s.arg(number);
    const QByteArray bytes = readingText(number, length).toUtf8();
    StoredReading record;
    record.reading.id = QUuid::createUuid();
    record.reading.title = filename;
    record.reading.document = *LibraryTextFile::decodeText(filename, bytes);
    record.reading.importedAt = Date{1000.0 + number};
    record.originalTextFile = LibraryTextFile{filename, bytes};
    record.isInLibrary = true;
    return record;
}

StoredReading epubReading(int number, qsizetype length, const QByteArray& bytes) {
    StoredReading record;
    record.reading.id = QUuid::createUuid();
    const QString text = readingText(number, length);
    record.reading.document =
        ReadingDocument{QList{ReadingDocument::Section{u"c1"_s, std::nullopt, 0, text.size()}}, text, {}};
    record.reading.title = u"book-%1"_s.arg(number);
    record.reading.epub = EPUBBook::Information{{}, {}, {}, {}, u"OEBPS/content.opf"_s};
    record.reading.importedAt = Date{1000.0 + number};
    record.originalEPUB = EPUBOriginal{u"book-%1.epub"_s.arg(number), bytes.size(), sha256Hex(bytes)};
    record.isInLibrary = true;
    return record;
}

// Writes the store's files as the store itself would have left them; the path of the store file.
std::optional<QString> writeStore(const QDir& directory, const StoreShape& shape) {
    const ReadingStoreFiles files(directory.filePath(u"reading-store.json"_s));
    ReadingStoreSnapshot snapshot;
    snapshot.version = ReadingStoreSnapshot::kEPUBVersion;
    snapshot.revision = QUuid::createUuid();
    snapshot.tombstones = QSet<QUuid>();
    snapshot.historyEnabled = true;
    if (!QDir().mkpath(files.originalsDirectory())) return std::nullopt;
    for (int i = 0; i < shape.readings; ++i) {
        if (i < shape.epubReadings) {
            const QByteArray bytes = originalBytes(i);
            snapshot.documents.append(epubReading(i, shape.readingLength, bytes));
            if (!writeFile(files.originalFile(snapshot.documents.last().id()), bytes)) return std::nullopt;
        } else {
            snapshot.documents.append(textFileReading(i, shape.readingLength));
        }
        if (i % 2 == 0 && i / 2 < shape.played) {
            snapshot.documents.last().lastPlayedAt = Date{5000.0 + i};
            snapshot.documents.last().progress = {i * 10, false};
        }
    }
    if (!validateSnapshot(snapshot)) return std::nullopt;
    if (!writeFile(files.storeFile(), encodeJson(snapshot)) ||
        !writeFile(files.progressFile(*snapshot.revision), *encodeProgressFile(snapshot))) {
        return std::nullopt;
    }
    return files.storeFile();
}

// The median of `runs` timings of step, in milliseconds.
template <typename Step>
double medianMs(int runs, Step step) {
    std::vector<double> timings;
    for (int i = 0; i < runs; ++i) {
        QElapsedTimer timer;
        timer.start();
        step(i);
        timings.push_back(static_cast<double>(timer.nsecsElapsed()) / 1e6);
    }
    std::sort(timings.begin(), timings.end());
    return timings[timings.size() / 2];
}

[[noreturn]] void fail(const char* what) {
    std::fprintf(stderr, "store-bench: %s\n", what);
    std::exit(1);
}

// The process's peak resident memory so far, in megabytes (10^6 bytes).
double peakRssMB() {
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line)) {
        if (line.rfind("VmHWM:", 0) == 0) return std::stod(line.substr(6)) * 1024 / 1e6;
    }
    return 0;
}

// The largest store: written by a child, so that building it leaves nothing in this process, then opened
// and rewritten here.
int largeStoreBenchmark(int argc, char** argv) {
    QTemporaryDir directory;
    const pid_t child = fork();
    if (child < 0) fail("cannot start the child that writes the store");
    if (child == 0) _exit(writeStore(QDir(directory.path()), kLargest) ? 0 : 1);  // leaves the folder to the parent
    int status = 0;
    if (waitpid(child, &status, 0) != child || !WIFEXITED(status) || WEXITSTATUS(status) != 0) {
        fail("cannot write the store");
    }
    QCoreApplication app(argc, argv);
    const QString storeFile = directory.filePath(u"reading-store.json"_s);
    qint64 storeBytes = 0;
    for (const QFileInfo& file : QDir(directory.path()).entryInfoList(QDir::Files)) storeBytes += file.size();

    const double openMs = medianMs(3, [&](int) {
        if (!ReadingStore::open(storeFile)) fail("the store does not open");
    });
    auto opened = ReadingStore::open(storeFile);
    if (!opened) fail("the store does not open");
    const double fullWriteMs = medianMs(3, [&](int i) {
        if (!awaitTask((**opened).setHistoryEnabled(i % 2 == 1))) fail("a full write failed");
    });
    std::printf(R"({"readings":%d,"storeMB":%.1f,"openMs":%.1f,"fullWriteMs":%.1f,"peakRssMB":%.1f})"
                "\n",
                kLargest.readings, static_cast<double>(storeBytes) / 1e6, openMs, fullWriteMs, peakRssMB());
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc > 1 && std::strcmp(argv[1], "--large") == 0) return largeStoreBenchmark(argc, argv);
    QCoreApplication app(argc, argv);
    if (argc > 2 && std::strcmp(argv[1], "--write") == 0) {
        const QString folder = QString::fromLocal8Bit(argv[2]);
        if (!QDir().mkpath(folder) || !writeStore(QDir(folder), kLibrary)) fail("cannot write the store");
        return 0;
    }
    QTemporaryDir directory;
    const auto storeFile = writeStore(QDir(directory.path()), kLibrary);
    if (!storeFile) fail("cannot write the store");

    const double openMs = medianMs(5, [&](int) {
        if (!ReadingStore::open(*storeFile)) fail("the store does not open");
    });

    auto opened = ReadingStore::open(*storeFile);
    if (!opened) fail("the store does not open");
    ReadingStore& store = **opened;
    const QUuid played = awaitTask(store.history()).first().id();

    const double fullWriteMs = medianMs(7, [&](int i) {
        if (!awaitTask(store.setHistoryEnabled(i % 2 == 1))) fail("a full write failed");
    });
    const double progressWriteMs = medianMs(21, [&](int i) {
        if (!awaitTask(store.updateProgress(played, ReadingProgress{i + 1, false}))) fail("a position save failed");
    });

    auto first = awaitTask(store.changes());
    auto second = awaitTask(store.changes());
    const double publishMs = medianMs(21, [&](int) { awaitTask(store.publish()); });

    std::printf(R"({"readings":%d,"openMs":%.1f,"fullWriteMs":%.1f,"progressWriteMs":%.2f,"publishMs":%.2f})"
                "\n",
                kLibrary.readings, openMs, fullWriteMs, progressWriteMs, publishMs);
    return 0;
}
