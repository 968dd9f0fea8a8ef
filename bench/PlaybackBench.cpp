// playback-bench [--chunks N] [FILE]: the reading player on the real clock, with the phrase width of the
// reading font, no store, and a shown phrase display repainted synchronously on every session change. The
// text is FILE, or the text of the shared sample book, repeated to 500,000 UTF-16 units. One JSON line
// per case:
//   {"firstChunk":true,"utf16":…,"offset":O,"ms":…}   load() to the first chunk painted, median of 5
//       new players, for O = 0, half the text and its last unit;
//   {"rate":R,"baseSeconds":B,"chunks":N,"windows":…,"meanLatenessMs":…,"p50LatenessMs":…,
//    "p99LatenessMs":…,"maxLatenessMs":…,"cpuPercent":…}   N chunks played at R chunks a minute (B seconds
//       per short chunk); the lateness of a chunk is its paint time less the previous chunk's paint time
//       and display time; windows counts the chunk windows fetched on the way; CPU time of the process
//       per wall second;
//   {"paused":true,"seconds":10,"cpuPercent":…}   a paused player left alone;
//   {"open":true,"utf16":…,"offset":O,"ms":…}   the text kept in a real store in a temporary folder at
//       O = half the text: openSavedReading to its true result with a current chunk, median of 5 new
//       players over that store.
// Runs on the offscreen platform unless DISPLAY is set (or QT_QPA_PLATFORM names another).
// playback-bench --smoke [FILE]: each case once, 10 chunks played at each rate, paused for 1 s.
#include "BenchReport.h"
#include "BenchTexts.h"

#include "ReaderCore/MemoryDefaults.h"
#include "ReaderCore/TimingPolicy.h"
#include "ReaderStorage/ReadingStore.h"
#include "ReaderText/BudouXParser.h"
#include "ReaderUI/Player/ReaderTextSizeSettings.h"
#include "ReaderUI/Player/ReadingPlayer.h"
#include "ReaderUI/Player/ReadingStorePlaybackStore.h"
#include "ReaderWidgets/Display/PhraseWidthMeasurer.h"
#include "ReaderWidgets/Display/ReaderRSVPDisplay.h"

#include <QApplication>
#include <QEventLoop>
#include <QFile>
#include <QTemporaryDir>
#include <QTimer>

#include <sys/resource.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <numeric>
#include <optional>
#include <vector>

namespace {
using namespace tavrine;
using namespace Qt::StringLiterals;
using bench::millisecondsSince;
using bench::percentile;
using Clock = std::chrono::steady_clock;

constexpr qsizetype kTextLength = 500'000;
constexpr int kFirstChunkRuns = 5;
std::chrono::seconds g_pausedSpan{10};
constexpr std::chrono::minutes kGiveUp{15};

// Seconds of processor time (user and system) the process has used.
double processorSeconds() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    const auto seconds = [](const timeval& value) { return double(value.tv_sec) + double(value.tv_usec) / 1e6; };
    return seconds(usage.ru_utime) + seconds(usage.ru_stime);
}

// A player as the application makes one, over store or without one, its display shown and repainted on
// every session change.
class Stage {
public:
    explicit Stage(std::shared_ptr<PlaybackStore> store = nullptr)
        : player(std::move(store), false, false, std::chrono::seconds(5), defaults, SystemClock::shared(),
                 {[](QStringView phrase) { return PhraseWidthMeasurer::width(phrase); },
                  PhraseWidthMeasurer::referenceWidth()}) {
        display.resize(720, 200);
        display.show();
        QObject::connect(&player, &ReadingPlayer::sessionChanged, &display, [this] { repaint(); });
    }

    // Called after each repaint that showed a new chunk, with the chunk.
    std::function<void(const ReadingChunk&)> onNewChunk;

    MemoryDefaults defaults;
    ReadingPlayer player;
    ReaderRSVPDisplay display;

private:
    void repaint() {
        const std::optional<ReadingChunk> chunk = player.session().currentChunk();
        display.apply(chunk ? chunk->text : QString(), player.textSizes().rsvpPointSize());
        display.repaint();
        if (!chunk || chunk->sourceRange == m_shown) return;
        m_shown = chunk->sourceRange;
        if (onNewChunk) onNewChunk(*chunk);
    }

    std::optional<TextRange> m_shown;
};

// Runs the event loop until quit() is called on it, or gives up after kGiveUp.
bool runLoop(QEventLoop& loop) {
    bool gaveUp = false;
    QTimer::singleShot(kGiveUp, &loop, [&] {
        gaveUp = true;
        loop.quit();
    });
    loop.exec();
    return !gaveUp;
}

template <typename T>
QCoro::Task<void> collectInto(QCoro::Task<T> task, std::optional<T>* result, QEventLoop* loop) {
    *result = co_await task;
    loop->quit();
}

