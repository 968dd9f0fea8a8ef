// The browser lines of capture-bench: a news page's article captured through a headless Chromium as the
// application captures it, and the page snapshot that such a capture begins with (the JSON lines
// browser-article and browser-snapshot; capture-bench's opening comment tells them).
#include "BrowserArticleBench.h"

#include "PelmoraMac/Capture/BrowserArticleCapture.h"
#include "PelmoraMac/Capture/BrowserAutomationConsent.h"
#include "PelmoraMac/Capture/BrowserSnapshotScript.h"

#include "BenchReport.h"
#include "BenchTexts.h"
#ifdef TAVRINE_HEADLESS_CHROMIUM
#include "support/HeadlessChromium.h"
#endif

#include <QDeadlineTimer>
#include <QFile>
#include <QThread>
#include <QUrl>

#include <cstdio>
#include <memory>
#include <vector>

namespace tavrine::bench {
using namespace Qt::StringLiterals;

#ifdef TAVRINE_HEADLESS_CHROMIUM
namespace {

// A news page of `length` bytes (ASCII): navigation and side-bar links, a style sheet, an article of
// about 12,000 characters, and inline script data to the length.
QString browserArticlePage(qsizetype length) {
    QString navigation;
    for (int index = 0; index < 120; ++index) {
        navigation += u"<li class=\"menu-item menu-item-type-taxonomy\"><a href=\"/section/"_s +
                      QString::number(index) + u"\">Section "_s + QString::number(index) + u"</a></li>"_s;
    }
    QString article = u"<article><h1>A page as news sites make them</h1>"_s;
    const QStringList paragraphs = englishProse(12'000, 7).split(u"\n\n"_s, Qt::SkipEmptyParts);
    for (const QString& paragraph : paragraphs) article += u"<p>"_s + paragraph.toHtmlEscaped() + u"</p>"_s;
    article += u"</article>"_s;
    QString page =
        u"<!DOCTYPE html><html lang=\"en\"><head><meta charset=\"utf-8\"><title>A page - Bench Times"
        u"</title><style>"_s +
        QString(u".menu-item{display:inline-block;margin:0 4px}"_s).repeated(60) +
        u"</style></head><body><header><nav><ul>"_s + navigation + u"</ul></nav></header><main>"_s + article +
        u"<aside><ul>"_s + navigation +
        u"</ul></aside></main><footer><p>Copyright Bench Times</p></footer><script>window.__DATA__=["_s;
    const QString end = u"0];</script></body></html>"_s;
    const QString record = u"{\"id\":12345,\"kind\":\"teaser\",\"score\":0.5},"_s;
    while (page.size() + record.size() + end.size() <= length) page += record;
    page += end;
    return page.leftJustified(length, u' ');
}

constexpr int kBrowserCaptures = 10;

// Waits until the browser shows the whole page, as its snapshot tells, for as long as the browser takes: the
// snapshot waits for each answer without the capture's time limit, and the limit is only for a page that
// never shows (a loaded machine takes its time).
bool pageShown(const QString& url, qsizetype htmlLength) {
    const QDeadlineTimer deadline(std::chrono::minutes(5));
    while (!deadline.hasExpired()) {
        const auto snapshot =
            takeBrowserSnapshot(ArticleBrowser::chrome, true, {.limits = {.wait = std::chrono::minutes(1)}});
        if (snapshot && snapshot->url == url && snapshot->html && snapshot->html->size() >= htmlLength) return true;
        QThread::msleep(20);
    }
    return false;
}

// Writes the page to `path` and shows it in a headless Chromium of its own; null, the line of `bench` (or
// the reason on stderr) said, when there is none or it does not show the page.
std::unique_ptr<test::HeadlessChromium> showPage(const char* bench, const QString& path, const QString& html) {
    QFile file(path);
    const QByteArray bytes = html.toUtf8();
    if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size()) return nullptr;
    file.close();
    if (test::HeadlessChromium::executable().isEmpty()) {
        std::printf(
            "{\"bench\":\"%s\"%s}\n", bench,
            qPrintable(field(u"skipped"_s, jsonString(QString::fromLatin1(test::HeadlessChromium::missingReason())))));
        return nullptr;
    }
    const QString url = QUrl::fromLocalFile(path).toString();
    auto browser = std::make_unique<test::HeadlessChromium>(url);
    if (!browser->isListening() || !pageShown(url, html.size() / 2)) {
        std::fprintf(stderr, "capture-bench: the browser did not show %s: %s\n", qPrintable(path),
                     qPrintable(browser->failure()));
        markFailed();
        return nullptr;
    }
    return browser;
}
}  // namespace

void measureBrowserArticle(const QString& folder, const CaptureWorkerLaunch& worker) {
    const QString html = browserArticlePage(200'000);
    const QString articlePath = folder + u"/browser-article.html"_s;
    const auto browser = showPage("browser-article", articlePath, html);
    if (!browser) return;
    const qsizetype htmlBytes = html.size();
    const QString url = QUrl::fromLocalFile(articlePath).toString();
    const BrowserArticleCaptureEnvironment environment{
        .isFrontApplication = [](pid_t) { return true; },
        .automationPermission = [](ArticleBrowser) { return kAutomationAllowed; },
        .runWorker =
            [&worker](const CaptureWorkerRequest& request, CaptureDeadline deadline,
                      const CancellationToken& cancellation) {
                return runCaptureWorker(request, deadline, cancellation, worker);
            }};
    std::vector<double> times;
    for (int run = 0; run < roundsOf(kBrowserCaptures); ++run) {
        const auto start = std::chrono::steady_clock::now();
        const auto article = captureBrowserArticle(ArticleBrowser::chrome, url, browser->pid(),
                                                   captureDeadlineFrom(start), CancellationToken::none(), environment);
        const double ms = millisecondsSince(start);
        if (!article && article.error() == CaptureFailure::timedOut && passesTimeLimit("browser-article")) {
            std::printf("{\"bench\":\"browser-article\"%s}\n", qPrintable(field(u"failed"_s, u"\"timedOut\""_s)));
            return;
        }
        if (!article || !*article) {
            std::fprintf(stderr, "capture-bench: the browser capture gave %s\n",
                         article ? "no document" : qPrintable(rawValue(article.error())));
            markFailed();
            return;
        }
        times.push_back(ms);
    }
    std::printf("{\"bench\":\"browser-article\"%s%s}\n", qPrintable(field(u"htmlBytes"_s, QString::number(htmlBytes))),
                qPrintable(field(u"ms"_s, milliseconds(percentile(times, 0.5)))));
    std::fflush(stdout);
}
void measureBrowserSnapshot(const QString& folder) {
    const QString html = longNewsPage(u"A long page"_s);
    const auto browser = showPage("browser-snapshot", folder + u"/long-page.html"_s, html);
    if (!browser) return;
    std::vector<double> times;
    for (int run = 0; run < roundsOf(kBrowserCaptures); ++run) {
        const auto start = std::chrono::steady_clock::now();
        const auto snapshot = takeBrowserSnapshot(ArticleBrowser::chrome, true);
        const double ms = millisecondsSince(start);
        if (!snapshot && snapshot.error() == CaptureFailure::timedOut && passesTimeLimit("browser-snapshot")) {
            std::printf("{\"bench\":\"browser-snapshot\"%s}\n", qPrintable(field(u"failed"_s, u"\"timedOut\""_s)));
            return;
        }
        if (!snapshot || !snapshot->html) {
            std::fprintf(stderr, "capture-bench: the snapshot gave %s\n",
                         snapshot ? "no HTML" : qPrintable(rawValue(snapshot.error())));
            markFailed();
            return;
        }
        times.push_back(ms);
    }
    std::printf("{\"bench\":\"browser-snapshot\"%s%s}\n",
                qPrintable(field(u"htmlBytes"_s, QString::number(html.toUtf8().size()))),
                qPrintable(field(u"ms"_s, milliseconds(percentile(times, 0.5)))));
    std::fflush(stdout);
}
#else
void measureBrowserArticle(const QString&, const CaptureWorkerLaunch&) {
    std::printf("{\"bench\":\"browser-article\",\"skipped\":\"built without the test suite's headless Chromium\"}\n");
}
void measureBrowserSnapshot(const QString&) {
    std::printf("{\"bench\":\"browser-snapshot\",\"skipped\":\"built without the test suite's headless Chromium\"}\n");
}
#endif

}  // namespace tavrine::bench
