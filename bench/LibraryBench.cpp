// library-bench: the library search over a library held in memory as the store holds it. 2,000
// readings, half Japanese (the text of 草枕 from the shared sample book) and half English prose, 20 of
// them 500,000 UTF-16 units long and the rest 200 to 20,000, 200 with EPUB creators; 1,000 are in the
// history and 1,300 in the library (300 in both, sharing their texts). Each query is typed a unit at a
// time, every unit waiting for the result of the one before, and prints one line:
//   {"bench":"library-search","readings":2000,"utf16":…,"query":…,"queryUnits":…,"uiP95Ms":…,
//    "resultP50Ms":…,"resultP95Ms":…,"matches":…}
// ui: from setting the query until the event loop is idle again; result: until matchingIDs arrives;
// matches: for the whole query. Then one line for store states that differ from the last by one reading
// position, applied by the document list's model (new lists handed over, which must not restart the
// search), until the event loop is idle:
//   {"bench":"library-store-change","readings":2000,"p50Ms":…,"p95Ms":…}
// Then the document list's pane, offscreen, over the 1,000 readings of the history: a store state with
// one position changed, applied, the table reloaded and its rows repainted; and a query typed into the
// search field a unit at a time with the table attached, until the event loop is idle and the rows are
// repainted:
//   {"bench":"history-table","rows":1000,"storeChangeP95Ms":…,"keystrokeP95Ms":…}
// library-bench --smoke: the same over 40 readings, each case once. It fails when a case does.
#include "BenchReport.h"
#include "BenchTexts.h"

#include "PelmoraMac/Library/MacReadingPlayback.h"
#include "PelmoraMac/Library/ReaderHistoryModel.h"
#include "PelmoraMac/Library/ReaderHistoryPane.h"
#include "PelmoraMac/Library/ReaderHistoryTable.h"
#include "ReaderCore/MemoryDefaults.h"
#include "ReaderStorage/ReadingStore.h"
#include "ReaderUI/Library/ReadingLibrarySearch.h"

#include <QApplication>
#include <QEventLoop>
#include <QKeyEvent>
#include <QLineEdit>
#include <QListView>
#include <QTemporaryDir>

#include <chrono>
#include <cstdio>
#include <random>
#include <vector>

