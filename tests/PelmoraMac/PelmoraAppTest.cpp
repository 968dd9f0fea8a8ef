// The application's objects and its two windows, on the offscreen platform: what is made when, the
// reader window's appearances, and quitting through the delegate.
#include "PelmoraMac/App/PelmoraApp.h"
#include "PelmoraMac/App/ReaderAppDelegate.h"
#include "PelmoraMac/App/ReaderSample.h"
#include "PelmoraMac/Capture/BrowserAutomationConsent.h"
#include "PelmoraMac/Capture/CaptureModel.h"
#include "PelmoraMac/Capture/X11/GlobalCaptureShortcut.h"
#include "PelmoraMac/Library/MacReadingPlayback.h"
#include "PelmoraMac/Library/ReaderHistoryModel.h"
#include "PelmoraMac/Library/ReaderImportNotice.h"
#include "PelmoraMac/Menus/ReaderCommands.h"
#include "PelmoraMac/Menus/ReaderMenuState.h"
#include "PelmoraMac/Settings/ReaderSettingsView.h"
#include "PelmoraMac/Settings/ReadingSettingsTab.h"
#include "PelmoraMac/Updates/MacUpdateController.h"
#include "PelmoraMac/Window/ReaderPresentation.h"
#include "PelmoraMac/Window/ReaderWindow.h"
#include "PelmoraMac/Window/ReaderWindowRoot.h"
#include "PelmoraMac/Window/ReaderWindowState.h"
#include "ReaderCore/FileDefaults.h"
#include "ReaderStorage/ReadingStore.h"
#include "ReaderUI/Player/ReadingPlayer.h"
#include "ReaderUI/Workspace/ReaderWorkspaceController.h"

#include "AppTesting.h"
#include "support/EventLoop.h"
#include "support/QtPrinters.h"
#include "support/TemporaryDirectory.h"

#include <gtest/gtest.h>
#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QClipboard>
#include <QDialog>
#include <QGuiApplication>
#include <QLabel>
#include <QTabWidget>
#include <QThread>

#include <atomic>

namespace tavrine {
namespace {
using namespace Qt::StringLiterals;
using test::AppUnderTest;
using test::processEventsUntil;

class Application : public testing::Test {
protected:
    QString storeFile() const { return folder.filePath(u"data/org.tavrine.Tavrine/reading-store.json"_s); }

