// The hardened XML layer on real book text and on hostile input. The book figure is the throughput of
// the whole layer (strict decoding, textual gate, parse, tree) over the XHTML documents of
// ../shared/data/epub/kusamakura.epub, read in place; the hostile figures show the reference pass
// staying linear in the size of its input.
#include "ReaderEPUB/internal/EPUBXHTMLEntities.h"
#include "ReaderEPUB/internal/EPUBXML.h"
#include "ReaderEPUB/internal/EPUBXMLTextGate.h"

#include <benchmark/benchmark.h>
#include <zip.h>
#include <QFileInfo>

#include <vector>

namespace {
using namespace tavrine;

// The XHTML documents of the shared sample book, read with libzip directly.
const std::vector<QByteArray>& bookXHTML() {
    static const std::vector<QByteArray> documents = [] {
        std::vector<QByteArray> result;
        const QByteArray path = TAVRINE_SHARED_DATA_DIR "/epub/kusamakura.epub";
        if (!QFileInfo::exists(QString::fromUtf8(path))) return result;
        int error = 0;
        zip_t* archive = zip_open(path.constData(), ZIP_RDONLY, &error);
        if (!archive) return result;
        for (zip_int64_t i = 0; i < zip_get_num_entries(archive, 0); ++i) {
            zip_stat_t stat;
            if (zip_stat_index(archive, zip_uint64_t(i), 0, &stat) != 0) continue;
            if (!QByteArrayView(stat.name).endsWith(".xhtml")) continue;
            QByteArray bytes(qsizetype(stat.size), Qt::Uninitialized);
            zip_file_t* file = zip_fopen_index(archive, zip_uint64_t(i), 0);
            if (!file) continue;
            const zip_int64_t read = zip_fread(file, bytes.data(), stat.size);
            zip_fclose(file);
            if (read == zip_int64_t(stat.size)) result.push_back(bytes);
        }
        zip_close(archive);
        return result;
    }();
    return documents;
}

qint64 totalBytes(const std::vector<QByteArray>& documents) {
    qint64 total = 0;
    for (const QByteArray& document : documents) total += document.size();
    return total;
}

void BM_ParseBookXHTML(benchmark::State& state) {
    const auto& documents = bookXHTML();
    if (documents.empty()) {
        state.SkipWithError("kusamakura.epub is not present under ../shared/data");
        return;
    }
    for (auto _ : state) {
        EPUBXMLBudget budget;
        for (const QByteArray& document : documents) {
            auto root = EPUBXML(EPUBReader::Limits::standard(), budget, CancellationToken::none()).parse(document);
            if (!root) state.SkipWithError("a document of the book did not parse");
            benchmark::DoNotOptimize(root);
        }
    }
    state.SetBytesProcessed(state.iterations() * totalBytes(documents));
    state.counters["documents"] = double(documents.size());
}
BENCHMARK(BM_ParseBookXHTML)->Unit(benchmark::kMillisecond);

void BM_TextGateBookXHTML(benchmark::State& state) {
    const auto& documents = bookXHTML();
    if (documents.empty()) {
        state.SkipWithError("kusamakura.epub is not present under ../shared/data");
        return;
    }
    for (auto _ : state) {
        for (const QByteArray& document : documents) {
            benchmark::DoNotOptimize(EPUBXMLTextGate::prepare(document, CancellationToken::none()));
        }
    }
    state.SetBytesProcessed(state.iterations() * totalBytes(documents));
}
BENCHMARK(BM_TextGateBookXHTML)->Unit(benchmark::kMillisecond);

// Openers that never find their terminators, the input a backtracking pattern spends quadratic time
// on. The argument is the size in MiB; time per byte should not grow with it.
void BM_ReferencePassUnterminatedOpeners(benchmark::State& state) {
    QByteArray text;
    const qsizetype size = state.range(0) * 1024 * 1024;
    while (text.size() < size) text.append("<!--<?<![CDATA[&nbsp");
    for (auto _ : state) {
        benchmark::DoNotOptimize(EPUBXHTMLEntities::replaceNamedEntities(text, CancellationToken::none()));
    }
    state.SetBytesProcessed(state.iterations() * text.size());
}
BENCHMARK(BM_ReferencePassUnterminatedOpeners)->Arg(1)->Arg(2)->Arg(4)->Unit(benchmark::kMillisecond);

// A maximal XHTML 1.1 document dense with named references, through the whole layer.
void BM_ParseDenseReferences(benchmark::State& state) {
    const QByteArray head = R"(<!DOCTYPE html PUBLIC "-//W3C//DTD XHTML 1.1//EN" )"
                            R"("http://www.w3.org/TR/xhtml11/DTD/xhtml11.dtd"><html><p>)";
    QByteArray document = head;
    const QByteArray piece = "&nbsp;草枕&eacute;&amp; ";
    const QByteArray tail = "</p></html>";
    const qsizetype size = EPUBReader::Limits::standard().xmlBytes;
    while (document.size() + piece.size() + tail.size() <= size) document.append(piece);
    document.append(tail);
    for (auto _ : state) {
        EPUBXMLBudget budget;
        auto root = EPUBXML(EPUBReader::Limits::standard(), budget, CancellationToken::none()).parse(document);
        if (!root) state.SkipWithError("the document did not parse");
        benchmark::DoNotOptimize(root);
    }
    state.SetBytesProcessed(state.iterations() * document.size());
}
BENCHMARK(BM_ParseDenseReferences)->Unit(benchmark::kMillisecond);

}  // namespace
