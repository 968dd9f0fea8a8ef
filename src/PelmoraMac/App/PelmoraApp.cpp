#include "PelmoraMac/App/PelmoraApp.h"

#include "PelmoraMac/App/ApplicationCapture.h"
#include "PelmoraMac/App/OnceOnly.h"
#include "PelmoraMac/App/ReaderAppDelegate.h"
#include "PelmoraMac/App/ReaderTrace.h"
#include "PelmoraMac/App/TerminationSignals.h"
#include "PelmoraMac/App/WindowSheetWatcher.h"
#include "PelmoraMac/Capture/CaptureModel.h"
#include "PelmoraMac/Capture/X11/FrontCaptureSource.h"
#include "PelmoraMac/Capture/X11/GlobalCaptureShortcut.h"
#include "PelmoraMac/Capture/X11/X11ClipboardPasteboard.h"
#include "PelmoraMac/Library/MacReadingPlayback.h"
#include "PelmoraMac/Library/ReaderHistoryModel.h"
#include "PelmoraMac/Menus/ReaderCommands.h"
#include "PelmoraMac/Settings/CaptureSettingsTab.h"
#include "PelmoraMac/Settings/ReaderSettingsView.h"
#include "PelmoraMac/Updates/MacUpdateController.h"
#include "PelmoraMac/Updates/UnavailableUpdater.h"
#include "PelmoraMac/Window/ReaderPresentation.h"
#include "PelmoraMac/Window/ReaderWindow.h"
#include "PelmoraMac/Window/ReaderWindowActivation.h"
#include "PelmoraMac/Window/ReaderWindowController.h"
#include "PelmoraMac/Window/ReaderWindowRoot.h"
#include "PelmoraMac/Window/ReaderWindowState.h"
#include "PelmoraMac/Window/ReaderWindowToolbar.h"
#include "ReaderCore/Clock.h"
#include "ReaderCore/FileDefaults.h"
#include "ReaderCore/MainThread.h"
#include "ReaderUI/ReaderCommandShortcuts.h"
#include "ReaderUI/Source/ReaderSourceNavigation.h"
#include "ReaderUI/Workspace/ReaderEPUBPresentation.h"
#include "ReaderWidgets/Style/ApplicationIcon.h"
#include "ReaderWidgets/Style/ReaderTheme.h"

#include <QAction>
#include <QClipboard>
#include <QCoreApplication>
#include <QCursor>
#include <QGuiApplication>
#include <QScreen>
#include <QTabWidget>

