// capture-bench's hot-key line, run on a private X server (capture-bench starts itself there with
// --hotkeys): the clipboard hot key pressed through XTest, the real worker converting the clipboard and
// the real player taking the reading; the time from the key's release to the player's first chunk.
#include "HotKeyBench.h"
#include "DesktopBench.h"

#include "PelmoraMac/Capture/CaptureModel.h"
#include "PelmoraMac/Capture/ClipboardSnapshot.h"
#include "PelmoraMac/Capture/X11/GlobalCaptureShortcut.h"
#include "PelmoraMac/Capture/X11/X11ClipboardPasteboard.h"
#include "PelmoraMac/Capture/X11/X11Keymap.h"
#include "PelmoraMac/Library/MacReadingPlayback.h"
#include "PelmoraMac/X11/X11Connection.h"
#include "ReaderCore/MemoryDefaults.h"

#include "BenchReport.h"
#include "BenchTexts.h"

#include <QApplication>
#include <QClipboard>
#include <QElapsedTimer>
#include <QMimeData>
#include <QProcess>
#include <QSocketNotifier>
#include <QThread>
#include <QTimer>
#include <QtConcurrent/QtConcurrentRun>

#include <xcb/xcb.h>
#include <xcb/xtest.h>

#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <vector>

namespace tavrine::bench {
namespace {
using namespace Qt::StringLiterals;

constexpr int kRounds = 10;

void sendKey(xcb_connection_t* connection, std::uint8_t type, std::uint8_t keycode) {
    xcb_test_fake_input(connection, type, keycode, XCB_CURRENT_TIME, XCB_NONE, 0, 0, 0);
}

// HTML of exactly `bytes` bytes as a page copies it: short runs of Japanese in styled spans, one
// paragraph each, after a style block that fills the rest. Its text stays below 20,000 UTF-16 units.
QByteArray styledHTML(const QString& japanese, qsizetype bytes) {
    const QByteArray open = "<p class=body><span style=\"font-family:'Noto Sans CJK JP',sans-serif;color:#333;\">";
    const QByteArray close = "</span></p>\n";
    QByteArray body;
    qsizetype offset = 0;
    while (body.size() + open.size() + close.size() + 64 < bytes - 200) {
        body += open + japanese.mid(offset % (japanese.size() - 10), 10).toHtmlEscaped().toUtf8() + close;
        offset += 10;
    }
    const QByteArray head = "<html><head><meta charset=utf-8><style>";
    const QByteArray tail = "</style></head><body>" + body + "</body></html>";
    const qsizetype fill = bytes - head.size() - tail.size();
    return head + QByteArray(fill > 0 ? fill : 0, ' ') + tail;
}

// Reads the clipboard as the application did before: QClipboard's data of each type, on this (the main)
// thread, which waits for the owner meanwhile.
void readThroughQClipboard() {
    const QMimeData* mime = QGuiApplication::clipboard()->mimeData(QClipboard::Clipboard);
    if (!mime || mime->formats().isEmpty()) return;
    for (const QString& format : {u"text/html"_s, u"text/rtf"_s, u"application/rtf"_s}) {
        if (mime->hasFormat(format)) (void)mime->data(format);
    }
    if (mime->hasText()) (void)mime->text();
}

struct ReadTiming {
    double ms = 0;
    // The longest time the main thread's event loop did not turn.
    double mainThreadBlockedMs = 0;
    std::optional<CaptureFailure> failure{};
};

ReadTiming timeQClipboardRead() {
    QElapsedTimer clock;
    clock.start();
    readThroughQClipboard();
    const double ms = double(clock.nsecsElapsed()) / 1e6;
    return {.ms = ms, .mainThreadBlockedMs = ms};
}

// The snapshot read on a pool thread while the main thread's event loop turns, with a timer of 1 ms.
ReadTiming timeOwnConnectionRead() {
    QElapsedTimer clock;
    clock.start();
    auto reading = QtConcurrent::run([] {
        X11ClipboardPasteboard pasteboard;
        return readClipboardSnapshot(pasteboard, ClipboardImportMode::automatic,
                                     captureDeadlineFrom(SystemClock::shared().monotonicNow()));
    });
    QElapsedTimer sinceTurn;
    sinceTurn.start();
    qint64 longest = 0;
    while (!reading.isFinished()) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 1);
        longest = std::max(longest, sinceTurn.nsecsElapsed());
        sinceTurn.restart();
        QThread::usleep(200);
    }
    const auto snapshot = reading.result();
    return {.ms = double(clock.nsecsElapsed()) / 1e6,
            .mainThreadBlockedMs = double(longest) / 1e6,
            .failure = snapshot ? std::nullopt : std::optional(snapshot.error())};
}

