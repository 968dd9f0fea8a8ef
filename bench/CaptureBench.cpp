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
//   {"bench":"readability","file":…,"bytes":…,"qjsMs":…,"nodeMs":…,"ratio":…}
//     the Readability package's two files (JSDOMParser parses, Readability extracts) on each HTML page
//     of Debian's debian-policy package and on a generated article of 200 KB, in one warm script engine
//     of the worker's kind and under node (bench/readability-node.js), best of 5 each; ratio =
//     nodeMs / qjsMs (nodeMs and ratio are null without node);
//   {"bench":"extract","function":…,"bytes":…,"evalMs":…,"ms":…}
//     the real extractor as the worker runs it, each call in a fresh engine, best of 5: evalMs the
//     engine's creation and the bundle's evaluation alone, ms the whole call (goals: at most 400 ms for
//     the 200 KB article with either function, 2,000 ms for a page of 2,000,000 units);
//   {"bench":"browser-article","htmlBytes":200000,"ms":…}
//     the median of 10 browser article captures as the application makes them (snapshot, extraction
//     and verification, three real workers under the capture's 3-second deadline) of a generated page
//     of 200,000 bytes shown by a headless Chromium that the benchmark starts: an article of about
//     12,000 characters (a capture takes at most 20,000) in a site's navigation, side bar, styles and
//     inline script data, as news pages are (goal: at most 1,500 ms); {"bench":"browser-article",
//     "skipped":…} without chromium;
//   {"bench":"browser-snapshot","htmlBytes":…,"ms":…}
//     the median of 10 snapshots with the page's HTML, the first step of an article capture (the page
//     script's work in the page and the conversation with the browser around it), of a long page shown by
//     a headless Chromium: an article among some 14,000 elements (bench/BenchTexts.h), as news sites make
//     them; {"bench":"browser-snapshot","skipped":…} without chromium;
//   {"bench":"clipboard-read","owner":"text"|"html"|"mute","path":…,"p50Ms":…,"mainThreadBlockedMs":…}
//   (with "outcome": "snapshot" or the failure, for the new path)
//     on a private X server (capture-bench runs itself there with --hotkeys), the clipboard owned by
//     another process (capture-bench itself with --clipboard-owner: 5,000 units of text, 200,000 bytes of
//     HTML, or an owner that never answers) read into a snapshot, 10 rounds each (once for the mute
//     owner): "qclipboard-main-thread", as the application read it before (QClipboard's data of each
//     type on the main thread, which waits for the owner), beside "own-connection-pool-thread", as it
//     reads it now (a connection of its own on a pool thread under the capture's deadline);
//     mainThreadBlockedMs is how long the main thread's event loop did not turn (the median);
//   {"bench":"hotkey-to-first-chunk","clipboard":"text","utf16":5000,"p50Ms":…,"p95Ms":…} and
//   {"bench":"hotkey-to-first-chunk","clipboard":"html","bytes":200000,"p50Ms":…,"p95Ms":…}
//     10 rounds each, on a private X server (capture-bench runs itself there with --hotkeys): from the
//     release of the clipboard hot key, pressed through XTest, to the player's first chunk of the
//     reading that the real worker converted from the clipboard (goals: p95 at most 300 ms for the
//     text, 800 ms for the HTML as a word processor copies it).
//   {"bench":"paste-to-first-phrase","clipboard":"text"|"html","bytes":…,"p50Ms":…,"p95Ms":…,"failed":…}
//     10 rounds each of 1,024 bytes of text and of pages of 1,024 and 1,048,576 bytes (a heading, one or
//     20 paragraphs and style rules), on a private X server with openbox (capture-bench runs itself there with
//     --paste): the real tavrine, the clipboard owned by xclip, Ctrl+Shift+V pressed in the reader
//     window; from the menu command to the first paint with the imported reading's first phrase, as the
//     application's time marks tell; "failed" counts the rounds that showed no phrase (skipped without
//     xclip or xdotool).
//   {"bench":"hotkey-to-first-chunk","front":"selection"|"article","browser":"remote-debugging"|
//    "forced-accessibility","busyTab":false|true,["frameAddressesMB":15|38,]"p50Ms":…,"p95Ms":…} and
//   {…,"scale":2,"windows":2,"focus":"address-bar","p50Ms":…,"p95Ms":…}, or {…,"failed":NOTICE}
//     10 rounds each, on a private X server with openbox (capture-bench runs itself there with
//     --front-hotkeys): from the release of the capture hot key, pressed through XTest with Debian's
//     chromium in front (started with remote debugging, and again with its renderer's accessibility
//     forced), to the player's first chunk of the paragraph the bench triple-clicked, or of the page's
//     article with nothing selected; the capture wired as in the application, the user's consent given,
//     this executable as the worker; with a tab behind whose frames of another site have addresses of
//     1,900,000 characters (four, then ten: 15 and 38 MB as the browser lists its targets, each address
//     twice); then again (busyTab true) with a tab of another site opened behind the page, busy in a script
//     that never ends; and the article of the smaller of two windows of a chromium started with
//     --force-device-scale-factor=2, in front with the focus in its address bar. A case that gives no reading
//     has "failed" with the capture's notice in place of the times; {…,"skipped":…} without chromium.
//   {"bench":"hotkey-to-first-chunk","front":"selection","browser":"firefox-esr"|"chromium-bus","rounds":20,
//    "p50Ms":…,"p95Ms":…[,"failedRounds":{NOTICE:COUNT,…}]}, or {…,"failed":NOTICE}, or {…,"skipped":…}
//     20 rounds each (bus-hotkey-to-first-chunk, on a private X server with openbox, capture-bench runs itself
//     there with --bus-hotkeys; not in the smoke round): from the release of the capture hot key to the
//     player's first chunk of a triple-clicked paragraph of Japanese with marks shown in the clear, with a
//     browser in front that only the accessibility bus shows: Debian's Firefox ESR (a fresh profile that
//     puts its pages on the bus), then Debian's chromium started with --force-renderer-accessibility alone
//     (no remote debugging, no consent). Every round is pressed: the times are those of the rounds that gave a
//     reading, and the others are counted by the notice they ended with.
//   {"bench":"bus-selection","links":200|2000,["bulletsRead":…,]"utf16":…,"p50Ms":…,"p95Ms":…,"withinDeadline":…}
//   {"bench":"bus-selection","links":20000,"outcome":"tooLong"|"timedOut","p50Ms":…,"p95Ms":…,"withinDeadline":…}
//     5 rounds each, on a private X server with openbox (capture-bench runs itself there with
//     --bus-selection): a paragraph of 200 and of 2,000 links triple-clicked in Debian's chromium with its
//     renderer's accessibility forced, read by the selection reader over the accessibility bus (the
//     user's consent to ask the page not given), each link's object followed; 2,000 links again, parted by
//     bullets that the page shows in the clear (bulletsRead: how many were read); then 20,000 links in 200
//     paragraphs selected with Ctrl+A, read under the capture's own 3-second deadline: how it ended and
//     how long it took to say so; withinDeadline: p95 under the capture's 3 seconds; {…,"skipped":…}
//     without chromium.
// Benches named on the command line (by their "bench" field) run alone; clipboard-read and
// hotkey-to-first-chunk run together. capture-bench --smoke [BENCH...]: each round once (with chromium in front,
// the capture that checks the page is the round), Readability on the generated article alone, bus-selection on
// 200 links alone, the frames' addresses a tenth as long (frameAddressesMB 1.5 and 3.8). The program fails when a
// bench does, on the private X servers too.
#include "PelmoraMac/Capture/ArticleScriptHost.h"
#include "PelmoraMac/Capture/CaptureWorker.h"
#include "PelmoraMac/Capture/CaptureWorkerLauncher.h"

