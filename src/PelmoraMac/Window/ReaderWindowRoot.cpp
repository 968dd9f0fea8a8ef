#include "PelmoraMac/Window/ReaderWindowRoot.h"

#include "PelmoraMac/Capture/CaptureModel.h"
#include "PelmoraMac/Capture/X11/GlobalCaptureShortcut.h"
#include "PelmoraMac/Library/ReaderFileDropTarget.h"
#include "PelmoraMac/Library/ReaderHistoryModel.h"
#include "PelmoraMac/Library/ReaderHistoryPane.h"
#include "PelmoraMac/Library/ReaderImportNotice.h"
#include "PelmoraMac/Library/ReaderStartView.h"
#include "PelmoraMac/Source/ReaderSourcePane.h"
#include "PelmoraMac/Source/ReaderSourceTools.h"
#include "PelmoraMac/Window/ReaderCaptureStrip.h"
#include "PelmoraMac/Window/ReaderDocumentLayout.h"
#include "PelmoraMac/Window/ReaderFileImportStrip.h"
#include "PelmoraMac/Window/ReaderKeyboardInput.h"
#include "PelmoraMac/Window/ReaderPresentation.h"
#include "PelmoraMac/Window/ReaderWindow.h"
#include "PelmoraMac/Window/ReaderWindowFocus.h"
#include "PelmoraMac/Window/ReaderWindowState.h"
#include "PelmoraMac/X11/X11Desktop.h"
#include "ReaderCore/Defaults.h"
#include "ReaderCore/MainThread.h"
#include "ReaderCore/PrintableText.h"
#include "ReaderUI/Player/ReaderTextSizeSettings.h"
#include "ReaderUI/Player/ReadingPlayer.h"
#include "ReaderUI/Source/ReaderSourceNavigation.h"
#include "ReaderUI/Workspace/ReaderWorkspaceController.h"
#include "ReaderWidgets/Workspace/ReaderReadingColumn.h"
#include "ReaderWidgets/Workspace/ReaderWorkspaceWidget.h"

#include <QTimer>
#include <QVBoxLayout>

