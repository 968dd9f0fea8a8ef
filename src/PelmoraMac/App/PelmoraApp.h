#pragma once

#include "PelmoraMac/Capture/BrowserAutomationConsent.h"
#include "PelmoraMac/Capture/CaptureModel.h"
#include "PelmoraMac/Capture/X11/GlobalCaptureShortcut.h"
#include "PelmoraMac/Updates/Updater.h"
#include "PelmoraMac/Window/ReaderCommandActions.h"
#include "PelmoraMac/Window/ReaderCommandContext.h"
#include "PelmoraMac/Window/ReaderWindowEnvironment.h"
#include "ReaderCore/Defaults.h"
#include "ReaderCore/TaskHandle.h"
#include "ReaderUI/Player/ReaderPlaybackRequest.h"

#include <QCoro/QCoroTask>
#include <QObject>
#include <QString>

#include <functional>
#include <memory>
#include <optional>

class QAction;
class QWidget;

namespace tavrine {

class Pasteboard;
class MacReadingPlayback;
class MacUpdateController;
class ReaderAppDelegate;
class ReaderCommands;
class ReaderEPUBPresentation;
class ReaderHistoryModel;
class ReaderPresentation;
class ReaderSettingsView;
class ReaderTraceMarks;
class ReaderSourceNavigation;
class ReaderWindow;
class ReaderWindowController;
class ReaderWindowRoot;
class ReaderWindowState;
class ReaderWindowToolbar;
class TerminationSignals;
class WindowSheetWatcher;
template <typename T>
class OnceOnly;

// The application: it owns every application-wide object for the life of the process, none of them
// parented to a window, and hands each part of the interface the narrow set of objects and commands it
// uses; nothing else in the application knows this class. Made once by the entry point; everything runs
// on the main thread, which every entry asserts.
//
// Made at once, in this order: the settings, the quit delegate, the update controller (started when the
// reader window first appears), the store and the player (the store's files are read now, before any
// window exists; a store that cannot be opened leaves the player unsaved), the capture model, the reader
// window's state and the reader window with its menus. Made the first time something reads them: the EPUB
// presentation, the source navigation, the pane preferences, both capture hot keys and the settings
// window. The document list is made when the reader window first appears (the window state's
// historyMade), and kept.
//
// Each appearance of the reader window starts up again (startUp, loadHistory), and every step is safe to
// repeat; its disappearance ends the list's store listener and a running capture. The application's own
// changes are handled for the life of the process: quitting releases the hot keys, becoming active reads
// the accessibility permission again, becoming inactive cancels a running capture it was active during and
// pauses playback, a window-modal dialog over any of its windows blocks the reader's commands
// (readerHasSheet), and a changed chord is copied into the capture model's labels.
//
// Quitting: the quit command (Ctrl+Q, in every window of the application), SIGTERM, SIGINT and SIGHUP each
// make one request to the delegate, which waits for the last saves; closing the reader window only hides
// it. Destroying the application destroys the windows, then the player, then the store (which finishes its
// queue and releases its lock), and writes the settings last.
class PelmoraApp final : public QObject {
    Q_OBJECT

public:
    // What the application is made from; application() gives the real one, tests their own.
    struct Configuration {
        std::unique_ptr<Defaults> defaults;
        // The store file; nothing when the user has no place for one.
        std::optional<QString> storeFile;
        std::function<std::unique_ptr<Updater>(UpdaterDelegate&)> makeUpdater;
        std::function<bool()> isTestHost;
        // Whether the updater can bring new versions; this build has no update framework.
        UpdateDelivery updateDelivery = UpdateDelivery::sourceBuild;
        // What a granted quit does.
        std::function<void()> terminate;
        bool handlesTerminationSignals = false;
        // What the reader window's placement asks of the desktop.
        ReaderWindowEnvironment windowEnvironment;
        // Captures read the desktop (the accessibility bus, the window in front, the consent dialog) and
        // the hot keys are registered at start-up; without it nothing is granted and no source is found.
        bool capturesDesktop = false;
        // How the hot keys are registered: by default grabbed on the X11 display. Given one, the hot keys
        // are registered at start-up also without capturesDesktop.
        GlobalCaptureShortcut::Register registerHotKey{};
        // The clipboard a clipboard import reads, made for each import on the main thread and read on the
        // pool: by default the desktop's (the X11 CLIPBOARD selection, over a connection of its own).
        std::function<std::shared_ptr<Pasteboard>()> clipboard{};
        // The capture model's functions, given the application's browser consent and what names the
        // window its consent dialog comes up over, in place of the desktop's (capturesDesktop) or none;
        // for tests that play the desktop.
        std::function<CaptureModel::Functions(BrowserAutomationConsent&, std::function<QWidget*()> consentOwner)>
            captureFunctions{};
        // The browsers installed, for the consent's list: by default the desktop's capture browsers.
        BrowserAutomationConsent::InstalledBrowsers installedBrowsers{};

