// The hardened XML layer on real book text and on hostile input. The book figure is the throughput of
// the whole layer (strict decoding, textual gate, parse, tree) over the XHTML documents of
// ../shared/data/epub/kusamakura.epub, read in place; the hostile figures show the reference pass
// staying linear in the size of its input, the costliest documents the attribute and namespace bounds
// still let through, how soon a document past a bound fails, and how soon a parse stops once cancelled.
#include "ReaderEPUB/internal/EPUBXHTMLEntities.h"
#include "ReaderEPUB/internal/EPUBXML.h"
#include "ReaderEPUB/internal/EPUBXMLTextGate.h"

#include "support/CheckoutPaths.h"
#include "support/HostileXML.h"

#include <benchmark/benchmark.h>
#include <zip.h>
#include <QFileInfo>

#include <chrono>
#include <thread>
#include <vector>

namespace {
using namespace tavrine;

// The XHTML documents of the shared sample book, read with libzip directly.
const std::vector<QByteArray>& bookXHTML() {
    static const std::vector<QByteArray> documents = [] {
        std::vector<QByteArray> result;
        const QByteArray path = tavrine::test::inCheckoutEncoded(TAVRINE_SHARED_DATA_DIR "/epub/kusamakura.epub");
        if (!QFileInfo::exists(QFile::decodeName(path))) return result;
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
        state.SkipWithError("(skipped: ../shared/data/epub/kusamakura.epub is missing)");
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
        state.SkipWithError("(skipped: ../shared/data/epub/kusamakura.epub is missing)");
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

// --- the attribute and namespace bounds --------------------------------------------------------------

const qsizetype kDocumentBytes = EPUBReader::Limits::standard().xmlBytes;

EPUBReader::Result<std::unique_ptr<EPUBXMLNode>> parseAlone(const QByteArray& document,
                                                            const CancellationToken& cancellation) {
    EPUBXMLBudget budget;
    return EPUBXML(EPUBReader::Limits::standard(), budget, cancellation).parse(document);
}

// The documents of the largest size that pass the bounds and cost the parser the most; the argument of
// the namespace case is the length of every namespace name.
QByteArray boundDocument(int64_t nameLength) {
    return nameLength == 0 ? test::attributeBoundDocument(kDocumentBytes)
                           : test::namespaceBoundDocument(kDocumentBytes, int(nameLength));
}

void BM_ParseAtTheBounds(benchmark::State& state) {
    const QByteArray document = boundDocument(state.range(0));
    for (auto _ : state) {
        auto root = parseAlone(document, CancellationToken::none());
        // The node budget of one import ends the documents of many short tags first.
        if (!root && root.error() != EPUBReader::Failure::limit(EPUBReader::ResourceLimit::nodes)) {
            state.SkipWithError("the document did not parse");
        }
        benchmark::DoNotOptimize(root);
    }
    state.SetBytesProcessed(state.iterations() * document.size());
}
// 0: no namespaces; else the namespace bound with names of that many characters.
BENCHMARK(BM_ParseAtTheBounds)
    ->ArgName("nameLength")
    ->Arg(0)
    ->Arg(16)
    ->Arg(1024)
    ->Arg(3072)
    ->Unit(benchmark::kMillisecond);

// Documents one past a bound, and the attacks that took the parser minutes before there were bounds,
// from the first byte to the failure.
QByteArray pastTheBound(int64_t which) {
    const QByteArray html = R"(<html xmlns="http://www.w3.org/1999/xhtml"><body>)";
    const QByteArray tail = "</body></html>";
    switch (which) {
    case 0:  // a largest document that passes, with a tag of one attribute too many at its end
        return test::attributeBoundDocument(kDocumentBytes - 2'000).chopped(tail.size()) +
               test::tagWithAttributes("p", 257) + tail;
    case 1:  // the same with one namespace declaration too many
        return test::namespaceBoundDocument(kDocumentBytes - 100, 16).chopped(tail.size()) +
               R"(<p xmlns:over="urn:over"/>)" + tail;
    case 2:  // 60,000 attributes in one tag
        return html + test::tagWithAttributes("p", 60'000) + tail;
    case 3: {  // 100,000 prefixed attributes, each with its own declaration
        QByteArray tag = "<p";
        for (int i = 0; i < 100'000; ++i) {
            const QByteArray n = QByteArray::number(i);
            tag += " xmlns:n" + n + "=\"urn:" + n + "\" n" + n + ":a=\"\"";
        }
        return html + tag + "/>" + tail;
    }
    default: {  // 75,000 declarations on one element, 190,000 prefixed elements inside
        QByteArray division = test::tagWithAttributes("div", 75'000, 75'000, 0, 8);
        division.chop(2);
        return html + division + ">" + QByteArray("<n0:p/>").repeated(190'000) + "</div>" + tail;
    }
    }
}

void BM_RefusePastTheBounds(benchmark::State& state) {
    const QByteArray document = pastTheBound(state.range(0));
    for (auto _ : state) {
        auto root = parseAlone(document, CancellationToken::none());
        if (root || root.error() != EPUBReader::Failure::limit(EPUBReader::ResourceLimit::nodes)) {
            state.SkipWithError("the document was not refused at a bound");
        }
        benchmark::DoNotOptimize(root);
    }
    state.counters["bytes"] = double(document.size());
}
BENCHMARK(BM_RefusePastTheBounds)->ArgName("case")->DenseRange(0, 4)->Unit(benchmark::kMillisecond);

// From the cancel to the parse's return, the parse of a costliest document cancelled 50 ms after it
// began (the argument as for BM_ParseAtTheBounds).
void BM_CancelDuringParse(benchmark::State& state) {
    const QByteArray document = boundDocument(state.range(0));
    for (auto _ : state) {
        CancellationToken token;
        std::chrono::steady_clock::time_point returned;
        bool cancelled = false;
        std::thread parse([&] {
            const auto root = parseAlone(document, token);
            cancelled = !root && root.error() == EPUBReader::Failure::cancelled();
            returned = std::chrono::steady_clock::now();
        });
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
        const auto cancel = std::chrono::steady_clock::now();
        token.cancel();
        parse.join();
        if (!cancelled) state.SkipWithError("the parse ended before it was cancelled");
        state.SetIterationTime(std::chrono::duration<double>(returned - cancel).count());
    }
}
BENCHMARK(BM_CancelDuringParse)
    ->ArgName("nameLength")
    ->Arg(0)
    ->Arg(16)
    ->Arg(3072)
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond);

}  // namespace
