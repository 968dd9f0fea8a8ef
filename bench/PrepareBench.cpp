// prepare-bench FILE...: for each UTF-8 text file, builds a prepared reading (width = number of
// Characters, maximum width 8), asks for the chunks of every piece in order and then of 50 random
// offsets, and prints one JSON line per file:
//   {"file":…,"utf16":…,"pieces":…,"p50Ms":…,"p95Ms":…,"maxMs":…,"seekP95Ms":…}
// Times are wall-clock milliseconds per request as the caller awaits it, the hop to the reading's
// thread included. Without FILE it measures two generated inputs of 500,000 UTF-16 units: the text of
// 草枕 from the shared sample book, repeated, and English prose.
#include "BenchReport.h"
#include "BenchTexts.h"

#include "ReaderCore/Characters.h"
#include "ReaderText/BudouXParser.h"
#include "ReaderText/PreparedReading.h"

#include <QCoreApplication>
#include <QCoro/QCoroTask>
#include <QFile>
#include <QTemporaryDir>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <random>
#include <vector>

namespace {
using namespace tavrine;
using namespace Qt::StringLiterals;
using bench::jsonString;
using bench::millisecondsSince;
using bench::percentile;

constexpr qsizetype kGeneratedLength = 500'000;
constexpr int kSeeks = 50;
constexpr double kMaximumWidth = 8;

// Measures one file; false when it cannot be read.
QCoro::Task<bool> measure(QString path) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        std::fprintf(stderr, "prepare-bench: cannot read %s\n", qPrintable(path));
        co_return false;
    }
    const QString text = QString::fromUtf8(file.readAll());
    PreparedReading reading(
        text, {}, [](QStringView phrase) { return double(characterCount(phrase)); }, kMaximumWidth);

    std::vector<double> pieceTimes;
    for (qsizetype offset = 0; offset < reading.length();) {
        const auto start = std::chrono::steady_clock::now();
        auto request = reading.chunks(offset);
        const auto chunks = co_await request;
        pieceTimes.push_back(millisecondsSince(start));
        if (!chunks || chunks->isEmpty()) break;
        offset = chunks->last().sourceRange.upperBound;
    }

    std::mt19937 random(20'240'601);
    std::vector<double> seekTimes;
    for (int i = 0; i < kSeeks && reading.length() > 0; ++i) {
        const qsizetype offset = std::uniform_int_distribution<qsizetype>(0, reading.length() - 1)(random);
        const auto start = std::chrono::steady_clock::now();
        auto request = reading.chunks(offset);
        co_await request;
        seekTimes.push_back(millisecondsSince(start));
    }

    std::printf(
        "{\"file\":%s,\"utf16\":%lld,\"pieces\":%zu,\"p50Ms\":%.3f,\"p95Ms\":%.3f,\"maxMs\":%.3f,\"seekP95Ms\":%.3f}\n",
        qPrintable(jsonString(path)), static_cast<long long>(text.size()), pieceTimes.size(),
        percentile(pieceTimes, 0.5), percentile(pieceTimes, 0.95), percentile(pieceTimes, 1.0),
        percentile(seekTimes, 0.95));
    std::fflush(stdout);
    co_return true;
}

bool writeFile(const QString& path, const QString& text) {
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(text.toUtf8()) >= 0;
}

QCoro::Task<int> run(QStringList files) {
    QTemporaryDir generated;
    if (files.isEmpty()) {
        const QString japanese = bench::kusamakuraText();
        if (japanese.isEmpty()) {
            std::fprintf(stderr, "prepare-bench: the shared sample book is not beside the project; skipping it\n");
        } else {
            files.append(generated.filePath(u"kusamakura-500k.txt"_s));
            writeFile(files.last(), bench::repeatedTo(japanese, kGeneratedLength));
        }
        files.append(generated.filePath(u"english-500k.txt"_s));
        writeFile(files.last(), bench::englishProse(kGeneratedLength, 7));
    }
    int status = 0;
    for (const QString& file : files) {
        auto measurement = measure(file);
        const bool measured = co_await measurement;
        if (!measured) status = 1;
    }
    co_return status;
}

QCoro::Task<void> runAndQuit(QStringList files) {
    auto all = run(std::move(files));
    const int status = co_await all;
    QCoreApplication::exit(status);
}

}  // namespace

int main(int argc, char** argv) {
    QCoreApplication application(argc, argv);
    QStringList files = QCoreApplication::arguments().mid(1);
    (void)BudouXParser::shared();  // the model loads once per process, before any timing
    auto task = runAndQuit(std::move(files));
    return QCoreApplication::exec();
}
