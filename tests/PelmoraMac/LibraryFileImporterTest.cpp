// The file importer over a list of the test's own, each of whose waits (the file's place, the read, the
// store's write, the refresh, the opening of the selected reading) is held until the test lets it go: the
// staleness rule at its edges; a newer request, stopping, cancelling, the user moving on and the end of
// the importer at each wait; the selection while the reading opens; drops; which failures are told.
#include "PelmoraMac/Library/internal/LibraryFileImporter.h"

#include "support/EventLoop.h"
#include "support/QtPrinters.h"
#include "support/StoreTesting.h"

#include <gtest/gtest.h>
#include <QCoreApplication>
#include <QCoro/QCoroFuture>

#include <map>

namespace tavrine {
namespace {
using namespace Qt::StringLiterals;
using Standing = FileImportStanding;

TEST(FileImportStandingTest, CancellationAndANewerRequestOutrankTheUserMovingOn) {
    const QUuid reading = QUuid::createUuid();
    const FileImportMark request{.requestID = QUuid::createUuid(),
                                 .noticeID = QUuid::createUuid(),
                                 .reading = reading,
                                 .selected = std::nullopt};
    FileImportMark now = request;
    now.selected = QUuid::createUuid();
    // Before the request has selected anything, the user's selection is not part of the rule.
    EXPECT_EQ(fileImportStanding(request, now, false), Standing::current);
    EXPECT_EQ(fileImportStanding(request, now, true), Standing::superseded);

    FileImportMark moved = now;
    moved.noticeID = QUuid::createUuid();
    EXPECT_EQ(fileImportStanding(request, moved, false), Standing::silenced);
    moved.requestID = QUuid::createUuid();
    EXPECT_EQ(fileImportStanding(request, moved, false), Standing::superseded);

    // The player's reading: another one, or none where there was one, or one where there was none.
    for (const auto& [atStart, atEnd] : {std::pair<std::optional<QUuid>, std::optional<QUuid>>{reading, {}},
                                         {std::nullopt, reading},
                                         {reading, QUuid::createUuid()}}) {
        FileImportMark started = request;
        started.reading = atStart;
        FileImportMark later = started;
        later.reading = atEnd;
        EXPECT_EQ(fileImportStanding(started, later, false), Standing::silenced);
    }
}

TEST(FileImportStandingTest, OnceTheRequestHasSelectedItsRowTheSelectionCounts) {
    const QUuid imported = QUuid::createUuid();
    const FileImportMark request{
        .requestID = QUuid::createUuid(), .noticeID = QUuid::createUuid(), .reading = imported, .selected = imported};
    EXPECT_EQ(fileImportStanding(request, request, false), Standing::current);
    FileImportMark now = request;
    now.selected = std::nullopt;
    EXPECT_EQ(fileImportStanding(request, now, false), Standing::silenced);
    now.selected = QUuid::createUuid();
    EXPECT_EQ(fileImportStanding(request, now, false), Standing::silenced);
}

// The waits of a request, in their order.
enum class Wait { resolve, load, store, refresh, opening };
constexpr std::array kWaits{Wait::resolve, Wait::load, Wait::store, Wait::refresh, Wait::opening};

const char* nameOf(Wait wait) {
    switch (wait) {
    case Wait::resolve: return "resolve";
    case Wait::load: return "load";
    case Wait::store: return "store";
    case Wait::refresh: return "refresh";
    case Wait::opening: return "opening";
    }
    return "?";
}

// What the list shows and what the importer asked of it.
struct ListState {
    FileImportMark mark{.requestID = QUuid::createUuid(),
                        .noticeID = QUuid::createUuid(),
                        .reading = std::nullopt,
                        .selected = std::nullopt};
    bool hasStore = true;
    bool isTerminating = false;
    bool isImporting = false;
    bool isSaving = false;
    std::optional<LibraryImportFailure> shownFailure;
    int announced = 0;
    int requestsBegun = 0;
    QList<QString> stored;
    QUuid storedID = QUuid::createUuid();
    std::optional<StoreFailure> storeFailure;
    bool openingStopped = false;
    // The reading the player shows once the opening ends, when not the one selected.
    std::optional<QUuid> playerOpensInstead;

    // The wait a request is held at, and the gates that hold each wait (none: it passes at once).
    std::optional<Wait> waitingAt;
    std::map<Wait, std::shared_ptr<test::Gate>> gates;

