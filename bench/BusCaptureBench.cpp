// capture-bench's bus-hotkey line, run on a private X server with openbox (capture-bench starts itself there
// with --bus-hotkeys): the capture hot key with a browser in front that only the accessibility bus shows.
#include "BusCaptureBench.h"
#include "DesktopBench.h"
#include "HotKeyBench.h"

#include "PelmoraMac/App/ApplicationCapture.h"
#include "PelmoraMac/Capture/BrowserAutomationConsent.h"
#include "PelmoraMac/Capture/CaptureModel.h"
#include "PelmoraMac/Capture/X11/GlobalCaptureShortcut.h"
#include "PelmoraMac/Capture/X11/X11Keymap.h"
#include "PelmoraMac/Library/MacReadingPlayback.h"
#include "PelmoraMac/X11/X11Connection.h"
#include "ReaderCore/MemoryDefaults.h"
#include "ReaderUI/Player/ReadingPlayer.h"

#include "BenchReport.h"

#include <QDir>
#include <QFile>
#include <QMap>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>

#include <unistd.h>

#include <cstdio>
#include <vector>

namespace tavrine::bench {
namespace {
using namespace Qt::StringLiterals;

constexpr int kRounds = 20;

// A paragraph the bench triple-clicks, tall enough for a click that the window's frame moves down (Firefox
// counts it in its outer height); the title tells how far below the top of the window the page begins and
// how many characters are selected: "Bus page OFFSET SELECTED".
QByteArray busPage() {
    return u"<!DOCTYPE html><html><head><meta charset='utf-8'><title>Bus page</title><script>"
           u"function tell() { document.title = 'Bus page ' + (outerHeight - innerHeight) + ' ' +"
           u" String(getSelection()).length; }"
           u"addEventListener('load', tell); addEventListener('resize', tell);"
           u"document.addEventListener('selectionchange', tell);</script></head>"
           u"<body style='margin:0'><p style='margin:0;padding:20px;font-size:16px;line-height:40px'>"
           u"答えは■■■です。評価は•••◦◦の印、●●県の○○さん。ホーム • 概要 • 連絡先。"
           u"The paragraph that the bench selects with a triple click.</p><p>Another paragraph.</p></body></html>"_s
               .toUtf8();
}

// A fresh Firefox profile that shows its pages on the accessibility bus and fetches nothing at its start.
void writeFirefoxProfile(const QString& folder) {
    QFile prefs(QDir(folder).filePath(u"user.js"_s));
    if (!prefs.open(QIODevice::WriteOnly)) return;
    prefs.write(
        "user_pref(\"accessibility.force_disabled\", -1);\n"
        "user_pref(\"browser.shell.checkDefaultBrowser\", false);\n"
        "user_pref(\"browser.startup.homepage_override.mstone\", \"ignore\");\n"
        "user_pref(\"browser.aboutwelcome.enabled\", false);\n"
        "user_pref(\"datareporting.policy.dataSubmissionEnabled\", false);\n"
        "user_pref(\"toolkit.telemetry.reportingpolicy.firstRun\", false);\n"
        "user_pref(\"app.update.auto\", false);\n"
        "user_pref(\"network.captive-portal-service.enabled\", false);\n"
        "user_pref(\"network.connectivity-service.enabled\", false);\n");
}

}  // namespace

int runBusCaptureBench() {
    xcb_connection_t* connection = qtX11Connection();
    if (!connection) {
        std::fprintf(stderr, "capture-bench: the bus-hotkey line needs an X11 display\n");
        return 1;
    }
    const AccessibilityBusLauncher accessibility;
    const PageServer server([](const QByteArray&) { return busPage(); });
    MemoryDefaults defaults;
    // No consent: Chromium's page is read over the bus as Firefox's is.
    BrowserAutomationConsent consent(defaults, {});
    MacReadingPlayback playback(std::nullopt, defaults, SystemClock::shared(),
                                MacReadingPlayback::readingFontPhraseWidth());
    ReadingPlayer& player = playback.player();
    CaptureModel model(&player, applicationCaptureFunctions(consent, [] {}));
    QObject::connect(&model, &CaptureModel::importedTextChanged, &player,
                     [&] { player.apply(*model.importedText(), true); });
    GlobalCaptureShortcut shortcut(GlobalCaptureShortcut::Command::frontmost, defaults);
    shortcut.start([&] { model.captureFrontmost([] {}); });
    if (!shortcut.isRegistered()) {
        std::fprintf(stderr, "capture-bench: %s\n", qPrintable(shortcut.errorMessage().value_or(QString())));
        return 1;
    }
    const X11Keymap keymap(connection);

    for (const QString& name : {u"firefox-esr"_s, u"chromium"_s}) {
        const QString executable = QStandardPaths::findExecutable(name);
        const QString fields = field(u"front"_s, jsonString(u"selection"_s)) +
                               field(u"browser"_s, jsonString(name == u"chromium"_s ? u"chromium-bus"_s : name));
        if (executable.isEmpty()) {
            std::printf("{\"bench\":\"hotkey-to-first-chunk\"%s,\"skipped\":\"%s is missing\"}\n", qPrintable(fields),
                        qPrintable(name));
            continue;
        }
        QTemporaryDir profile;
        QProcess browser;
        QStringList arguments;
        if (name == u"firefox-esr"_s) {
            writeFirefoxProfile(profile.path());
            arguments = {u"--no-remote"_s, u"--new-instance"_s, u"--profile"_s, profile.path()};
        } else {
            arguments = {u"--no-first-run"_s,
                         u"--no-default-browser-check"_s,
                         u"--disable-gpu"_s,
                         u"--disable-background-networking"_s,
                         u"--disable-component-update"_s,
                         u"--disable-sync"_s,
                         u"--disable-crash-reporter"_s,
                         u"--force-renderer-accessibility"_s,
                         u"--user-data-dir="_s + profile.path()};
            if (::getuid() == 0) arguments.append(u"--no-sandbox"_s);
        }
        arguments.append(server.url(u"/bus"_s));
        browser.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        browser.setStandardOutputFile(QProcess::nullDevice());
        browser.start(executable, arguments);
        const auto window = activateWindowNamed(u"^Bus page [0-9]+"_s);
        if (!window) {
            std::fprintf(stderr, "capture-bench: %s did not show the page\n", qPrintable(name));
            return 1;
        }
        // The key's release to the first chunk of a reading the player took, or none.
        const auto captureOnce = [&]() -> std::optional<double> {
            const auto previous = player.reading() ? std::optional(player.reading()->id) : std::nullopt;
            const auto released = pressHotKeyChord(connection, keymap, 'r');
            const bool read = waitFor([&] {
                return !model.isCapturing() && player.reading() && player.reading()->id != previous &&
                       player.session().currentChunk();
            });
            const double ms = millisecondsSince(released);
            player.pause(false);
            if (!read || model.loadedBody()) return std::nullopt;
            return ms;
        };
        // The paragraph triple-clicked, until a first capture (not counted) reads it.
        bool ready = false;
        for (int attempt = 0; attempt < 3 && !ready; ++attempt) {
            const auto title = xdotool({u"getwindowname"_s, *window});
            const int offset = title ? title->split(' ').value(2).toInt() : 0;
            xdotool({u"mousemove"_s, u"--window"_s, *window, u"40"_s, QString::number(offset + 30), u"click"_s,
                     u"--repeat"_s, u"3"_s, u"--delay"_s, u"80"_s, u"1"_s});
            waitFor(
                [&] {
                    const auto selected = xdotool({u"getwindowname"_s, *window});
                    return selected && selected->split(' ').value(3).toInt() > 0;
                },
                std::chrono::seconds(3));
            ready = captureOnce().has_value();
        }
        // Every round is pressed: one without a reading is counted, with its notice, and the others timed.
        std::vector<double> times;
        QMap<QString, int> failures;
        int failedRounds = 0;
        for (int round = 0; ready && round < roundsOf(kRounds); ++round) {
            const auto ms = captureOnce();
            if (ms) {
                times.push_back(*ms);
            } else {
                ++failures[model.statusMessage()];
                ++failedRounds;
            }
        }
        QString failed;
        for (auto it = failures.cbegin(); it != failures.cend(); ++it) {
            failed += (failed.isEmpty() ? u""_s : u","_s) + jsonString(it.key()) + u":"_s + QString::number(it.value());
        }
        if (ready && times.empty()) ready = false;
        if (!ready) {
            std::fprintf(stderr, "capture-bench: no selection after the hot key (%s): %s\n", qPrintable(name),
                         qPrintable(model.statusMessage()));
            std::printf("{\"bench\":\"hotkey-to-first-chunk\"%s%s}\n", qPrintable(fields),
                        qPrintable(field(u"failed"_s, jsonString(model.statusMessage()))));
        } else {
            std::printf("{\"bench\":\"hotkey-to-first-chunk\"%s%s%s%s%s}\n", qPrintable(fields),
                        qPrintable(field(u"rounds"_s, QString::number(int(times.size()) + failedRounds))),
                        qPrintable(field(u"p50Ms"_s, milliseconds(percentile(times, 0.5)))),
                        qPrintable(field(u"p95Ms"_s, milliseconds(percentile(times, 0.95)))),
                        qPrintable(failures.isEmpty() ? QString() : u",\"failedRounds\":{"_s + failed + u"}"_s));
        }
        std::fflush(stdout);
        browser.terminate();
        if (!browser.waitForFinished(10'000)) browser.kill();
        browser.waitForFinished(10'000);
    }
    shortcut.stop();
    player.prepareForTermination();
    return 0;
}

}  // namespace tavrine::bench
