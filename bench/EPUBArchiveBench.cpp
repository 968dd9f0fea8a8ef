// The archive intake of the EPUB importer: a real book, an archive of 4,096 small entries, a book at
// the expanded-size limit (64 MiB of text in eight deflated entries), the refusal of a deflate bomb
// that declares 1,000 bytes, and reference resolution.
#include "ReaderEPUB/internal/EPUBArchive.h"
#include "ReaderEPUB/internal/EPUBReference.h"

#include "support/CheckoutPaths.h"
#include "support/RawZipBuilder.h"

#include <benchmark/benchmark.h>
#include <QFile>

namespace {
using namespace tavrine;
using namespace tavrine::test;

void readOrFail(benchmark::State& state, const QByteArray& bytes, bool expectSuccess) {
    qint64 extracted = 0;
    for (auto _ : state) {
        const auto files = readArchive(bytes, {}, CancellationToken::none());
        if (bool(files) != expectSuccess) {
            state.SkipWithError(files ? "read unexpectedly" : qPrintable(failureName(files.error())));
            return;
        }
        if (files) {
            extracted = 0;
            for (const QByteArray& data : *files) extracted += data.size();
        }
        benchmark::DoNotOptimize(files);
    }
    state.counters["archiveBytes"] = static_cast<double>(bytes.size());
    state.counters["extractedBytes"] = static_cast<double>(extracted);
    state.SetBytesProcessed(state.iterations() * bytes.size());
}

void BM_RealBook(benchmark::State& state) {
    QFile file(test::inCheckout(TAVRINE_SHARED_DATA_DIR "/epub/kusamakura.epub"));
    if (!file.open(QIODevice::ReadOnly)) {
        state.SkipWithError("(skipped: ../shared/data/epub/kusamakura.epub is missing)");
        return;
    }
    QByteArray bytes = file.readAll();
    setUTF8NameFlags(bytes);  // its Japanese names are UTF-8 without the flag
    readOrFail(state, bytes, true);
}
BENCHMARK(BM_RealBook)->Unit(benchmark::kMillisecond);

void BM_ManySmallEntries(benchmark::State& state) {
    static const QByteArray bytes = [] {
        RawZipBuilder builder;
        builder.addMimetype();
        for (int i = 1; i < 4'096; ++i) {
            builder.addDeflated(QByteArrayLiteral("OEBPS/text/") + QByteArray::number(i) + ".xhtml",
                                QByteArrayLiteral("<p>吾輩は猫である。</p>").repeated(20));
        }
        return builder.build().bytes;
    }();
    readOrFail(state, bytes, true);
}
BENCHMARK(BM_ManySmallEntries)->Unit(benchmark::kMillisecond);

void BM_ExpandedLimit(benchmark::State& state) {
    static const QByteArray bytes = [] {
        const QByteArray line =
            QStringLiteral("<p>吾輩は猫である。名前はまだ無い。どこで生れたかとんと見当がつかぬ。%1</p>\n").toUtf8();
        RawZipBuilder builder;
        builder.addMimetype();
        constexpr qint64 kEntry = 8'388'608;
        for (int i = 0; i < 8; ++i) {
            QByteArray text;
            text.reserve(kEntry);
            for (qint64 n = 0; text.size() < kEntry; ++n) text += QString::fromUtf8(line).arg(n).toUtf8();
            // The last entry leaves room for "mimetype" under the 64 MiB total.
            text.truncate(i == 7 ? kEntry - 20 : kEntry);
            builder.addDeflated(QByteArrayLiteral("OEBPS/") + QByteArray::number(i) + ".xhtml", text);
        }
        return builder.build().bytes;
    }();
    readOrFail(state, bytes, true);
}
BENCHMARK(BM_ExpandedLimit)->Unit(benchmark::kMillisecond)->Iterations(3);

void BM_RefuseBomb(benchmark::State& state) {
    static const QByteArray bytes = [] {
        RawZipEntry bomb;
        bomb.name = "bomb.bin";
        bomb.data = QByteArray(64 * 1'048'576, '\0');
        bomb.method = 8;
        bomb.uncompressedSize = 1'000;
        RawZipBuilder builder;
        builder.addMimetype().add(bomb);
        return builder.build().bytes;
    }();
    readOrFail(state, bytes, false);
}
BENCHMARK(BM_RefuseBomb)->Unit(benchmark::kMillisecond);

void BM_ResolveReference(benchmark::State& state) {
    const QString reference = QStringLiteral("../images/%E5%9B%B3%201.png#fig-1");
    const QString from = QStringLiteral("OEBPS/text/chapter-012.xhtml");
    for (auto _ : state) benchmark::DoNotOptimize(resolveReference(reference, from));
}
BENCHMARK(BM_ResolveReference);

}  // namespace