namespace {
using namespace tavrine;
using namespace Qt::StringLiterals;
using bench::millisecondsSince;
using bench::percentile;

// The library's size and how many store changes are measured.
struct Scale {
    int readings;
    int history;
    int libraryStart;  // the library is the readings from here on, the first of them in the history too
    qsizetype longText;
    int storeChanges;
};
// 1,300 readings in the library, 300 of them in the history.
constexpr Scale kFull{
    .readings = 2'000, .history = 1'000, .libraryStart = 700, .longText = 500'000, .storeChanges = 60};
// Its one long reading is past the length the search reads whole (kWholeTextLimit), so that the search runs.
constexpr Scale kSmoke{.readings = 40, .history = 20, .libraryStart = 14, .longText = 50'000, .storeChanges = 1};
Scale g_scale = kFull;

struct Library {
    QList<StoredReading> history;
    QList<StoredReading> library;
    qint64 utf16 = 0;
};

QString japaneseSample() {
    const QString book = bench::kusamakuraText();
    if (!book.isEmpty()) return book;
    std::fprintf(stderr, "library-bench: the shared sample book is not beside the project; using a short sample\n");
    return u"山路を登りながら、こう考えた。智に働けば角が立つ。情に棹させば流される。意地を通せば窮屈だ。\n"_s;
}

// Places phrase at a random offset of text (on a unit that starts no surrogate pair).
void plant(QString& text, const QString& phrase, std::mt19937& random) {
    qsizetype at = std::uniform_int_distribution<qsizetype>(0, text.size() - phrase.size())(random);
    if (at > 0 && text.at(at).isLowSurrogate()) --at;
    text.replace(at, phrase.size(), phrase);
}

Library makeLibrary() {
    const Scale& scale = g_scale;
    const QString japanese = bench::repeatedTo(japaneseSample(), scale.longText * 2);
    std::mt19937 random(20'250'101);
    Library result;
    QList<StoredReading> records;
    for (int i = 0; i < scale.readings; ++i) {
        const qsizetype length =
            i % 100 == 0 ? scale.longText : std::uniform_int_distribution<qsizetype>(200, 20'000)(random);
        QString text;
        if (i % 2 == 0) {
            text = japanese.mid(std::uniform_int_distribution<qsizetype>(0, japanese.size() - length)(random), length);
            if (i % 40 == 2) plant(text, u"吾輩は猫である"_s, random);
        } else {
            text = bench::englishProse(length, static_cast<std::uint32_t>(i));
            if (i % 50 == 3) plant(text, u"The quick brown fox"_s, random);
        }
        if (i % 60 == 7) plant(text, u"a needle in the hay"_s, random);
        text.squeeze();
        result.utf16 += text.size();

        StoredReading record;
        record.reading.id = QUuid::createUuid();
        record.reading.document.text = text;
        record.reading.title = u"第%1巻"_s.arg(i);
        if (i % 10 == 5) {
            EPUBBook::Information information;
            information.metadata.creators = {i % 20 == 5 ? u"夏目漱石"_s : u"Jane Austen"_s, u"Editor %1"_s.arg(i)};
            record.reading.epub = information;
        }
        records.append(record);
    }
    for (int i = 0; i < scale.history; ++i) {
        StoredReading record = records[i];
        record.lastPlayedAt = Date(1e6 - i);
        record.progress.utf16Offset = i;
        result.history.append(record);
    }
    // The store hands out the same record in both lists, texts shared.
    for (int i = scale.libraryStart; i < scale.readings; ++i) {
        StoredReading record = i < scale.history ? result.history[i] : records[i];
        record.isInLibrary = true;
        if (i < scale.history) result.history[i].isInLibrary = true;
        result.library.append(record);
    }
    return result;
}

// A query of `length` lower-case letters that no text holds.
QString missOf(qsizetype length) {
    std::mt19937 random(static_cast<std::uint32_t>(length));
    QString query;
    while (query.size() < length) query += QChar(u'a' + static_cast<char16_t>(random() % 26));
    return query;
}

void runUntilIdle() {
    QCoreApplication::processEvents(QEventLoop::AllEvents);
}

void measureQuery(ReadingLibrarySearch& search, const QList<SavedReading>& readings, qint64 utf16, const QString& label,
                  const QString& query) {
    std::vector<double> ui;
    std::vector<double> result;
    const int rounds = query.size() <= 16 ? bench::roundsOf(5) : 1;
    for (int round = 0; round < rounds; ++round) {
        search.update(readings, QString());
        for (qsizetype typed = 1; typed <= query.size(); ++typed) {
            const auto start = std::chrono::steady_clock::now();
            search.update(readings, query.left(typed));
            runUntilIdle();
            ui.push_back(millisecondsSince(start));
            while (search.isSearching()) QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
            result.push_back(millisecondsSince(start));
        }
    }
    const qsizetype matches = search.matchingIDs() ? search.matchingIDs()->size() : -1;
    std::printf(
        "{\"bench\":\"library-search\",\"readings\":%d,\"utf16\":%lld,\"query\":%s,\"queryUnits\":%lld,"
        "\"uiP95Ms\":%.3f,\"resultP50Ms\":%.3f,\"resultP95Ms\":%.3f,\"matches\":%lld}\n",
        g_scale.readings, static_cast<long long>(utf16), qPrintable(bench::jsonString(label)),
        static_cast<long long>(query.size()), percentile(ui, 0.95), percentile(result, 0.5), percentile(result, 0.95),
        static_cast<long long>(matches));
    std::fflush(stdout);
}

// The document list takes each state whole: its lists, the search (which must go on), the selection check
// and the rows shown. False when the search restarted.
bool measureStoreChanges(Library& library) {
    MemoryDefaults defaults;
    const ReadingPlayer::PhraseWidth width{[](QStringView phrase) { return static_cast<double>(phrase.size()); }, 16.0};
    MacReadingPlayback playback(std::shared_ptr<ReadingStore>(), defaults, SystemClock::shared(), width);
    ReaderHistoryModel model(std::make_unique<ReadingLibrarySearch>(), playback, [] {});
    ReadingStoreState state{.historyEnabled = true,
                            .historyLimit = ReadingStoreState::kDefaultHistoryLimit,
                            .history = library.history,
                            .library = library.library,
                            .tombstones = {}};
    model.apply(state);
    model.setQuery(u"needle"_s);
    while (model.search().isSearching()) QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
    const QUuid request = model.search().requestID();

    std::mt19937 random(7);
    std::vector<double> times;
    for (int change = 0; change < g_scale.storeChanges; ++change) {
        // What the store publishes after saving one position: new lists with one record changed.
        state.history = QList<StoredReading>(state.history.cbegin(), state.history.cend());
        state.library = QList<StoredReading>(state.library.cbegin(), state.library.cend());
        state.history[std::uniform_int_distribution<qsizetype>(0, state.history.size() - 1)(random)]
            .progress.utf16Offset += 1;
        const auto start = std::chrono::steady_clock::now();
        model.apply(state);
        static_cast<void>(model.visibleItems());
        runUntilIdle();
        times.push_back(millisecondsSince(start));
    }
    if (model.search().requestID() != request) {
        std::fprintf(stderr, "library-bench: a position change restarted the search\n");
        return false;
    }
    std::printf("{\"bench\":\"library-store-change\",\"readings\":%d,\"p50Ms\":%.3f,\"p95Ms\":%.3f}\n",
                g_scale.readings, percentile(times, 0.5), percentile(times, 0.95));
    std::fflush(stdout);
    return true;
}

// The pane needs a store to show its table: an empty one in a temporary folder, while the model takes the
// bench's lists directly. False when there is no store.
bool measureHistoryTable(const Library& library) {
    QTemporaryDir folder;
    auto opened = ReadingStore::open(folder.filePath(u"reading-store.json"_s));
    if (!opened.has_value()) {
        std::fprintf(stderr, "library-bench: no store for the pane\n");
        return false;
    }
    std::shared_ptr<ReadingStore> store = std::move(*opened);
    MemoryDefaults defaults;
    const ReadingPlayer::PhraseWidth width{[](QStringView phrase) { return static_cast<double>(phrase.size()); }, 16.0};
    MacReadingPlayback playback(store, defaults, SystemClock::shared(), width);
    ReaderHistoryModel model(std::make_unique<ReadingLibrarySearch>(), playback, [] {});
    ReadingStoreState state{.historyEnabled = true,
                            .historyLimit = g_scale.history,
                            .history = library.history,
                            .library = library.library,
                            .tombstones = {}};
    model.apply(state);
    ReaderHistoryPane pane(model);
    pane.resize(320, 720);
    pane.show();
    runUntilIdle();
    QListView& rows = *pane.table()->listView();
    const auto repaint = [&] {
        runUntilIdle();
        rows.viewport()->repaint();
    };

    std::mt19937 random(11);
    std::vector<double> changes;
    for (int change = 0; change < g_scale.storeChanges; ++change) {
        state.history = QList<StoredReading>(state.history.cbegin(), state.history.cend());
        state.history[std::uniform_int_distribution<qsizetype>(0, std::min(20, g_scale.history - 1))(random)]
            .progress.utf16Offset += 1;
        const auto start = std::chrono::steady_clock::now();
        model.apply(state);
        repaint();
        changes.push_back(millisecondsSince(start));
    }

    std::vector<double> keystrokes;
    pane.searchButton()->click();
    for (int round = 0; round < bench::roundsOf(5); ++round) {
        for (const QString& unit : {u"草"_s, u"枕"_s, u"の"_s, u"文"_s}) {
            const auto start = std::chrono::steady_clock::now();
            QKeyEvent press(QEvent::KeyPress, 0, Qt::NoModifier, unit);
            QApplication::sendEvent(pane.searchField(), &press);
            repaint();
            keystrokes.push_back(millisecondsSince(start));
            while (model.search().isSearching()) QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
        }
        pane.searchField()->clear();
        model.setQuery(QString());
        runUntilIdle();
    }
    std::printf("{\"bench\":\"history-table\",\"rows\":%lld,\"storeChangeP95Ms\":%.3f,\"keystrokeP95Ms\":%.3f}\n",
                static_cast<long long>(model.history().size()), percentile(changes, 0.95),
                percentile(keystrokes, 0.95));
    std::fflush(stdout);
    return true;
}

}  // namespace

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    bench::takeSmokeFlag(argc, argv);
    if (argc > 1) {
        std::fprintf(stderr, "usage: library-bench [--smoke]\n");
        return 2;
    }
    if (bench::isSmokeRound()) g_scale = kSmoke;
    QApplication app(argc, argv);
    Library library = makeLibrary();
    const QList<SavedReading> readings = ReadingLibrarySearch::readingsOf(library.history, library.library);
    ReadingLibrarySearch search;
    for (const QString& query : {u"の"_s, u"猫である"_s, u"needle"_s, u"the quick brown"_s})
        measureQuery(search, readings, library.utf16, query, query);
    for (const qsizetype length : {64, 1'000})
        measureQuery(search, readings, library.utf16, u"(a miss of %1 units)"_s.arg(length), missOf(length));
    const bool changed = measureStoreChanges(library);
    const bool shown = measureHistoryTable(library);
    return changed && shown ? 0 : 1;
}
