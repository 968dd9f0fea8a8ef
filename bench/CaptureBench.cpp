// capture-bench: times the capture worker through the real executable, the way the application calls
// it, and prints one JSON line per case:
//   {"bench":"worker-markdown","utf16":20000,"p50Ms":…,"p95Ms":…}
//     20 round trips (start, request, Markdown reading, response, exit) of 20,000 UTF-16 units of
//     Japanese (草枕 from the shared sample book, else a fixed sentence repeated);
//   {"bench":"worker-transfer","requestBytes":16000000,"ms":…}
//     the median of 5 round trips of a Markdown request of exactly 16,000,000 bytes, which the worker
//     reads whole and answers tooLong.
#include "PelmoraMac/Capture/CaptureWorker.h"
#include "PelmoraMac/Capture/CaptureWorkerLauncher.h"

#include "BenchReport.h"
#include "BenchTexts.h"

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
constexpr qsizetype kMarkdownUnits = 20'000;

const CaptureWorkerLaunch kWorker{.executable = QStringLiteral(TAVRINE_EXECUTABLE), .childStarted = {}};

// One round trip, in milliseconds; nothing when its outcome is not the expected one.
std::optional<double> roundTrip(const CaptureWorkerRequest& request, std::optional<CaptureFailure> expectedFailure) {
    const auto start = std::chrono::steady_clock::now();
    const auto response = runCaptureWorker(request, captureDeadlineFrom(start), CancellationToken::none(), kWorker);
    const double ms = bench::millisecondsSince(start);
    const std::optional<CaptureFailure> failure = response ? std::nullopt : std::optional(response.error());
    if (failure != expectedFailure || (!failure && !response->document)) {
        std::fprintf(stderr, "capture-bench: unexpected outcome %s\n",
                     failure ? qPrintable(rawValue(*failure)) : "without a document");
        return std::nullopt;
    }
    return ms;
}

void measureMarkdown() {
    QString japanese = bench::kusamakuraText();
    if (japanese.isEmpty()) japanese = u"山路を登りながら、こう考えた。智に働けば角が立つ。\n\n"_s;
    const QString text = bench::repeatedTo(japanese, kMarkdownUnits);
    std::vector<double> times;
    for (int run = 0; run < kMarkdownRuns; ++run) {
        const auto ms = roundTrip({.operation = Operation::markdown, .text = text}, std::nullopt);
        if (!ms) return;
        times.push_back(*ms);
    }
    std::printf("{\"bench\":\"worker-markdown\"%s%s%s}\n", qPrintable(field(u"utf16"_s, QString::number(text.size()))),
                qPrintable(field(u"p50Ms"_s, milliseconds(bench::percentile(times, 0.5)))),
                qPrintable(field(u"p95Ms"_s, milliseconds(bench::percentile(times, 0.95)))));
}

void measureTransfer() {
    const QByteArray empty = encodeJson(CaptureWorkerRequest{.operation = Operation::markdown, .text = u""_s});
    const CaptureWorkerRequest request{.operation = Operation::markdown,
                                       .text = QString(kCaptureWorkerTransferLimit - empty.size(), u'a')};
    const qsizetype bytes = encodeJson(request).size();
    std::vector<double> times;
    for (int run = 0; run < kTransferRuns; ++run) {
        const auto ms = roundTrip(request, CaptureFailure::tooLong);
        if (!ms) return;
        times.push_back(*ms);
    }
    std::printf("{\"bench\":\"worker-transfer\"%s%s}\n", qPrintable(field(u"requestBytes"_s, QString::number(bytes))),
                qPrintable(field(u"ms"_s, milliseconds(bench::percentile(times, 0.5)))));
}

}  // namespace

int main() {
    // As in the application: the launcher writes to pipes.
    std::signal(SIGPIPE, SIG_IGN);
    measureMarkdown();
    measureTransfer();
    return 0;
}