    void userMovesOn() { mark.noticeID = QUuid::createUuid(); }
};

template <typename T>
QCoro::Task<T> heldAt(std::shared_ptr<ListState> state, Wait wait, T value) {
    state->waitingAt = wait;
    if (const std::shared_ptr<test::Gate> gate = state->gates[wait]) {
        QFuture<void> opened = gate->promise->future();
        co_await opened;
    }
    if (state->waitingAt == wait) state->waitingAt = std::nullopt;
    co_return value;
}

// The selection's opening: the player shows the reading unless the import's cancellation stopped it.
QCoro::Task<void> openingOf(std::shared_ptr<ListState> state, QUuid id, CancellationToken importToken) {
    auto held = heldAt(state, Wait::opening, true);
    co_await held;
    state->openingStopped = importToken.isCancelled();
    if (!state->openingStopped) state->mark.reading = state->playerOpensInstead.value_or(id);
}

class FakeList final : public LibraryFileImporter::List {
public:
    explicit FakeList(std::shared_ptr<ListState> state) : m_state(std::move(state)) {}

    FileImportMark mark() const override { return m_state->mark; }
    bool canImport() const override { return m_state->hasStore && !m_state->isTerminating; }
    bool hasStore() const override { return m_state->hasStore; }
    bool isSaving() const override { return m_state->isSaving; }
    void beginRequest(const QUuid& requestID) override {
        ++m_state->requestsBegun;
        m_state->mark.requestID = requestID;
        m_state->mark.noticeID = QUuid::createUuid();
        m_state->shownFailure.reset();
        m_state->isImporting = true;
        m_state->isSaving = false;
    }
    void abandonRequest(const QUuid& requestID) override {
        m_state->mark.requestID = requestID;
        m_state->mark.noticeID = QUuid::createUuid();
        m_state->isImporting = false;
    }
    void beginSaving() override { m_state->isSaving = true; }
    void endRequest(bool isListRequest, const std::optional<LibraryImportFailure>& failure) override {
        if (failure) m_state->shownFailure = failure;
        if (!isListRequest) return;
        m_state->isImporting = false;
        m_state->isSaving = false;
    }
    QCoro::Task<StoreResult<QUuid>> storeFile(LibraryFileImport file) override {
        if (const LibraryTextFile* text = file.asText()) m_state->stored.append(text->filename);
        if (m_state->storeFailure)
            return heldAt(m_state, Wait::store, StoreResult<QUuid>(tl::unexpected(*m_state->storeFailure)));
        return heldAt(m_state, Wait::store, StoreResult<QUuid>(m_state->storedID));
    }
    QCoro::Task<void> refresh() override { return ignoreValue(heldAt(m_state, Wait::refresh, true)); }
    void selectImported(const QUuid& id) override {
        m_openingID = id;
        m_state->mark.selected = id;
        // Selecting clears the notice.
        m_state->mark.noticeID = QUuid::createUuid();
    }
    QCoro::Task<void> settleOpening(CancellationToken importToken) override {
        return openingOf(m_state, m_openingID, std::move(importToken));
    }
    void announceImported() override { ++m_state->announced; }

private:
    static QCoro::Task<void> ignoreValue(QCoro::Task<bool> task) { co_await task; }

    std::shared_ptr<ListState> m_state;
    QUuid m_openingID;
};

QCoro::Task<LibraryFileReader::Result> loadOf(std::shared_ptr<ListState> state, QUrl url) {
    LibraryFileReader::Result file =
        LibraryFileImport::text(LibraryTextFile{.filename = url.fileName(), .data = "本文"});
    auto held = heldAt(state, Wait::load, std::move(file));
    LibraryFileReader::Result result = co_await held;
    co_return result;
}

QCoro::Task<tl::expected<QUrl, LibraryImportFailure>> placeOf(std::shared_ptr<ListState> state,
                                                              tl::expected<QUrl, LibraryImportFailure> place) {
    auto held = heldAt(state, Wait::resolve, std::move(place));
    tl::expected<QUrl, LibraryImportFailure> result = co_await held;
    co_return result;
}

class LibraryFileImporterTest : public testing::Test {
protected:
    void SetUp() override {
        auto loader = [this](QUrl url, CancellationToken) {
            loaded.append(url.fileName());
            return loadOf(state, std::move(url));
        };
        importer = std::make_unique<LibraryFileImporter>(std::make_unique<FakeList>(state), loader);
    }

