// The document list's model over the real player and a real store in a temporary folder (writes failed
// through the faulty file system): the store's lists and their signals, the rows a query lets through,
// the selection kept to them, the row texts at their edges, and the operations with their races.
#include "PelmoraMac/Library/MacReadingPlayback.h"
#include "PelmoraMac/Library/ReaderHistoryModel.h"
#include "ReaderCore/ImportedReading.h"
#include "ReaderCore/MemoryDefaults.h"
#include "ReaderStorage/ReadingStore.h"
#include "ReaderUI/Library/ReadingLibrarySearch.h"

#include "support/EventLoop.h"
#include "support/FakeClock.h"
#include "support/FaultyFileSystem.h"
#include "support/QtPrinters.h"
#include "support/RunTask.h"
#include "support/StoreTesting.h"
#include "support/TemporaryDirectory.h"

#include <gtest/gtest.h>

#include <cerrno>

namespace tavrine {
namespace {
using namespace Qt::StringLiterals;
using Collection = ReaderHistoryModel::Collection;
using test::runTask;

SavedReading readingOf(QString text, std::optional<QString> title = std::nullopt, QStringList creators = {}) {
    std::optional<EPUBBook::Information> epub;
    if (!creators.isEmpty()) {
        epub.emplace();
        epub->metadata.creators = std::move(creators);
    }
    return SavedReading{.id = QUuid::createUuid(),
                        .document = {.sections = {}, .text = std::move(text), .spans = {}},
                        .title = std::move(title),
                        .epub = std::move(epub),
                        .source = std::nullopt,
                        .importedAt = {}};
}

StoredReading recordOf(SavedReading reading, ReadingProgress progress = {}) {
    StoredReading record;
    record.reading = std::move(reading);
    record.isInLibrary = true;
    record.progress = progress;
    return record;
}

template <typename T>
bool succeeded(const std::optional<StoreResult<T>>& result) {
    return result && result->has_value();
}

QList<QUuid> idsOf(const QList<StoredReading>& rows) {
    QList<QUuid> ids;
    for (const StoredReading& row : rows) ids.append(row.id());
    return ids;
}

class ReaderHistoryModelTest : public testing::Test {
protected:
    void SetUp() override {
        auto opened = ReadingStore::open(folder.filePath(u"reading-store.json"_s), files, clock);
        ASSERT_TRUE(opened.has_value());
        store = std::move(*opened);
        ASSERT_TRUE(succeeded(runTask(store->setHistoryEnabled(true))));
    }

    void TearDown() override {
        model.reset();
        playback.reset();
        EXPECT_TRUE(test::releaseStore(store));
    }

    // Stores reading in the library, or, with played, only in the history.
    SavedReading stored(SavedReading reading, bool played = false) {
        if (played)
            EXPECT_TRUE(succeeded(runTask(store->recordPlayback(reading, clock.now(), ReadingProgress{}))));
        else
            EXPECT_TRUE(succeeded(runTask(store->addToLibrary(reading, ReadingProgress{}))));
        clock.advance(std::chrono::seconds(1));
        return reading;
    }

    // The model over the store (or none), following it until loaded.
    ReaderHistoryModel& start(bool withStore = true) {
        playback = std::make_unique<MacReadingPlayback>(withStore ? store : nullptr, defaults, clock,
                                                        MacReadingPlayback::readingFontPhraseWidth());
        model = std::make_unique<ReaderHistoryModel>(std::make_unique<ReadingLibrarySearch>(), *playback,
                                                     [this] { ++readingActions; });
        loading.start([this](CancellationToken token) { return model->load(std::move(token)); });
        EXPECT_TRUE(test::processEventsUntil([&] { return model->isLoaded(); }));
        return *model;
    }

    ReadingPlayer& player() { return playback->player(); }

    bool settles(const std::function<bool()>& condition) { return test::processEventsUntil(condition); }

