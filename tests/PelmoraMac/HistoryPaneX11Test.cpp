// The document list pane as a person drives it on a real X server with xdotool, over 20 readings of a
// real store: Tab into the list (its focus ring), the arrows and Return (the reading opens and plays),
// Shift+F10 (the row's menu), a search typed and closed with Escape, and the history-clearing alert. Each
// step leaves a screenshot in test-artifacts/ (history-pane-*.png). Then the start view: a refused EPUB
// import with its details open, a file being read, a reading's details sheet, and Space then Shift+Space
// on the focused sample button (start-view-*.png).
#include "PelmoraMac/Library/MacReadingPlayback.h"
#include "PelmoraMac/Library/ReaderHistoryDetails.h"
#include "PelmoraMac/Library/ReaderHistoryModel.h"
#include "PelmoraMac/Library/ReaderHistoryPane.h"
#include "PelmoraMac/Library/ReaderHistoryTable.h"
#include "PelmoraMac/Library/ReaderImportNotice.h"
#include "PelmoraMac/Library/ReaderStartView.h"
#include "ReaderCore/MemoryDefaults.h"
#include "ReaderStorage/ReadingStore.h"
#include "ReaderUI/Library/ReadingLibrarySearch.h"
#include "ReaderWidgets/Style/ReaderTheme.h"

#include "support/CheckoutPaths.h"
#include "support/GuiTesting.h"
#include "support/QtPrinters.h"
#include "support/ReceivedPresses.h"
#include "support/RunTask.h"
#include "support/TemporaryDirectory.h"
#include "support/TestEPUBBuilder.h"

#include <gtest/gtest.h>
#include <QApplication>
#include <QCoro/QCoroFuture>
#include <QLabel>
#include <QLineEdit>
#include <QListView>
#include <QMenu>
#include <QMessageBox>
#include <QPointer>
#include <QProcess>
#include <QPromise>
#include <QPushButton>
#include <QToolButton>
#include <QVBoxLayout>