// Runs the event loop until task has finished and gives its value; nothing when it gave up waiting.
template <typename T>
std::optional<T> awaitTask(QCoro::Task<T> task) {
    std::optional<T> result;
    QEventLoop loop;
    auto collecting = collectInto(std::move(task), &result, &loop);
    if (!result && !runLoop(loop)) return std::nullopt;
    return result;
}

SavedReading readingOf(const QString& text) {
    return SavedReading::create({std::nullopt, text, {}}, u"bench"_s, std::nullopt, std::nullopt, Date{});
}

bool measureFirstChunk(const SavedReading& reading, qsizetype offset) {
    std::vector<double> times;
    for (int run = 0; run < bench::roundsOf(kFirstChunkRuns); ++run) {
        Stage stage;
        QEventLoop loop;
        std::optional<double> shownAfter;
        const auto start = Clock::now();
        stage.onNewChunk = [&](const ReadingChunk&) {
            if (shownAfter) return;
            shownAfter = millisecondsSince(start);
            loop.quit();
        };
        stage.player.load(reading, offset);
        if (!shownAfter && !runLoop(loop)) return false;
        times.push_back(*shownAfter);
    }
    std::printf("{\"firstChunk\":true,\"utf16\":%lld,\"offset\":%lld,\"ms\":%.3f}\n",
                static_cast<long long>(reading.document.text.size()), static_cast<long long>(offset),
                percentile(times, 0.5));
    std::fflush(stdout);
    return true;
}

bool measurePlayback(const SavedReading& reading, double baseSeconds, int chunkCount) {
    Stage stage;
    stage.player.setBaseSeconds(baseSeconds);
    const TimingPolicy timing{TimingPolicy::clampedInterval(baseSeconds)};

    // The first window arrives before the clock starts.
    QEventLoop ready;
    stage.onNewChunk = [&](const ReadingChunk&) { ready.quit(); };
    stage.player.load(reading, 0);
    if (!stage.player.session().currentChunk() && !runLoop(ready)) return false;

    QEventLoop playing;
    std::vector<double> lateness;
    lateness.reserve(std::size_t(chunkCount));
    std::optional<Clock::time_point> due;
    int shown = 0;
    int windows = 0;
    qsizetype windowStart = stage.player.session().chunks.first().sourceRange.lowerBound;
    stage.onNewChunk = [&](const ReadingChunk& chunk) {
        const auto paintedAt = Clock::now();
        if (due) lateness.push_back(std::chrono::duration<double, std::milli>(paintedAt - *due).count());
        due = paintedAt +
              std::chrono::duration_cast<Clock::duration>(std::chrono::duration<double>(timing.duration(chunk)));
        const qsizetype firstOfList = stage.player.session().chunks.first().sourceRange.lowerBound;
        if (firstOfList != windowStart) {
            windowStart = firstOfList;
            ++windows;
        }
        if (++shown >= chunkCount) playing.quit();
    };

    const double processorBefore = processorSeconds();
    const auto wallBefore = Clock::now();
    // The chunk on display is the first one shown: it gets no lateness of its own.
    stage.onNewChunk(*stage.player.session().currentChunk());
    stage.player.startPlayback(true);
    const bool finished = runLoop(playing);
    const double wallSeconds = millisecondsSince(wallBefore) / 1000.0;
    const double cpuPercent = (processorSeconds() - processorBefore) / wallSeconds * 100.0;
    stage.player.pause();
    if (!finished) return false;

    const double mean = std::accumulate(lateness.begin(), lateness.end(), 0.0) / double(lateness.size());
    std::printf(
        "{\"rate\":%.0f,\"baseSeconds\":%g,\"chunks\":%d,\"windows\":%d,\"meanLatenessMs\":%.3f,\"p50LatenessMs\":%.3f,"
        "\"p99LatenessMs\":%.3f,\"maxLatenessMs\":%.3f,\"cpuPercent\":%.2f}\n",
        60.0 / baseSeconds, baseSeconds, chunkCount, windows, mean, percentile(lateness, 0.5),
        percentile(lateness, 0.99), percentile(lateness, 1.0), cpuPercent);
    std::fflush(stdout);
    return true;
}

