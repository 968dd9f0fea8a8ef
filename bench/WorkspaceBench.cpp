// workspace-bench [FILE.epub...]: the reader workspace with its table-of-contents pane, shown on the
// offscreen platform at 1100 × 720, over a player without a store on the real clock. Without FILE: a
// synthetic book at the importer's limits (500,000 Japanese units in 4,000 sections, 10,000 entries down
// to depth 8, a tenth of them leading nowhere) and the shared sample book (repacked as the importer's
// tests do). One JSON line per book:
//   {"book":…,"entries":…,"sections":…,"utf16":…,
//    "contentsMs":…       the pane's contents made from the reading, best of 5;
//    "paneOpenMs":…       the flag set to the pane's list first painted, median of 5 openings;
//    "selectMs":…         a click on a row to the player moved there and every view refreshed and
//                         painted, median of 50;
//    "chapterShownMs":…   a forward-chapter request to the next chapter's first phrase painted, window
//                         preparation included, median of 10;
//    "tickMs":…,"tickP99Ms":…   playing at 7.5× with the pane open: from a chunk's change to the event
//                         loop idle again (update pass, every refresh and paint), median and 99th
//                         percentile of 200 chunks}
// workspace-bench --smoke [FILE.epub...]: each case once, over a synthetic book of 20,000 units, 40 sections
// and 100 entries instead of the two books.
#include "BenchReport.h"

#include "ReaderCore/Clock.h"
#include "ReaderCore/MemoryDefaults.h"
#include "ReaderEPUB/EPUBReader.h"
#include "ReaderUI/Player/ReadingPlayer.h"
#include "ReaderUI/Workspace/ReaderEPUBContents.h"
#include "ReaderUI/Workspace/ReaderEPUBPaneModel.h"
#include "ReaderUI/Workspace/ReaderEPUBPresentation.h"
#include "ReaderUI/Workspace/ReaderWorkspaceController.h"
#include "ReaderWidgets/Display/PhraseWidthMeasurer.h"
#include "ReaderWidgets/Workspace/ReaderEPUBPane.h"
#include "ReaderWidgets/Workspace/ReaderWorkspaceWidget.h"

#include "support/CheckoutPaths.h"
#include "support/EPUBRealBookSupport.h"

#include <QApplication>
#include <QFileInfo>
#include <QListView>
#include <QMouseEvent>
#include <QStyleFactory>
#include <QTimer>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <vector>

