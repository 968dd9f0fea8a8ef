// capture-bench's front-application line, run on a private X server with openbox (capture-bench starts
// itself there with --front-hotkeys): the capture hot key pressed through XTest with chromium in front,
// the capture wired as in the application and the real player taking the reading; the time from the key's
// release to the player's first chunk.
#include "FrontCaptureBench.h"
#include "DesktopBench.h"
#include "HotKeyBench.h"

#include "PelmoraMac/App/ApplicationCapture.h"
#include "PelmoraMac/Capture/BrowserAutomationConsent.h"
#include "PelmoraMac/Capture/CaptureModel.h"
#include "PelmoraMac/Capture/X11/GlobalCaptureShortcut.h"
#include "PelmoraMac/Capture/X11/X11Keymap.h"
#include "PelmoraMac/Capture/internal/DevToolsConnection.h"
#include "PelmoraMac/Library/MacReadingPlayback.h"
#include "PelmoraMac/X11/X11Connection.h"
#include "ReaderCore/MemoryDefaults.h"
#include "ReaderUI/Player/ReadingPlayer.h"

#include "BenchReport.h"
#include "BenchTexts.h"
#ifdef TAVRINE_HEADLESS_CHROMIUM
#include "support/HeadlessChromium.h"
#endif

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QEventLoop>
#include <QJsonArray>
#include <QThread>
#include <QTimer>

#include <xcb/xcb.h>

#include <cstdio>
#include <functional>
#include <memory>

