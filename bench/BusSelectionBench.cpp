// capture-bench's bus-selection line, run on a private X server with openbox (capture-bench starts itself
// there with --bus-selection): a paragraph of links selected in chromium and read over the accessibility
// bus by the selection reader alone, without the conversion that follows it.
#include "BusSelectionBench.h"
#include "DesktopBench.h"

#include "PelmoraMac/Capture/AXSelectionReader.h"
#include "PelmoraMac/Capture/AccessibilityFocusTracker.h"
#include "PelmoraMac/Capture/AtspiAccessibilityBus.h"
#include "PelmoraMac/Capture/BrowserAutomationConsent.h"
#include "PelmoraMac/Capture/CapturedText.h"

#include "BenchReport.h"
#ifdef TAVRINE_HEADLESS_CHROMIUM
#include "support/HeadlessChromium.h"
#endif

#include <QDeadlineTimer>
#include <QThread>
#include <QtConcurrent>

#include <cstdio>
#include <map>

namespace tavrine::bench {
namespace {
using namespace Qt::StringLiterals;

constexpr int kRounds = 5;
// Long enough to time a read that the capture's own deadline would stop.
constexpr auto kReadLimit = std::chrono::seconds(60);
// The most links in the paragraph that is triple-clicked.
constexpr int kParagraphLinks = 2'000;
// More links than a selection may hold units (about 110,000 units of text).
constexpr int kTooManyLinks = 20'000;
constexpr int kLinksPerParagraph = 100;

// One paragraph of `links` links (about 4.5 UTF-16 units each: 9,000 for 2,000), after a few words that the
// bench clicks; the title tells how far below the top of the browser's window the page begins, then how
// long the page's selection is. With `bullets`, a bullet parts each link from the next, as in a line of links
// ("w0 • w1 • …"): marks the page shows in the clear, which the reader tells from masked text by asking for
// the paragraph's text objects.
// More links than that are in paragraphs of kLinksPerParagraph, each well within what a selection may hold,
// and selected all at once (Ctrl+A).
QByteArray linksPage(int links, bool bullets) {
    QString paragraph = u"<p style='margin:0;padding:10px 20px;font-size:16px'>Words before the links:"_s;
    for (int index = 0; index < links; ++index) {
        if (links > kParagraphLinks && index > 0 && index % kLinksPerParagraph == 0) paragraph += u"</p><p>"_s;
        if (bullets && index > 0) paragraph += u" •"_s;
        paragraph += u" <a href='#l"_s + QString::number(index) + u"'>w"_s + QString::number(index) + u"</a>"_s;
    }
    return (u"<!DOCTYPE html><html><head><title>Links page</title><script>"
            u"function tell() { document.title = 'Links page ' + (outerHeight - innerHeight) + ' ' +"
            u" getSelection().toString().length; }"
            u"addEventListener('load', tell); addEventListener('resize', tell);"
            u"document.addEventListener('selectionchange', tell);</script></head>"
            u"<body style='margin:0'>"_s +
            paragraph + u"</p><p>After the links.</p></body></html>"_s)
        .toUtf8();
}

// `items` items of two characters ("語" and a digit, each in a <b> or a grid's cell) laid out as `layout` says: "flex",
// a wrapping flex row of them, each placed where it is drawn; "grid", a grid of 20 columns; "blocks", the same items in
// plain block rows of 20, each row a <div> whose items the browser shows inline. The title as the links
// page's, told once the page is whole (Ctrl+A on a page still loading selects the items made so far); Ctrl+A selects
// the items alone, as a page of its own selection does (Chromium takes about a minute to tell the selection of each of
// 5,000 objects when the whole document is selected).
QByteArray itemsPage(const QByteArray& layout, int items) {
    const bool blocks = layout == "blocks";
    QString body = layout == "flex"   ? u"<div id='items' style='display:flex;flex-wrap:wrap;width:900px'>"_s
                   : layout == "grid" ? u"<div id='items' style='display:grid;grid-template-columns:repeat(20,auto)'>"_s
                                      : u"<div id='items'><div>"_s;
    for (int index = 0; index < items; ++index) {
        if (blocks && index > 0 && index % 20 == 0) body += u"</div><div>"_s;
        body += (layout == "grid" ? u"<span>語"_s : u"<b>語"_s) + QString::number(index % 10) +
                (layout == "grid" ? u"</span>"_s : u"</b>"_s);
    }
    body += blocks ? u"</div></div>"_s : u"</div>"_s;
    return (u"<!DOCTYPE html><html><head><title>Links page</title><script>"
            u"function tell() { if (document.readyState !== 'complete') return; document.title = 'Links page ' + "
            u"(outerHeight - innerHeight) + ' ' +"
            u" getSelection().toString().length; }"
            u"addEventListener('load', tell); addEventListener('resize', tell);"
            u"document.addEventListener('selectionchange', tell);"
            u"addEventListener('keydown', function (e) { if (e.ctrlKey && e.key === 'a') { e.preventDefault();"
            u" getSelection().selectAllChildren(document.getElementById('items')); } });</script></head>"
            u"<body style='margin:0;font-size:16px'><p style='margin:0;padding:10px 20px'>Words before the items:</p>"_s +
            body + u"</body></html>"_s)
        .toUtf8();
}

}  // namespace

#ifdef TAVRINE_HEADLESS_CHROMIUM
int runBusSelectionBench() {
    if (test::HeadlessChromium::executable().isEmpty()) {
        std::printf("{\"bench\":\"bus-selection\",\"skipped\":%s}\n",
                    qPrintable(jsonString(QString::fromLatin1(test::HeadlessChromium::missingReason()))));
        return 0;
    }
    const AccessibilityBusLauncher accessibility;
    AccessibilityFocusTracker tracker;
    tracker.start();
    const PageServer server([](const QByteArray& path) {
        const QList<QByteArray> parts = path.split('/');
        if (path.startsWith("/items/")) return itemsPage(parts.value(2), parts.value(3).toInt());
        return linksPage(path.mid(path.lastIndexOf('/') + 1).toInt(), path.contains("/bullets/"));
    });

    // A smoke round reads the smallest paragraph alone. The pages of items are read after the links, each
    // layout beside the same items in plain block rows, and selected whole (Ctrl+A).
    struct Paragraph {
        int links = 0;
        bool bullets = false;
        QString layout{};
    };
    const std::vector<Paragraph> paragraphs = isSmokeRound() ? std::vector<Paragraph>{{200}}
                                                             : std::vector<Paragraph>{{200},
                                                                                      {kParagraphLinks},
                                                                                      {kParagraphLinks, true},
                                                                                      {kTooManyLinks},
                                                                                      {5'000, false, u"blocks"_s},
                                                                                      {5'000, false, u"flex"_s},
                                                                                      {6'000, false, u"blocks"_s},
                                                                                      {6'000, false, u"grid"_s}};
    // The p50 of the items in block rows, by their number.
    std::map<int, double> blockRows;
    for (const auto& [links, bullets, layout] : paragraphs) {
        // The paragraph of too many links is read as a capture reads it, under the capture's own deadline:
        // what is timed is how long it takes to say so.
        const bool tooMany = links == kTooManyLinks;
        const bool items = !layout.isEmpty();
        const QString path = items ? u"/items/"_s + layout + u"/"_s : bullets ? u"/bullets/"_s : u"/links/"_s;
        test::HeadlessChromium browser(server.url(path + QString::number(links)), kStepLimit,
                                       test::HeadlessChromium::Mode::shown, {u"--force-renderer-accessibility"_s});
        const auto shown = browser.isListening() ? activateWindowNamed(u"^Links page [0-9]"_s) : std::nullopt;
        if (!shown) {
            std::fprintf(stderr, "capture-bench: chromium did not show the links page\n");
            return 1;
        }
        const QString window = *shown;
        const pid_t pid = browser.pid();
        const auto log = tracker.log();
        // One read of what is selected, on a pool thread as in the application: its time, or none when it
        // did not give the paragraph.
        std::optional<qsizetype> units;
        qsizetype marks = 0;
        qsizetype lines = 0;
        QString outcome;
        const auto readOnce = [&](bool saysFailure = true) -> std::optional<double> {
            auto future = QtConcurrent::run([pid, log, tooMany] {
                AtspiAccessibilityBus bus(log);
                bus.isEnabled();
                const SelectionCaptureEnvironment environment{
                    .bus = &bus,
                    .article = {.isFrontApplication = [pid](pid_t front) { return front == pid; },
                                .automationPermission = [](ArticleBrowser) { return kAutomationUndecided; }}};
                const auto start = std::chrono::steady_clock::now();
                const auto now = SystemClock::shared().monotonicNow();
                AXSelectionReader reader(pid, true, ArticleBrowser::chrome,
                                         tooMany ? captureDeadlineFrom(now) : now + kReadLimit,
                                         CancellationToken::none(), environment);
                auto text = reader.readSelectedText();
                return std::pair(millisecondsSince(start), std::move(text));
            });
            // The reader needs nothing of this thread: it waits without turning its event loop.
            future.waitForFinished();
            const auto [ms, text] = future.result();
            if (tooMany && !text &&
                (text.error() == CaptureFailure::tooLong || text.error() == CaptureFailure::timedOut)) {
                outcome = rawValue(text.error());
                return ms;
            }
            const bool whole =
                text && (items ? text->count(u'語') == links : text->contains(u"w"_s + QString::number(links - 1)));
            if (!whole) {
                if (saysFailure) {
                    std::fprintf(stderr, "capture-bench: the bus gave %s\n",
                                 text ? qPrintable(text->left(80)) : qPrintable(rawValue(text.error())));
                }
                return std::nullopt;
            }
            units = text->size();
            marks = text->count(u'•');
            lines = text->count(u'\n') + 1;
            return ms;
        };
        // The words before the links, triple-clicked; a first read, not counted, checks the selection. The
        // page says in its title that it holds the selection: clicks lost as the window came up are made
        // again, each time the page has not told one a moment later, for as long as the step may take. The
        // bus shows the selection a while after the page, the later the busier the machine (and the more
        // links): it is read until it does.
        bool ready = false;
        const QDeadlineTimer stepLimit(boundedStep(kStepLimit));
        while (!ready && !stepLimit.hasExpired()) {
            const auto title = xdotool({u"getwindowname"_s, window});
            const int offset = title ? title->split(' ').value(2).toInt() : 0;
            xdotool({u"mousemove"_s, u"--window"_s, window, u"40"_s, QString::number(20 + offset), u"click"_s,
                     u"--repeat"_s, tooMany || items ? u"1"_s : u"3"_s, u"--delay"_s, u"80"_s, u"1"_s});
            if (tooMany || items) xdotool({u"key"_s, u"ctrl+a"_s});
            const bool selected = waitFor(
                [&] {
                    QThread::msleep(100);
                    const auto named = xdotool({u"getwindowname"_s, window});
                    return named && named->trimmed().split(' ').value(3).toInt() > 0;
                },
                std::chrono::seconds(2));
            if (!selected) continue;
            ready = waitFor(
                [&] {
                    QThread::msleep(200);
                    return readOnce(/*saysFailure=*/false).has_value();
                },
                kStepLimit);
        }
        std::vector<double> times;
        for (int round = 0; ready && round < roundsOf(kRounds); ++round) {
            const auto ms = readOnce();
            if (ms) times.push_back(*ms);
            ready = ms.has_value();
        }
        if (!ready && items) {
            // A page of items that is not read whole within a step is a figure too: the reader's cost of many
            // objects.
            std::printf("{\"bench\":\"bus-selection\"%s%s,\"failed\":\"not read within %lld s\"}\n",
                        qPrintable(field(u"layout"_s, jsonString(layout))),
                        qPrintable(field(u"items"_s, QString::number(links))), qint64(kStepLimit.count()));
            std::fflush(stdout);
            continue;
        }
        if (!ready && passesSpentBudget("a paragraph of links")) return 0;
        if (!ready) {
            std::fprintf(stderr, "capture-bench: the paragraph of %d links was not read\n", links);
            return 1;
        }
        if (items) {
            const double p50 = percentile(times, 0.5);
            if (layout == u"blocks"_s) blockRows[links] = p50;
            const auto blocks = blockRows.find(links);
            std::printf(
                "{\"bench\":\"bus-selection\"%s%s%s%s%s%s}\n", qPrintable(field(u"layout"_s, jsonString(layout))),
                qPrintable(field(u"items"_s, QString::number(links))),
                qPrintable(field(u"lines"_s, QString::number(lines))), qPrintable(field(u"p50Ms"_s, milliseconds(p50))),
                qPrintable(field(u"p95Ms"_s, milliseconds(percentile(times, 0.95)))),
                qPrintable(layout != u"blocks"_s && blocks != blockRows.end() && blocks->second > 0
                               ? field(u"timesBlockRows"_s, QString::number(p50 / blocks->second, 'f', 2))
                               : QString()));
            std::fflush(stdout);
            continue;
        }
        std::printf("{\"bench\":\"bus-selection\"%s%s%s%s%s%s}\n",
                    qPrintable(field(u"links"_s, QString::number(links))),
                    qPrintable(bullets ? field(u"bulletsRead"_s, QString::number(marks)) : QString()),
                    qPrintable(tooMany ? field(u"outcome"_s, jsonString(outcome))
                                       : field(u"utf16"_s, QString::number(units.value_or(0)))),
                    qPrintable(field(u"p50Ms"_s, milliseconds(percentile(times, 0.5)))),
                    qPrintable(field(u"p95Ms"_s, milliseconds(percentile(times, 0.95)))),
                    qPrintable(field(u"withinDeadline"_s, percentile(times, 0.95) < 3'000 ? u"true"_s : u"false"_s)));
        std::fflush(stdout);
    }
    return 0;
}
#else
int runBusSelectionBench() {
    std::printf("{\"bench\":\"bus-selection\",\"skipped\":\"built without the test suite's headless Chromium\"}\n");
    return 0;
}
#endif

}  // namespace tavrine::bench
