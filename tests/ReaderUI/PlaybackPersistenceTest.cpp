#include "ReaderStorage/ReadingStore.h"
#include "ReaderUI/Player/PlaybackPersistence.h"
#include "ReaderUI/Player/ReadingStorePlaybackStore.h"

#include "support/EventLoop.h"
#include "support/FakeClock.h"
#include "support/FakePlaybackStore.h"
#include "support/QtPrinters.h"
#include "support/RunTask.h"
#include "support/TemporaryDirectory.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cerrno>

namespace tavrine {

void PrintTo(const StoreFailure& failure, std::ostream* out) {
    *out << describeStoreFailure(failure).toStdString();
}

void PrintTo(PlaybackPersistence::Outcome outcome, std::ostream* out) {
    constexpr const char* names[] = {"saved", "librarySaved", "notSaved", "failed", "removed"};
    *out << names[static_cast<int>(outcome)];
}

namespace {
using namespace Qt::StringLiterals;
using namespace std::chrono_literals;
using testing::ElementsAre;
using testing::IsEmpty;
using Outcome = PlaybackPersistence::Outcome;
using Call = test::FakePlaybackStore::Call;
using Logged = test::FakePlaybackStore::LoggedCall;

QUuid readingID(uint number) {
    return QUuid(number, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0);
}

SavedReading reading(uint number) {
    return SavedReading{readingID(number), {std::nullopt, u"吾輩は猫である。"_s, {}},
                        std::nullopt,      std::nullopt,
                        std::nullopt,      Date{100}};
}

ReadingProgress at(qsizetype offset) {
    return ReadingProgress{offset, false};
}

StoredReading stored(uint number, bool isInLibrary, std::optional<Date> lastPlayedAt = std::nullopt) {
    return StoredReading{reading(number), {}, {}, isInLibrary, {}, lastPlayedAt};
}

const StoreFailure kMissing = ReadingStoreError::missingDocument();

// The failure of a result, or nothing when it succeeded.
template <typename T>
std::optional<StoreFailure> failureOf(const StoreResult<T>& result) {
    if (result) return std::nullopt;
    return result.error();
}
const StoreFailure kInvalid = ReadingStoreError::invalidData();

// One reported outcome, with the number of store calls made before it.
struct Report {
    QUuid id;
    Outcome outcome;
    qsizetype callsBefore;

    bool operator==(const Report&) const = default;
};

void PrintTo(const Report& report, std::ostream* out) {
    *out << report.id.data1 << ' ';
    PrintTo(report.outcome, out);
    *out << " after " << report.callsBefore << " calls";
}

// Reports without the call counts.
MATCHER_P2(Reported, number, outcome, "") {
    return arg.id == readingID(number) && arg.outcome == outcome;
}

class PlaybackPersistenceTest : public testing::Test {
protected:
    PlaybackPersistenceTest() { makePersistence(true); }

    void makePersistence(bool automaticallySavesHistory) {
        persistence = std::make_unique<PlaybackPersistence>(store, automaticallySavesHistory);
        persistence->setOutcomeHandler([store = store.get(), reports = reports](const QUuid& id, Outcome outcome) {
            reports->append({id, outcome, store->log().size()});
        });
    }

    void drain() { EXPECT_TRUE(test::runTask(persistence->drain())); }

    template <typename T>
    static StoreResult<T> result(QCoro::Task<StoreResult<T>> task) {
        auto value = test::runTask(std::move(task));
        if (!value) return storeFailure(ReadingStoreError::lockUnavailable());  // runTask failed the test
        return std::move(*value);
    }