        // The user's settings file, the application's store file, the updater of a system without an
        // update framework, the test host read from the environment, QCoreApplication::quit(), the
        // three termination signals handled, the real desktop and its captures.
        static Configuration application(std::optional<QString> storeFile);
    };

    explicit PelmoraApp(Configuration configuration, QObject* parent = nullptr);
    ~PelmoraApp() override;

    // ---- Made at once ----
    Defaults& defaults() const;
    ReaderAppDelegate& delegate() const;
    MacUpdateController& updates() const;
    MacReadingPlayback& playback() const;
    // The user's answers to whether each browser's pages may be read.
    BrowserAutomationConsent& browserConsent() const { return *m_browserConsent; }
    CaptureModel& capture() const;
    // The document list: nothing until the reader window first appears, then the same for the process.
    ReaderHistoryModel* history() const { return m_history.get(); }
    // The reader window's state outside its widgets: the requests for its workspace, the flags that block
    // its commands, and the command context.
    ReaderWindowState& windowState() const { return *m_windowState; }
    ReaderWindow& readerWindow() const;
    // Where the reader window comes up, attached to it from the start.
    ReaderWindowController& windowController() const;
    // The reader window's content and toolbar, made with the window.
    ReaderWindowRoot& readerRoot() const { return *m_readerRoot; }
    ReaderWindowToolbar& readerToolbar() const { return *m_readerToolbar; }
    // The quit command, Ctrl+Q, application-wide: every window of the application carries it.
    QAction& quitAction() const;
    // The reader window's menu bar and the tray icon, made with the window.
    ReaderCommands& commands() const { return *m_commands; }

    // ---- Made on first read ----
    ReaderEPUBPresentation& epubPresentation();
    // The reader window's pane preferences, over the settings.
    ReaderPresentation& presentation();
    ReaderSourceNavigation& sourceNavigation();
    GlobalCaptureShortcut& shortcut();
    GlobalCaptureShortcut& clipboardShortcut();
    ReaderSettingsView& settingsWindow();
    bool hasSettingsWindow() const;

    // ---- The reader window's commands ----
    // What the reader window, its toolbar and the menus call: the commands below.
    ReaderCommandActions commandActions();

    // Each command gathers the state afresh and checks its own guard, so a command enabled by an older
    // state is refused once the state has changed. Refused commands do nothing.
    //
    // A new playback request for the workspace, unless importing, blocked, or the player cannot perform
    // the action; a refused request leaves the last one in place.
    void requestPlayback(ReaderPlaybackRequest::Action action);
    // In a window narrower than the wide layout only the compact list opens or closes; otherwise the
    // wish for the list pane flips and is stored.
    void toggleHistory();
    void toggleSource();
    void toggleEPUBNavigation();
    // No widget keeps the keyboard focus, and the reader's display is asked to take it.
    void focusReader();
    // Opens the built-in sample, paused, as a new reading each time.
    void openSample();
    void importClipboard(bool plainText);
    // Shows the library and opens the file panel over the reader window.
    void importFile();
    void addCurrentToLibrary();
    // Undo (redo false) or redo of a clipboard replacement; refused while capturing.
    void restoreReplacement(bool redo);
    // Opens the source pane with its find field.
    void findInDocument();
    // Pauses the player and brings the failed capture's source application to the front, so that text
    // can be selected there again; nothing for a clipboard capture or an unknown or ended source.
    void retryFromSourceApplication();