namespace tavrine {
using namespace Qt::StringLiterals;

namespace {

// The store opened and the player made over it, marked for the start-up trace as soon as they are.
std::unique_ptr<MacReadingPlayback> openPlayback(std::optional<QString> storeFile, Defaults& defaults) {
    auto playback = std::make_unique<MacReadingPlayback>(std::move(storeFile), defaults, SystemClock::shared(),
                                                         MacReadingPlayback::readingFontPhraseWidth());
    ReaderTrace::mark("store-opened");
    return playback;
}

}  // namespace

PelmoraApp::Configuration PelmoraApp::Configuration::application(std::optional<QString> storeFile) {
    return {
        .defaults = std::make_unique<FileDefaults>(FileDefaults::applicationFile()),
        .storeFile = std::move(storeFile),
        .makeUpdater = [](UpdaterDelegate&) -> std::unique_ptr<Updater> {
            return std::make_unique<UnavailableUpdater>();
        },
        .isTestHost = &MacUpdateController::runsUnderTestHost,
        .updateDelivery = UpdateDelivery::sourceBuild,
        .terminate = [] { QCoreApplication::quit(); },
        .handlesTerminationSignals = true,
        .windowEnvironment = ReaderWindowEnvironment::desktop(),
        .capturesDesktop = true,
    };
}

PelmoraApp::PelmoraApp(Configuration configuration, QObject* parent)
    : QObject(parent),
      m_defaults(std::move(configuration.defaults)),
      m_delegate(std::make_unique<ReaderAppDelegate>(std::move(configuration.terminate))),
      m_updates(std::make_unique<MacUpdateController>(
          std::move(configuration.makeUpdater), std::move(configuration.isTestHost), configuration.updateDelivery)),
      m_playback(openPlayback(std::move(configuration.storeFile), *m_defaults)),
      m_browserConsent(std::make_unique<BrowserAutomationConsent>(
          *m_defaults, configuration.installedBrowsers
                           ? std::move(configuration.installedBrowsers)
                           : BrowserAutomationConsent::InstalledBrowsers([] { return installedCaptureBrowsers(); }))),
      m_capture(std::make_unique<CaptureModel>(
          &m_playback->player(),
          configuration.captureFunctions
              ? configuration.captureFunctions(*m_browserConsent, [this] { return consentDialogOwner(); })
          : configuration.capturesDesktop
              ? applicationCaptureFunctions(
                    *m_browserConsent, [this] { openCaptureSettings(); }, [this] { return consentDialogOwner(); })
              : CaptureModel::Functions{.openAccessibilitySettings = [this] { openCaptureSettings(); }})),
      m_clipboard(configuration.clipboard
                      ? std::move(configuration.clipboard)
                      : [] { return std::shared_ptr<Pasteboard>(std::make_shared<X11ClipboardPasteboard>()); }),
      m_epubPresentation(std::make_unique<OnceOnly<ReaderEPUBPresentation>>(
          [] { return std::make_unique<ReaderEPUBPresentation>(); })),
      m_presentation(std::make_unique<OnceOnly<ReaderPresentation>>(
          [this] { return std::make_unique<ReaderPresentation>(*m_defaults); })),
      m_sourceNavigation(std::make_unique<OnceOnly<ReaderSourceNavigation>>(
          [] { return std::make_unique<ReaderSourceNavigation>(); })),
      m_shortcut(
          std::make_unique<OnceOnly<GlobalCaptureShortcut>>([this, registerHotKey = configuration.registerHotKey] {
              return std::make_unique<GlobalCaptureShortcut>(GlobalCaptureShortcut::Command::frontmost, *m_defaults,
                                                             registerHotKey);
          })),
      m_clipboardShortcut(
          std::make_unique<OnceOnly<GlobalCaptureShortcut>>([this, registerHotKey = configuration.registerHotKey] {
              return std::make_unique<GlobalCaptureShortcut>(GlobalCaptureShortcut::Command::clipboard, *m_defaults,
                                                             registerHotKey);
          })),
      m_windowState(std::make_unique<ReaderWindowState>(ReaderWindowState::Sources{
          .player = m_playback->player(),
          .hasStore = m_playback->store() != nullptr,
          .capture = *m_capture,
          .presentation = presentation(),
          .epubPresentation = epubPresentation(),
      })),
      m_quitAction(std::make_unique<QAction>(u"終了"_s)),
      m_readerWindow(std::make_unique<ReaderWindow>()),
      m_windowController(
          std::make_unique<ReaderWindowController>(*m_defaults, std::move(configuration.windowEnvironment))),
      m_settingsWindow(std::make_unique<OnceOnly<ReaderSettingsView>>([this] {
          auto window = std::make_unique<ReaderSettingsView>(ReaderSettingsView::Inputs{
              .textSizes = m_playback->player().textSizes(),
              .presentation = presentation(),
              .updates = *m_updates,
              .capture = *m_capture,
              .browserConsent = *m_browserConsent,
              .shortcut = shortcut(),
              .clipboardShortcut = clipboardShortcut(),
              .retryRegistration = [this] { registerShortcuts(); },
              .onKeyWindowChange = [this](bool isActive) { m_windowState->setSettingsHasFocus(isActive); },
          });
          ReaderTheme::apply(*window);
          window->addAction(m_quitAction.get());
          window->addAction(&m_commands->action(ReaderMenuItem::settings));
          return window;
      })),
      m_registersHotKeys(configuration.capturesDesktop || bool(configuration.registerHotKey)) {
    Q_ASSERT(isMainThread());
    QGuiApplication::setQuitOnLastWindowClosed(ReaderAppDelegate::applicationShouldTerminateAfterLastWindowClosed());
    // Every window and dialog carries the application's icon, the one its desktop entry names.
    QGuiApplication::setWindowIcon(applicationIcon());
    m_capture->refreshPermission();

    m_quitAction->setShortcut(ReaderCommandShortcuts::quit);
    m_quitAction->setShortcutContext(Qt::ApplicationShortcut);
    m_quitAction->setMenuRole(QAction::QuitRole);
    connect(m_quitAction.get(), &QAction::triggered, this, &PelmoraApp::requestQuit);
    if (configuration.handlesTerminationSignals) {
        m_terminationSignals = std::make_unique<TerminationSignals>();
        connect(m_terminationSignals.get(), &TerminationSignals::received, this, &PelmoraApp::requestQuit);
    }

    m_readerWindow->addAction(m_quitAction.get());
    m_windowController->attachWindow(m_readerWindow.get());

    makeReaderWindow();
    attachLifecycleHandlers();
    if (ReaderTrace::isEnabled()) m_traceMarks = std::make_unique<ReaderTraceMarks>(*this);
}

void PelmoraApp::makeReaderWindow() {
    ReadingPlayer& player = m_playback->player();
    m_commands = std::make_unique<ReaderCommands>(ReaderCommands::Inputs{
        .state = *m_windowState,
        .readerWindow = *m_readerWindow,
        .player = player,
        .presentation = presentation(),
        .sourceNavigation = sourceNavigation(),
        .updates = *m_updates,
        .shortcut = shortcut(),
        .clipboardShortcut = clipboardShortcut(),
        .quit = *m_quitAction,
        .actions = commandActions(),
    });
    m_readerWindow->setMenuBar(m_commands->makeMenuBar(*m_readerWindow));
    m_readerRoot = new ReaderWindowRoot({
        .window = *m_readerWindow,
        .state = *m_windowState,
        .player = player,
        .capture = *m_capture,
        .presentation = presentation(),
        .epubPresentation = epubPresentation(),
        .sourceNavigation = sourceNavigation(),
        .shortcut = shortcut(),
        .clipboardShortcut = clipboardShortcut(),
        .defaults = *m_defaults,
        .actions = commandActions(),
    });
    m_readerWindow->setContent(m_readerRoot);
    m_readerToolbar = new ReaderWindowToolbar(
        {
            .state = *m_windowState,
            .player = player,
            .presentation = presentation(),
            .epubPresentation = epubPresentation(),
            .workspace = m_readerRoot->workspace(),
            .actions = commandActions(),
        },
        m_readerWindow.get());
    m_readerWindow->addToolBar(m_readerToolbar);
    ReaderTheme::apply(*m_readerWindow);
}

PelmoraApp::~PelmoraApp() {
    Q_ASSERT(isMainThread());
}

Defaults& PelmoraApp::defaults() const {
    return *m_defaults;
}

ReaderAppDelegate& PelmoraApp::delegate() const {
    return *m_delegate;
}

MacUpdateController& PelmoraApp::updates() const {
    return *m_updates;
}

MacReadingPlayback& PelmoraApp::playback() const {
    return *m_playback;
}

CaptureModel& PelmoraApp::capture() const {
    return *m_capture;
}

ReaderWindow& PelmoraApp::readerWindow() const {
    return *m_readerWindow;
}

ReaderWindowController& PelmoraApp::windowController() const {
    return *m_windowController;
}

QAction& PelmoraApp::quitAction() const {
    return *m_quitAction;
}

ReaderEPUBPresentation& PelmoraApp::epubPresentation() {
    return m_epubPresentation->get();
}

ReaderPresentation& PelmoraApp::presentation() {
    return m_presentation->get();
}

ReaderSourceNavigation& PelmoraApp::sourceNavigation() {
    return m_sourceNavigation->get();
}

GlobalCaptureShortcut& PelmoraApp::shortcut() {
    return m_shortcut->get();
}

GlobalCaptureShortcut& PelmoraApp::clipboardShortcut() {
    return m_clipboardShortcut->get();
}

ReaderSettingsView& PelmoraApp::settingsWindow() {
    return m_settingsWindow->get();
}

bool PelmoraApp::hasSettingsWindow() const {
    return m_settingsWindow->exists();
}

QWidget* PelmoraApp::consentDialogOwner() {
    // Asked from the settings window's capture tab, the user is looking there; asked from the reader's
    // capture strip, at the reader.
    if (hasSettingsWindow() && settingsWindow().isVisible() && settingsWindow().isActiveWindow()) {
        return &settingsWindow();
    }
    if (m_readerWindow->isVisible()) return m_readerWindow.get();
    if (hasSettingsWindow() && settingsWindow().isVisible()) return &settingsWindow();
    return nullptr;
}

void PelmoraApp::openReader() {
    Q_ASSERT(isMainThread());
    m_capture->cancel();
    m_windowController->showNormally();
}

void PelmoraApp::openSettings() {
    Q_ASSERT(isMainThread());
    ReaderSettingsView& window = settingsWindow();
    // Opened anew, it comes up centred over the reader: on the reader window's screen while that window
    // is shown, else on the screen under the pointer. A window already open stays where the user put it.
    if (!window.isVisible()) {
        QScreen* screen = m_readerWindow->isVisible() ? m_readerWindow->screen() : nullptr;
        if (!screen) screen = QGuiApplication::screenAt(QCursor::pos());
        if (!screen) screen = QGuiApplication::primaryScreen();
        if (screen) window.centreOn(*screen);
    }
    // Brought to the user also when it is open already: behind the reader window, minimised or on
    // another desktop.
    ReaderWindowActivation::present(&window);
}

void PelmoraApp::openCaptureSettings() {
    Q_ASSERT(isMainThread());
    ReaderSettingsView& window = settingsWindow();
    window.tabs().setCurrentWidget(&window.captureTab());
    openSettings();
    // Shown, the tab is laid out.
    window.captureTab().showPermission();
}

void PelmoraApp::requestQuit() {
    Q_ASSERT(isMainThread());
    m_delegate->requestTermination();
}

}  // namespace tavrine