namespace tavrine {
using namespace Qt::StringLiterals;

namespace {

QFrame* divider(QWidget* parent) {
    auto* line = new QFrame(parent);
    line->setFrameShape(QFrame::HLine);
    line->setFrameShadow(QFrame::Plain);
    return line;
}

bool hasText(const ReadingPlayer& player) {
    return player.reading() && !player.reading()->document.text.isEmpty();
}

}  // namespace

ReaderWindowRoot::ReaderWindowRoot(Inputs inputs, QWidget* parent)
    : QWidget(parent), m_in(std::move(inputs)), m_window(m_in.window) {
    Q_ASSERT(isMainThread());
    auto* stack = new QVBoxLayout(this);
    stack->setContentsMargins(0, 0, 0, 0);
    stack->setSpacing(0);
    m_captureStrip =
        new ReaderCaptureStrip({
                                   .retryInSource = [this] { m_in.actions.retryFromSourceApplication(); },
                                   .importClipboard = [this] { m_in.actions.importClipboard(false); },
                                   .registerShortcuts = [this] { m_in.actions.registerShortcuts(); },
                                   .requestPermission = [this] { m_in.capture.requestAccessibilityPermission(); },
                                   .openPermissionSettings = [this] { m_in.capture.openAccessibilitySettings(); },
                                   .refreshPermission = [this] { m_in.capture.refreshPermission(); },
                                   .requestAutomation = [this] { m_in.capture.requestAutomationPermission(); },
                                   .openAutomationSettings = [this] { m_in.capture.openAutomationSettings(); },
                                   .cancel = [this] { m_in.capture.cancel(); },
                               },
                               this);
    m_captureDivider = divider(this);
    m_fileImportStrip = new ReaderFileImportStrip(
        [this] {
            if (m_in.state.history()) m_in.state.history()->cancelFileImport();
        },
        this);
    m_fileImportDivider = divider(this);
    // Laid out as the file-import strip lays out its notice.
    m_settingsStrip = new QFrame(this);
    m_settingsNotice = new ReaderImportNotice(m_settingsStrip);
    (new QVBoxLayout(m_settingsStrip))->addWidget(m_settingsNotice);
    m_settingsDivider = divider(this);
    // The list's pane comes with the list, when the window first appears.
    m_sidebar = new QWidget;
    auto* sidebarLayout = new QVBoxLayout(m_sidebar);
    sidebarLayout->setContentsMargins(0, 0, 0, 0);
    if (m_in.state.history()) historyMade();
    m_workspace = makeReaderContent();
    m_layout = new ReaderDocumentLayout(
        m_in.presentation, m_sidebar, m_workspace, [this] { m_in.actions.focusReader(); }, this);
    stack->addWidget(m_captureStrip);
    stack->addWidget(m_captureDivider);
    stack->addWidget(m_fileImportStrip);
    stack->addWidget(m_fileImportDivider);
    stack->addWidget(m_settingsStrip);
    stack->addWidget(m_settingsDivider);
    stack->addWidget(m_layout, 1);

    m_keyboard = std::make_unique<ReaderKeyboardInput>(
        m_window, [this](ReaderPlaybackRequest::Action action) { m_in.actions.requestPlayback(action); });
    m_dropTarget = std::make_unique<ReaderFileDropTarget>(
        *this, [this] { return canReceiveDrop(); }, [this](const QList<QUrl>& urls) { return receiveDrop(urls); });
    m_focus = std::make_unique<ReaderWindowFocus>(m_window, m_in.player,
                                                  ReaderWindowFocus::Actions{
                                                      .requestFocus = [this] { m_in.actions.focusReader(); },
                                                      .focusNow = [this] { focusReadingArea(); },
                                                  });

    followInputs();
    readingChanged();
    refresh();
}

ReaderWindowRoot::~ReaderWindowRoot() {
    m_in.defaults.setKeepsChangesObserver({});
}

QString ReaderWindowRoot::settingsNotKeptMessage(const QString& file) {
    QString message = u"設定を保存できませんでした。変更した設定は使えますが、Tavrineを終了すると元に戻ります。"_s;
    if (!file.isEmpty()) message += u"設定ファイル「%1」を確認してください。"_s.arg(escapingControlCharacters(file));
    return message;
}

ReaderWorkspaceController& ReaderWindowRoot::workspace() const {
    return m_workspace->controller();
}

ReaderWorkspaceWidget* ReaderWindowRoot::makeReaderContent() {
    ReaderWorkspaceClosures closures{
        .onInteraction = [this] { cancelPendingSelection(); },
        .onSourceNavigation = [this] { m_in.sourceNavigation.resumeFollowingPlayback(); },
    };
    ReaderWorkspaceBuilders builders{
        .sourceView = [this](ReaderSourceViewBinding& binding) { return makeSourcePane(binding); },
        .sourceToolbar = [this] { return makeSourceTools(); },
        .emptyContent =
            [this] {
                m_startView = new ReaderStartView({});
                refresh();
                return m_startView;
            },
    };
    auto* workspace =
        new ReaderWorkspaceWidget(m_in.player, &m_in.epubPresentation, std::move(closures), std::move(builders));
    workspace->setMinimumWidth(kMinimumContentWidth);
    ReaderWorkspaceController& controller = workspace->controller();
    controller.setShowsSource(m_in.presentation.prefersSource());
    controller.setFocusRequest(m_in.state.readerFocusRequest());
    controller.setImporting(m_in.capture.isCapturing());
    controller.setImportedText(m_in.capture.importedText());
    return workspace;
}

QWidget* ReaderWindowRoot::makeSourcePane(ReaderSourceViewBinding& binding) {
    return ReaderSourcePane::over(m_in.sourceNavigation, binding, m_in.player.textSizes());
}

QWidget* ReaderWindowRoot::makeSourceTools() {
    // Opening the find field cancels the list's pending selection, then pauses the player.
    auto* tools = new ReaderSourceTools(
        m_in.sourceNavigation, m_in.presentation.prefersSource(), m_in.state.commandContext().canToggleSource,
        [this] { m_in.actions.toggleSource(); },
        [this] {
            cancelPendingSelection();
            m_in.player.pause();
        });
    // Leaving the find field hands the keys back to the reading area, where Space plays.
    tools->setOnFindFocusReleased([this] { m_in.actions.focusReader(); });
    connect(&m_in.presentation, &ReaderPresentation::prefersSourceChanged, tools,
            [this, tools] { tools->setShowsSource(m_in.presentation.prefersSource()); });
    connect(&m_in.state, &ReaderWindowState::commandContextChanged, tools,
            [this, tools] { tools->setCanToggleSource(m_in.state.commandContext().canToggleSource); });
    return tools;
}

void ReaderWindowRoot::cancelPendingSelection() {
    if (ReaderHistoryModel* history = m_in.state.history()) history->cancelPendingSelection();
}

void ReaderWindowRoot::followInputs() {
    const auto later = [this] { scheduleRefresh(); };
    connect(&m_in.state, &ReaderWindowState::commandContextChanged, this, later);
    connect(&m_in.state, &ReaderWindowState::readerFocusRequestChanged, this, [this] {
        workspace().setFocusRequest(m_in.state.readerFocusRequest());
        scheduleRefresh();
    });
    connect(&m_in.state, &ReaderWindowState::playbackRequestChanged, this,
            [this] { workspace().setPlaybackRequest(m_in.state.playbackRequest()); });
    CaptureModel& capture = m_in.capture;
    // Captured and pasted readings reach the player only through the workspace, which hands each new one
    // over once it is shown.
    connect(&capture, &CaptureModel::importedTextChanged, this,
            [this] { workspace().setImportedText(m_in.capture.importedText()); });
    connect(&capture, &CaptureModel::isCapturingChanged, this, [this] {
        workspace().setImporting(m_in.capture.isCapturing());
        if (m_in.capture.isCapturing() && m_focus) m_focus->importStarted();
        scheduleRefresh();
    });
    // A capture or paste that failed leaves the focus where one that succeeded would: on the reading area.
    connect(&capture, &CaptureModel::failureChanged, this, [this] {
        if (m_in.capture.failure()) m_focus->importFailed();
    });
    for (auto signal : {&CaptureModel::failureChanged, &CaptureModel::usesClipboardChanged,
                        &CaptureModel::isRequestingAutomationChanged, &CaptureModel::captureIDChanged,
                        &CaptureModel::frontmostShortcutLabelChanged, &CaptureModel::sourceNameChanged}) {
        connect(&capture, signal, this, later);
    }
    connect(&m_in.shortcut, &GlobalCaptureShortcut::errorMessageChanged, this, later);
    connect(&m_in.clipboardShortcut, &GlobalCaptureShortcut::errorMessageChanged, this, later);
    connect(&m_in.state, &ReaderWindowState::historyMade, this, &ReaderWindowRoot::historyMade);
    connect(&m_in.presentation, &ReaderPresentation::prefersSourceChanged, this,
            [this] { workspace().setShowsSource(m_in.presentation.prefersSource()); });
    connect(&m_in.player, &ReadingPlayer::readingChanged, this, [this] {
        readingChanged();
        scheduleRefresh();
    });
    m_in.defaults.setKeepsChangesObserver(later);
}

void ReaderWindowRoot::historyMade() {
    ReaderHistoryModel* history = m_in.state.history();
    if (!history || m_historyPane) return;
    m_historyPane = new ReaderHistoryPane(*history);
    m_historyPane->onFocusReadingArea = [this] { m_in.actions.focusReader(); };
    m_sidebar->layout()->addWidget(m_historyPane);
    connect(history, &ReaderHistoryModel::isImportingFileChanged, this, [this, history] {
        if (history->isImportingFile() && m_focus) m_focus->importStarted();
    });
    const auto later = [this] { scheduleRefresh(); };
    for (auto signal : {&ReaderHistoryModel::fileImportMessageChanged, &ReaderHistoryModel::fileImportDetailsChanged,
                        &ReaderHistoryModel::fileImportFailedChanged, &ReaderHistoryModel::isImportingFileChanged,
                        &ReaderHistoryModel::isSavingFileChanged}) {
        connect(history, signal, this, later);
    }
    scheduleRefresh();
}

void ReaderWindowRoot::readingChanged() {
    const auto& reading = m_in.player.reading();
    ReaderSourceNavigation& navigation = m_in.sourceNavigation;
    const std::optional<QUuid> id = reading ? std::optional(reading->id) : std::nullopt;
    if (navigation.documentID() == id && m_hasLoadedOnce) return;
    m_hasLoadedOnce = true;
    if (reading) {
        navigation.loadDocument(reading->document.text, reading->document.spans, id);
        m_in.capture.dismissClipboardFailure();
    } else {
        navigation.loadDocument(QString(), {}, std::nullopt);
    }
}

void ReaderWindowRoot::scheduleRefresh() {
    if (m_refreshPending) return;
    m_refreshPending = true;
    QTimer::singleShot(0, this, [this] {
        m_refreshPending = false;
        refresh();
    });
}

void ReaderWindowRoot::refresh() {
    Q_ASSERT(isMainThread());
    const ReaderCommandInputs inputs = m_in.state.commandInputs();
    const ReaderCommandContext state = commandContext(inputs);
    refreshCaptureStrip(state);
    refreshFileImportStrip(inputs, state);
    refreshSettingsStrip();
    refreshStartView(inputs, state);
}

void ReaderWindowRoot::refreshCaptureStrip(const ReaderCommandContext& state) {
    const CaptureModel& capture = m_in.capture;
    const std::optional<QString>& shortcutError = m_in.shortcut.errorMessage();
    const std::optional<QString>& clipboardShortcutError = m_in.clipboardShortcut.errorMessage();
    // A clipboard failure is the start view's to show while it is there.
    const bool startViewShowsFailure = capture.clipboardFailureMessage().has_value();
    const bool shows = showsCaptureStrip({
        .hasFailure = capture.failure().has_value(),
        .startViewShowsFailure = startViewShowsFailure,
        .isCapturing = capture.isCapturing(),
        .shortcutHasError = shortcutError.has_value(),
        .clipboardShortcutHasError = clipboardShortcutError.has_value(),
    });
    if (shows) {
        const auto& source = capture.sourceApplication();
        m_captureStrip->apply({
            .failure = startViewShowsFailure ? std::nullopt : capture.failure(),
            .message = capture.statusMessage(),
            .isCapturing = capture.isCapturing(),
            .hasDocumentText = hasText(m_in.player),
            .canRetryInSource = !capture.usesClipboard() && source && !X11Desktop::isTerminated(source->pid),
            .isBlocked = state.isBlocked,
            .canImportClipboard = state.imports.canImportClipboard,
            .isRequestingAutomation = capture.isRequestingAutomation(),
            .shortcutLabel = capture.frontmostShortcutLabel(),
            .shortcutError = shortcutError,
            .clipboardShortcutError = clipboardShortcutError,
        });
    }
    m_captureStrip->setVisible(shows);
    m_captureDivider->setVisible(shows);
}

void ReaderWindowRoot::refreshFileImportStrip(const ReaderCommandInputs& inputs, const ReaderCommandContext& state) {
    const bool shows = showsFileImportStrip(inputs);
    if (shows) {
        const ReaderHistoryModel& history = *m_in.state.history();
        m_fileImportStrip->apply({
            .message = history.fileImportMessage(),
            .details = history.fileImportDetails(),
            .isFailure = history.fileImportFailed(),
            .isImporting = history.isImportingFile(),
            .isSaving = history.isSavingFile(),
            .isBlocked = state.isBlocked,
        });
    }
    m_fileImportStrip->setVisible(shows);
    m_fileImportDivider->setVisible(shows);
}

void ReaderWindowRoot::refreshSettingsStrip() {
    const bool shows = !m_in.defaults.keepsChanges();
    m_settingsNotice->setNotice(shows ? std::optional(settingsNotKeptMessage(m_in.defaults.location())) : std::nullopt,
                                std::nullopt, true);
    m_settingsStrip->setVisible(shows);
    m_settingsDivider->setVisible(shows);
}

void ReaderWindowRoot::refreshStartView(const ReaderCommandInputs& inputs, const ReaderCommandContext& state) {
    if (!m_startView) return;
    const std::optional<CaptureFailure>& failure = m_in.capture.failure();
    m_startView->setInputs({
        .player = &m_in.player,
        .history = m_in.state.history(),
        .showsHistory = inputs.presentationShowsHistory,
        .canOpenSample = state.imports.canImportClipboard,
        .canImportClipboard = state.imports.canImportClipboard,
        .canImportFile = state.imports.canImportFile,
        .openSample = [this] { m_in.actions.openSample(); },
        .importClipboard = [this] { m_in.actions.importClipboard(false); },
        .importFile = [this] { m_in.actions.importFile(); },
        .focusRequest = m_in.state.readerFocusRequest(),
        .clipboardFailureMessage = m_in.capture.clipboardFailureMessage(),
        .clipboardFailureDetails = failure ? captureFailureHelp(*failure) : std::nullopt,
    });
}

void ReaderWindowRoot::focusReadingArea() {
    if (m_startView && m_startView->isVisibleTo(&m_window)) {
        ReaderSampleButton& sample = m_startView->sampleButton();
        if (sample.isEnabled()) sample.setFocus(Qt::OtherFocusReason);
        return;
    }
    const ReaderReadingColumn* column = m_workspace->column();
    if (column && column->isVisibleTo(&m_window)) workspace().focusDisplay();
}

bool ReaderWindowRoot::canReceiveDrop() {
    const ReaderCommandContext state = m_in.state.commandContext();
    return state.imports.canImportFile && !state.isImporting && !state.isBlocked;
}

bool ReaderWindowRoot::receiveDrop(const QList<QUrl>& urls) {
    if (!canReceiveDrop() || !m_in.state.history()) return false;
    // Asked again before the file is read and before it is stored: a dialog opened or a capture begun in
    // the meantime stops the import.
    return m_in.state.history()->importDroppedFiles(
        urls, [this] { return !m_in.state.commandContext().isBlocked && !m_in.capture.isCapturing(); });
}

}  // namespace tavrine