    // ---- Operations ----
    // Abandons a running capture and shows the reader window (again), in front and active, on the display
    // it was last on.
    void openReader();
    // Shows the settings window, made the first time, and brings it to the user: raised and active,
    // also when it is open already.
    void openSettings();
    // The same on its capture tab, scrolled to the accessibility permission: "システム設定を開く".
    void openCaptureSettings();
    // Each appearance of the reader window: the updater starts (once), the delegate gets the player and
    // the two hooks below (replacing earlier ones), the permission is read, both hot keys are registered
    // (each once) and their labels copied. Every step is safe to repeat.
    void startUp();
    // The document list's task, started on each appearance: makes the list the first time and follows the
    // store until the window disappears.
    void loadHistory();
    // Registers both hot keys, the clipboard's first; a registered one only takes its action again. Also
    // what "ショートカットを再登録" does.
    void registerShortcuts();
    // The capture model's labels of both hot keys, from their chords now.
    void copyShortcutLabels();
    // The stop hook run when quitting: the document list, the capture and both hot keys stop.
    void prepareForTermination();
    // Completes when a running file import of the document list has ended; at once when none runs.
    QCoro::Task<void> finishFileImport();
    // One request to quit, answered by the delegate.
    void requestQuit();
    // What the two capture hot keys run: a capture of the application in front, which brings the reader
    // up once it has ended, and a clipboard import that plays, which brings it up at once; both on the
    // display of the application that was in front when the key was pressed. Both do nothing while the
    // reader's commands are blocked (the settings window active, a dialog open), the capture also while
    // one runs; they work the same with the reader window closed.
    void captureFrontmostFromHotKey();
    void importClipboardFromHotKey();

private:
    ReaderCommandContext commandContext() const;
    // Cancels the document list's pending selection, when there is a list.
    void cancelPendingSelection();
    void makeReaderWindow();
    void attachLifecycleHandlers();
    // The window the browser consent dialog comes up over: the settings window while it is the active
    // window, else the reader window while it is shown, else the settings window while it is; none when
    // no window of the application is shown.
    QWidget* consentDialogOwner();

    std::unique_ptr<Defaults> m_defaults;
    std::unique_ptr<ReaderAppDelegate> m_delegate;
    std::unique_ptr<MacUpdateController> m_updates;
    std::unique_ptr<MacReadingPlayback> m_playback;
    std::unique_ptr<BrowserAutomationConsent> m_browserConsent;
    std::unique_ptr<CaptureModel> m_capture;
    std::function<std::shared_ptr<Pasteboard>()> m_clipboard;
    std::unique_ptr<ReaderHistoryModel> m_history;
    // The document list's store listener.
    TaskHandle m_historyLoading;
    std::unique_ptr<OnceOnly<ReaderEPUBPresentation>> m_epubPresentation;
    std::unique_ptr<OnceOnly<ReaderPresentation>> m_presentation;
    std::unique_ptr<OnceOnly<ReaderSourceNavigation>> m_sourceNavigation;
    std::unique_ptr<OnceOnly<GlobalCaptureShortcut>> m_shortcut;
    std::unique_ptr<OnceOnly<GlobalCaptureShortcut>> m_clipboardShortcut;
    std::unique_ptr<ReaderWindowState> m_windowState;
    std::unique_ptr<QAction> m_quitAction;
    std::unique_ptr<TerminationSignals> m_terminationSignals;
    std::unique_ptr<ReaderWindow> m_readerWindow;
    std::unique_ptr<ReaderWindowController> m_windowController;
    std::unique_ptr<ReaderCommands> m_commands;
    // Only while tracing.
    std::unique_ptr<ReaderTraceMarks> m_traceMarks;
    // Owned by the reader window.
    ReaderWindowRoot* m_readerRoot = nullptr;
    ReaderWindowToolbar* m_readerToolbar = nullptr;
    std::unique_ptr<OnceOnly<ReaderSettingsView>> m_settingsWindow;
    bool m_registersHotKeys = false;
    bool m_followsChords = false;
    // While a command closes the narrow window's list to give the keys to a control of its own.
    bool m_listGivesKeysAway = false;
    // The running capture was started from this application's window, or it became active while it ran.
    bool m_activeWhileCapturing = false;
    std::unique_ptr<WindowSheetWatcher> m_sheetWatcher;
    TaskHandle m_adding;
};

}  // namespace tavrine