    // A new list and importer, nothing loaded.
    void fresh() {
        importer.reset();
        state = std::make_shared<ListState>();
        loaded.clear();
        SetUp();
    }
    // Holds every wait of the next request.
    void holdEveryWait() {
        for (const Wait wait : kWaits) state->gates[wait] = std::make_shared<test::Gate>();
    }
    void releaseEveryWait() {
        for (auto& [wait, gate] : state->gates)
            if (gate) gate->release();
    }
    LibraryFileImporter::URLResolver placeOfFile(const QString& name,
                                                 std::optional<LibraryImportFailure> failure = std::nullopt) {
        return [this, name, failure](CancellationToken) {
            if (failure) return placeOf(state, tl::unexpected(*failure));
            return placeOf(state, QUrl::fromLocalFile(u"/files/"_s + name));
        };
    }
    // Lets the request through each held wait before wait (one not held passes by itself), then waits until it is held
    // at wait.
    [[nodiscard]] bool reaches(Wait wait) {
        for (const Wait earlier : kWaits) {
            const std::shared_ptr<test::Gate> gate = state->gates[earlier];
            if (earlier != wait && !gate) continue;
            if (!test::processEventsUntil([&] { return state->waitingAt == earlier; })) return false;
            if (earlier == wait) return true;
            gate->release();
        }
        return false;
    }
    [[nodiscard]] bool ended() {
        return test::processEventsUntil([&] { return !importer->task().isRunning(); });
    }
    // Nothing said, no failure shown, the flags down.
    void expectSilentEnd(const char* where) {
        EXPECT_EQ(state->announced, 0) << where;
        EXPECT_EQ(state->shownFailure, std::nullopt) << where;
        EXPECT_FALSE(state->isImporting) << where;
        EXPECT_FALSE(state->isSaving) << where;
    }