// One line per path; the new path tells how its reading ended (a snapshot or its failure).
void printRead(const QString& owner, const QString& path, const std::vector<ReadTiming>& timings, bool withOutcome) {
    std::vector<double> times;
    std::vector<double> blocked;
    for (const ReadTiming& timing : timings) {
        times.push_back(timing.ms);
        blocked.push_back(timing.mainThreadBlockedMs);
    }
    const std::optional<CaptureFailure> failure = timings.empty() ? std::nullopt : timings.back().failure;
    const QString outcome =
        withOutcome ? field(u"outcome"_s, jsonString(failure ? rawValue(*failure) : u"snapshot"_s)) : QString();
    std::printf("{\"bench\":\"clipboard-read\"%s%s%s%s%s}\n", qPrintable(field(u"owner"_s, jsonString(owner))),
                qPrintable(field(u"path"_s, jsonString(path))),
                qPrintable(field(u"p50Ms"_s, milliseconds(percentile(times, 0.5)))),
                qPrintable(field(u"mainThreadBlockedMs"_s, milliseconds(percentile(blocked, 0.5)))),
                qPrintable(outcome));
    std::fflush(stdout);
}

}  // namespace

int runClipboardOwner(const QStringList& arguments) {
    const QString kind = arguments.value(0);
    if (kind == u"mute"_s) {
        // Owns the clipboard through a connection of its own, whose requests nobody reads.
        xcb_connection_t* connection = xcb_connect(nullptr, nullptr);
        if (xcb_connection_has_error(connection)) return 1;
        const xcb_screen_t* screen = xcb_setup_roots_iterator(xcb_get_setup(connection)).data;
        const xcb_window_t window = xcb_generate_id(connection);
        xcb_create_window(connection, XCB_COPY_FROM_PARENT, window, screen->root, 0, 0, 1, 1, 0,
                          XCB_WINDOW_CLASS_INPUT_ONLY, XCB_COPY_FROM_PARENT, 0, nullptr);
        const auto atom = xcb_intern_atom_reply(connection, xcb_intern_atom(connection, 0, 9, "CLIPBOARD"), nullptr);
        if (!atom) return 1;
        xcb_set_selection_owner(connection, window, atom->atom, XCB_CURRENT_TIME);
        std::free(atom);
        std::free(xcb_get_input_focus_reply(connection, xcb_get_input_focus(connection), nullptr));
        std::printf("ready\n");
        std::fflush(stdout);
        char byte = 0;
        while (::read(STDIN_FILENO, &byte, 1) > 0) {
        }
        xcb_disconnect(connection);
        return 0;
    }
    const QString japanese = kusamakuraText();
    auto* mime = new QMimeData();
    if (kind == u"html"_s) {
        mime->setData(u"text/html"_s, styledHTML(japanese, 200'000));
        mime->setText(japanese.left(100));
    } else {
        mime->setText(repeatedTo(japanese, 5'000));
    }
    QGuiApplication::clipboard()->setMimeData(mime);
    QCoreApplication::processEvents();
    std::printf("ready\n");
    std::fflush(stdout);
    QSocketNotifier input(STDIN_FILENO, QSocketNotifier::Read);
    QObject::connect(&input, &QSocketNotifier::activated, [&] {
        char byte = 0;
        if (::read(STDIN_FILENO, &byte, 1) <= 0) QCoreApplication::quit();
    });
    return QCoreApplication::exec();
}

void runClipboardReadBench(const QString& executable) {
    for (const QString& kind : {u"text"_s, u"html"_s, u"mute"_s}) {
        QProcess owner;
        owner.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        owner.start(executable, {u"--clipboard-owner"_s, kind});
        if (!owner.waitForReadyRead(int(std::chrono::milliseconds(kStepLimit).count())) ||
            owner.readLine() != "ready\n") {
            std::fprintf(stderr, "capture-bench: the clipboard owner did not start (%s)\n", qPrintable(kind));
            markFailed();
            return;
        }
        const int rounds = kind == u"mute"_s ? 1 : roundsOf(kRounds);
        std::vector<ReadTiming> old;
        std::vector<ReadTiming> own;
        for (int round = 0; round < rounds; ++round) {
            old.push_back(timeQClipboardRead());
            own.push_back(timeOwnConnectionRead());
        }
        printRead(kind, u"qclipboard-main-thread"_s, old, false);
        printRead(kind, u"own-connection-pool-thread"_s, own, true);
        owner.closeWriteChannel();
        if (!owner.waitForFinished(5'000)) owner.kill();
        owner.waitForFinished(5'000);
    }
}

int runHotKeyBench(const QString& workerExecutable) {
    xcb_connection_t* connection = qtX11Connection();
    if (!connection) {
        std::fprintf(stderr, "capture-bench: the hot-key line needs an X11 display\n");
        return 1;
    }
    MemoryDefaults defaults;
    MacReadingPlayback playback(std::nullopt, defaults, SystemClock::shared(),
                                MacReadingPlayback::readingFontPhraseWidth());
    ReadingPlayer& player = playback.player();
    CaptureModel model(&player,
                       CaptureModel::Functions{
                           .clipboardWorker =
                               [workerExecutable](const CaptureWorkerRequest& request, CaptureDeadline deadline,
                                                  const CancellationToken& cancellation) {
                                   return runCaptureWorker(request, deadline, cancellation,
                                                           {.executable = workerExecutable, .childStarted = {}});
                               },
                       });
    QObject::connect(&model, &CaptureModel::importedTextChanged, &player,
                     [&] { player.apply(*model.importedText(), true); });
    // How many imports have ended, with a reading or a failure.
    int importsEnded = 0;
    QObject::connect(&model, &CaptureModel::isCapturingChanged, [&] {
        if (!model.isCapturing()) ++importsEnded;
    });
    GlobalCaptureShortcut shortcut(GlobalCaptureShortcut::Command::clipboard, defaults);
    shortcut.start([&] {
        model.importClipboard(std::make_shared<X11ClipboardPasteboard>(), true, ClipboardImportMode::automatic, {});
    });
    if (!shortcut.isRegistered()) {
        std::fprintf(stderr, "capture-bench: %s\n", qPrintable(shortcut.errorMessage().value_or(QString())));
        return 1;
    }
    const X11Keymap keymap(connection);
    const QString japanese = kusamakuraText();

    const auto measure = [&](const QString& kind, QMimeData* data, const QString& sizeField, qsizetype size) {
        QGuiApplication::clipboard()->setMimeData(data);
        QCoreApplication::processEvents();
        std::vector<double> times;
        for (int round = 0; round < roundsOf(kRounds); ++round) {
            const auto previous = player.reading() ? std::optional(player.reading()->id) : std::nullopt;
            const int ended = importsEnded;
            const auto released = pressHotKeyChord(connection, keymap, 'v');
            const auto shownChunk = [&] {
                return player.reading() && player.reading()->id != previous && player.session().currentChunk();
            };
            // Until the import has ended, however long a loaded machine takes (the limit is for a key that
            // never arrives).
            const bool shown =
                waitFor(
                    [&] { return importsEnded > ended && !model.isCapturing() && (model.failure() || shownChunk()); },
                    kStepLimit) &&
                !model.failure();
            if (!shown && model.failure() == CaptureFailure::timedOut && passesTimeLimit("a clipboard hot key")) {
                std::printf("{\"bench\":\"hotkey-to-first-chunk\"%s%s}\n",
                            qPrintable(field(u"clipboard"_s, jsonString(kind))),
                            qPrintable(field(u"failed"_s, jsonString(model.statusMessage()))));
                std::fflush(stdout);
                return;
            }
            if (!shown && passesSpentBudget("a clipboard hot key")) return;
            if (!shown) {
                std::fprintf(stderr, "capture-bench: no chunk after the hot key (%s)\n",
                             model.failure() ? qPrintable(model.statusMessage()) : "no failure");
                markFailed();
                return;
            }
            times.push_back(millisecondsSince(released));
            player.pause(false);
        }
        std::printf("{\"bench\":\"hotkey-to-first-chunk\"%s%s%s%s}\n",
                    qPrintable(field(u"clipboard"_s, jsonString(kind))),
                    qPrintable(field(sizeField, QString::number(size))),
                    qPrintable(field(u"p50Ms"_s, milliseconds(percentile(times, 0.5)))),
                    qPrintable(field(u"p95Ms"_s, milliseconds(percentile(times, 0.95)))));
        std::fflush(stdout);
    };

    auto* text = new QMimeData();
    const QString plain = repeatedTo(japanese, 5'000);
    text->setText(plain);
    measure(u"text"_s, text, u"utf16"_s, plain.size());
    auto* html = new QMimeData();
    const QByteArray page = styledHTML(japanese, 200'000);
    html->setData(u"text/html"_s, page);
    html->setText(japanese.left(100));
    measure(u"html"_s, html, u"bytes"_s, page.size());
    shortcut.stop();
    player.prepareForTermination();
    return 0;
}

std::chrono::steady_clock::time_point pressHotKeyChord(xcb_connection_t* connection, const X11Keymap& keymap,
                                                       std::uint32_t letter) {
    const std::uint8_t keys[] = {*keymap.keycodeOf(0xffe3), *keymap.keycodeOf(0xffeb), *keymap.keycodeOf(0xffe9),
                                 *keymap.keycodeOf(letter)};
    for (const std::uint8_t key : keys) sendKey(connection, XCB_KEY_PRESS, key);
    xcb_flush(connection);
    sendKey(connection, XCB_KEY_RELEASE, keys[3]);
    xcb_flush(connection);
    const auto released = std::chrono::steady_clock::now();
    for (int i = 2; i >= 0; --i) sendKey(connection, XCB_KEY_RELEASE, keys[i]);
    xcb_flush(connection);
    return released;
}

}  // namespace tavrine::bench
