// Validation and the JSON round trip of a document at the size of the largest accepted EPUB book: 500,000
// UTF-16 units, 2,000 sections and 100,000 spans, with Japanese text, surrogate pairs and combining marks.
#include "ReaderCore/ReadingDocument.h"

#include <benchmark/benchmark.h>

namespace {
using namespace tavrine;

ReadingDocument makeLargeDocument() {
    constexpr qsizetype kLength = 500'000;
    constexpr qsizetype kSections = 2'000;
    constexpr qsizetype kSpans = 100'000;
    const QString sample = QStringLiteral("吾輩は猫である。名前はまだ無い。e\u0301\U0001F600 The quick brown fox.\n");
    QString text;
    text.reserve(kLength);
    while (text.size() < kLength) text += sample;
    text.truncate(kLength);
    // Keep the end from cutting a surrogate pair.
    if (text.back().isHighSurrogate()) text.back() = u'x';

    ReadingDocument document;
    document.text = text;
    QList<ReadingDocument::Section> sections;
    const qsizetype step = kLength / kSections;
    qsizetype start = 0;
    for (qsizetype i = 0; i < kSections; ++i) {
        // Move each boundary forward to an ASCII letter, a safe place to cut.
        qsizetype end = i + 1 == kSections ? kLength : (i + 1) * step;
        while (end < kLength && text.at(end).unicode() > 0x7F) ++end;
        while (end < kLength && (text.at(end - 1).isHighSurrogate() || text.at(end).unicode() == 0x0301)) ++end;
        sections.append({QStringLiteral("section-%1").arg(i), QStringLiteral("Chapter %1").arg(i), start, end});
        start = end;
    }
    document.sections = sections;
    for (qsizetype i = 0; i < kSpans; ++i) {
        qsizetype spanStart = (i * 5) % (kLength - 10);
        if (text.at(spanStart).isLowSurrogate()) ++spanStart;
        qsizetype spanEnd = spanStart + 4;
        if (text.at(spanEnd).isLowSurrogate()) ++spanEnd;
        document.spans.append({ReadingDocument::Span::Kind::strong, spanStart, spanEnd, i % 7});
    }
    return document;
}

void BM_ValidateLargeDocument(benchmark::State& state) {
    const ReadingDocument document = makeLargeDocument();
    if (!document.isValid()) {
        state.SkipWithError("the benchmark document is not valid");
        return;
    }
    for (auto _ : state) benchmark::DoNotOptimize(document.isValid());
    state.SetItemsProcessed(state.iterations() * document.text.size());
}
BENCHMARK(BM_ValidateLargeDocument)->Unit(benchmark::kMillisecond);

void BM_DocumentJsonRoundTrip(benchmark::State& state) {
    const ReadingDocument document = makeLargeDocument();
    for (auto _ : state) {
        QByteArray text = encodeJson(document);
        benchmark::DoNotOptimize(decodeJsonText<ReadingDocument>(std::move(text)));
    }
}
BENCHMARK(BM_DocumentJsonRoundTrip)->Unit(benchmark::kMillisecond);

// The round trip's parts: writing the text, reading it into values, and decoding the values.
void BM_DocumentJsonEncode(benchmark::State& state) {
    const ReadingDocument document = makeLargeDocument();
    for (auto _ : state) benchmark::DoNotOptimize(encodeJson(document));
}
BENCHMARK(BM_DocumentJsonEncode)->Unit(benchmark::kMillisecond);

void BM_DocumentJsonParse(benchmark::State& state) {
    const QByteArray text = encodeJson(makeLargeDocument());
    for (auto _ : state) {
        QByteArray copy(text.constData(), text.size());
        benchmark::DoNotOptimize(parseJson(std::move(copy)));
    }
}
BENCHMARK(BM_DocumentJsonParse)->Unit(benchmark::kMillisecond);

void BM_DocumentJsonDecode(benchmark::State& state) {
    const auto parsed = parseJson(encodeJson(makeLargeDocument()));
    for (auto _ : state) {
        benchmark::DoNotOptimize(decodeJson(parsed->root(), JsonPath(), std::type_identity<ReadingDocument>{}));
    }
}
BENCHMARK(BM_DocumentJsonDecode)->Unit(benchmark::kMillisecond);

}  // namespace