namespace {
using namespace tavrine;
using namespace Qt::StringLiterals;
using bench::field;
using bench::milliseconds;
using bench::millisecondsSince;
using bench::percentile;
using SteadyClock = std::chrono::steady_clock;
using Section = ReadingDocument::Section;

// The synthetic book's size.
struct BookSize {
    qsizetype units;
    qsizetype sections;
    qsizetype entries;
};
constexpr BookSize kLimits{.units = 500'000, .sections = 4'000, .entries = 10'000};
constexpr BookSize kSmokeBook{.units = 20'000, .sections = 40, .entries = 100};
constexpr qsizetype kLevels = 8;
constexpr int kOpenings = 5;
constexpr int kClicks = 50;
constexpr int kChapterMoves = 10;
constexpr int kTicks = 200;
constexpr auto kGiveUp = std::chrono::seconds(30);

[[noreturn]] void fail(const char* what) {
    std::fprintf(stderr, "workspace-bench: %s\n", what);
    std::exit(1);
}

// A figure from a sample that holds nothing would be a made-up number: the run fails instead.
std::vector<double> sample(std::vector<double> values, const char* what) {
    if (values.empty()) fail(what);
    return values;
}

double median(std::vector<double> values, const char* what) {
    return percentile(sample(std::move(values), what), 0.5);
}

// Counts every event the application delivers, so that the bench can tell when the event loop has
// nothing left to do: a pass over the ready work that delivers no event.
class EventCounter final : public QObject {
public:
    quint64 count = 0;

protected:
    bool eventFilter(QObject*, QEvent*) override {
        ++count;
        return false;
    }
};

EventCounter* g_events = nullptr;

// Runs what is ready now (posted events, the update pass, refreshes, paints) until a pass finds nothing.
void settle() {
    while (true) {
        const quint64 before = g_events->count;
        QCoreApplication::processEvents();
        if (g_events->count == before) return;
    }
}

// Waits in the event loop, blocking between events as the application does, until condition holds, then
// settles. A heartbeat timer wakes the loop so that a condition that never comes fails the run.
void runUntil(const std::function<bool()>& condition, const char* what) {
    QTimer heartbeat;
    heartbeat.start(100);
    const auto start = SteadyClock::now();
    while (!condition()) {
        if (SteadyClock::now() - start > kGiveUp) fail(what);
        QCoreApplication::processEvents(QEventLoop::AllEvents | QEventLoop::WaitForMoreEvents);
    }
    settle();
}

QString prose(qsizetype length) {
    static const QString kSentence =
        u"山路を登りながら、こう考えた。智に働けば角が立つ。情に棹させば流される。意地を通せば窮屈だ。とかくに人の世は住みにくい。"_s;
    QString text;
    text.reserve(length + kSentence.size());
    while (text.size() < length) text += kSentence;
    text.truncate(length);
    return text;
}

// The synthetic book: sections of equal length; entries in document order, their depth cycling through the
// eight levels, every tenth one unavailable.
SavedReading syntheticBook(const BookSize& size) {
    QList<Section> sections;
    const qsizetype length = size.units / size.sections;
    for (qsizetype index = 0; index < size.sections; ++index) {
        sections.append({u"sec%1"_s.arg(index), u"第%1章"_s.arg(index + 1), index * length, (index + 1) * length});
    }
    // Built from the last entry back, so that each entry's children are complete before it is made.
    struct Flat {
        EPUBBook::Navigation entry;
        qsizetype depth;
    };
    std::vector<Flat> flat;
    flat.reserve(size.entries);
    for (qsizetype index = 0; index < size.entries; ++index) {
        const qsizetype section = index * size.sections / size.entries;
        const EPUBBook::Destination destination =
            index % 10 == 9
                ? EPUBBook::Destination::unavailable(EPUBBook::Unavailable::missingAnchor)
                : EPUBBook::Destination::position(sections[section].id, sections[section].start + index % 3);
        flat.push_back(
            {EPUBBook::Navigation(u"nav%1"_s.arg(index),
                                  u"第%1節　山路を登りながら、こう考えた。智に働けば角が立つ"_s.arg(index + 1),
                                  u"text.xhtml#nav%1"_s.arg(index), destination),
             index % kLevels});
    }
    QList<EPUBBook::Navigation> top;
    std::vector<QList<EPUBBook::Navigation>> pending(kLevels + 1);
    for (qsizetype index = size.entries - 1; index >= 0; --index) {
        Flat& item = flat[size_t(index)];
        // The entries collected one level below, in reverse, are this entry's children.
        QList<EPUBBook::Navigation>& children = pending[size_t(item.depth + 1)];
        std::reverse(children.begin(), children.end());
        item.entry.children = std::move(children);
        children = {};
        pending[size_t(item.depth)].append(std::move(item.entry));
    }
    top = std::move(pending[0]);
    std::reverse(top.begin(), top.end());
    SavedReading reading = SavedReading::create({sections, prose(size.units), {}}, u"合成の本"_s, std::nullopt,
                                                std::nullopt, Date{800'000'000});
    EPUBBook::Information information;
    information.navigation = std::move(top);
    reading.epub = std::move(information);
    return reading;
}

std::optional<SavedReading> importedBook(const QString& path) {
    const auto book = EPUBReader().readSynchronously(test::repackedWithUTF8Names(path), CancellationToken::none());
    if (!book) return std::nullopt;
    return SavedReading::create(book->document, book->metadata.title(), book->information(), std::nullopt,
                                Date{800'000'000});
}

void measure(const QString& name, const SavedReading& reading) {
    std::optional<ReaderEPUBContents> contents;
    const double contentsMs = bench::bestMilliseconds(bench::roundsOf(5), [&] { contents.emplace(reading); });

    MemoryDefaults defaults;
    SystemClock clock;
    ReadingPlayer player(nullptr, false, false, std::chrono::seconds(5), defaults, clock,
                         ReadingPlayer::PhraseWidth{[](QStringView text) { return PhraseWidthMeasurer::width(text); },
                                                    PhraseWidthMeasurer::referenceWidth()});
    // Connected before the workspace exists, so that it runs before any view hears of the change: the
    // moment a chunk becomes current while the ticks are measured.
    bool measuresTicks = false;
    std::optional<SteadyClock::time_point> tickStart;
    qsizetype lastIndex = -1;
    QObject::connect(&player, &ReadingPlayer::sessionChanged, [&] {
        const qsizetype index = player.session().index;
        if (measuresTicks && index != lastIndex && player.session().currentChunk() && !tickStart) {
            tickStart = SteadyClock::now();
        }
        lastIndex = index;
    });

    ReaderEPUBPresentation presentation;
    ReaderWorkspaceWidget workspace(player, &presentation);
    workspace.resize(1100, 720);
    workspace.show();
    // An inactive application pauses the player, and the offscreen platform may never report itself
    // active: the window is activated and the workspace told so.
    workspace.activateWindow();
    runUntil([&] { return workspace.isActiveWindow(); }, "the window never became active");
    workspace.controller().setActive(true);
    player.load(reading, 0);
    const auto isShown = [&] { return !player.isPreparing() && player.session().currentChunk().has_value(); };
    runUntil(isShown, "the first window of the text never came");

    // Opening: from the flag to the first paint of the pane's list, seen by an application-wide filter as
    // the pane may be made and painted within one pass of the event loop.
    struct PaintWatch : QObject {
        ReaderWorkspaceWidget* workspace = nullptr;
        std::optional<SteadyClock::time_point> painted;
        bool eventFilter(QObject* watched, QEvent* event) override {
            if (event->type() == QEvent::Paint && !painted && workspace->epubPane() &&
                watched == workspace->epubPane()->list().viewport()) {
                painted = SteadyClock::now();
            }
            return false;
        }
    } watch;
    watch.workspace = &workspace;
    std::vector<double> openings;
    for (int run = 0; run < bench::roundsOf(kOpenings); ++run) {
        presentation.setShowsNavigation(false);
        runUntil([&] { return !workspace.epubPane(); }, "the pane never closed");
        watch.painted.reset();
        qApp->installEventFilter(&watch);
        const auto start = SteadyClock::now();
        presentation.setShowsNavigation(true);
        runUntil([&] { return watch.painted.has_value(); }, "the pane's list was never painted");
        qApp->removeEventFilter(&watch);
        openings.push_back(std::chrono::duration<double, std::milli>(*watch.painted - start).count());
    }
    ReaderEPUBPane& pane = *workspace.epubPane();
    QListView& list = pane.list();

    // Clicks on the jumpable rows in view, one after another.
    std::vector<double> clicks;
    QList<int> rows;
    for (int row = 0; row < pane.model().rowCount() && rows.size() < 12; ++row) {
        if (pane.model().kindAt(row) == ReaderEPUBPaneModel::Kind::entry &&
            list.viewport()->rect().contains(list.visualRect(pane.model().index(row)))) {
            rows.append(row);
        }
    }
    for (int click = 0; click < bench::roundsOf(kClicks) && !rows.isEmpty(); ++click) {
        const QModelIndex index = pane.model().index(rows[click % rows.size()]);
        const QPoint at = list.visualRect(index).center();
        const QUuid preparation = player.preparationID();
        const auto start = SteadyClock::now();
        QMouseEvent press(QEvent::MouseButtonPress, at, list.viewport()->mapToGlobal(at), Qt::LeftButton,
                          Qt::LeftButton, Qt::NoModifier);
        QMouseEvent release(QEvent::MouseButtonRelease, at, list.viewport()->mapToGlobal(at), Qt::LeftButton,
                            Qt::NoButton, Qt::NoModifier);
        QApplication::sendEvent(list.viewport(), &press);
        QApplication::sendEvent(list.viewport(), &release);
        runUntil([&] { return player.preparationID() != preparation && isShown(); },
                 "a chosen row never showed its place");
        clicks.push_back(millisecondsSince(start));
    }

    // Forward a chapter, from the start of the text on.
    std::vector<double> chapters;
    player.seekToFraction(0);
    runUntil(isShown, "the start of the text never came");
    for (int move = 0; move < bench::roundsOf(kChapterMoves); ++move) {
        const std::optional<qsizetype> target = player.chapterTarget(true);
        if (!target) break;
        const qsizetype before = player.currentSourceOffset();
        const auto start = SteadyClock::now();
        workspace.controller().perform(ReaderPlaybackRequest::Action::forwardChapter, true);
        // The chapter starts inside the chunk shown there, which may begin a little before it.
        const auto reached = [&] {
            const std::optional<ReadingChunk> chunk = player.session().currentChunk();
            return isShown() && chunk->sourceRange.lowerBound > before && chunk->sourceRange.upperBound > *target;
        };
        runUntil(reached, "the next chapter never came");
        chapters.push_back(millisecondsSince(start));
    }

    // Playing at the fastest speed with the pane open: each chunk from its change to the event loop with
    // nothing left to do. The loop blocks between chunks as the application's does; the player's alarm
    // wakes it.
    std::vector<double> ticks;
    workspace.controller().setSpeedMultiplierValue(7.5);
    lastIndex = player.session().index;
    measuresTicks = true;
    player.startPlayback(true);
    if (player.session().status != ReadingSession::Status::playing) fail("playback did not start");
    {
        QTimer heartbeat;
        heartbeat.start(100);
        const auto start = SteadyClock::now();
        while (ticks.size() < size_t(bench::roundsOf(kTicks)) &&
               player.session().status == ReadingSession::Status::playing) {
            if (SteadyClock::now() - start > kGiveUp) fail("playback stopped advancing");
            QCoreApplication::processEvents(QEventLoop::AllEvents | QEventLoop::WaitForMoreEvents);
            if (!tickStart) continue;
            settle();
            ticks.push_back(millisecondsSince(*std::exchange(tickStart, std::nullopt)));
        }
    }
    measuresTicks = false;
    player.pause(false);

    std::printf("{\"book\":%s%s%s%s%s%s%s%s%s%s}\n", qPrintable(bench::jsonString(name)),
                qPrintable(field(u"entries"_s, QString::number(contents->rows.size()))),
                qPrintable(field(u"sections"_s, QString::number(contents->sections.size()))),
                qPrintable(field(u"utf16"_s, QString::number(reading.document.text.size()))),
                qPrintable(field(u"contentsMs"_s, milliseconds(contentsMs))),
                qPrintable(field(u"paneOpenMs"_s, milliseconds(median(openings, "no opening was measured")))),
                qPrintable(field(u"selectMs"_s, milliseconds(median(clicks, "no row in view could be clicked")))),
                qPrintable(field(u"chapterShownMs"_s, milliseconds(median(chapters, "the book has no next chapter")))),
                qPrintable(field(u"tickMs"_s, milliseconds(median(ticks, "no chunk was shown while playing")))),
                qPrintable(field(u"tickP99Ms"_s,
                                 milliseconds(percentile(sample(ticks, "no chunk was shown while playing"), 0.99)))));
    std::fflush(stdout);
}

}  // namespace

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    bench::takeSmokeFlag(argc, argv);
    QApplication application(argc, argv);
    EventCounter events;
    g_events = &events;
    application.installEventFilter(&events);
    QApplication::setStyle(QStyleFactory::create(u"Fusion"_s));
    QStringList files;
    for (int index = 1; index < argc; ++index) files.append(QString::fromLocal8Bit(argv[index]));
    if (files.isEmpty() && bench::isSmokeRound()) {
        measure(u"synthetic"_s, syntheticBook(kSmokeBook));
    } else if (files.isEmpty()) {
        measure(u"synthetic"_s, syntheticBook(kLimits));
        files.append(test::inCheckout(TAVRINE_SHARED_DATA_DIR) + u"/epub/kusamakura.epub"_s);
    }
    for (const QString& file : files) {
        const std::optional<SavedReading> reading = importedBook(file);
        if (!reading) {
            std::fprintf(stderr, "workspace-bench: cannot import %s\n", qPrintable(file));
            return 1;
        }
        measure(QFileInfo(file).fileName(), *reading);
    }
    return 0;
}
