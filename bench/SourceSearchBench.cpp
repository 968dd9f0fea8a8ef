// source-search-bench: find in the document over two texts of 2,000,000 UTF-16 units, the text of 草枕
// from the shared sample book repeated ("ja") and English prose ("en"), for a one-character query with
// very many matches and a ten-character phrase of each. Prints one line per query:
//   {"text":"ja","units":2000000,"query":"は","matches":…,"firstMs":…,"againMs":…,"cancelMs":…}
// firstMs: from startSearch() on a newly loaded document (the fold of the text included) until the
// matches are applied; againMs: the same search again, on the fold the first one kept; cancelMs: a scan
// cancelled 5 ms after it started, from the cancellation until it returns. Medians of five runs.
#include "BenchReport.h"
#include "BenchTexts.h"

#include "ReaderUI/Source/ReaderSourceNavigation.h"

#include <QCoreApplication>
#include <QLocale>
#include <QThread>
#include <QtConcurrent/QtConcurrentRun>

#include <chrono>
#include <cstdio>
#include <vector>

namespace {
using namespace tavrine;
using namespace Qt::StringLiterals;
using bench::millisecondsSince;
using bench::percentile;

constexpr qsizetype kUnits = 2'000'000;
constexpr int kRuns = 5;

double searchMs(ReaderSourceNavigation& navigation) {
    const auto start = std::chrono::steady_clock::now();
    navigation.startSearch();
    while (navigation.isSearching()) QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
    return millisecondsSince(start);
}

double cancelMs(const QString& text, const QString& query) {
    CancellationToken cancellation;
    QFuture<ReaderSourceSearch::Result> scan = QtConcurrent::run([=] {
        return ReaderSourceSearch::scan({query, text, SearchFold::forLocale(QLocale()), nullptr}, cancellation);
    });
    QThread::usleep(5'000);
    const auto start = std::chrono::steady_clock::now();
    cancellation.cancel();
    scan.waitForFinished();
    return millisecondsSince(start);
}

void measure(const char* label, const QString& text, const QString& query) {
    ReaderSourceNavigation navigation;
    navigation.setQuery(query);
    std::vector<double> first;
    std::vector<double> again;
    std::vector<double> cancelled;
    for (int run = 0; run < kRuns; ++run) {
        navigation.loadDocument(text, {}, QUuid::createUuid());  // a new document: no fold kept
        navigation.setQuery(query);
        first.push_back(searchMs(navigation));
        again.push_back(searchMs(navigation));
        cancelled.push_back(cancelMs(text, query));
    }
    std::printf(
        "{\"text\":\"%s\",\"units\":%lld,\"query\":%s,\"matches\":%lld,\"firstMs\":%.3f,\"againMs\":%.3f,"
        "\"cancelMs\":%.3f}\n",
        label, static_cast<long long>(text.size()), qPrintable(bench::jsonString(query)),
        static_cast<long long>(navigation.matches().size()), percentile(first, 0.5), percentile(again, 0.5),
        percentile(cancelled, 0.5));
    std::fflush(stdout);
}

}  // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    const QString book = bench::kusamakuraText();
    if (book.isEmpty()) {
        std::fprintf(stderr, "source-search-bench: the shared sample book is not beside the project; skipping ja\n");
    } else {
        const QString japanese = bench::repeatedTo(book, kUnits);
        measure("ja", japanese, u"は"_s);
        measure("ja", japanese, u"智に働けば角が立つ。"_s);
    }
    const QString english = bench::englishProse(kUnits, 1);
    measure("en", english, u"e"_s);
    measure("en", english, u"the garden"_s);
    return 0;
}