    test::TemporaryDirectory folder;
};

TEST_F(Application, MakesTheStoreAndThePlayerBeforeAnyWindowShows) {
    AppUnderTest under(storeFile());
    PelmoraApp& app = *under.app;

    EXPECT_TRUE(app.playback().store());
    EXPECT_FALSE(app.playback().player().storageMessage());
    EXPECT_EQ(app.capture().player(), &app.playback().player());
    EXPECT_EQ(app.capture().frontmostShortcutLabel(), u"Meta+Ctrl+Alt+R"_s);
    EXPECT_EQ(app.capture().clipboardShortcutLabel(), u"Meta+Ctrl+Alt+V"_s);
    // The document list waits for the reader window too.
    EXPECT_FALSE(app.history());
    EXPECT_FALSE(app.windowState().playbackRequest());
    EXPECT_FALSE(app.readerWindow().isVisible());
    // The updater waits for the reader window.
    EXPECT_EQ(under.updates->made, 0);
    EXPECT_FALSE(app.delegate().player());
    EXPECT_FALSE(QGuiApplication::quitOnLastWindowClosed());
}

TEST_F(Application, ObjectsMadeOnFirstReadAreTheSameEveryTime) {
    AppUnderTest under(storeFile());
    PelmoraApp& app = *under.app;

    EXPECT_EQ(&app.sourceNavigation(), &app.sourceNavigation());
    EXPECT_EQ(&app.epubPresentation(), &app.epubPresentation());
    EXPECT_EQ(app.windowState().readerFocusRequest(), app.windowState().readerFocusRequest());
    EXPECT_EQ(&app.shortcut(), &app.shortcut());
    EXPECT_EQ(app.shortcut().command(), GlobalCaptureShortcut::Command::frontmost);
    EXPECT_EQ(app.clipboardShortcut().command(), GlobalCaptureShortcut::Command::clipboard);
    EXPECT_NE(&app.shortcut(), &app.clipboardShortcut());

    EXPECT_FALSE(app.hasSettingsWindow());
    app.openSettings();
    ASSERT_TRUE(app.hasSettingsWindow());
    ReaderSettingsView& settings = app.settingsWindow();
    EXPECT_EQ(&settings, &app.settingsWindow());
    EXPECT_TRUE(settings.isVisible());
    EXPECT_TRUE(settings.isWindow());
    EXPECT_EQ(settings.size(), QSize(580, 560));
    EXPECT_TRUE(settings.actions().contains(&app.quitAction()));
}

TEST_F(Application, TheReaderWindowOpensTitledAtItsSizeAndCloseOnlyHidesIt) {
    AppUnderTest under(storeFile());
    PelmoraApp& app = *under.app;
    ReaderWindow& window = app.readerWindow();
    int appearances = 0;
    int disappearances = 0;
    QObject::connect(&window, &ReaderWindow::appeared, [&] { ++appearances; });
    QObject::connect(&window, &ReaderWindow::disappeared, [&] { ++disappearances; });

    app.openReader();
    EXPECT_TRUE(window.isVisible());
    EXPECT_EQ(window.windowTitle(), u"Tavrine"_s);
    EXPECT_EQ(window.size(), QSize(720, 720));
    EXPECT_GE(window.centralWidget()->minimumWidth(), 620);
    EXPECT_GE(window.centralWidget()->minimumHeight(), 520);
    EXPECT_TRUE(window.actions().contains(&app.quitAction()));
    EXPECT_EQ(app.quitAction().shortcut(), QKeySequence(u"Ctrl+Q"_s));
    EXPECT_EQ(app.quitAction().shortcutContext(), Qt::ApplicationShortcut);
    EXPECT_EQ(appearances, 1);

    // Shown once more while shown: no new appearance.
    app.openReader();
    EXPECT_EQ(appearances, 1);

    EXPECT_TRUE(window.close());
    EXPECT_FALSE(window.isVisible());
    EXPECT_EQ(disappearances, 1);
    QCoreApplication::processEvents();
    EXPECT_EQ(*under.quits, 0);

    // The same window comes back, at the size the user left it.
    window.resize(800, 640);
    app.openReader();
    EXPECT_EQ(&app.readerWindow(), &window);
    EXPECT_EQ(appearances, 2);
    EXPECT_EQ(window.size(), QSize(800, 640));

    // Content smaller than the minimum is made the minimum.
    auto* small = new QWidget;
    small->setMinimumSize(100, 600);
    window.setContent(small);
    EXPECT_EQ(small->minimumSize(), QSize(620, 600));
}

TEST_F(Application, TheReaderWindowsStateFollowsTheListFromTheMomentItIsMade) {
    AppUnderTest under(storeFile());
    PelmoraApp& app = *under.app;
    ReaderWindowState& state = app.windowState();
    // Before the list: the clipboard only.
    EXPECT_EQ(state.commandContext().imports, (ReaderImportAvailability{.canImportClipboard = true}));
    int made = 0;
    QObject::connect(&state, &ReaderWindowState::historyMade, [&] { ++made; });

    app.loadHistory();
    ASSERT_EQ(made, 1);
    EXPECT_EQ(state.history(), app.history());
    ASSERT_TRUE(processEventsUntil([&] { return state.commandContext().imports.canImportFile; }));
    // The file panel blocks the window, and the context says so within a turn.
    bool announced = false;
    QObject::connect(&state, &ReaderWindowState::commandContextChanged, [&] { announced = true; });
    state.setShowsFilePicker(true);
    EXPECT_TRUE(state.commandContext().isBlocked);
    EXPECT_TRUE(processEventsUntil([&] { return announced; }));
    state.setShowsFilePicker(false);
    EXPECT_FALSE(state.commandContext().isBlocked);
}

TEST_F(Application, EveryAppearanceStartsUpAgainEachStepOnceOver) {
    test::FakeHotKeys hotKeys;
    AppUnderTest under(storeFile(), hotKeys.function());
    PelmoraApp& app = *under.app;

    app.openReader();
    ASSERT_TRUE(app.history());
    ReaderHistoryModel* list = app.history();
    EXPECT_TRUE(processEventsUntil([&] { return list->isLoaded(); }));
    EXPECT_EQ(app.delegate().player(), &app.playback().player());
    EXPECT_EQ(under.updates->starts, 1);
    EXPECT_EQ(hotKeys.grabs.size(), 2u);
    EXPECT_EQ(hotKeys.registrations, 2);

    app.readerWindow().close();
    app.openReader();
    EXPECT_EQ(under.updates->made, 1);
    EXPECT_EQ(under.updates->starts, 1);
    EXPECT_EQ(app.history(), list);
    // Registered already: each hot key only takes its action again.
    EXPECT_EQ(hotKeys.grabs.size(), 2u);
    EXPECT_EQ(hotKeys.registrations, 2);
    EXPECT_TRUE(app.shortcut().isRegistered());
    EXPECT_TRUE(app.clipboardShortcut().isRegistered());

    // The hooks of the last start-up stop everything once.
    app.requestQuit();
    EXPECT_TRUE(app.history()->isTerminating());
    EXPECT_TRUE(hotKeys.grabs.empty());
    ASSERT_TRUE(processEventsUntil([&] { return *under.quits > 0; }));
}

TEST_F(Application, TheHotKeysAreRefusedWhileTheSettingsWindowIsActiveAndBringTheClosedReaderBack) {
    test::FakeHotKeys hotKeys;
    AppUnderTest under(storeFile(), hotKeys.function());
    PelmoraApp& app = *under.app;
    app.openReader();
    app.readerWindow().close();
    const auto clipboardChord = app.clipboardShortcut().chord();

    app.windowState().setSettingsHasFocus(true);
    ASSERT_TRUE(hotKeys.press(clipboardChord));
    EXPECT_FALSE(app.capture().usesClipboard());
    EXPECT_FALSE(app.readerWindow().isVisible());

    app.windowState().setSettingsHasFocus(false);
    ASSERT_TRUE(hotKeys.press(clipboardChord));
    // Brought up before the import returns, whatever the clipboard held.
    EXPECT_TRUE(app.capture().usesClipboard());
    EXPECT_TRUE(app.readerWindow().isVisible());
}

// The hot key pressed in the moment after the user went from the reader to another application, before the
// application is told it is no longer active: the capture it starts goes on. One during which the reader was
// active again ends cancelled when the user leaves it.
TEST_F(Application, BecomingInactiveCancelsOnlyACaptureTheApplicationWasActiveDuring) {
    std::atomic<bool> released = false;
    test::FakeHotKeys hotKeys;
    AppUnderTest under(storeFile(), hotKeys.function(), [&](PelmoraApp::Configuration& configuration) {
        configuration.captureFunctions = [&](BrowserAutomationConsent&, std::function<QWidget*()>) {
            return CaptureModel::Functions{
                .permissionCheck = [] { return true; },
                .sourceProvider = [] { return CaptureSource{.pid = 9, .name = u"エディター"_s}; },
                .captureOperation = [&](const CaptureSource&) -> CaptureModel::CaptureWork {
                    return [&](const CancellationToken& cancellation) -> CaptureResult<PreparedCapture> {
                        while (!released && !cancellation.isCancelled()) QThread::msleep(1);
                        if (cancellation.isCancelled()) return tl::unexpected(CaptureFailure::cancelled);
                        return PreparedCapture{.document = {std::nullopt, u"本文"_s, {}}};
                    };
                },
                .clipboardWorker = [&](const CaptureWorkerRequest&, CaptureDeadline,
                                       const CancellationToken& cancellation) -> CaptureResult<CaptureWorkerResponse> {
                    while (!released && !cancellation.isCancelled()) QThread::msleep(1);
                    if (cancellation.isCancelled()) return tl::unexpected(CaptureFailure::cancelled);
                    return CaptureWorkerResponse{};
                },
            };
        };
    });
    PelmoraApp& app = *under.app;
    CaptureModel& capture = app.capture();
    app.openReader();
    ASSERT_TRUE(processEventsUntil([&] { return app.history() && app.history()->isLoaded(); }));
    const auto frontmostChord = app.shortcut().chord();

    ASSERT_TRUE(hotKeys.press(frontmostChord));
    ASSERT_TRUE(capture.isCapturing());
    emit qGuiApp->applicationStateChanged(Qt::ApplicationInactive);
    EXPECT_TRUE(capture.isCapturing());
    released = true;
    ASSERT_TRUE(processEventsUntil([&] { return !capture.isCapturing(); }));
    EXPECT_EQ(capture.failure(), std::nullopt);
    EXPECT_TRUE(capture.succeeded());

    released = false;
    ASSERT_TRUE(hotKeys.press(frontmostChord));
    ASSERT_TRUE(capture.isCapturing());
    emit qGuiApp->applicationStateChanged(Qt::ApplicationActive);
    emit qGuiApp->applicationStateChanged(Qt::ApplicationInactive);
    EXPECT_FALSE(capture.isCapturing());
    EXPECT_EQ(capture.failure(), CaptureFailure::cancelled);
    released = true;

    // An import started from the window is cancelled by switching away, though no activation came since.
    released = false;
    QGuiApplication::clipboard()->setText(u"貼り付ける本文"_s);
    app.importClipboard(false);
    ASSERT_TRUE(capture.isCapturing());
    emit qGuiApp->applicationStateChanged(Qt::ApplicationInactive);
    EXPECT_FALSE(capture.isCapturing());
    EXPECT_EQ(capture.failure(), CaptureFailure::cancelled);
    released = true;
}

TEST_F(Application, AChangedChordIsCopiedIntoTheCaptureLabelsAtOnce) {
    test::FakeHotKeys hotKeys;
    AppUnderTest under(storeFile(), hotKeys.function());
    PelmoraApp& app = *under.app;
    app.openReader();

    using S = GlobalCaptureShortcut;
    ASSERT_TRUE(app.shortcut().setChord({.keyCode = 18, .modifiers = S::kCtrlKey | S::kAltKey},
                                        app.clipboardShortcut().chord(), true));
    EXPECT_EQ(app.capture().frontmostShortcutLabel(), u"Ctrl+Alt+1"_s);
    EXPECT_EQ(app.capture().clipboardShortcutLabel(), u"Meta+Ctrl+Alt+V"_s);

    // The next process grabs the stored chord at its first start-up.
    test::FakeHotKeys nextHotKeys;
    PelmoraApp::Configuration next{
        .defaults = std::make_unique<MemoryDefaults>(),
        .storeFile = std::nullopt,
        .makeUpdater = test::fakeUpdaters(std::make_shared<test::FakeUpdater::Record>()),
        .isTestHost = [] { return true; },
        .terminate = [] {},
        .windowEnvironment = ReaderWindowEnvironment::desktop(),
        .registerHotKey = nextHotKeys.function(),
    };
    const QString key = S::defaultsKey(S::Command::frontmost);
    next.defaults->setData(key, std::get<QByteArray>(*app.defaults().object(key)));
    PelmoraApp nextApp(std::move(next));
    nextApp.openReader();
    EXPECT_TRUE(nextHotKeys.grabs.contains({18, S::kCtrlKey | S::kAltKey}));
    nextApp.readerWindow().hide();
}

TEST_F(Application, AWindowModalDialogOverAnyWindowBlocksTheReaderUntilItCloses) {
    AppUnderTest under(storeFile());
    PelmoraApp& app = *under.app;
    app.openSettings();
    auto* dialog = new QDialog(&app.settingsWindow());
    dialog->setAttribute(Qt::WA_DeleteOnClose);
    dialog->open();
    EXPECT_TRUE(app.windowState().readerHasSheet());
    EXPECT_TRUE(app.windowState().commandContext().isBlocked);
    const QAction& settings = app.commands().action(ReaderMenuItem::settings);
    EXPECT_TRUE(processEventsUntil([&] { return !settings.isEnabled(); }));
    dialog->close();
    EXPECT_FALSE(app.windowState().readerHasSheet());
    EXPECT_TRUE(processEventsUntil([&] { return settings.isEnabled(); }));
    // An application-modal dialog is no sheet (it blocks through the modal test).
    QDialog modal;
    modal.setWindowModality(Qt::ApplicationModal);
    modal.show();
    EXPECT_FALSE(app.windowState().readerHasSheet());
}

TEST_F(Application, TheListGoingOutOfTheLayoutClosesTheCompactList) {
    AppUnderTest under(storeFile());
    PelmoraApp& app = *under.app;
    app.presentation().setPrefersHistory(true);
    app.presentation().setAvailableWidth(900);
    ASSERT_TRUE(app.presentation().showsHistory());
    app.windowState().setShowsCompactHistory(true);
    const QUuid focus = app.windowState().readerFocusRequest();
    app.presentation().setPrefersHistory(false);
    EXPECT_FALSE(app.windowState().showsCompactHistory());
    EXPECT_NE(app.windowState().readerFocusRequest(), focus);
}

// Captured and pasted readings reach the player only through the reader workspace: one that arrives while
// the window is hidden waits for it, and each appearance mirrors what the player holds, also when the
// player refuses the reading the workspace offers it again.
TEST_F(Application, AnImportMadeWhileTheReaderIsHiddenPlaysWhenItAppearsAndAnUndoneOneStaysUndone) {
    AppUnderTest under(storeFile());
    PelmoraApp& app = *under.app;
    ReadingPlayer& player = app.playback().player();
    ReaderWindow& window = app.readerWindow();
    app.openReader();
    window.activateWindow();
    ASSERT_TRUE(processEventsUntil([&] { return window.isActiveWindow() && app.history()->isLoaded(); }));
    app.openSample();
    const std::optional<QUuid> sample = player.readingID();
    ASSERT_TRUE(sample);

    // GIVEN a clipboard import that ends while the reader window is hidden
    window.close();
    QGuiApplication::clipboard()->setText(u"隠れている間に取り込んだ文章です。"_s);
    app.capture().importClipboard(std::make_shared<test::QtClipboardCopy>(), /*autoplay=*/true,
                                  ClipboardImportMode::plainText, {});
    ASSERT_TRUE(processEventsUntil([&] { return app.capture().importedText().has_value(); }));
    const ImportedReading imported = *app.capture().importedText();
    test::settlePool();
    EXPECT_EQ(player.readingID(), sample);

    // WHEN the window appears THEN the workspace hands the reading over, and it plays
    app.openReader();
    window.activateWindow();
    EXPECT_EQ(player.readingID(), imported.reading.id);
    ReaderWorkspaceController& workspace = app.readerRoot().workspace();
    EXPECT_EQ(workspace.source(), u"隠れている間に取り込んだ文章です。"_s);
    EXPECT_EQ(workspace.loadedSource(), workspace.source());
    EXPECT_TRUE(processEventsUntil([&] { return player.session().status == ReadingSession::Status::playing; }));

    // GIVEN the replacement undone, back to the sample
    app.restoreReplacement(/*redo=*/false);
    ASSERT_EQ(player.readingID(), sample);
    ASSERT_TRUE(processEventsUntil([&] { return workspace.source() == readerSampleText(); }));

    // WHEN the window goes and comes back THEN the player refuses the reading it has taken before, and the
    // workspace mirrors the sample all the same
    window.close();
    app.openReader();
    EXPECT_EQ(player.readingID(), sample);
    EXPECT_EQ(workspace.source(), readerSampleText());
    EXPECT_EQ(workspace.loadedSource(), readerSampleText());
    EXPECT_EQ(workspace.sourceDocument().text, readerSampleText());
    EXPECT_TRUE(player.canRedoReplacement());
}

TEST_F(Application, QuitsAtOnceBeforeTheReaderWindowWasEverShown) {
    AppUnderTest under(storeFile());
    under.app->requestQuit();
    EXPECT_EQ(*under.quits, 1);
    EXPECT_FALSE(under.app->playback().player().isTerminating());
}

TEST_F(Application, TheQuitCommandWaitsThroughTheDelegateOnce) {
    AppUnderTest under(storeFile());
    PelmoraApp& app = *under.app;
    app.openReader();

    app.quitAction().trigger();
    EXPECT_TRUE(app.delegate().isFinishing());
    EXPECT_TRUE(app.playback().player().isTerminating());
    app.quitAction().trigger();
    ASSERT_TRUE(processEventsUntil([&] { return *under.quits > 0; }));
    test::settlePool();
    EXPECT_EQ(*under.quits, 1);
}

TEST_F(Application, ATruncatedStoreFileOpensTheWindowUnsavedAndStaysAsItWas) {
    const QByteArray truncated = R"({"version":3,"documents":[{"reading":{"id":"6F1C2A4E-0B7D-4C39)";
    const QString storeFile = folder.write(u"reading-store.json"_s, truncated);
    {
        AppUnderTest under(storeFile);
        PelmoraApp& app = *under.app;
        app.openReader();
        EXPECT_TRUE(app.readerWindow().isVisible());
        EXPECT_FALSE(app.playback().store());
        EXPECT_TRUE(app.history()->isLoaded());
        // Without a store nothing is imported into the library; the clipboard still is.
        const ReaderCommandContext context = app.windowState().commandContext();
        EXPECT_FALSE(context.imports.canImportFile);
        EXPECT_TRUE(context.imports.canImportClipboard);
        EXPECT_EQ(app.playback().player().storageMessage(),
                  u"保存データを開けませんでした。今回の再生は保存されません。文章の取り込みと再生は使えます。"_s);
        app.requestQuit();
        ASSERT_TRUE(processEventsUntil([&] { return *under.quits > 0; }));
    }
    EXPECT_EQ(folder.read(u"reading-store.json"_s), truncated);
    EXPECT_EQ(folder.list(), (QStringList{u"reading-store.json"_s, u"reading-store.json.lock"_s}));
}

TEST_F(Application, AFirstLaunchCreatesNoDataFolder) {
    {
        AppUnderTest under(storeFile());
        under.app->openReader();
        under.app->requestQuit();
        ASSERT_TRUE(processEventsUntil([&] { return *under.quits > 0; }));
    }
    EXPECT_TRUE(folder.list().isEmpty());
}

// Settings that cannot be saved (the place of their folder taken by a file): the reader window says so
// once, in Japanese, naming the file, however many changes from either window fail, while each change
// holds; once the folder can be made, the next change keeps them all and the notice goes.
TEST_F(Application, TheReaderWindowSaysOnceWhileTheSettingsCannotBeSaved) {
    folder.write(u"config"_s, "a file");
    const QString settingsFile = folder.filePath(u"config/org.tavrine.Tavrine/defaults.json"_s);
    FileDefaults* settings = nullptr;
    AppUnderTest under(storeFile(), {}, [&](PelmoraApp::Configuration& configuration) {
        auto made = std::make_unique<FileDefaults>(settingsFile);
        settings = made.get();
        configuration.defaults = std::move(made);
    });
    PelmoraApp& app = *under.app;
    app.openReader();
    const ReaderImportNotice& notice = app.readerRoot().settingsNotice();
    // The visible texts that say so, in every window of the application.
    const auto sayingSo = [] {
        int count = 0;
        for (const QWidget* window : QApplication::topLevelWidgets()) {
            for (const QLabel* label : window->findChildren<QLabel*>()) {
                count += label->isVisible() && label->text().startsWith(u"設定を保存できませんでした。"_s);
            }
        }
        return count;
    };

    app.presentation().setPrefersSource(false);
    ASSERT_TRUE(processEventsUntil([&] { return notice.isVisible(); }));
    EXPECT_TRUE(notice.isFailure());
    EXPECT_EQ(notice.message(), ReaderWindowRoot::settingsNotKeptMessage(settingsFile));
    EXPECT_TRUE(notice.message()->contains(u"「"_s + settingsFile + u"」"_s));
    app.presentation().setHistoryWidth(320);
    app.openSettings();
    app.settingsWindow().readingTab().showsHistoryToggle().click();
    EXPECT_FALSE(settings->sync());
    QCoreApplication::processEvents();
    EXPECT_EQ(sayingSo(), 1);
    EXPECT_EQ(app.defaults().doubleForKey(ReaderPresentation::kHistoryWidthKey), 320);

    app.settingsWindow().hide();
    QFile::remove(folder.filePath(u"config"_s));
    app.presentation().setPrefersSource(true);
    ASSERT_TRUE(processEventsUntil([&] { return !notice.isVisible(); }));
    EXPECT_EQ(sayingSo(), 0);
    const FileDefaults saved(settingsFile);
    EXPECT_EQ(saved.object(ReaderPresentation::kShowsSourceKey), DefaultsValue(true));
    EXPECT_EQ(saved.doubleForKey(ReaderPresentation::kHistoryWidthKey), 320);
    EXPECT_EQ(saved.object(ReaderPresentation::kShowsHistoryKey),
              app.defaults().object(ReaderPresentation::kShowsHistoryKey));
}

TEST_F(Application, TheStopHookStopsWhatRunsAndTheImportWaitEndsAtOnceWhenNoneRuns) {
    AppUnderTest under(storeFile());
    PelmoraApp& app = *under.app;
    app.loadHistory();
    app.prepareForTermination();
    EXPECT_TRUE(app.history()->isTerminating());
    EXPECT_FALSE(app.capture().isCapturing());
    EXPECT_FALSE(app.shortcut().isRegistered());
    EXPECT_FALSE(app.clipboardShortcut().isRegistered());
    auto waiting = app.finishFileImport();
    EXPECT_TRUE(waiting.isReady());
}

}  // namespace
}  // namespace tavrine
