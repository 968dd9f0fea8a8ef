// The XHTML renderer. The book figures render every XHTML document of
// ../shared/data/epub/kusamakura.epub (read in place, through the archive intake): once from trees
// parsed beforehand, so that only the renderer is timed, and once with the parse, as an import pays
// it. The synthetic figures render one document near the book's text limit, of ruby-laden paragraphs
// and of grid tables, to show the renderer staying linear in its output.
#include "ReaderEPUB/internal/EPUBArchive.h"
#include "ReaderEPUB/internal/EPUBXHTML.h"
#include "ReaderEPUB/internal/EPUBXML.h"

#include "support/CheckoutPaths.h"
#include "support/RawZipBuilder.h"

#include <benchmark/benchmark.h>
#include <QFile>

#include <memory>
#include <vector>

namespace {
using namespace tavrine;

constexpr qsizetype kTextLimit = 500'000;

// The XHTML documents of the shared sample book, or none when it is absent.
const std::vector<QByteArray>& bookXHTML() {
    static const std::vector<QByteArray> documents = [] {
        std::vector<QByteArray> result;
        QFile file(test::inCheckout(TAVRINE_SHARED_DATA_DIR "/epub/kusamakura.epub"));
        if (!file.open(QIODevice::ReadOnly)) return result;
        QByteArray bytes = file.readAll();
        test::setUTF8NameFlags(bytes);  // its Japanese names are UTF-8 without the flag
        const auto files = readArchive(bytes, {}, CancellationToken::none());
        if (!files) return result;
        for (auto entry = files->constBegin(); entry != files->constEnd(); ++entry) {
            if (entry.key().endsWith(QStringLiteral(".xhtml"))) result.push_back(entry.value());
        }
        return result;
    }();
    return documents;
}

std::unique_ptr<EPUBXMLNode> parse(const QByteArray& document, EPUBXMLBudget& budget) {
    auto root = EPUBXML(EPUBReader::Limits::standard(), budget, CancellationToken::none()).parse(document);
    return root ? std::move(*root) : nullptr;
}

// Renders one tree; false (with the benchmark marked as failed) when it does not render.
bool render(benchmark::State& state, const EPUBXMLNode& root, qsizetype& units) {
    auto rendered = EPUBXHTML(kTextLimit, CancellationToken::none()).render(root);
    if (!rendered) {
        state.SkipWithError(qPrintable(QStringLiteral("a document did not render: ") + failureName(rendered.error())));
        return false;
    }
    units += rendered->text.size();
    benchmark::DoNotOptimize(rendered);
    return true;
}

void BM_RenderBookXHTML(benchmark::State& state) {
    const auto& documents = bookXHTML();
    if (documents.empty()) {
        state.SkipWithError("(skipped: ../shared/data/epub/kusamakura.epub is missing)");
        return;
    }
    EPUBXMLBudget budget;
    std::vector<std::unique_ptr<EPUBXMLNode>> roots;
    for (const QByteArray& document : documents) roots.push_back(parse(document, budget));
    qsizetype units = 0;
    for (auto _ : state) {
        units = 0;
        for (const auto& root : roots) {
            if (!root || !render(state, *root, units)) return;
        }
    }
    state.SetItemsProcessed(state.iterations() * units);
    state.counters["documents"] = double(documents.size());
    state.counters["textUTF16"] = double(units);
}
BENCHMARK(BM_RenderBookXHTML)->Unit(benchmark::kMillisecond);

void BM_ParseAndRenderBookXHTML(benchmark::State& state) {
    const auto& documents = bookXHTML();
    if (documents.empty()) {
        state.SkipWithError("(skipped: ../shared/data/epub/kusamakura.epub is missing)");
        return;
    }
    qsizetype units = 0;
    for (auto _ : state) {
        units = 0;
        EPUBXMLBudget budget;
        for (const QByteArray& document : documents) {
            const auto root = parse(document, budget);
            if (!root || !render(state, *root, units)) return;
        }
    }
    state.SetItemsProcessed(state.iterations() * units);
}
BENCHMARK(BM_ParseAndRenderBookXHTML)->Unit(benchmark::kMillisecond);

// A document of `pieces` repetitions of `piece` in one body, parsed once.
std::unique_ptr<EPUBXMLNode> syntheticDocument(const QByteArray& piece, int pieces) {
    const QByteArray document =
        R"(<html xmlns="http://www.w3.org/1999/xhtml"><body>)" + piece.repeated(pieces) + "</body></html>";
    EPUBXMLBudget budget;
    return parse(document, budget);
}

void renderSynthetic(benchmark::State& state, const EPUBXMLNode* root) {
    if (!root) {
        state.SkipWithError("the synthetic document did not parse");
        return;
    }
    qsizetype units = 0;
    for (auto _ : state) {
        units = 0;
        if (!render(state, *root, units)) return;
    }
    state.SetItemsProcessed(state.iterations() * units);
    state.counters["textUTF16"] = double(units);
}

// About 480,000 UTF-16 units of paragraphs with ruby, emphasis and identifiers.
void BM_RenderRubyParagraphsNearTheLimit(benchmark::State& state) {
    static const auto root = syntheticDocument(
        "<p>吾輩は<ruby>猫<rt>ねこ</rt></ruby>である。名前はまだ無い。\n  どこで生れたかとんと<em>見当</em>がつかぬ。"
        "何でも薄暗いじめじめした所でニャーニャー泣いていた事だけは記憶している。吾輩はここで始めて人間というものを見た"
        "。</p>",
        5'000);
    renderSynthetic(state, root.get());
}
BENCHMARK(BM_RenderRubyParagraphsNearTheLimit)->Unit(benchmark::kMillisecond);

// Grid tables of 20 rows by 8 cells, each cell a short phrase.
void BM_RenderGridTables(benchmark::State& state) {
    static const auto root = [] {
        const QByteArray row = "<tr><th>見出し</th>" + QByteArray("<td>セルの文字</td>").repeated(7) + "</tr>";
        return syntheticDocument("<table><caption>表</caption>" + row.repeated(20) + "</table>", 300);
    }();
    renderSynthetic(state, root.get());
}
BENCHMARK(BM_RenderGridTables)->Unit(benchmark::kMillisecond);

}  // namespace
