// capture-bench: times the capture worker through the real executable, the way the application calls
// it, and prints one JSON line per case:
//   {"bench":"worker-markdown","utf16":20000,"p50Ms":…,"p95Ms":…}
//     20 round trips (start, request, Markdown reading, response, exit) of 20,000 UTF-16 units of
//     Japanese (草枕 from the shared sample book, else a fixed sentence repeated);
//   {"bench":"worker-transfer","requestBytes":16000000,"ms":…}
//     the median of 5 round trips of a Markdown request of exactly 16,000,000 bytes, which the worker
//     reads whole and answers tooLong;
//   {"bench":"clipboard-convert","format":"rtf"|"html","bytes":2000000,"ms":…}
//     the median of 5 round trips of a clipboard snapshot of 2,000,000 bytes of RTF or of HTML as a word
//     processor copies them (verbose formatting around Japanese text below 20,000 units), converted
//     into a document; the same with "file" for each real RTF document under ../shared/data/rtf;
//   {"bench":"clipboard-hostile","case":…,"bytes":…,"ms":…}
//     the median of 5 round trips of hostile RTF: 100,000 open braces, a binary length of 999,999,999,
//     2,000,000 bytes of one paragraph, of text and of formatting alone, and data cut inside an escape.
#include "PelmoraMac/Capture/CaptureWorker.h"
#include "PelmoraMac/Capture/CaptureWorkerLauncher.h"

#include "BenchReport.h"
#include "BenchTexts.h"
#include "ClipboardBenchInputs.h"

#include <QDir>
#include <QFile>

#include <csignal>
#include <cstdio>
#include <vector>