    test::TemporaryDirectory folder;
    std::shared_ptr<test::FaultyFileSystem> files = std::make_shared<test::FaultyFileSystem>();
    test::FakeClock clock;
    MemoryDefaults defaults;
    std::shared_ptr<ReadingStore> store;
    std::unique_ptr<MacReadingPlayback> playback;
    std::unique_ptr<ReaderHistoryModel> model;
    TaskHandle loading;
    int readingActions = 0;
};

// ---- The store's lists ----

TEST_F(ReaderHistoryModelTest, FollowsTheStoreAndSignalsOneStateAsAWhole) {
    const SavedReading older = stored(readingOf(u"古い本文"_s), true);
    const SavedReading newer = stored(readingOf(u"新しい本文"_s), true);
    const SavedReading book = stored(readingOf(u"ライブラリの本文"_s));
    ReaderHistoryModel& model = start();
    EXPECT_EQ(idsOf(model.history()), (QList<QUuid>{newer.id, older.id}));
    EXPECT_EQ(idsOf(model.library()), QList<QUuid>{book.id});
    EXPECT_EQ(model.historyLimit(), 100);

    // An equal state changes nothing anyone can see.
    int signalled = 0;
    for (auto changed : {&ReaderHistoryModel::historyChanged, &ReaderHistoryModel::libraryChanged,
                         &ReaderHistoryModel::historyLimitChanged, &ReaderHistoryModel::visibleItemsChanged,
                         &ReaderHistoryModel::selectedIDChanged})
        QObject::connect(&model, changed, &model, [&] { ++signalled; });
    model.apply(*runTask(store->currentState()));
    EXPECT_EQ(signalled, 0);

    // A lower limit drops the older entry: a slot of either signal already sees the other change.
    std::optional<qint64> limitSeenWithHistory;
    std::optional<qsizetype> historySeenWithLimit;
    QObject::connect(&model, &ReaderHistoryModel::historyChanged, &model,
                     [&] { limitSeenWithHistory = model.historyLimit(); });
    QObject::connect(&model, &ReaderHistoryModel::historyLimitChanged, &model,
                     [&] { historySeenWithLimit = model.history().size(); });
    ASSERT_TRUE(succeeded(runTask(store->setHistoryLimit(1))));
    ASSERT_TRUE(settles([&] { return model.historyLimit() == 1; }));
    EXPECT_EQ(idsOf(model.history()), QList<QUuid>{newer.id});
    EXPECT_EQ(limitSeenWithHistory, 1);
    EXPECT_EQ(historySeenWithLimit, 1);

    // Once its task is cancelled the model takes no further state.
    loading.cancel();
    ASSERT_TRUE(settles([&] { return !loading.isRunning(); }));
    stored(readingOf(u"後から"_s));
    test::settlePool();
    EXPECT_EQ(model.library().size(), 1);
}

TEST_F(ReaderHistoryModelTest, WithoutAStoreItIsLoadedAtOnceAndEveryStoreOperationIsRefused) {
    ReaderHistoryModel& model = start(false);
    EXPECT_TRUE(model.history().isEmpty());
    EXPECT_TRUE(model.visibleItems().isEmpty());
    ASSERT_TRUE(player().apply(ImportedReading::fromText(u"読める本文"_s, false, clock), true));
    EXPECT_FALSE(model.canAddCurrentToLibrary());
    EXPECT_TRUE(runTask(model.addCurrentToLibrary()));
    EXPECT_TRUE(runTask(model.addToLibrary(*player().readingID())));
    EXPECT_TRUE(runTask(model.deleteDocument(*player().readingID())));
    EXPECT_FALSE(model.isBusy());
    EXPECT_FALSE(model.message());
}

// ---- Rows, query and selection ----

TEST_F(ReaderHistoryModelTest, TheQuickMatchLooksAtCreatorsTheTitlesFirstHundredCharactersAndTheText) {
    const QString longTitle = QString(100, u'あ') + u"後半"_s;
    const SavedReading titled = stored(readingOf(u"本文だけ"_s, longTitle));
    const SavedReading kana = stored(readingOf(u"がっこう"_s));
    const SavedReading tail = stored(readingOf(u"本文にも後半"_s, longTitle));
    ReaderHistoryModel& model = start();
    // A book's information is checked against its sections by the store: this one is only listed.
    const SavedReading book = readingOf(u"本の本文"_s, u"題"_s, {u"Émile Zola"_s});
    ReadingStoreState state = *runTask(store->currentState());
    state.library.append(recordOf(book));
    model.apply(state);

    model.setQuery(u" \n\t"_s);
    EXPECT_EQ(model.visibleItems().size(), 0);  // the history is empty
    model.setCollection(Collection::library);
    EXPECT_EQ(model.visibleItems().size(), 4);
    // Past the title's hundredth Character only a text that holds the words matches.
    model.setQuery(u"後半 "_s);
    EXPECT_EQ(idsOf(model.visibleItems()), QList<QUuid>{tail.id});
    model.setQuery(u"か"_s);
    EXPECT_EQ(idsOf(model.visibleItems()), QList<QUuid>{kana.id});
    model.setQuery(u"emile"_s);
    EXPECT_EQ(idsOf(model.visibleItems()), QList<QUuid>{book.id});
    model.setQuery(u"\u0301"_s);
    EXPECT_TRUE(model.visibleItems().isEmpty());
    EXPECT_FALSE(model.search().matchingIDs());
    EXPECT_FALSE(model.quickMatch(recordOf(titled), u"後半"_s));
}

TEST_F(ReaderHistoryModelTest, TheSelectionFollowsTheRowsShown) {
    const SavedReading both = stored(readingOf(u"両方にある"_s), true);
    ASSERT_TRUE(succeeded(runTask(store->addToLibrary(both.id))));
    const SavedReading played = stored(readingOf(u"履歴だけ"_s), true);
    ReaderHistoryModel& model = start();
    ASSERT_TRUE(settles([&] { return model.library().size() == 1; }));

    model.select(both.id);
    ASSERT_TRUE(settles([&] { return player().readingID() == both.id && !model.loadingID(); }));
    model.setCollection(Collection::library);
    EXPECT_EQ(model.selectedID(), both.id);

    // A row only in the history goes with the switch, and so does its pending opening.
    model.setCollection(Collection::history);
    model.select(played.id);
    EXPECT_EQ(model.loadingID(), played.id);
    const QUuid request = model.selectionRequestID();
    model.setCollection(Collection::library);
    EXPECT_FALSE(model.selectedID());
    EXPECT_FALSE(model.loadingID());
    EXPECT_NE(model.selectionRequestID(), request);
    test::settlePool();
    EXPECT_EQ(player().readingID(), both.id);

    // Writing the same query again clears the file notice again.
    const QUuid notice = model.fileNoticeID();
    model.setQuery(model.query());
    EXPECT_NE(model.fileNoticeID(), notice);
}

TEST_F(ReaderHistoryModelTest, ALongTextHandsTheQueryToTheSearchAndItsResultDoesNotRestoreTheSelection) {
    QString longText = QString(20'001, u'い');
    const SavedReading large = stored(readingOf(longText));
    const SavedReading small = stored(readingOf(u"ねこがいる"_s));
    ReaderHistoryModel& model = start();
    model.setCollection(Collection::library);
    model.select(small.id);
    ASSERT_TRUE(settles([&] { return !model.loadingID(); }));

    int changes = 0;
    QObject::connect(&model, &ReaderHistoryModel::visibleItemsChanged, &model, [&] { ++changes; });
    model.setQuery(u"ねこ"_s);
    EXPECT_TRUE(model.visibleItems().isEmpty());  // while the search runs
    EXPECT_FALSE(model.selectedID());
    ASSERT_TRUE(settles([&] { return !model.search().isSearching(); }));
    EXPECT_EQ(idsOf(model.visibleItems()), QList<QUuid>{small.id});
    EXPECT_EQ(changes, 2);
    EXPECT_FALSE(model.selectedID());
    static_cast<void>(large);
}

// ---- Row texts ----

TEST_F(ReaderHistoryModelTest, RowTextsAtTheirEdges) {
    using Model = ReaderHistoryModel;
    // A book's title is never part of its preview.
    EXPECT_EQ(Model::rowPreview(readingOf(u"本文"_s, u"本の題"_s, {u"x"_s})), u"EPUB · x"_s);
    SavedReading noCreators = readingOf(u"本文"_s, u"本の題"_s);
    noCreators.epub.emplace();
    EXPECT_EQ(Model::rowPreview(noCreators), u"EPUB · 著者情報なし"_s);
    QStringList eleven;
    for (int i = 1; i <= 11; ++i) eleven.append(u"著者%1"_s.arg(i));
    EXPECT_TRUE(Model::rowPreview(readingOf(u"本文"_s, {}, eleven)).endsWith(u"著者10、ほか1名"_s));

    EXPECT_EQ(Model::rowPreview(readingOf(u"  一行目\n\n\t二行目　 三 "_s)), u"一行目 二行目 三"_s);
    EXPECT_EQ(Model::rowPreview(readingOf(u" \n "_s)), QString());
    // The first 512 Characters are read (a family emoji is one), and 120 are kept.
    const QString family = u"👨‍👩‍👧"_s;
    QString manyWords;
    for (int i = 0; i < 100; ++i) manyWords += family + u"    "_s;
    const QString preview = Model::rowPreview(readingOf(manyWords));
    EXPECT_EQ(preview.count(family), 60);
    EXPECT_TRUE(preview.endsWith(u' '));
    EXPECT_EQ(Model::rowPreview(readingOf(QString(511, u' ') + u"見える"_s)), u"見"_s);
    EXPECT_EQ(Model::rowPreview(readingOf(QString(512, u' ') + u"見えない"_s)), QString());

    struct Row {
        qsizetype length;
        qsizetype offset;
        bool completed;
        QString compact;
        QString full;
    };
    for (const Row& row : {Row{1'000, 0, false, u"0%"_s, u"先頭"_s}, Row{1'000, 1, false, u"0%"_s, u"0%"_s},
                           Row{1'000, 999, false, u"99%"_s, u"99%"_s}, Row{1'000, 1'000, false, u"99%"_s, u"99%"_s},
                           Row{0, 5, false, u"99%"_s, u"99%"_s}, Row{1'000, 500, true, u"100%"_s, u"最後まで再生"_s},
                           Row{3, 1, false, u"33%"_s, u"33%"_s}}) {
        const StoredReading item =
            recordOf(readingOf(QString(row.length, u'字')), {.utf16Offset = row.offset, .isCompleted = row.completed});
        EXPECT_EQ(Model::rowProgress(item, true), row.compact) << row.length << " " << row.offset;
        EXPECT_EQ(Model::rowProgress(item, false), row.full) << row.length << " " << row.offset;
    }
    EXPECT_EQ(enumFromRawValue<Collection>(u"ライブラリ"_s), Collection::library);
    EXPECT_EQ(rawValue(Collection::history), u"履歴"_s);
    EXPECT_FALSE(enumFromRawValue<Collection>(u"history"_s));
}

// ---- Selecting and playing ----

TEST_F(ReaderHistoryModelTest, ALaterSelectionOrAnotherReadingWinsOverAPendingOpening) {
    const SavedReading a = stored(readingOf(u"一つ目の本文"_s));
    const SavedReading b = stored(readingOf(u"二つ目の本文"_s));
    ReaderHistoryModel& model = start();
    model.setCollection(Collection::library);

    // A, then B before A has opened: only B opens, and A's end changes nothing.
    model.select(a.id);
    const QUuid firstRequest = model.selectionRequestID();
    model.select(a.id);  // being opened already: no second task
    EXPECT_EQ(model.selectionRequestID(), firstRequest);
    model.select(b.id);
    EXPECT_EQ(model.loadingID(), b.id);
    ASSERT_TRUE(settles([&] { return !model.loadingID(); }));
    test::settlePool();
    EXPECT_EQ(player().readingID(), b.id);
    EXPECT_EQ(model.selectedID(), b.id);
    EXPECT_FALSE(model.message());
    EXPECT_GE(readingActions, 3);

    // The row the player shows is selected without opening anything.
    model.select(b.id);
    EXPECT_FALSE(model.loadingID());

    // Cancelled while the player looks A up: A is not opened and nothing is written, the selection stays.
    bool cancelled = false;
    const QMetaObject::Connection lookingUp =
        QObject::connect(&player(), &ReadingPlayer::loadingSavedReadingIDChanged, &model, [&] {
            if (cancelled || player().loadingSavedReadingID() != a.id) return;
            cancelled = true;
            model.cancelPendingSelection();
        });
    model.select(a.id);
    ASSERT_TRUE(settles([&] { return cancelled; }));
    QObject::disconnect(lookingUp);
    EXPECT_FALSE(model.loadingID());
    test::settlePool();
    EXPECT_EQ(player().readingID(), b.id);
    EXPECT_EQ(model.selectedID(), a.id);
    EXPECT_FALSE(model.message());

    // The player opens another reading before the task runs: it opens nothing and stops pending.
    model.select(std::nullopt);
    model.select(a.id);
    const ImportedReading captured = ImportedReading::fromText(u"取り込んだ本文"_s, false, clock);
    ASSERT_TRUE(player().apply(captured, true));
    ASSERT_TRUE(settles([&] { return !model.loadingID(); }));
    test::settlePool();
    EXPECT_EQ(player().readingID(), captured.id());

    // Termination leaves a pending opening running.
    model.select(b.id);
    model.prepareForTermination();
    EXPECT_TRUE(model.isTerminating());
    EXPECT_EQ(model.loadingID(), b.id);
}

TEST_F(ReaderHistoryModelTest, RowsNotShownAreNeitherSelectedNorPlayedAndFailuresAreWorded) {
    const SavedReading shown = stored(readingOf(u"見える本文"_s));
    const SavedReading hidden = stored(readingOf(u"隠れる本文"_s));
    ReaderHistoryModel& model = start();
    model.setCollection(Collection::library);
    model.setQuery(u"見える"_s);

    model.select(hidden.id);
    EXPECT_FALSE(model.selectedID());
    EXPECT_TRUE(runTask(model.play(hidden.id, false, true)));
    EXPECT_FALSE(player().readingID());

    EXPECT_TRUE(runTask(model.play(shown.id, true, false)));
    EXPECT_EQ(player().readingID(), shown.id);
    EXPECT_FALSE(model.selectedID());
    EXPECT_TRUE(player().pendingAutoplay());
    EXPECT_FALSE(model.message());

    // A row whose reading the store no longer has: both openings fail and say so.
    ReadingStoreState state = *runTask(store->currentState());
    const SavedReading gone = readingOf(u"見えるが無い"_s);
    state.library.prepend(recordOf(gone));
    model.apply(state);
    model.select(gone.id);
    ASSERT_TRUE(settles([&] { return !model.loadingID(); }));
    EXPECT_EQ(model.message(), ReaderHistoryModel::kOpenFailed);
    EXPECT_TRUE(runTask(model.play(gone.id, false, true)));
    EXPECT_EQ(model.message(), ReaderHistoryModel::kPlayFailed);
}

TEST_F(ReaderHistoryModelTest, ClearingTheSelectionKeepsTheReplacementUndo) {
    const SavedReading a = stored(readingOf(u"保存した本文"_s));
    ReaderHistoryModel& model = start();
    model.setCollection(Collection::library);
    model.select(a.id);
    ASSERT_TRUE(settles([&] { return player().readingID() == a.id && !model.loadingID(); }));
    const ImportedReading pasted = ImportedReading::create({.sections = {}, .text = u"貼り付けた本文"_s, .spans = {}},
                                                           false, std::nullopt, std::nullopt, true, clock);
    ASSERT_TRUE(player().apply(pasted, true));
    ASSERT_TRUE(player().canUndoReplacement());

    model.clearSelection();
    EXPECT_FALSE(model.selectedID());
    EXPECT_TRUE(player().canUndoReplacement());
    model.select(std::nullopt);
    EXPECT_FALSE(player().canUndoReplacement());
}

// ---- Store operations ----

TEST_F(ReaderHistoryModelTest, StoreOperationsRefreshTheListsAndWordTheirFailures) {
    const SavedReading played = stored(readingOf(u"再生した本文"_s), true);
    const SavedReading book = stored(readingOf(u"ライブラリの本"_s));
    ReaderHistoryModel& model = start();

    // A failed write: the text of the operation, the lists as the store keeps them; a success clears it.
    files->failOn(FileError::Operation::write, folder.path(), EIO, true);
    EXPECT_TRUE(runTask(model.addToLibrary(played.id)));
    EXPECT_EQ(model.message(), ReaderHistoryModel::kAddToLibraryFailed);
    EXPECT_EQ(model.library().size(), 1);
    EXPECT_TRUE(runTask(model.deleteDocument(book.id)));
    EXPECT_EQ(model.message(), ReaderHistoryModel::kDeleteFailed);
    EXPECT_TRUE(runTask(model.removeFromHistory({played.id})));
    EXPECT_EQ(model.message(), ReaderHistoryModel::kRemoveFromHistoryFailed);
    files->clearFaults();
    EXPECT_TRUE(runTask(model.addToLibrary(played.id)));
    EXPECT_FALSE(model.message());
    const QList<QUuid> library = idsOf(model.library());
    EXPECT_EQ(QSet<QUuid>(library.cbegin(), library.cend()), (QSet<QUuid>{book.id, played.id}));

    // Busy, or an empty set: refused, silently.
    auto running = model.deleteDocument(book.id);
    EXPECT_TRUE(model.isBusy());
    EXPECT_FALSE(model.canAddCurrentToLibrary());
    const QUuid notice = model.fileNoticeID();
    EXPECT_TRUE(runTask(model.addToLibrary(book.id)));
    EXPECT_TRUE(runTask(model.removeFromHistory({})));
    EXPECT_EQ(model.fileNoticeID(), notice);
    EXPECT_TRUE(runTask(std::move(running)));
    EXPECT_FALSE(model.isBusy());
    EXPECT_EQ(idsOf(model.library()), QList<QUuid>{played.id});

    // Removing the history while one of its rows opens ends that opening; its row goes with the refresh.
    model.select(played.id);
    EXPECT_EQ(model.loadingID(), played.id);
    auto removing = model.removeFromHistory({played.id});
    EXPECT_FALSE(model.loadingID());
    EXPECT_EQ(model.selectedID(), played.id);
    EXPECT_TRUE(runTask(std::move(removing)));
    EXPECT_TRUE(model.history().isEmpty());
    EXPECT_FALSE(model.selectedID());
    EXPECT_FALSE(model.message());
    test::settlePool();
    EXPECT_NE(player().readingID(), played.id);
}

TEST_F(ReaderHistoryModelTest, TheCurrentReadingIsAddedOnceAndNeverBlank) {
    ReaderHistoryModel& model = start();
    EXPECT_FALSE(model.canAddCurrentToLibrary());  // nothing open
    player().apply(ImportedReading::fromText(u" \n　"_s, false, clock), true);
    EXPECT_FALSE(model.canAddCurrentToLibrary());

    const ImportedReading text = ImportedReading::fromText(u"追加する本文"_s, false, clock);
    ASSERT_TRUE(player().apply(text, true));
    ASSERT_TRUE(model.canAddCurrentToLibrary());
    files->failOn(FileError::Operation::write, folder.path(), EIO, true);
    EXPECT_TRUE(runTask(model.addCurrentToLibrary()));
    EXPECT_EQ(model.message(), ReaderHistoryModel::kAddCurrentFailed);
    files->clearFaults();
    EXPECT_TRUE(runTask(model.addCurrentToLibrary()));
    EXPECT_FALSE(model.message());
    EXPECT_EQ(idsOf(model.library()), QList<QUuid>{text.id()});
    EXPECT_TRUE(model.isCurrentInLibrary());
    EXPECT_FALSE(model.canAddCurrentToLibrary());
}

}  // namespace
}  // namespace tavrine
