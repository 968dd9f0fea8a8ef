// Building the source pane's window over a document at the size of the largest accepted book: 500,000
// UTF-16 units with 100,000 spans, at positions spread over the whole text.
#include "ReaderCore/Characters.h"
#include "ReaderCore/ReadingSourceWindow.h"

#include <benchmark/benchmark.h>

namespace {
using namespace tavrine;

ReadingDocument makeLongDocument() {
    constexpr qsizetype kLength = 500'000;
    constexpr qsizetype kSpans = 100'000;
    const QString sample = QStringLiteral("吾輩は猫である。名前はまだ無い。e\u0301\U0001F600 The quick brown fox.\n");
    ReadingDocument document;
    document.text.reserve(kLength);
    while (document.text.size() < kLength) document.text += sample;
    document.text.truncate(kLength);
    for (qsizetype i = 0; i < kSpans; ++i) {
        const qsizetype start = i * (kLength / kSpans);
        document.spans.append({ReadingDocument::Span::Kind::emphasis, start, start + 3, 0});
    }
    return document;
}

constexpr qsizetype kPositions = 64;

qsizetype positionAt(qsizetype i, qsizetype length) {
    return (i * 7'919 * 61) % length;
}

// As the source pane builds it: the window makes its own analysis of the text.
void BM_SourceWindowOwnAnalysis(benchmark::State& state) {
    const ReadingDocument document = makeLongDocument();
    qsizetype i = 0;
    for (auto _ : state) {
        benchmark::DoNotOptimize(ReadingSourceWindow::around(document, positionAt(i++ % kPositions, 500'000)));
    }
}
BENCHMARK(BM_SourceWindowOwnAnalysis)->Unit(benchmark::kMicrosecond);

// As the prepared reading builds it: with the analysis it keeps for the text.
void BM_SourceWindowGivenAnalysis(benchmark::State& state) {
    const ReadingDocument document = makeLongDocument();
    const CharacterBreaks breaks(document.text);
    qsizetype i = 0;
    for (auto _ : state) {
        benchmark::DoNotOptimize(ReadingSourceWindow::around(document, positionAt(i++ % kPositions, 500'000), &breaks));
    }
}
BENCHMARK(BM_SourceWindowGivenAnalysis)->Unit(benchmark::kMicrosecond);

}  // namespace