#include "BenchReport.h"
#include "BenchTexts.h"
#include "BrowserArticleBench.h"
#include "BusCaptureBench.h"
#include "BusSelectionBench.h"
#include "ClipboardBenchInputs.h"
#include "DesktopBench.h"
#include "FrontCaptureBench.h"
#include "HotKeyBench.h"
#include "PasteBench.h"
#include "support/CheckoutPaths.h"

#include <QApplication>
#include <QCoreApplication>
#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QJSEngine>
#include <QLoggingCategory>
#include <QProcess>
#include <QTemporaryDir>

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

const CaptureWorkerLaunch kWorker{.executable = test::inCheckout(TAVRINE_EXECUTABLE), .childStarted = {}};

// One round trip, in milliseconds; nothing when its outcome is none of the accepted ones (a failure, or
// nullopt for a document).
std::optional<double> roundTrip(const CaptureWorkerRequest& request,
                                std::initializer_list<std::optional<CaptureFailure>> accepted) {
    const auto start = std::chrono::steady_clock::now();
    const auto response = runCaptureWorker(request, captureDeadlineFrom(start), CancellationToken::none(), kWorker);
    const double ms = bench::millisecondsSince(start);
    const std::optional<CaptureFailure> failure = response ? std::nullopt : std::optional(response.error());
    if (failure == CaptureFailure::timedOut && bench::passesTimeLimit("a round trip to the worker")) return ms;
    if (std::ranges::find(accepted, failure) == accepted.end() || (!failure && !response->document)) {
        std::fprintf(stderr, "capture-bench: unexpected outcome %s\n",
                     failure ? qPrintable(rawValue(*failure)) : "without a document");
        bench::markFailed();
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
    for (int run = 0; run < bench::roundsOf(kMarkdownRuns); ++run) {
        const auto ms = roundTrip({.operation = Operation::markdown, .text = text}, {std::nullopt});
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
    for (int run = 0; run < bench::roundsOf(kTransferRuns); ++run) {
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
                   medianRoundTrip(bench::roundsOf(kClipboardRuns), clipboardRequest({.rtf = rtf}), {std::nullopt}));
    const QByteArray html = bench::wordProcessorHTML(japanese, ClipboardSnapshot::kFormattedDataLimit);
    printClipboard(u"html"_s, {}, html.size(),
                   medianRoundTrip(bench::roundsOf(kClipboardRuns), clipboardRequest({.html = html}), {std::nullopt}));

    const QDir shared(test::inCheckout(TAVRINE_SHARED_DATA_DIR "/rtf"));
    for (const QString& name : shared.entryList({u"*.rtf"_s}, QDir::Files, QDir::Name)) {
        QFile file(shared.filePath(name));
        if (!file.open(QIODevice::ReadOnly)) continue;
        const QByteArray data = file.readAll();
        printClipboard(u"rtf"_s, name, data.size(),
                       medianRoundTrip(bench::roundsOf(kClipboardRuns), clipboardRequest({.rtf = data}),
                                       {std::nullopt, CaptureFailure::tooLong}));
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
        const auto ms = medianRoundTrip(bench::roundsOf(kClipboardRuns), clipboardRequest({.rtf = rtf}),
                                        {std::nullopt, CaptureFailure::tooLong, CaptureFailure::clipboardUnreadable});
        if (!ms) continue;
        std::printf("{\"bench\":\"clipboard-hostile\"%s%s%s}\n", qPrintable(field(u"case"_s, bench::jsonString(name))),
                    qPrintable(field(u"bytes"_s, QString::number(rtf.size()))),
                    qPrintable(field(u"ms"_s, milliseconds(*ms))));
    }
}

constexpr int kScriptRuns = 5;

struct Page {
    QString name;
    QString path;
    QString html;
};

// An article page of `length` UTF-16 units: a site's header and navigation, an article of headed
// sections of English paragraphs with some emphasis and links, a footer, spaces after it to the length.
// Written as XHTML would be (void elements closed), so that JSDOMParser alone reads it too.
QString generatedArticle(qsizetype length) {
    QString html =
        u"<!DOCTYPE html><html lang=\"en\"><head><meta charset=\"utf-8\" /><title>A generated article"
        u" - Bench Times</title><style>body{margin:0}</style><script>var analytics = 1;</script></head>"
        u"<body><header><nav><a href=\"/\">Home</a> <a href=\"/world\">World</a> "
        u"<a href=\"/about\">About</a></nav></header><main><article><h1>A generated article</h1>"_s;
    const QString footer = u"</article></main><footer><p>Copyright Bench Times</p></footer></body></html>"_s;
    const QStringList paragraphs = bench::englishProse(length, 42).split(u"\n\n"_s, Qt::SkipEmptyParts);
    for (qsizetype index = 0; index < paragraphs.size(); ++index) {
        QString block = index % 8 == 0 ? u"<h2>Section "_s + QString::number(index / 8 + 1) + u"</h2>"_s : QString();
        QString paragraph = paragraphs[index].toHtmlEscaped();
        const qsizetype space = paragraph.indexOf(u' ', paragraph.size() / 2);
        if (space > 0) paragraph.insert(space, u" <em>emphasis</em> <a href=\"#note\">link</a>"_s);
        block += u"<p>"_s + paragraph + u"</p>"_s;
        if (html.size() + block.size() + footer.size() > length) break;
        html += block;
    }
    html += footer;
    return html.leftJustified(length, u' ');
}

QList<Page> readabilityPages(const QString& articlePath) {
    QList<Page> pages;
    QStringList paths;
    QDirIterator files(u"/usr/share/doc/debian-policy"_s, {u"*.html"_s}, QDir::Files, QDirIterator::Subdirectories);
    while (files.hasNext()) paths.append(files.next());
    paths.sort();
    for (const QString& path : paths) {
        QFile file(path);
        if (file.open(QIODevice::ReadOnly)) {
            pages.append({path.mid(path.indexOf(u"debian-policy"_s)), path, QString::fromUtf8(file.readAll())});
        }
    }
    QFile article(articlePath);
    if (article.open(QIODevice::ReadOnly))
        pages.append({u"generated-article"_s, articlePath, QString::fromUtf8(article.readAll())});
    return pages;
}

std::optional<double> nodeMilliseconds(const QString& path) {
    QProcess node;
    node.start(u"node"_s, {test::inCheckout(READABILITY_NODE_SCRIPT), test::inCheckout(READABILITY_BENCH_BUNDLE), path,
                           QString::number(bench::roundsOf(kScriptRuns))});
    if (!node.waitForFinished(120'000) || node.exitStatus() != QProcess::NormalExit || node.exitCode() != 0) {
        return std::nullopt;
    }
    bool ok = false;
    const double ms = node.readAllStandardOutput().trimmed().toDouble(&ok);
    return ok ? std::optional(ms) : std::nullopt;
}

void measureReadability(const QList<Page>& pages) {
    QFile bundle(test::inCheckout(READABILITY_BENCH_BUNDLE));
    if (!bundle.open(QIODevice::ReadOnly)) {
        std::fprintf(stderr, "capture-bench: %s is missing\n", qPrintable(test::inCheckout(READABILITY_BENCH_BUNDLE)));
        bench::markFailed();
        return;
    }
    QJSEngine engine;
    engine.evaluate(QString::fromUtf8(bundle.readAll()), u"readability-bench.js"_s);
    QJSValue bench = engine.globalObject().property(u"ReadabilityBench"_s);
    QJSValue parseAndExtract = bench.property(u"parseAndExtract"_s);
    for (const Page& page : pages) {
        bool failed = false;
        const double qjsMs = bench::bestMilliseconds(bench::roundsOf(kScriptRuns), [&] {
            parseAndExtract.callWithInstance(bench, {page.html});
            if (engine.hasError()) {
                engine.catchError();
                failed = true;
            }
        });
        if (failed) {
            std::fprintf(stderr, "capture-bench: Readability threw on %s\n", qPrintable(page.name));
            bench::markFailed();
            continue;
        }
        const std::optional<double> nodeMs = nodeMilliseconds(page.path);
        std::printf("{\"bench\":\"readability\"%s%s%s%s%s}\n",
                    qPrintable(field(u"file"_s, bench::jsonString(page.name))),
                    qPrintable(field(u"bytes"_s, QString::number(page.html.toUtf8().size()))),
                    qPrintable(field(u"qjsMs"_s, milliseconds(qjsMs))),
                    qPrintable(field(u"nodeMs"_s, nodeMs ? milliseconds(*nodeMs) : u"null"_s)),
                    qPrintable(field(u"ratio"_s, nodeMs ? QString::number(*nodeMs / qjsMs, 'f', 3) : u"null"_s)));
        std::fflush(stdout);
    }
}

void measureExtraction(const QString& name, const QString& html) {
    const auto source = loadArticleExtractorScript(u"extractor"_s);
    if (!source) {
        std::fprintf(stderr, "capture-bench: the extractor's script does not load\n");
        bench::markFailed();
        return;
    }
    const double evalMs = bench::bestMilliseconds(bench::roundsOf(kScriptRuns), [&] {
        QJSEngine engine;
        engine.evaluate(*source);
    });
    for (const QString& function : {u"extractArticle"_s, u"extractClipboardHTML"_s}) {
        std::optional<CaptureFailure> failure;
        const double ms = bench::bestMilliseconds(bench::roundsOf(kScriptRuns), [&] {
            const ArticleExtraction extraction = runArticleExtractorScript(html, function);
            failure = extraction ? std::nullopt : std::optional(extraction.error());
        });
        std::printf("{\"bench\":\"extract\"%s%s%s%s%s%s}\n",
                    qPrintable(field(u"function"_s, bench::jsonString(function))),
                    qPrintable(field(u"page"_s, bench::jsonString(name))),
                    qPrintable(field(u"bytes"_s, QString::number(html.toUtf8().size()))),
                    qPrintable(field(u"evalMs"_s, milliseconds(evalMs))), qPrintable(field(u"ms"_s, milliseconds(ms))),
                    qPrintable(field(u"outcome"_s, bench::jsonString(failure ? rawValue(*failure) : u"document"_s))));
        std::fflush(stdout);
    }
}

}  // namespace

int main(int argc, char** argv) {
    // As in the application: the launcher writes to pipes.
    std::signal(SIGPIPE, SIG_IGN);
    bench::takeSmokeFlag(argc, argv);
    bench::beginSmokeRoundBudget();
    // The front-application line's captures start this executable as their worker, as the application does.
    if (runCaptureWorkerIfRequested(argc, argv)) return 0;
    if (argc == 2 && qstrcmp(argv[1], "--front-hotkeys") == 0) {
        QApplication application(argc, argv);
        return std::max(bench::runFrontCaptureBench(), bench::exitStatus());
    }
    if (argc == 2 && qstrcmp(argv[1], "--bus-hotkeys") == 0) {
        QApplication application(argc, argv);
        return std::max(bench::runBusCaptureBench(), bench::exitStatus());
    }
    if (argc == 2 && qstrcmp(argv[1], "--bus-selection") == 0) {
        QApplication application(argc, argv);
        return std::max(bench::runBusSelectionBench(), bench::exitStatus());
    }
    if (argc == 2 && qstrcmp(argv[1], "--hotkeys") == 0) {
        QApplication application(argc, argv);
        bench::runClipboardReadBench(QCoreApplication::applicationFilePath());
        return std::max(bench::runHotKeyBench(test::inCheckout(TAVRINE_EXECUTABLE)), bench::exitStatus());
    }
    if (argc == 2 && qstrcmp(argv[1], "--paste") == 0) {
        QCoreApplication application(argc, argv);
        return std::max(bench::runPasteBench(), bench::exitStatus());
    }
    if (argc >= 2 && qstrcmp(argv[1], "--clipboard-owner") == 0) {
        QApplication application(argc, argv);
        return bench::runClipboardOwner(application.arguments().mid(2));
    }
    // The script engine wants an application object, as the worker has.
    QCoreApplication application(argc, argv);
    // The engine's compiler comments on the vendored code's style at every evaluation.
    QLoggingCategory::setFilterRules(u"qt.qml.compiler.warning=false"_s);
    // Benches named on the command line run alone.
    const QStringList only = application.arguments().mid(1);
    const auto runs = [&](const QString& bench) { return only.isEmpty() || only.contains(bench); };
    if (runs(u"worker-markdown"_s)) measureMarkdown();
    if (runs(u"worker-transfer"_s)) measureTransfer();
    if (runs(u"clipboard-convert"_s)) measureClipboard();
    if (runs(u"clipboard-hostile"_s)) measureHostileRichText();

    const QString article = generatedArticle(200'000);
    QTemporaryDir folder;
    const QString articlePath = folder.filePath(u"generated-article.html"_s);
    QFile file(articlePath);
    if (file.open(QIODevice::WriteOnly)) file.write(article.toUtf8());
    file.close();
    if (runs(u"readability"_s)) {
        measureReadability(bench::isSmokeRound() ? QList<Page>{{u"generated-article"_s, articlePath, article}}
                                                 : readabilityPages(articlePath));
    }
    if (runs(u"extract"_s)) {
        measureExtraction(u"generated-article"_s, article);
        measureExtraction(u"generated-page-2000000"_s, generatedArticle(kExtractionHTMLLimit));
    }
    if (runs(u"browser-article"_s)) bench::measureBrowserArticle(folder.path(), kWorker);
    if (runs(u"browser-snapshot"_s)) bench::measureBrowserSnapshot(folder.path());

    // This executable again, as MODE, on an X server of its own (with a window manager where asked for). In a
    // smoke round, none is started once its budget is spent, and one still running kSmokeRoundGrace after that
    // is stopped: with-xvfb ends it, then its servers. A run that failed or was stopped once the budget was
    // spent was cut short by it (its waits ended at once), which fails nothing.
    const auto runUnderXvfb = [](QStringList options, const QString& mode, int milliseconds) {
        if (bench::passesSpentBudget(qPrintable(mode))) return;
        QProcess process;
        process.setProcessChannelMode(QProcess::ForwardedChannels);
        options << QCoreApplication::applicationFilePath() << mode;
        if (bench::isSmokeRound()) options << u"--smoke"_s;
        process.start(test::inCheckout(TAVRINE_WITH_XVFB), options);
        if (bench::isSmokeRound()) {
            milliseconds = int(std::min<qint64>(
                milliseconds, (bench::smokeRoundLeft() + std::chrono::milliseconds(bench::kSmokeRoundGrace)).count()));
        }
        if (!process.waitForFinished(milliseconds)) {
            std::fprintf(stderr, "capture-bench: %s ran past its time; stopped\n", qPrintable(mode));
            process.terminate();
            if (!process.waitForFinished(30'000)) process.kill();
            process.waitForFinished();
            if (!bench::passesSpentBudget(qPrintable(mode))) bench::markFailed();
        } else if (process.exitStatus() != QProcess::NormalExit || process.exitCode() != 0) {
            std::fprintf(stderr, "capture-bench: %s failed\n", qPrintable(mode));
            if (!bench::passesSpentBudget(qPrintable(mode))) bench::markFailed();
        }
    };
    // The hot keys and the clipboard reads want an X server of their own.
    if (runs(u"hotkey-to-first-chunk"_s) || runs(u"clipboard-read"_s)) runUnderXvfb({}, u"--hotkeys"_s, 300'000);
    // The real program, with a window manager that gives its window the keys.
    if (runs(u"paste-to-first-phrase"_s)) runUnderXvfb({u"--openbox"_s}, u"--paste"_s, 600'000);
    // The capture hot key wants a window manager that names the window in front.
    if (runs(u"hotkey-to-first-chunk"_s)) runUnderXvfb({u"--openbox"_s}, u"--front-hotkeys"_s, 600'000);
    // A triple click wants a window manager that gives the browser's window the focus.
    if (runs(u"bus-selection"_s)) runUnderXvfb({u"--openbox"_s}, u"--bus-selection"_s, 600'000);
    // Not in the smoke round: two browsers started for a single round each.
    if (!bench::isSmokeRound() && runs(u"bus-hotkey-to-first-chunk"_s)) {
        runUnderXvfb({u"--openbox"_s}, u"--bus-hotkeys"_s, 600'000);
    }
    return bench::exitStatus();
}
