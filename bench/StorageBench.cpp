// The two checks whose cost grows with what the user imports: the text-file gate on a file at its limits
// (1.5 MB of Japanese UTF-8, 500,000 UTF-16 units, so the per-Character walk runs), and the verification of
// a kept EPUB original of the largest accepted size (32 MiB), which every start of the store repeats.
#include "ReaderStorage/LibraryTextFile.h"
#include "ReaderStorage/OriginalFiles.h"
#include "ReaderStorage/PosixFileSystem.h"

#include <benchmark/benchmark.h>
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

void BM_VerifyLargestOriginal(benchmark::State& state) {
    QTemporaryDir directory;
    const QString path = directory.filePath(QStringLiteral("book.epub"));
    QByteArray bytes(EPUBOriginal::kByteLimit, '\0');
    for (qsizetype i = 0; i < bytes.size(); ++i) bytes[i] = static_cast<char>((i * 131) ^ (i >> 11));
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size()) {
        state.SkipWithError("cannot write the original");
        return;
    }
    file.close();
    const EPUBOriginal original{QStringLiteral("book.epub"), bytes.size(), sha256Hex(bytes)};
    PosixFileSystem fileSystem;
    for (auto _ : state) {
        if (!verifyOriginalFile(fileSystem, path, original)) state.SkipWithError("the original does not verify");
    }
    state.SetBytesProcessed(state.iterations() * bytes.size());
}
BENCHMARK(BM_VerifyLargestOriginal)->Unit(benchmark::kMillisecond);

}  // namespace