namespace tavrine::bench {
namespace {
using namespace Qt::StringLiterals;

constexpr int kRounds = 10;

// The script of the bench's pages: at each change the title tells `name`, how far below the top of the browser's
// window the page begins, how long the page's selection is, and whether the page has the focus ("focused" or
// "away"), then `suffix`. The bench reads it in the window's name (pageState), so that it waits for its clicks and
// keys to reach the page, not for a set time.
QString tellingScript(const QString& name, const QString& suffix = {}) {
    return u"function tell() { document.title = '"_s + name +
           u" ' + (outerHeight - innerHeight) + ' ' + getSelection().toString().length + "
           u"(document.hasFocus() ? ' focused' : ' away') + '"_s +
           suffix +
           u"'; }"
           u"addEventListener('load', tell); addEventListener('resize', tell); addEventListener('focus', tell);"
           u"addEventListener('blur', tell); document.addEventListener('selectionchange', tell);"_s;
}

// The pattern of the name of a browser window that shows a bench page of this name and suffix.
QString windowNamed(const QString& name, const QString& suffix = {}) {
    return u"^"_s + name + u" [0-9]+ [0-9]+ (focused|away)"_s + suffix + u" -"_s;
}

// What a bench page tells in the name of its window (tellingScript).
struct PageState {
    int offset = 0;
    int selected = 0;
    bool focused = false;
};

// What the page in the window tells; none when the window's name is not a bench page's.
std::optional<PageState> pageState(const QString& window) {
    const auto name = xdotool({u"getwindowname"_s, window});
    if (!name) return std::nullopt;
    const QList<QByteArray> words = name->split(' ');
    bool validOffset = false;
    bool validSelection = false;
    PageState state;
    state.offset = words.value(2).toInt(&validOffset);
    state.selected = words.value(3).toInt(&validSelection);
    state.focused = words.value(4) == "focused";
    if (!validOffset || !validSelection) return std::nullopt;
    return state;
}

// How long the bench waits for the page's word that a click or a key reached it before it goes on without: the
// capture after it checks what the page shows, and the page is prepared again when the click was lost (as when
// the browser shows a bar above the page just then). A page tells it within 200 ms on two busy cores.
constexpr std::chrono::seconds kPageWordLimit{1};

// What the page in the window tells once it is what `expected` looks for, waited for at most kPageWordLimit.
std::optional<PageState> awaitPageWord(const QString& window, const std::function<bool(const PageState&)>& expected) {
    std::optional<PageState> told;
    waitFor(
        [&] {
            told = pageState(window);
            if (told && expected(*told)) return true;
            QThread::msleep(20);
            return false;
        },
        kPageWordLimit);
    return told && expected(*told) ? told : std::nullopt;
}

// Longer than a desktop's double-click time (400 to 500 ms): a click at the place of the one before within it
// would count as that one's next.
constexpr std::chrono::seconds kMultiClickInterval{1};

// Turns the event loop until `time`.
void idleUntil(std::chrono::steady_clock::time_point time) {
    const auto left = std::chrono::ceil<std::chrono::milliseconds>(time - std::chrono::steady_clock::now());
    if (left <= std::chrono::milliseconds::zero()) return;
    QEventLoop loop;
    QTimer::singleShot(left, &loop, &QEventLoop::quit);
    loop.exec();
}

// The bench page's first paragraph, which the bench selects with a triple click.
constexpr auto kFirstParagraph = u"The paragraph that the bench selects with a triple click, at the top of the page.";

// The page: a first paragraph at its top, then an article; its title tells as tellingScript says.
QByteArray benchPage(const QString& name = u"Bench page"_s) {
    QString article = u"<article><h1>The bench article</h1>"_s;
    for (int index = 0; index < 12; ++index) {
        article +=
            u"<p>The bench article is the subject of this paragraph, which goes on for a while, with commas, so "
            u"that it reads as an article and not as a navigation bar or a footer of a page.</p>"_s;
    }
    return (u"<!DOCTYPE html><html><head><title>Bench page</title><script>"_s + tellingScript(name) +
            u"</script></head>"
            u"<body style='margin:0'><p style='margin:0;padding:10px 20px;font-size:16px'>"_s +
            kFirstParagraph + u"</p>"_s + article + u"</article></body></html>"_s)
        .toUtf8();
}

// A long page (bench/BenchTexts.h), whose title tells the same as the bench page's, followed by "long", and
// again and again: a tab opened while the window changes may tell a wrong place at first.
QByteArray longBenchPage() {
    return longNewsPage(u"Bench page long"_s, u"<script>"_s + tellingScript(u"Bench page"_s, u" long"_s) +
                                                  u"setInterval(tell, 200);</script>"_s)
        .toUtf8();
}

// The title of the busy page once its endless script runs.
constexpr auto kBusyTitle = "Busy page looping";

// A page that, once loaded, runs a script that never ends: a tab too busy to answer anyone. Its title tells that
// the script has begun.
QByteArray busyPage() {
    return "<!DOCTYPE html><html><head><title>Busy page</title></head><body><p>Busy</p><script>"
           "addEventListener('load', function () { setTimeout(function () { document.title = '" +
           QByteArray(kBusyTitle) +
           "'; for (;;) {} }, 0); });"
           "</script></body></html>";
}

// The length of the fragment of each frame's address in the frames page; a smoke round, which the browser's work
// on such addresses would slow the most of all, gives it a tenth of that.
constexpr int kFrameFragmentLength = 1'900'000;

// A page whose script opens `frames` frames of another site (localhost beside 127.0.0.1), each on an address
// with a fragment of `fragmentLength` characters: the browser lists each frame as a target of its own, with its
// address as its URL and as its title, so four frames of kFrameFragmentLength come to 15 MB of addresses, ten to
// 38 MB (frameAddressesMB).
QByteArray framesPage(int frames, int fragmentLength) {
    return "<!DOCTYPE html><html><head><title>Frames page</title></head><body><script>"
           "var tail = new Array(" +
           QByteArray::number(fragmentLength + 1) +
           ").join('x');"
           "for (var i = 0; i < " +
           QByteArray::number(frames) +
           "; i++) { var frame = document.createElement('iframe');"
           "  frame.src = 'http://localhost:' + location.port + '/frame#' + i + tail; "
           "document.body.appendChild(frame); }"
           "</script></body></html>";
}

// The megabytes of frame addresses the browser lists for the frames page: each address twice, in two significant
// digits.
QString frameAddressesMB(int frames, int fragmentLength) {
    return QString::number(2.0 * frames * fragmentLength / 1e6, 'g', 2);
}

#ifdef TAVRINE_HEADLESS_CHROMIUM
// Opens the page in a tab behind the one in front and waits until it and its frames have loaded: the tab's
// target, or none.
std::optional<QString> openLoadedTabBehind(const test::HeadlessChromium& browser, const QString& url) {
    auto connection = DevToolsConnection::open(browser.port(), browser.browserPath(), {.wait = kStepLimit});
    if (!connection) return std::nullopt;
    const auto created = (*connection)->call({u"Target.createTarget"_s, {{u"url"_s, url}, {u"background"_s, true}}});
    if (!created) return std::nullopt;
    const QString target = created->value(u"targetId"_s).toString();
    const auto attached =
        (*connection)->call({u"Target.attachToTarget"_s, {{u"targetId"_s, target}, {u"flatten"_s, true}}});
    if (!attached) return std::nullopt;
    const QString session = attached->value(u"sessionId"_s).toString();
    const QString complete = u"location.href === '"_s + url + u"' && document.readyState === 'complete'"_s;
    const bool loaded = waitFor([&] {
        QThread::msleep(20);
        const auto state =
            (*connection)
                ->call({u"Runtime.evaluate"_s, {{u"expression"_s, complete}, {u"returnByValue"_s, true}}, session});
        return state && state->value(u"result"_s).toObject().value(u"value"_s).toBool();
    });
    if (!loaded) return std::nullopt;
    return target;
}

// Closes the tab.
void closeTab(const test::HeadlessChromium& browser, const QString& target) {
    auto connection = DevToolsConnection::open(browser.port(), browser.browserPath(), {.wait = kStepLimit});
    if (connection) (*connection)->call({u"Target.closeTarget"_s, {{u"targetId"_s, target}}});
}

// Opens the URL in a second window of the browser, in front, on the screen at the place and of the size given in
// pixels, and waits until the window's name matches the pattern: the window's id, or none.
std::optional<QString> openSecondWindow(const test::HeadlessChromium& browser, const QString& url,
                                        const QString& windowName, const QStringList& placeAndSize) {
    auto connection = DevToolsConnection::open(browser.port(), browser.browserPath(), {.wait = kStepLimit});
    if (!connection) return std::nullopt;
    if (!(*connection)->call({u"Target.createTarget"_s, {{u"url"_s, url}, {u"newWindow"_s, true}}}))
        return std::nullopt;
    const auto window = activateWindowNamed(windowName);
    if (!window) return std::nullopt;
    xdotool({u"windowsize"_s, u"--sync"_s, *window, placeAndSize.value(2), placeAndSize.value(3)});
    xdotool({u"windowmove"_s, u"--sync"_s, *window, placeAndSize.value(0), placeAndSize.value(1)});
    return window;
}

// Opens the busy page in a tab behind the one in front, and waits until its title tells that its endless script
// has begun.
bool openBusyTab(const test::HeadlessChromium& browser, const QString& url) {
    auto connection = DevToolsConnection::open(browser.port(), browser.browserPath(), {.wait = kStepLimit});
    if (!connection) return false;
    if (!(*connection)->call({u"Target.createTarget"_s, {{u"url"_s, url}, {u"background"_s, true}}})) return false;
    const bool loaded = waitFor([&] {
        QThread::msleep(20);
        const auto targets = (*connection)->call({u"Target.getTargets"_s});
        if (!targets) return false;
        const QJsonArray infos = targets->value(u"targetInfos"_s).toArray();
        return std::any_of(infos.begin(), infos.end(), [](const QJsonValue& info) {
            return info.toObject().value(u"title"_s).toString() == QLatin1StringView(kBusyTitle);
        });
    });
    return loaded;
}

// Opens the URL in a tab in front, or closes that tab again (`url` empty), and waits until the browser's window
// is named by the pattern, then brings it to the front: the window's id, or none.
std::optional<QString> showTab(const test::HeadlessChromium& browser, QString& target, const QString& url,
                               const QString& windowName) {
    auto connection = DevToolsConnection::open(browser.port(), browser.browserPath(), {.wait = kStepLimit});
    if (!connection) return std::nullopt;
    const auto done = url.isEmpty() ? (*connection)->call({u"Target.closeTarget"_s, {{u"targetId"_s, target}}})
                                    : (*connection)->call({u"Target.createTarget"_s, {{u"url"_s, url}}});
    if (!done) return std::nullopt;
    if (!url.isEmpty()) target = done->value(u"targetId"_s).toString();
    return activateWindowNamed(windowName);
}
#endif

}  // namespace

#ifdef TAVRINE_HEADLESS_CHROMIUM
int runFrontCaptureBench() {
    xcb_connection_t* connection = qtX11Connection();
    if (!connection) {
        std::fprintf(stderr, "capture-bench: the front-application line needs an X11 display\n");
        return 1;
    }
    if (test::HeadlessChromium::executable().isEmpty()) {
        std::printf("{\"bench\":\"hotkey-to-first-chunk\",\"front\":\"selection\",\"skipped\":%s}\n",
                    qPrintable(jsonString(QString::fromLatin1(test::HeadlessChromium::missingReason()))));
        return 0;
    }
    const AccessibilityBusLauncher accessibility;
    const PageServer server([](const QByteArray& path) {
        if (path.startsWith("/frames/"))
            return framesPage(path.split('/').value(2).toInt(), path.split('/').value(3).toInt());
        if (path.startsWith("/frame")) return QByteArray("<!DOCTYPE html><p>A frame</p>");
        if (path.startsWith("/second")) return benchPage(u"Second page"_s);
        return path.startsWith("/busy") ? busyPage() : path.startsWith("/long") ? longBenchPage() : benchPage();
    });
    MemoryDefaults defaults;
    BrowserAutomationConsent consent(defaults, {});
    consent.setAllowed(u"chromium"_s, true);
    MacReadingPlayback playback(std::nullopt, defaults, SystemClock::shared(),
                                MacReadingPlayback::readingFontPhraseWidth());
    ReadingPlayer& player = playback.player();
    CaptureModel model(&player, applicationCaptureFunctions(consent, [] {}));
    QObject::connect(&model, &CaptureModel::importedTextChanged, &player,
                     [&] { player.apply(*model.importedText(), true); });
    // How many captures have ended, with a reading or a failure.
    int capturesEnded = 0;
    QObject::connect(&model, &CaptureModel::isCapturingChanged, [&] {
        if (!model.isCapturing()) ++capturesEnded;
    });
    GlobalCaptureShortcut shortcut(GlobalCaptureShortcut::Command::frontmost, defaults);
    shortcut.start([&] { model.captureFrontmost([] {}); });
    if (!shortcut.isRegistered()) {
        std::fprintf(stderr, "capture-bench: %s\n", qPrintable(shortcut.errorMessage().value_or(QString())));
        return 1;
    }
    const X11Keymap keymap(connection);

    bool busyTab = false;
    // What a case has beyond the others': frame addresses in a tab behind, a scale factor, the focus.
    QString caseFields;
    for (const QString& mode : {u"remote-debugging"_s, u"forced-accessibility"_s, u"remote-debugging-scaled"_s}) {
        const bool scaled = mode == u"remote-debugging-scaled"_s;
        busyTab = false;
        QStringList arguments;
        if (mode == u"forced-accessibility"_s) arguments.append(u"--force-renderer-accessibility"_s);
        if (scaled) arguments.append(u"--force-device-scale-factor=2"_s);
        test::HeadlessChromium browser(server.url(u"/bench"_s), kStepLimit, test::HeadlessChromium::Mode::shown,
                                       arguments);
        const auto shown = browser.isListening() ? activateWindowNamed(windowNamed(u"Bench page"_s)) : std::nullopt;
        if (!shown) {
            std::fprintf(stderr, "capture-bench: chromium did not show the page (%s)\n", qPrintable(mode));
            return 1;
        }
        QString window = *shown;
        QString page = u"short"_s;
        // The window, the place in it and the time of the last click.
        struct Click {
            QString window;
            int x = 0;
            int y = 0;
            std::chrono::steady_clock::time_point at;
        };
        std::optional<Click> lastClick;
        // Clicks `count` times in a row at x, y of the page, wherever it begins now (a bar the browser shows
        // above it moves it down), and waits for the page's word that the clicks reached it: the focus its own,
        // with the first paragraph selected after a triple click (not a word, as after two of its clicks), nothing
        // after a single one. Without the page's word where it
        // begins, it does not click. Clicks made again at the same place (the page was not ready) wait out
        // kMultiClickInterval first.
        const auto click = [&](int x, int y, int count) {
            const auto state = awaitPageWord(window, [](const PageState&) { return true; });
            if (!state) return;
            const int top = y + state->offset;
            if (lastClick && lastClick->window == window && lastClick->x == x && lastClick->y == top) {
                idleUntil(lastClick->at + kMultiClickInterval);
            }
            xdotool({u"mousemove"_s, u"--window"_s, window, QString::number(x), QString::number(top), u"click"_s,
                     u"--repeat"_s, QString::number(count), u"--delay"_s, u"80"_s, u"1"_s});
            lastClick = Click{.window = window, .x = x, .y = top, .at = std::chrono::steady_clock::now()};
            const qsizetype paragraph = QStringView(kFirstParagraph).size();
            awaitPageWord(window, [count, paragraph](const PageState& told) {
                return told.focused && (count == 3 ? told.selected >= paragraph : told.selected == 0);
            });
        };
        // One capture by the hot key: the time from the key's release to the first chunk, or none when it
        // gave no reading, or not the one expected. Waited for until the capture has ended, however long a
        // loaded machine takes (the limit is for a key that never arrives).
        const auto captureOnce = [&](bool expectsBody) -> std::optional<double> {
            const auto previous = player.reading() ? std::optional(player.reading()->id) : std::nullopt;
            const int ended = capturesEnded;
            const auto released = pressHotKeyChord(connection, keymap, 'r');
            const auto newReading = [&] {
                return player.reading() && player.reading()->id != previous && player.session().currentChunk();
            };
            const bool read = waitFor(
                [&] { return capturesEnded > ended && !model.isCapturing() && (model.failure() || newReading()); },
                kStepLimit);
            const double ms = millisecondsSince(released);
            player.pause(false);
            if (!read || model.failure() || model.loadedBody() != expectsBody) return std::nullopt;
            return ms;
        };
        // `prepare` makes the page show what is to be captured; a first capture checks it (a page that has just
        // appeared may miss the clicks, and a loaded machine may not have it ready for a while: it is tried
        // again, three times at least and for as long as the step may take, within the smoke round's budget)
        // and warms the caches. It is not counted, but in a smoke round, whose figures nobody compares, it is the
        // round. A case without a reading is told on a line of its own, with the notice the capture ended with.
        const auto measure = [&](const QString& kind, bool expectsBody, const std::function<void()>& prepare) {
            std::optional<double> checked;
            const QDeadlineTimer stepLimit(boundedStep(kStepLimit));
            const auto mayTryAgain = [&](int attempt) {
                return attempt == 0 || ((attempt < 3 || !stepLimit.hasExpired()) && smokeRoundLeft().count() > 0);
            };
            for (int attempt = 0; !checked && mayTryAgain(attempt); ++attempt) {
                prepare();
                checked = captureOnce(expectsBody);
            }
            bool ready = checked.has_value();
            std::vector<double> times;
            if (ready && isSmokeRound()) times.push_back(*checked);
            for (int round = 0; ready && !isSmokeRound() && round < kRounds; ++round) {
                const auto ms = captureOnce(expectsBody);
                if (ms) times.push_back(*ms);
                ready = ms.has_value();
            }
            const QString fields = field(u"front"_s, jsonString(kind)) +
                                   field(u"browser"_s, jsonString(scaled ? u"remote-debugging"_s : mode)) +
                                   field(u"page"_s, jsonString(page)) +
                                   field(u"busyTab"_s, busyTab ? u"true"_s : u"false"_s) + caseFields;
            if (!ready) {
                std::fprintf(stderr, "capture-bench: no %s after the hot key (%s): %s\n", qPrintable(kind),
                             qPrintable(mode), qPrintable(model.statusMessage()));
                std::printf("{\"bench\":\"hotkey-to-first-chunk\"%s%s}\n", qPrintable(fields),
                            qPrintable(field(u"failed"_s, jsonString(model.statusMessage()))));
                std::fflush(stdout);
                return (model.failure() == CaptureFailure::timedOut && passesTimeLimit("a capture by the hot key")) ||
                       passesSpentBudget("a capture by the hot key");
            }
            std::printf("{\"bench\":\"hotkey-to-first-chunk\"%s%s%s}\n", qPrintable(fields),
                        qPrintable(field(u"p50Ms"_s, milliseconds(percentile(times, 0.5)))),
                        qPrintable(field(u"p95Ms"_s, milliseconds(percentile(times, 0.95)))));
            std::fflush(stdout);
            return true;
        };
        if (scaled) {
            // At scale 2, a second window of the browser, smaller, in front of the first, the focus in its
            // address bar: the article of its page, found by the window's place.
            const auto second = openSecondWindow(browser, server.url(u"/second"_s), windowNamed(u"Second page"_s),
                                                 {u"203"_s, u"131"_s, u"801"_s, u"617"_s});
            if (!second) {
                std::fprintf(stderr, "capture-bench: chromium did not show a second window at scale 2\n");
                return 1;
            }
            caseFields = field(u"scale"_s, u"2"_s) + field(u"windows"_s, u"2"_s) +
                         field(u"focus"_s, jsonString(u"address-bar"_s));
            measure(u"article"_s, true, [&] {
                xdotool({u"windowactivate"_s, u"--sync"_s, *second});
                xdotool({u"key"_s, u"ctrl+l"_s});
                // Until the page tells that it lost the focus to the address bar.
                awaitPageWord(*second, [](const PageState& told) { return !told.focused; });
            });
            caseFields.clear();
            continue;
        }
        // The first paragraph, triple-clicked; then nothing selected (a click far to its right). Again with
        // a tab of another site behind the page, busy in a script that never ends.
        for (const bool busy : {false, true}) {
            if (busy && !openBusyTab(browser, server.url(u"/busy"_s).replace(u"//127.0.0.1:"_s, u"//localhost:"_s))) {
                std::fprintf(stderr, "capture-bench: the busy tab did not open (%s)\n", qPrintable(mode));
                return 1;
            }
            busyTab = busy;
            if (!measure(u"selection"_s, false, [&] { click(40, 20, 3); })) return 1;
            if (!measure(u"article"_s, true, [&] { click(1000, 20, 1); })) return 1;
            if (busy) continue;
            // The article of a long page, in a tab of its own, closed afterwards.
            QString longTab;
            const auto longPage =
                showTab(browser, longTab, server.url(u"/long"_s), windowNamed(u"Bench page"_s, u" long"_s));
            if (!longPage) {
                std::fprintf(stderr, "capture-bench: chromium did not show the long page (%s)\n", qPrintable(mode));
                return 1;
            }
            window = *longPage;
            page = u"long"_s;
            if (!measure(u"article"_s, true, [&] { click(1000, 20, 1); })) return 1;
            const auto back = showTab(browser, longTab, {}, windowNamed(u"Bench page"_s));
            if (!back) {
                std::fprintf(stderr, "capture-bench: chromium did not show the bench page again (%s)\n",
                             qPrintable(mode));
                return 1;
            }
            window = *back;
            page = u"short"_s;
            // A tab behind with frames of another site on long addresses: 15 MB, then 38 MB of them as the
            // browser lists its targets (a tenth of that in a smoke round).
            const int fragmentLength = isSmokeRound() ? kFrameFragmentLength / 10 : kFrameFragmentLength;
            for (const int frames : {4, 10}) {
                const auto framesTab = openLoadedTabBehind(browser, server.url(u"/frames/"_s + QString::number(frames) +
                                                                               u'/' + QString::number(fragmentLength)));
                if (!framesTab) {
                    std::fprintf(stderr, "capture-bench: the tab of frames did not open (%s)\n", qPrintable(mode));
                    return 1;
                }
                caseFields = field(u"frameAddressesMB"_s, frameAddressesMB(frames, fragmentLength));
                measure(u"selection"_s, false, [&] { click(40, 20, 3); });
                measure(u"article"_s, true, [&] { click(1000, 20, 1); });
                caseFields.clear();
                closeTab(browser, *framesTab);
            }
        }
    }
    shortcut.stop();
    player.prepareForTermination();
    return 0;
}
#else
int runFrontCaptureBench() {
    std::printf(
        "{\"bench\":\"hotkey-to-first-chunk\",\"front\":\"selection\",\"skipped\":\"built without the "
        "test suite's headless Chromium\"}\n");
    return 0;
}
#endif

}  // namespace tavrine::bench