bool measurePaused(const SavedReading& reading) {
    Stage stage;
    QEventLoop ready;
    stage.onNewChunk = [&](const ReadingChunk&) { ready.quit(); };
    stage.player.load(reading, 0);
    if (!stage.player.session().currentChunk() && !runLoop(ready)) return false;
    stage.player.startPlayback(true);
    QEventLoop played;
    QTimer::singleShot(std::chrono::seconds(1), &played, &QEventLoop::quit);
    played.exec();
    stage.player.pause();

    QEventLoop idle;
    const double processorBefore = processorSeconds();
    const auto wallBefore = Clock::now();
    QTimer::singleShot(g_pausedSpan, &idle, &QEventLoop::quit);
    idle.exec();
    const double wallSeconds = millisecondsSince(wallBefore) / 1000.0;
    const double cpuPercent = (processorSeconds() - processorBefore) / wallSeconds * 100.0;
    std::printf("{\"paused\":true,\"seconds\":%lld,\"cpuPercent\":%.3f}\n",
                static_cast<long long>(g_pausedSpan.count()), cpuPercent);
    std::fflush(stdout);
    return true;
}

bool measureOpen(const SavedReading& reading, qsizetype offset) {
    QTemporaryDir folder;
    auto opened = ReadingStore::open(folder.filePath(u"reading-store.json"_s));
    if (!folder.isValid() || !opened) {
        std::fprintf(stderr, "playback-bench: cannot open a store in a temporary folder\n");
        return false;
    }
    const std::shared_ptr<ReadingStore> store = std::move(*opened);
    const auto added = awaitTask(store->addToLibrary(reading, ReadingProgress{offset, false}));
    if (!added || !*added) {
        std::fprintf(stderr, "playback-bench: the store did not take the reading\n");
        return false;
    }

    std::vector<double> times;
    for (int run = 0; run < bench::roundsOf(kFirstChunkRuns); ++run) {
        Stage stage(std::make_shared<ReadingStorePlaybackStore>(store));
        const auto start = Clock::now();
        const std::optional<bool> result = awaitTask(stage.player.openSavedReading(reading.id));
        const double elapsed = millisecondsSince(start);
        if (!result || !*result || !stage.player.session().currentChunk()) {
            std::fprintf(stderr, "playback-bench: the stored reading did not open\n");
            return false;
        }
        times.push_back(elapsed);
    }
    std::printf("{\"open\":true,\"utf16\":%lld,\"offset\":%lld,\"ms\":%.3f}\n",
                static_cast<long long>(reading.document.text.size()), static_cast<long long>(offset),
                percentile(times, 0.5));
    std::fflush(stdout);
    return true;
}

int usage() {
    std::fprintf(stderr, "usage: playback-bench [--smoke] [--chunks N] [FILE]\n");
    return 2;
}

}  // namespace

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("DISPLAY") && qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) {
        qputenv("QT_QPA_PLATFORM", "offscreen");
    }
    bench::takeSmokeFlag(argc, argv);
    QApplication application(argc, argv);

    int chunkCount = bench::isSmokeRound() ? 10 : 1'000;
    if (bench::isSmokeRound()) g_pausedSpan = std::chrono::seconds(1);
    QString file;
    const QStringList arguments = QCoreApplication::arguments().mid(1);
    for (qsizetype i = 0; i < arguments.size(); ++i) {
        if (arguments[i] == u"--chunks"_s && i + 1 < arguments.size()) {
            bool ok = false;
            chunkCount = arguments[++i].toInt(&ok);
            if (!ok || chunkCount < 1) return usage();
        } else if (file.isEmpty() && !arguments[i].startsWith(u"--"_s)) {
            file = arguments[i];
        } else {
            return usage();
        }
    }

    QString text;
    if (file.isEmpty()) {
        text = bench::kusamakuraText();
        if (text.isEmpty()) {
            std::fprintf(stderr, "playback-bench: the shared sample book is not beside the project; give a FILE\n");
            return 1;
        }
    } else {
        QFile input(file);
        if (!input.open(QIODevice::ReadOnly)) {
            std::fprintf(stderr, "playback-bench: cannot read %s\n", qPrintable(file));
            return 1;
        }
        text = QString::fromUtf8(input.readAll());
        if (text.isEmpty()) {
            std::fprintf(stderr, "playback-bench: %s holds no text\n", qPrintable(file));
            return 1;
        }
    }
    const SavedReading reading = readingOf(bench::repeatedTo(text, kTextLength));

    // The phrase model and the reading font load once per process, before any timing.
    (void)BudouXParser::shared();
    (void)PhraseWidthMeasurer::referenceWidth();

    bool measured = true;
    for (qsizetype offset : {qsizetype(0), kTextLength / 2, kTextLength - 1}) {
        measured = measureFirstChunk(reading, offset) && measured;
    }
    for (double baseSeconds : {0.1, 0.04}) measured = measurePlayback(reading, baseSeconds, chunkCount) && measured;
    measured = measurePaused(reading) && measured;
    measured = measureOpen(reading, kTextLength / 2) && measured;
    if (!measured)
        std::fprintf(stderr, "playback-bench: a case did not finish within %lld minutes\n",
                     static_cast<long long>(kGiveUp.count()));
    return measured ? 0 : 1;
}
