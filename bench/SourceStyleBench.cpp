// The source pane's styled text: the whole styling of a text of ordinary length (typography, the text
// document and the minimum width), and the two storages of long texts (creation over 2,000,000 units,
// one lazily styled chunk, creating and trimming elements). Japanese text from 草枕 in the shared sample
// book (a repeated sentence without it), in the reading family, offscreen.
#include "BenchTexts.h"
#include "PelmoraMac/Source/ReaderArticleDocument.h"
#include "PelmoraMac/Source/ReaderArticleStyle.h"
#include "PelmoraMac/Source/ReaderArticleTextStorage.h"
#include "PelmoraMac/Source/ReaderBoundedContentStorage.h"
#include "PelmoraMac/Source/ReaderBoundedLayoutManager.h"

#include <benchmark/benchmark.h>
#include <QGuiApplication>

using namespace Qt::StringLiterals;

namespace {
using namespace tavrine;
using Kind = ReadingDocument::Span::Kind;

// The paragraphs of the sample text, blank ones left out.
QStringList japaneseParagraphs() {
    static const QStringList paragraphs = [] {
        QString text = bench::kusamakuraText();
        if (text.isEmpty()) {
            text = bench::repeatedTo(
                u"山路を登りながら、こう考えた。智に働けば角が立つ。情に棹させば流される。意地を通せば窮屈だ。\n"_s,
                200'000);
        }
        QStringList kept;
        for (const QString& line : text.split(u'\n')) {
            if (!line.trimmed().isEmpty()) kept.append(line);
        }
        return kept;
    }();
    return paragraphs;
}

// Paragraphs of the sample joined by line feeds to exactly length units (or one paragraph without line
// feeds), never ending inside a surrogate pair.
QString japaneseText(qsizetype length, bool oneParagraph) {
    const QStringList paragraphs = japaneseParagraphs();
    QString text;
    text.reserve(length + 4'096);
    for (qsizetype i = 0; text.size() < length; ++i) {
        text += paragraphs[i % paragraphs.size()];
        text += oneParagraph ? u'　' : u'\n';
    }
    text.truncate(length);
    if (text.back().isHighSurrogate()) text.back() = u'。';
    return text;
}

// 20,000 units: headings, paragraphs with emphasis, lists, quotes, code blocks and two 4 × 10 tables
// with a header row.
ReadingDocument articleDocument() {
    constexpr qsizetype kLength = 20'000;
    const QStringList paragraphs = japaneseParagraphs();
    ReadingDocument document;
    QString& text = document.text;
    const auto add = [&](QString part, std::initializer_list<std::pair<Kind, qint64>> kinds) {
        part.truncate(std::max<qsizetype>(0, std::min(part.size(), kLength - text.size() - 1)));
        if (part.isEmpty()) return;
        part += u'\n';
        for (const auto& [kind, level] : kinds) {
            document.spans.append(
                {.kind = kind, .start = text.size(), .end = text.size() + part.size(), .level = level});
        }
        text += part;
    };
    const auto addTable = [&] {
        const qsizetype start = text.size();
        for (int cell = 0; cell < 40; ++cell) {
            const QString content = paragraphs[cell % paragraphs.size()].left(8 + cell % 5) + u'\n';
            document.spans.append({.kind = cell < 4 ? Kind::tableHeader : Kind::tableCell,
                                   .start = text.size(),
                                   .end = text.size() + content.size(),
                                   .level = 0});
            text += content;
        }
        document.spans.append({.kind = Kind::table, .start = start, .end = text.size(), .level = 4});
    };
    qsizetype next = 0;
    const auto paragraph = [&] { return paragraphs[next++ % paragraphs.size()]; };
    for (int section = 0; text.size() < kLength - 1; ++section) {
        add(paragraph().left(24), {{Kind::heading, 1 + section % 3}});
        for (int i = 0; i < 3; ++i) {
            const qsizetype start = text.size();
            add(paragraph(), {{Kind::paragraph, 0}});
            if (text.size() > start + 12) {
                document.spans.append({.kind = Kind::emphasis, .start = start + 4, .end = start + 12, .level = 0});
            }
        }
        add(paragraph().left(60), {{Kind::listItem, 1}});
        add(paragraph().left(60), {{Kind::listItem, 2}});
        add(paragraph(), {{Kind::quote, 0}});
        add(u"for (auto& line : lines) { render(line); }"_s, {{Kind::codeBlock, 0}});
        if (section == 2 || section == 6) addTable();
    }
    return document;
}

void BM_ArticleWholeStyling(benchmark::State& state) {
    const ReadingDocument document = articleDocument();
    for (auto _ : state) {
        const ReaderAttributedString styled = ReaderArticleStyle::attributedString(document, 15);
        const ReaderArticleDocument built = ReaderArticleDocument::build(styled);
        benchmark::DoNotOptimize(ReaderArticleStyle::minimumWidth(document, 15, &styled));
        benchmark::DoNotOptimize(built.document.get());
    }
    state.counters["units"] = static_cast<double>(document.text.size());
}
BENCHMARK(BM_ArticleWholeStyling)->Unit(benchmark::kMillisecond);

void BM_BoundedStorageCreation(benchmark::State& state) {
    const bool oneParagraph = state.range(0) == 1;
    const ReadingDocument document{
        .sections = std::nullopt, .text = japaneseText(2'000'000, oneParagraph), .spans = {}};
    qsizetype pieces = 0;
    for (auto _ : state) {
        ReaderBoundedContentStorage storage(document, 15);
        pieces = storage.ranges().size();
        benchmark::DoNotOptimize(pieces);
    }
    state.SetLabel(oneParagraph ? "one paragraph" : "paragraphs");
    state.counters["units"] = static_cast<double>(document.text.size());
    state.counters["pieces"] = static_cast<double>(pieces);
}
BENCHMARK(BM_BoundedStorageCreation)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);

// Every request lands in a chunk that is not in the cache.
void BM_ArticleChunk(benchmark::State& state) {
    ReaderArticleTextStorage storage(
        ReadingDocument{.sections = std::nullopt, .text = japaneseText(2'000'000, false), .spans = {}}, 15);
    qsizetype chunk = 0;
    for (auto _ : state) {
        benchmark::DoNotOptimize(storage.attributes(chunk * ReaderArticleTextStorage::kChunkLength + 100));
        chunk = (chunk + 7) % 480;
    }
}
BENCHMARK(BM_ArticleChunk)->Unit(benchmark::kMillisecond);

class VisibleLines final : public ReaderBoundedLayoutManager {
public:
    std::optional<TextRange> protectedRange() const override { return visible; }
    void invalidate(TextRange) override {}
    std::optional<TextRange> visible;
};

// 600 elements made afresh at another place each time, then trimmed back to the limits.
void BM_ElementsCreateAndTrim(benchmark::State& state) {
    ReaderBoundedContentStorage storage(
        ReadingDocument{.sections = std::nullopt, .text = japaneseText(2'000'000, true), .spans = {}}, 15);
    VisibleLines lines;
    storage.setLayoutManager(&lines);
    qsizetype start = 0;
    for (auto _ : state) {
        qsizetype handed = 0;
        storage.enumerateTextElements(start, ReaderBoundedContentStorage::Direction::forward, [&](const auto& element) {
            lines.visible = element->range;
            return ++handed < 600;
        });
        // The trim the enumeration scheduled.
        QCoreApplication::processEvents();
        start = (start + 600 * 256) % 1'800'000;
    }
}
BENCHMARK(BM_ElementsCreateAndTrim)->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication application(argc, argv);
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