    // A store whose history is on, unless a test says otherwise.
    std::shared_ptr<test::FakePlaybackStore> store = [] {
        auto fake = std::make_shared<test::FakePlaybackStore>();
        ReadingStoreState state;
        state.historyEnabled = true;
        fake->publish(state);
        return fake;
    }();
    std::shared_ptr<QList<Report>> reports = std::make_shared<QList<Report>>();
    std::unique_ptr<PlaybackPersistence> persistence;
};

TEST_F(PlaybackPersistenceTest, OperationsReachTheStoreAndReportInTheOrderAsked) {
    store->delayNext(Call::recordPlaybackOfReading, 200ms);
    persistence->recordPlay(reading(1), Date{500}, at(0));
    for (const qsizetype offset : {10, 20, 30}) persistence->saveProgress(readingID(1), at(offset));
    auto adding = persistence->addReadingToLibrary(reading(1), at(30));
    EXPECT_THAT(store->log(), IsEmpty());  // nothing runs inside the calls that queue
    EXPECT_TRUE(result(std::move(adding)));
    const QUuid id = readingID(1);
    EXPECT_THAT(store->log(),
                ElementsAre(Logged{Call::loadState, {}, {}}, Logged{Call::historyEnabled, {}, {}},
                            Logged{Call::storedReading, id, {}}, Logged{Call::recordPlaybackOfReading, id, at(0)},
                            Logged{Call::updateProgress, id, at(10)}, Logged{Call::updateProgress, id, at(20)},
                            Logged{Call::updateProgress, id, at(30)}, Logged{Call::storedReading, id, {}},
                            Logged{Call::addToLibrary, id, {}}));
    EXPECT_THAT(*reports,
                ElementsAre(Report{id, Outcome::saved, 4}, Report{id, Outcome::saved, 5}, Report{id, Outcome::saved, 6},
                            Report{id, Outcome::saved, 7}, Report{id, Outcome::librarySaved, 9}));
    ASSERT_TRUE(store->find(id));
    EXPECT_EQ(store->find(id)->progress, at(30));
    EXPECT_TRUE(store->find(id)->isInLibrary);
}

TEST_F(PlaybackPersistenceTest, AFailedPlayRecordIsReportedAndTheQueueGoesOn) {
    store->failNext(Call::recordPlaybackOfReading, kInvalid);
    persistence->recordPlay(reading(1), Date{500}, at(0));
    for (const qsizetype offset : {10, 20, 30}) persistence->saveProgress(readingID(1), at(offset));
    drain();
    // The saves ran after the failure and wrote nothing: the reading never became registered.
    EXPECT_EQ(store->calls().last(), Call::recordPlaybackOfReading);
    EXPECT_THAT(*reports, ElementsAre(Reported(1, Outcome::failed)));

    // A failure is no removal: the next play record stores the reading, and its saves follow.
    persistence->recordPlay(reading(1), Date{600}, at(30));
    persistence->saveProgress(readingID(1), at(40));
    drain();
    EXPECT_THAT(*reports,
                ElementsAre(Reported(1, Outcome::failed), Reported(1, Outcome::saved), Reported(1, Outcome::saved)));
    EXPECT_EQ(store->find(readingID(1))->progress, at(40));
}

TEST_F(PlaybackPersistenceTest, EveryFailureButAMissingDocumentIsFailed) {
    const QList<StoreFailure> failures = {
        kInvalid,
        ReadingStoreError::duplicateIdentity(),
        ReadingStoreError::unsupportedVersionOf(9),
        FileError{FileError::Operation::write, ENOSPC, u"/data/reading-store.json"_s},
        FileError{FileError::Operation::read, ENOENT, u"/data/reading-store.json"_s},  // a missing file
        DecodingError{},
        OperationCancelled{},
    };
    store->keep(stored(1, true));
    ASSERT_TRUE(result(persistence->storedReading(readingID(1))));  // registers the reading
    for (const StoreFailure& failure : failures) {
        store->failNext(Call::updateProgress, failure);
        persistence->saveProgress(readingID(1), at(5));
    }
    // A play record fails at its first step the same way.
    store->failNext(Call::loadState, failures.at(3));
    persistence->recordPlay(reading(1), Date{500}, at(5));
    drain();
    ASSERT_EQ(reports->size(), failures.size() + 1);
    for (const Report& report : *reports) EXPECT_EQ(report.outcome, Outcome::failed);

    // Only missingDocument makes the reading removed; the positions are still written until then.
    store->failNext(Call::updateProgress, kMissing);
    persistence->saveProgress(readingID(1), at(6));
    persistence->saveProgress(readingID(1), at(7));
    drain();
    EXPECT_EQ(reports->last().outcome, Outcome::removed);
    EXPECT_EQ(store->calls().count(Call::updateProgress), failures.size() + 1);
}

TEST_F(PlaybackPersistenceTest, NothingIsWrittenAgainForARemovedReading) {
    store->keep(stored(1, true));
    ASSERT_TRUE(result(persistence->storedReading(readingID(1))));
    store->failNext(Call::updateProgress, kMissing);
    persistence->saveProgress(readingID(1), at(5));
    drain();
    EXPECT_THAT(*reports, ElementsAre(Reported(1, Outcome::removed)));
    store->clearLog();

    persistence->recordPlay(reading(1), Date{500}, at(5));
    persistence->saveProgress(readingID(1), at(6));
    const auto addedReading = result(persistence->addReadingToLibrary(reading(1), at(6)));
    const auto addedID = result(persistence->addToLibrary(readingID(1)));
    EXPECT_EQ(failureOf(addedReading), kMissing);
    EXPECT_EQ(failureOf(addedID), kMissing);
    EXPECT_THAT(store->log(), IsEmpty());
    EXPECT_THAT(*reports, ElementsAre(Reported(1, Outcome::removed), Reported(1, Outcome::removed)));
}

TEST_F(PlaybackPersistenceTest, AReadingRemovedWhileItsPlayRecordWaitsIsNotWritten) {
    store->keep(stored(1, true));
    store->delayNext(Call::loadState, 50ms);
    persistence->recordPlay(reading(1), Date{500}, at(5));
    ASSERT_TRUE(test::processEventsUntil([&] { return !store->log().isEmpty(); }));
    persistence->markRemoved(readingID(1));  // the store's change stream said it is gone
    drain();
    EXPECT_FALSE(store->calls().contains(Call::recordPlayback));
    EXPECT_THAT(*reports, ElementsAre(Reported(1, Outcome::removed), Reported(1, Outcome::removed)));
}

TEST_F(PlaybackPersistenceTest, PlayRecordsSwitchTheHistoryOnOnlyWhenAutomatic) {
    // Automatic: the first play of a new reading switches the history on and stores the reading.
    store->publish(ReadingStoreState());
    persistence->recordPlay(reading(1), Date{500}, at(0));
    drain();
    EXPECT_TRUE(store->state().historyEnabled);
    EXPECT_THAT(store->calls(), ElementsAre(Call::loadState, Call::historyEnabled, Call::setHistoryEnabled,
                                            Call::storedReading, Call::recordPlaybackOfReading));
    EXPECT_THAT(*reports, ElementsAre(Reported(1, Outcome::saved)));

    // A failed switch ends the play record there.
    store->publish(ReadingStoreState());
    store->failNext(Call::setHistoryEnabled, kInvalid);
    persistence->recordPlay(reading(4), Date{500}, at(0));
    drain();
    EXPECT_EQ(store->calls().last(), Call::setHistoryEnabled);
    EXPECT_THAT(*reports, ElementsAre(Reported(1, Outcome::saved), Reported(4, Outcome::failed)));

    // Not automatic: the setting is left off, the play is not stored, and its saves write nothing.
    store->publish(ReadingStoreState());
    store->clearLog();
    reports->clear();
    makePersistence(false);
    persistence->recordPlay(reading(2), Date{500}, at(0));
    persistence->saveProgress(readingID(2), at(10));
    drain();
    EXPECT_FALSE(store->state().historyEnabled);
    EXPECT_THAT(store->calls(), ElementsAre(Call::loadState, Call::storedReading, Call::recordPlaybackOfReading));
    EXPECT_THAT(*reports, ElementsAre(Reported(2, Outcome::notSaved)));

    // A reading the store has is played by identifier, history on or off.
    store->keep(stored(3, true));
    store->clearLog();
    persistence->recordPlay(reading(3), Date{700}, at(4));
    persistence->saveProgress(readingID(3), at(8));
    drain();
    EXPECT_THAT(store->calls(),
                ElementsAre(Call::loadState, Call::storedReading, Call::recordPlayback, Call::updateProgress));
    EXPECT_THAT(*reports,
                ElementsAre(Reported(2, Outcome::notSaved), Reported(3, Outcome::saved), Reported(3, Outcome::saved)));
}

TEST_F(PlaybackPersistenceTest, OpeningAStoredReadingWaitsForTheQueueAndRegistersIt) {
    store->keep(stored(1, false, Date{300}));
    // A save of a reading not yet registered writes nothing...
    persistence->saveProgress(readingID(1), at(5));
    // ...while a slow save queued before the opening is seen by it.
    store->keep(stored(2, true));
    ASSERT_TRUE(result(persistence->storedReading(readingID(2))));
    store->delayNext(Call::updateProgress, 100ms);
    persistence->saveProgress(readingID(2), at(9));
    const auto opened = result(persistence->storedReading(readingID(2)));
    ASSERT_TRUE(opened && *opened);
    EXPECT_EQ((*opened)->progress, at(9));

    const auto first = result(persistence->storedReading(readingID(1)));
    ASSERT_TRUE(first && *first);
    persistence->saveProgress(readingID(1), at(5));
    drain();
    EXPECT_EQ(store->find(readingID(1))->progress, at(5));
    EXPECT_THAT(*reports, ElementsAre(Reported(2, Outcome::saved), Reported(1, Outcome::saved)));
}

TEST_F(PlaybackPersistenceTest, OpeningAReadingTheStoreLacksReportsItRemoved) {
    const auto missing = result(persistence->storedReading(readingID(1)));
    ASSERT_TRUE(missing);
    EXPECT_EQ(*missing, std::nullopt);
    EXPECT_THAT(*reports, ElementsAre(Reported(1, Outcome::removed)));
    // A removed reading stays removed even when the store has it again.
    store->keep(stored(1, true));
    const auto again = result(persistence->storedReading(readingID(1)));
    ASSERT_TRUE(again);
    EXPECT_EQ(*again, std::nullopt);
    // A store that cannot load fails the opening; nothing is reported for it.
    store->keep(stored(2, true));
    store->failNext(Call::loadState, kInvalid);
    EXPECT_EQ(failureOf(result(persistence->storedReading(readingID(2)))), kInvalid);
    EXPECT_EQ(reports->size(), 2);
}

TEST_F(PlaybackPersistenceTest, LibraryAdditionsAddNewReadingsAndMarkStoredOnes) {
    // Not stored: added with its progress (saved).
    EXPECT_TRUE(result(persistence->addReadingToLibrary(reading(1), at(3))));
    // Stored in the history only: made a library reading (librarySaved).
    store->keep(stored(2, false, Date{300}));
    EXPECT_TRUE(result(persistence->addReadingToLibrary(reading(2), at(3))));
    EXPECT_TRUE(result(persistence->addToLibrary(readingID(2))));
    EXPECT_THAT(*reports, ElementsAre(Reported(1, Outcome::saved), Reported(2, Outcome::librarySaved),
                                      Reported(2, Outcome::librarySaved)));
    EXPECT_TRUE(store->find(readingID(2))->isInLibrary);
    // Both are registered now: their positions are written.
    persistence->saveProgress(readingID(1), at(4));
    persistence->saveProgress(readingID(2), at(4));
    drain();
    EXPECT_EQ(store->calls().count(Call::updateProgress), 2);

    // A store failure goes to the caller and is not reported.
    reports->clear();
    store->failNext(Call::addToLibrary, kInvalid);
    EXPECT_EQ(failureOf(result(persistence->addToLibrary(readingID(2)))), kInvalid);
    store->failNext(Call::addReadingToLibrary, kInvalid);
    EXPECT_EQ(failureOf(result(persistence->addReadingToLibrary(reading(3), at(0)))), kInvalid);
    EXPECT_THAT(*reports, IsEmpty());
}

TEST_F(PlaybackPersistenceTest, DeletionsAndHistoryRemovalsReportOnlyWhatTheStoreDeleted) {
    store->keep(stored(1, true, Date{100}));   // library and history
    store->keep(stored(2, false, Date{200}));  // history only
    store->keep(stored(3, true));              // library only

    // A failed deletion reports nothing and gives the failure.
    store->failNext(Call::deleteDocument, kInvalid);
    EXPECT_EQ(failureOf(result(persistence->deleteDocument(readingID(3)))), kInvalid);
    EXPECT_THAT(*reports, IsEmpty());
    EXPECT_TRUE(result(persistence->deleteDocument(readingID(3))));
    EXPECT_THAT(*reports, ElementsAre(Report{readingID(3), Outcome::removed, 2}));  // after the store deleted it

    EXPECT_TRUE(result(persistence->removeFromHistory({readingID(1), readingID(2)})));
    EXPECT_THAT(*reports, ElementsAre(Reported(3, Outcome::removed), Reported(2, Outcome::removed)));
    EXPECT_TRUE(store->find(readingID(1)));  // still in the library
    store->failNext(Call::removeFromHistory, kInvalid);
    EXPECT_EQ(failureOf(result(persistence->removeFromHistory({readingID(1)}))), kInvalid);
    EXPECT_EQ(reports->size(), 2);
}

TEST_F(PlaybackPersistenceTest, QueuedActionsKeepTheirPlaceAndFailuresDoNotStopTheQueue) {
    store->respondNext(Call::setHistoryEnabled, {50ms, kInvalid});
    auto switching = persistence->setHistoryEnabled(false);
    persistence->recordPlay(reading(1), Date{500}, at(0));
    auto adding = persistence->addToLibrary(readingID(1));
    EXPECT_TRUE(result(std::move(adding)));
    EXPECT_EQ(failureOf(result(std::move(switching))), kInvalid);
    EXPECT_THAT(store->calls(), ElementsAre(Call::setHistoryEnabled, Call::loadState, Call::historyEnabled,
                                            Call::storedReading, Call::recordPlaybackOfReading, Call::addToLibrary));

    // Generic operations queue the same way; awaiting the tail waits for all of them, failed ones too.
    QStringList ran;
    store->delayNext(Call::updateProgress, 50ms);
    persistence->saveProgress(readingID(1), at(1));
    auto failing = persistence->perform([&ran]() -> QCoro::Task<StoreResult<void>> {
        ran.append(u"perform"_s);
        return []() -> QCoro::Task<StoreResult<void>> { co_return storeFailure(kInvalid); }();
    });
    persistence->enqueue([&ran]() -> QCoro::Task<void> {
        ran.append(u"enqueue"_s);
        return []() -> QCoro::Task<void> { co_return; }();
    });
    drain();
    EXPECT_EQ(ran, (QStringList{u"perform"_s, u"enqueue"_s}));
    EXPECT_EQ(store->calls().last(), Call::updateProgress);
    EXPECT_EQ(failureOf(result(std::move(failing))), kInvalid);
}

TEST_F(PlaybackPersistenceTest, ADestroyedPersistenceStillDeliversWhatWasQueued) {
    store->keep(stored(1, true));
    ASSERT_TRUE(result(persistence->storedReading(readingID(1))));
    store->respondAlways(Call::updateProgress, {20ms, std::nullopt});
    for (const qsizetype offset : {1, 2, 3}) persistence->saveProgress(readingID(1), at(offset));
    persistence.reset();
    std::weak_ptr<test::FakePlaybackStore> weakStore = store;
    store.reset();  // the queue shares the store too
    ASSERT_TRUE(test::processEventsUntil([&] { return reports->size() == 3; }));
    EXPECT_THAT(*reports,
                ElementsAre(Reported(1, Outcome::saved), Reported(1, Outcome::saved), Reported(1, Outcome::saved)));
    // Once the last has run, nothing holds the store any more.
    ASSERT_TRUE(test::processEventsUntil([&] { return weakStore.expired(); }));
}

// The application's road: the real store in a temporary folder, its history off, automatic history on.
TEST(PlaybackPersistenceOnTheStore, TheFirstPlaySwitchesTheHistoryOnAndPositionsSurviveAReopening) {
    test::TemporaryDirectory directory;
    test::FakeClock clock;
    const QString path = directory.filePath(u"data/reading-store.json"_s);
    auto opened = ReadingStore::open(path, clock);
    ASSERT_TRUE(opened);
    std::shared_ptr<ReadingStore> store = std::move(*opened);
    ASSERT_FALSE(test::runTask(store->historyEnabled()).value_or(true));

    QList<std::pair<QUuid, Outcome>> reports;
    auto persistence = std::make_unique<PlaybackPersistence>(std::make_shared<ReadingStorePlaybackStore>(store), true);
    persistence->setOutcomeHandler([&](const QUuid& id, Outcome outcome) { reports.append({id, outcome}); });
    persistence->recordPlay(reading(1), Date{500}, at(0));
    persistence->saveProgress(readingID(1), at(7));
    EXPECT_TRUE(test::runTask(persistence->drain()));
    EXPECT_EQ(reports,
              (QList<std::pair<QUuid, Outcome>>{{readingID(1), Outcome::saved}, {readingID(1), Outcome::saved}}));
    persistence.reset();
    store.reset();

    auto reopened = ReadingStore::open(path, clock);
    ASSERT_TRUE(reopened);
    EXPECT_TRUE(test::runTask((*reopened)->historyEnabled()).value_or(false));
    const auto record = test::runTask((*reopened)->storedReading(readingID(1)));
    ASSERT_TRUE(record && *record);
    EXPECT_EQ((*record)->progress, at(7));
    EXPECT_EQ((*record)->lastPlayedAt, Date{500});
    EXPECT_FALSE((*record)->isInLibrary);
}

}  // namespace
}  // namespace tavrine