namespace tavrine {
namespace {
using namespace Qt::StringLiterals;
using test::processEventsUntil;
using test::runTask;

void xdotool(const QStringList& arguments) {
    QProcess process;
    process.start(u"xdotool"_s, arguments);
    ASSERT_TRUE(process.waitForFinished(test::patienceMilliseconds()));
    ASSERT_EQ(process.exitCode(), 0) << process.readAllStandardError().toStdString();
}

void screenshot(const QString& name) {
    processEventsUntil([] { return false; }, std::chrono::milliseconds(150));
    QProcess process;
    process.start(test::inCheckout(X11_SCREENSHOT), {test::testArtifactPath(name)});
    ASSERT_TRUE(process.waitForFinished(test::patienceMilliseconds()));
    EXPECT_EQ(process.exitCode(), 0);
}

// Presses the chord until its key reached a window of the application, then lets what it does settle.
void keys(const QString& chord) {
    const test::ReceivedKeys received;
    ASSERT_TRUE(test::keyReached(received,
                                 [&] {
                                     xdotool({u"key"_s, chord});
                                 }))
        << chord.toStdString() << " did not reach the window";
    processEventsUntil([] { return false; }, std::chrono::milliseconds(100));
}

TEST(HistoryPaneX11, KeyboardWalkOverTwentyReadings) {
    test::TemporaryDirectory folder;
    auto opened = ReadingStore::open(folder.filePath(u"reading-store.json"_s));
    ASSERT_TRUE(opened.has_value());
    std::shared_ptr<ReadingStore> store = std::move(*opened);
    ASSERT_TRUE(runTask(store->setHistoryEnabled(true)).has_value());
    for (int index = 1; index <= 20; ++index) {
        SavedReading reading{
            .id = QUuid::createUuid(),
            .document = {.sections = {},
                         .text =
                             u"第%1話。吾輩は猫である。名前はまだ無い。どこで生れたかとんと見当がつかぬ。"_s.arg(index),
                         .spans = {}},
            .title = u"読みもの %1"_s.arg(index),
            .epub = std::nullopt,
            .source = std::nullopt,
            .importedAt = {}};
        if (index % 4 == 0) {
            ASSERT_TRUE(runTask(store->addToLibrary(reading, ReadingProgress{})).has_value());
            ASSERT_TRUE(
                runTask(store->recordPlayback(reading.id, Date{static_cast<double>(index)}, std::nullopt)).has_value());
        } else {
            ASSERT_TRUE(runTask(store->recordPlayback(reading, Date{static_cast<double>(index)}, ReadingProgress{}))
                            .has_value());
        }
    }

    MemoryDefaults defaults;
    MacReadingPlayback playback(store, defaults, SystemClock::shared(), MacReadingPlayback::readingFontPhraseWidth());
    ReaderHistoryModel model(std::make_unique<ReadingLibrarySearch>(), playback, [] {});
    TaskHandle loading;
    loading.start([&](CancellationToken token) { return model.load(std::move(token)); });
    ASSERT_TRUE(test::effectWithin([&] { return model.isLoaded() && model.history().size() == 20; }));

    QWidget window;
    window.setWindowTitle(u"Tavrine"_s);
    ReaderTheme::apply(window);
    auto* layout = new QVBoxLayout(&window);
    layout->setContentsMargins(0, 0, 0, 0);
    auto* before = new QPushButton(u"前のコントロール"_s, &window);
    layout->addWidget(before);
    auto* pane = new ReaderHistoryPane(model, &window);
    layout->addWidget(pane, 1);
    window.resize(340, 700);
    window.show();
    window.activateWindow();
    ASSERT_TRUE(test::effectWithin([&] { return window.isActiveWindow(); }));
    before->setFocus();

    // Tab through the header into the list: the ring shows.
    QListView* list = pane->table()->listView();
    for (int step = 0; step < 8 && !list->hasFocus(); ++step) keys(u"Tab"_s);
    ASSERT_TRUE(list->hasFocus());
    EXPECT_TRUE(pane->table()->contentIsFocused());
    screenshot(u"history-pane-tab.png"_s);

    // The arrows select, Return opens the reading and plays it.
    keys(u"Down"_s);
    keys(u"Down"_s);
    ASSERT_TRUE(model.selectedID().has_value());
    const QUuid chosen = *model.selectedID();
    EXPECT_EQ(chosen, model.visibleItems().at(1).id());
    keys(u"Return"_s);
    EXPECT_TRUE(test::effectWithin([&] {
        return playback.player().readingID() == chosen &&
               playback.player().session().status == ReadingSession::Status::playing;
    }));
    screenshot(u"history-pane-playing.png"_s);

    // Shift+F10 opens the selected row's menu; Escape closes it.
    keys(u"shift+F10"_s);
    ASSERT_TRUE(
        test::effectWithin([&] { return pane->table()->openMenu() && pane->table()->openMenu()->isVisible(); }));
    screenshot(u"history-pane-row-menu.png"_s);
    keys(u"Escape"_s);
    ASSERT_TRUE(test::effectWithin([&] { return !pane->table()->openMenu(); }));

    // A search typed into the field, then closed with Escape: the focus is back on the search button.
    pane->searchButton()->click();
    ASSERT_TRUE(test::effectWithin([&] { return pane->searchField()->hasFocus(); }));
    xdotool({u"type"_s, u"17"_s});
    ASSERT_TRUE(test::effectWithin([&] { return model.visibleItems().size() == 1; }));
    screenshot(u"history-pane-search.png"_s);
    keys(u"Escape"_s);
    EXPECT_TRUE(test::effectWithin([&] { return pane->searchButton()->hasFocus(); }));
    EXPECT_EQ(model.query(), QString());
    EXPECT_EQ(model.visibleItems().size(), 20);

    // The history menu's only item asks before clearing all 20.
    pane->historyMenuButton()->menu()->actions().first()->trigger();
    ASSERT_TRUE(test::effectWithin([&] { return pane->alert() && pane->alert()->isVisible(); }));
    EXPECT_EQ(pane->alert()->windowTitle(), u"履歴20件を消去しますか？"_s);
    screenshot(u"history-pane-clear-alert.png"_s);
    pane->alert()->reject();
    processEventsUntil([] { return false; }, std::chrono::milliseconds(100));
    EXPECT_EQ(model.history().size(), 20);

    window.hide();
    loading.cancel();
}

TEST(StartViewX11, RefusedBookFileBeingReadDetailsSheetAndSpace) {
    test::TemporaryDirectory folder;
    auto opened = ReadingStore::open(folder.filePath(u"reading-store.json"_s));
    ASSERT_TRUE(opened.has_value());
    std::shared_ptr<ReadingStore> store = std::move(*opened);
    MemoryDefaults defaults;
    MacReadingPlayback playback(store, defaults, SystemClock::shared(), MacReadingPlayback::readingFontPhraseWidth());
    // Loads wait while the gate is held.
    auto gate = std::make_shared<QPromise<void>>();
    gate->start();
    bool gated = false;
    ReaderHistoryModel model(std::make_unique<ReadingLibrarySearch>(), playback, nullptr,
                             [&](QUrl url, CancellationToken token) -> QCoro::Task<LibraryFileReader::Result> {
                                 if (gated) {
                                     QFuture<void> released = gate->future();
                                     co_await released;
                                 }
                                 auto loading = LibraryFileReader::load(std::move(url), std::move(token));
                                 co_return co_await loading;
                             });
    TaskHandle loading;
    loading.start([&](CancellationToken token) { return model.load(std::move(token)); });
    ASSERT_TRUE(test::effectWithin([&] { return model.isLoaded(); }));

    QWidget window;
    window.setWindowTitle(u"Tavrine"_s);
    ReaderTheme::apply(window);
    auto* layout = new QVBoxLayout(&window);
    layout->setContentsMargins(0, 0, 0, 0);
    int samples = 0;
    ReaderStartView::Inputs inputs{.player = &playback.player(),
                                   .history = &model,
                                   .showsHistory = false,
                                   .canOpenSample = true,
                                   .canImportClipboard = true,
                                   .canImportFile = true,
                                   .openSample = [&] { ++samples; },
                                   .importClipboard = {},
                                   .importFile = {},
                                   .focusRequest = QUuid(),
                                   .clipboardFailureMessage = std::nullopt,
                                   .clipboardFailureDetails = std::nullopt};
    auto* view = new ReaderStartView(inputs, &window);
    layout->addWidget(view);
    window.resize(640, 560);
    window.show();
    window.activateWindow();
    ASSERT_TRUE(test::effectWithin([&] { return window.isActiveWindow(); }));

    // A book whose chapter declares an entity is refused, with details behind the disclosure.
    test::TestEPUBBuilder book;
    book.setFile(QString::fromLatin1(test::TestEPUBBuilder::kChapterPath),
                 R"(<?xml version="1.0" encoding="UTF-8"?><!DOCTYPE html [<!ENTITY e "x">]>)"
                 R"(<html xmlns="http://www.w3.org/1999/xhtml"><body><p>&e;</p></body></html>)");
    const QString bookPath = folder.write(u"危ない本.epub"_s, book.build());
    model.beginFileImport(ReaderHistoryModel::passThroughURL(QUrl::fromLocalFile(bookPath)));
    ASSERT_TRUE(test::effectWithin([&] { return view->fileNotice().isVisible(); }));
    EXPECT_TRUE(view->fileNotice().isFailure());
    ASSERT_FALSE(view->fileNotice().disclosure()->isHidden());
    view->fileNotice().disclosure()->click();
    EXPECT_TRUE(view->fileNotice().detailsLabel()->isVisible());
    screenshot(u"start-view-import-failed.png"_s);

    // A file being read: the progress and the cancel button.
    gated = true;
    const QString textPath = folder.write(u"短い文.txt"_s, "短い文章です。");
    model.beginFileImport(ReaderHistoryModel::passThroughURL(QUrl::fromLocalFile(textPath)));
    ASSERT_TRUE(test::effectWithin([&] { return view->fileProgress().isVisible(); }));
    EXPECT_FALSE(view->fileNotice().isVisible());
    screenshot(u"start-view-reading-file.png"_s);
    view->cancelImportButton().click();
    gate->finish();
    ASSERT_TRUE(test::effectWithin([&] { return !view->fileProgress().isVisible(); }));

    // The details sheet of a played reading with a long title.
    StoredReading item;
    item.reading = SavedReading{
        .id = QUuid::createUuid(),
        .document = {.sections = {},
                     .text = u"吾輩は猫である。名前はまだ無い。どこで生れたかとんと見当がつかぬ。"_s.repeated(4),
                     .spans = {}},
        .title = u"銀河鉄道の夜　宮沢賢治の童話を最後まで読み通すための、とても長い題名の文書"_s.repeated(3),
        .epub = std::nullopt,
        .source = std::nullopt,
        .importedAt = Date::fromUnixSeconds(1'700'000'000)};
    item.progress = ReadingProgress{.utf16Offset = 40, .isCompleted = false};
    item.lastPlayedAt = Date::fromUnixSeconds(1'700'086'400);
    const QPointer<ReaderHistoryDetails> sheet = new ReaderHistoryDetails(item, &window);
    sheet->setAttribute(Qt::WA_DeleteOnClose);
    sheet->open();
    ASSERT_TRUE(test::effectWithin([&] { return sheet->isVisible(); }));
    screenshot(u"start-view-details-sheet.png"_s);
    keys(u"Escape"_s);
    ASSERT_TRUE(test::effectWithin([&] { return !sheet || !sheet->isVisible(); }));

    // Space on the focused sample button opens the sample once; Shift+Space does not.
    inputs.focusRequest = QUuid::createUuid();
    view->setInputs(inputs);
    ASSERT_TRUE(test::effectWithin([&] { return view->sampleButton().hasFocus(); }));
    screenshot(u"start-view-focused.png"_s);
    keys(u"space"_s);
    EXPECT_EQ(samples, 1);
    keys(u"shift+space"_s);
    EXPECT_EQ(samples, 1);

    window.hide();
    loading.cancel();
}

}  // namespace
}  // namespace tavrine