    std::shared_ptr<ListState> state = std::make_shared<ListState>();
    QList<QString> loaded;
    std::unique_ptr<LibraryFileImporter> importer;
};

TEST_F(LibraryFileImporterTest, ARequestRunsThroughEveryWaitAndSaysSoOnce) {
    importer->start(placeOfFile(u"a.txt"_s));
    ASSERT_TRUE(ended());
    EXPECT_EQ(loaded, QList<QString>{u"a.txt"_s});
    EXPECT_EQ(state->stored, QList<QString>{u"a.txt"_s});
    EXPECT_EQ(state->mark.selected, state->storedID);
    EXPECT_EQ(state->mark.reading, state->storedID);
    EXPECT_EQ(state->announced, 1);
    EXPECT_FALSE(state->isImporting);

    // Nothing starts without a store or while the application quits.
    for (const auto& [hasStore, terminating] : {std::pair{false, false}, std::pair{true, true}}) {
        state->hasStore = hasStore;
        state->isTerminating = terminating;
        importer->start(placeOfFile(u"b.txt"_s));
        EXPECT_FALSE(importer->task().isRunning());
        EXPECT_EQ(state->requestsBegun, 1);
    }
}

// What happens to a request held at one of its waits.
enum class Interruption { newerRequest, stop, cancel, noticeCleared, anotherReading, importerGone };
constexpr std::array kInterruptions{Interruption::newerRequest,   Interruption::stop,
                                    Interruption::cancel,         Interruption::noticeCleared,
                                    Interruption::anotherReading, Interruption::importerGone};

TEST_F(LibraryFileImporterTest, EachInterruptionAtEachWait) {
    for (const Interruption interruption : kInterruptions) {
        for (const Wait wait : kWaits) {
            SCOPED_TRACE(testing::Message() << "interruption " << int(interruption) << " at " << nameOf(wait));
            fresh();
            holdEveryWait();
            importer->start(placeOfFile(u"first.txt"_s));
            ASSERT_TRUE(reaches(wait));
            const bool writing = wait >= Wait::store;
            switch (interruption) {
            case Interruption::newerRequest: {
                const auto firstGates = std::exchange(state->gates, {});
                importer->start(placeOfFile(u"second.txt"_s));
                // The second does nothing before the first has ended.
                QCoreApplication::processEvents();
                EXPECT_EQ(loaded, wait == Wait::resolve ? QList<QString>{} : QList<QString>{u"first.txt"_s});
                for (const auto& [_, gate] : firstGates) gate->release();
                break;
            }
            case Interruption::stop: importer->stop(); break;
            case Interruption::cancel:
                importer->cancel();
                // Ignored once the store writes.
                EXPECT_EQ(state->isImporting, writing);
                break;
            case Interruption::noticeCleared: state->userMovesOn(); break;
            case Interruption::anotherReading:
                state->mark.reading = QUuid::createUuid();
                state->playerOpensInstead = state->mark.reading;
                break;
            case Interruption::importerGone: importer.reset(); break;
            }
            releaseEveryWait();
            ASSERT_TRUE(test::processEventsUntil(
                [&] { return !state->waitingAt && (!importer || !importer->task().isRunning()); }));

            // A write that has begun completes; a chosen file is stored even once the user has moved on.
            const bool movedOn =
                interruption == Interruption::noticeCleared || interruption == Interruption::anotherReading;
            const int firstStored = writing || movedOn ? 1 : 0;
            EXPECT_EQ(state->stored.size(), firstStored + (interruption == Interruption::newerRequest ? 1 : 0));
            // Only the newer request, and a request cancelled too late, say that they imported.
            const bool announces =
                interruption == Interruption::newerRequest || (interruption == Interruption::cancel && writing);
            EXPECT_EQ(state->announced, announces ? 1 : 0);
            EXPECT_EQ(state->shownFailure, std::nullopt);
            // The importer gone, nobody lowers the flags (the list went with it).
            EXPECT_EQ(state->isImporting, interruption == Interruption::importerGone);
            // Stopped while its reading opens: the opening stops too.
            EXPECT_EQ(state->openingStopped, wait == Wait::opening && (interruption == Interruption::stop ||
                                                                       interruption == Interruption::importerGone));
            if (movedOn && wait != Wait::opening) {
                EXPECT_EQ(state->mark.selected, std::nullopt);
            }
        }
    }
}

TEST_F(LibraryFileImporterTest, WhileItsReadingOpensOnlyTheSelectionAndTheReadingItLeftCount) {
    struct Case {
        const char* what;
        void (*act)(ListState&);
        int announced;
    };
    const Case cases[] = {
        {"the user selects another row",
         [](ListState& s) {
             s.mark.selected = QUuid::createUuid();
             s.userMovesOn();
         },
         0},
        {"the selection is dropped without a word", [](ListState& s) { s.mark.selected = std::nullopt; }, 0},
        {"a store change arrives, nothing else", [](ListState&) {}, 1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        fresh();
        state->gates[Wait::opening] = std::make_shared<test::Gate>();
        importer->start(placeOfFile(u"a.txt"_s));
        ASSERT_TRUE(reaches(Wait::opening));
        c.act(*state);
        releaseEveryWait();
        ASSERT_TRUE(ended());
        EXPECT_EQ(state->announced, c.announced);
        EXPECT_FALSE(state->isImporting);
    }

    // A selection the user made before the import selected its own is no concern of the import.
    fresh();
    state->gates[Wait::load] = std::make_shared<test::Gate>();
    importer->start(placeOfFile(u"a.txt"_s));
    ASSERT_TRUE(reaches(Wait::load));
    state->mark.selected = QUuid::createUuid();
    releaseEveryWait();
    ASSERT_TRUE(ended());
    EXPECT_EQ(state->announced, 1);
    EXPECT_EQ(state->mark.selected, state->storedID);
}

TEST_F(LibraryFileImporterTest, ADropAsksBeforeReadingAndBeforeStoringAndIsAbandonedOnceTheUserMovesOn) {
    // Moved on while its place comes: nothing is read.
    holdEveryWait();
    importer->start(placeOfFile(u"a.txt"_s), [] { return true; });
    ASSERT_TRUE(reaches(Wait::resolve));
    state->userMovesOn();
    releaseEveryWait();
    ASSERT_TRUE(ended());
    expectSilentEnd("moved on");
    EXPECT_TRUE(loaded.isEmpty());

    // Refused before reading, then before storing: the "unavailable" notice, nothing stored.
    for (const int refusedAt : {1, 2}) {
        int asked = 0;
        state->gates.clear();
        importer->start(placeOfFile(u"a.txt"_s), [&] { return ++asked < refusedAt; });
        ASSERT_TRUE(ended());
        EXPECT_EQ(asked, refusedAt);
        EXPECT_EQ(state->shownFailure, LibraryImportFailure(ReaderFileDropFailure::unavailable));
        EXPECT_TRUE(state->stored.isEmpty());
        EXPECT_FALSE(state->isImporting);
    }
    EXPECT_EQ(loaded.size(), 1);
}

TEST_F(LibraryFileImporterTest, AFailureIsToldOnlyWhileTheRequestIsCurrentAndNeverACancellation) {
    const LibraryImportFailure unreadable = LibraryFileReadFailure::unreadable;
    importer->start(placeOfFile(u"a.txt"_s, unreadable));
    ASSERT_TRUE(ended());
    EXPECT_EQ(state->shownFailure, unreadable);
    EXPECT_FALSE(state->isImporting);

    importer->start(placeOfFile(u"a.txt"_s, ImportCancelled{}));
    ASSERT_TRUE(ended());
    expectSilentEnd("cancelled");

    // The place fails after the user has moved on.
    state->gates[Wait::resolve] = std::make_shared<test::Gate>();
    importer->start(placeOfFile(u"a.txt"_s, unreadable));
    ASSERT_TRUE(reaches(Wait::resolve));
    state->userMovesOn();
    releaseEveryWait();
    ASSERT_TRUE(ended());
    expectSilentEnd("moved on");

    // The store refuses the file: its failure is worded as the import's.
    state->gates.clear();
    state->storeFailure = StoreFailure(LibraryTextFile::Failure::tooLong);
    importer->start(placeOfFile(u"a.txt"_s));
    ASSERT_TRUE(ended());
    EXPECT_EQ(state->shownFailure, importFailureOf(*state->storeFailure));
    EXPECT_EQ(state->announced, 0);
    EXPECT_FALSE(state->isImporting);
}

}  // namespace
}  // namespace tavrine