namespace {
using namespace tavrine;
using namespace Qt::StringLiterals;
using bench::field;
using bench::milliseconds;
using Operation = CaptureWorkerRequest::Operation;

constexpr int kMarkdownRuns = 20;
constexpr int kTransferRuns = 5;
constexpr int kClipboardRuns = 5;
constexpr qsizetype kMarkdownUnits = 20'000;

const CaptureWorkerLaunch kWorker{.executable = QStringLiteral(TAVRINE_EXECUTABLE), .childStarted = {}};

// One round trip, in milliseconds; nothing when its outcome is none of the accepted ones (a failure, or
// nullopt for a document).
std::optional<double> roundTrip(const CaptureWorkerRequest& request,
                                std::initializer_list<std::optional<CaptureFailure>> accepted) {
    const auto start = std::chrono::steady_clock::now();
    const auto response = runCaptureWorker(request, captureDeadlineFrom(start), CancellationToken::none(), kWorker);
    const double ms = bench::millisecondsSince(start);
    const std::optional<CaptureFailure> failure = response ? std::nullopt : std::optional(response.error());
    if (std::ranges::find(accepted, failure) == accepted.end() || (!failure && !response->document)) {
        std::fprintf(stderr, "capture-bench: unexpected outcome %s\n",
                     failure ? qPrintable(rawValue(*failure)) : "without a document");
        return std::nullopt;
    }
    return ms;
}

// The median of `runs` round trips; nothing when one of them has another outcome.
std::optional<double> medianRoundTrip(int runs, const CaptureWorkerRequest& request,
                                      std::initializer_list<std::optional<CaptureFailure>> accepted) {
    std::vector<double> times;
    for (int run = 0; run < runs; ++run) {
        const auto ms = roundTrip(request, accepted);
        if (!ms) return std::nullopt;
        times.push_back(*ms);
    }
    return bench::percentile(times, 0.5);
}

void measureMarkdown() {
    QString japanese = bench::kusamakuraText();
    if (japanese.isEmpty()) japanese = u"山路を登りながら、こう考えた。智に働けば角が立つ。\n\n"_s;
    const QString text = bench::repeatedTo(japanese, kMarkdownUnits);
    std::vector<double> times;
    for (int run = 0; run < kMarkdownRuns; ++run) {
        const auto ms = roundTrip({.operation = Operation::markdown, .text = text}, {std::nullopt});
        if (!ms) return;
        times.push_back(*ms);
    }
    std::printf("{\"bench\":\"worker-markdown\"%s%s%s}\n", qPrintable(field(u"utf16"_s, QString::number(text.size()))),
                qPrintable(field(u"p50Ms"_s, milliseconds(bench::percentile(times, 0.5)))),
                qPrintable(field(u"p95Ms"_s, milliseconds(bench::percentile(times, 0.95)))));
}

void measureTransfer() {
    const QByteArray empty = encodeJson(toJson(CaptureWorkerRequest{.operation = Operation::markdown, .text = u""_s}));
    const CaptureWorkerRequest request{.operation = Operation::markdown,
                                       .text = QString(kCaptureWorkerTransferLimit - empty.size(), u'a')};
    const qsizetype bytes = encodeJson(toJson(request)).size();
    std::vector<double> times;
    for (int run = 0; run < kTransferRuns; ++run) {
        const auto ms = roundTrip(request, {CaptureFailure::tooLong});
        if (!ms) return;
        times.push_back(*ms);
    }
    std::printf("{\"bench\":\"worker-transfer\"%s%s}\n", qPrintable(field(u"requestBytes"_s, QString::number(bytes))),
                qPrintable(field(u"ms"_s, milliseconds(bench::percentile(times, 0.5)))));
}

CaptureWorkerRequest clipboardRequest(ClipboardSnapshot snapshot) {
    return {.operation = Operation::clipboard, .clipboard = std::move(snapshot)};
}

void printClipboard(const QString& format, const QString& file, qsizetype bytes, std::optional<double> ms) {
    if (!ms) return;
    std::printf("{\"bench\":\"clipboard-convert\"%s%s%s%s}\n",
                qPrintable(field(u"format"_s, bench::jsonString(format))),
                file.isEmpty() ? "" : qPrintable(field(u"file"_s, bench::jsonString(file))),
                qPrintable(field(u"bytes"_s, QString::number(bytes))), qPrintable(field(u"ms"_s, milliseconds(*ms))));
}

void measureClipboard() {
    const QString japanese = bench::kusamakuraText();
    const QByteArray rtf = bench::wordProcessorRTF(japanese, ClipboardSnapshot::kFormattedDataLimit);
    printClipboard(u"rtf"_s, {}, rtf.size(),
                   medianRoundTrip(kClipboardRuns, clipboardRequest({.rtf = rtf}), {std::nullopt}));
    const QByteArray html = bench::wordProcessorHTML(japanese, ClipboardSnapshot::kFormattedDataLimit);
    printClipboard(u"html"_s, {}, html.size(),
                   medianRoundTrip(kClipboardRuns, clipboardRequest({.html = html}), {std::nullopt}));

    const QDir shared(QStringLiteral(TAVRINE_SHARED_DATA_DIR "/rtf"));
    for (const QString& name : shared.entryList({u"*.rtf"_s}, QDir::Files, QDir::Name)) {
        QFile file(shared.filePath(name));
        if (!file.open(QIODevice::ReadOnly)) continue;
        const QByteArray data = file.readAll();
        printClipboard(
            u"rtf"_s, name, data.size(),
            medianRoundTrip(kClipboardRuns, clipboardRequest({.rtf = data}), {std::nullopt, CaptureFailure::tooLong}));
    }
}

void measureHostileRichText() {
    const qsizetype limit = ClipboardSnapshot::kFormattedDataLimit;
    const QByteArray start = "{\\rtf1 ";
    const std::pair<QString, QByteArray> cases[] = {
        {u"open-braces"_s, start + QByteArray(100'000, '{')},
        {u"binary-length"_s, start + "A\\bin999999999 xyz}"},
        {u"one-paragraph-text"_s, start + QByteArray(limit - start.size() - 1, 'a') + "}"},
        {u"one-paragraph-formatting"_s, start + QByteArray("\\b\\i0").repeated((limit - start.size() - 1) / 5) + "}"},
        {u"cut-escape"_s, start + "caf\\'8"},
    };
    for (const auto& [name, rtf] : cases) {
        const auto ms = medianRoundTrip(kClipboardRuns, clipboardRequest({.rtf = rtf}),
                                        {std::nullopt, CaptureFailure::tooLong, CaptureFailure::clipboardUnreadable});
        if (!ms) continue;
        std::printf("{\"bench\":\"clipboard-hostile\"%s%s%s}\n", qPrintable(field(u"case"_s, bench::jsonString(name))),
                    qPrintable(field(u"bytes"_s, QString::number(rtf.size()))),
                    qPrintable(field(u"ms"_s, milliseconds(*ms))));
    }
}

}  // namespace

int main() {
    // As in the application: the launcher writes to pipes.
    std::signal(SIGPIPE, SIG_IGN);
    measureMarkdown();
    measureTransfer();
    measureClipboard();
    measureHostileRichText();
    return 0;
}
