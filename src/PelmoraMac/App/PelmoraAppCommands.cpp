// The reader window's commands and the state they are checked against.
#include "PelmoraMac/App/OnceOnly.h"
#include "PelmoraMac/App/PelmoraApp.h"
#include "PelmoraMac/App/ReaderSample.h"
#include "PelmoraMac/App/ReaderTrace.h"
#include "PelmoraMac/Capture/CaptureModel.h"
#include "PelmoraMac/Capture/X11/GlobalCaptureShortcut.h"
#include "PelmoraMac/Library/LibraryFilePanel.h"
#include "PelmoraMac/Library/MacReadingPlayback.h"
#include "PelmoraMac/Library/ReaderHistoryModel.h"
#include "PelmoraMac/Settings/ReaderSettingsView.h"
#include "PelmoraMac/Source/ReaderSourcePane.h"
#include "PelmoraMac/Source/ReaderSourceTools.h"
#include "PelmoraMac/Window/ReaderPresentation.h"
#include "PelmoraMac/Window/ReaderWindow.h"
#include "PelmoraMac/Window/ReaderWindowController.h"
#include "PelmoraMac/X11/X11Desktop.h"
#include "ReaderCore/MainThread.h"
#include "ReaderUI/Player/ReadingPlayer.h"
#include "ReaderUI/Source/ReaderSourceNavigation.h"
#include "ReaderUI/Workspace/ReaderEPUBPresentation.h"

#include <QApplication>
#include <QGuiApplication>
#include <QTimer>
#include <QWidget>
#include <QWindow>

#include <algorithm>

namespace tavrine {

namespace {

bool hasDocumentText(const ReadingPlayer& player) {
    return player.reading() && !player.reading()->document.text.isEmpty();
}

}  // namespace

bool PelmoraApp::hasModalWindow() {
    if (QApplication::activeModalWidget()) return true;
    const QWidgetList windows = QApplication::topLevelWidgets();
    return std::any_of(windows.begin(), windows.end(), [](const QWidget* window) {
        return window->isVisible() && window->windowModality() != Qt::NonModal;
    });
}

ReaderCommandInputs PelmoraApp::commandInputs() {
    Q_ASSERT(isMainThread());
    std::optional<ReaderListState> list;
    if (m_history) {
        list = ReaderListState{
            .isLoaded = m_history->isLoaded(),
            .isBusy = m_history->isBusy(),
            .isSavingFile = m_history->isSavingFile(),
            .isImportingFile = m_history->isImportingFile(),
            .fileImportFailed = m_history->fileImportFailed(),
            .isCurrentInLibrary = m_history->isCurrentInLibrary(),
            .canAddCurrentToLibrary = m_history->canAddCurrentToLibrary(),
        };
    }
    return {
        .readerHasSheet = m_readerHasSheet,
        .hasModalWindow = hasModalWindow(),
        .showsFilePicker = m_showsFilePicker,
        .settingsHasFocus = m_settingsHasFocus,
        .list = list,
        .isCapturing = m_capture->isCapturing(),
        .hasStore = m_playback->store() != nullptr,
        .presentationShowsHistory = presentation().showsHistory(),
        .showsCompactHistory = m_showsCompactHistory,
        .prefersSource = presentation().prefersSource(),
        .showsEPUBNavigation = epubPresentation().showsNavigation(),
        .hasDocumentText = hasDocumentText(m_playback->player()),
    };
}

std::optional<ReaderCommandContext> PelmoraApp::focusedCommandContext() {
    const QWidget* active = QApplication::activeWindow();
    if (!active) return std::nullopt;
    const bool overReader = active->windowModality() == Qt::WindowModal && active->parentWidget() &&
                            active->parentWidget()->window() == m_readerWindow.get();
    if (active != m_readerWindow.get() && !overReader) return std::nullopt;
    return commandContext();
}

void PelmoraApp::setShowsCompactHistory(bool shows) {
    if (shows == m_showsCompactHistory) return;
    m_showsCompactHistory = shows;
    scheduleContextChanged();
    // The list closing gives the keyboard back to the reader.
    if (!shows) focusReader();
}

void PelmoraApp::setReaderHasSheet(bool hasSheet) {
    if (hasSheet == m_readerHasSheet) return;
    m_readerHasSheet = hasSheet;
    scheduleContextChanged();
}

void PelmoraApp::setSettingsHasFocus(bool hasFocus) {
    if (hasFocus == m_settingsHasFocus) return;
    m_settingsHasFocus = hasFocus;
    scheduleContextChanged();
}

void PelmoraApp::scheduleContextChanged() {
    if (m_contextChangePending) return;
    m_contextChangePending = true;
    QTimer::singleShot(0, this, [this] {
        m_contextChangePending = false;
        emit commandContextChanged();
    });
}

void PelmoraApp::followCommandInputs() {
    const auto changed = [this] { scheduleContextChanged(); };
    ReadingPlayer& player = m_playback->player();
    connect(&player, &ReadingPlayer::readingChanged, this, changed);
    connect(&player, &ReadingPlayer::sessionChanged, this, changed);
    connect(&player, &ReadingPlayer::replacementSnapshotChanged, this, changed);
    connect(m_capture.get(), &CaptureModel::isCapturingChanged, this, changed);
    connect(this, &PelmoraApp::historyMade, this, [this, changed] {
        for (auto signal : {&ReaderHistoryModel::isLoadedChanged, &ReaderHistoryModel::isBusyChanged,
                            &ReaderHistoryModel::isSavingFileChanged, &ReaderHistoryModel::isImportingFileChanged,
                            &ReaderHistoryModel::fileImportFailedChanged, &ReaderHistoryModel::libraryChanged,
                            &ReaderHistoryModel::historyChanged}) {
            connect(m_history.get(), signal, this, changed);
        }
        changed();
    });
    ReaderPresentation& panes = presentation();
    connect(&panes, &ReaderPresentation::showsHistoryChanged, this, changed);
    connect(&panes, &ReaderPresentation::prefersSourceChanged, this, changed);
    connect(&epubPresentation(), &ReaderEPUBPresentation::showsNavigationChanged, this, changed);
    // Modal dialogs and the active window are not observable one by one; every change of focus between
    // windows passes here.
    connect(qGuiApp, &QGuiApplication::focusWindowChanged, this, [this] { scheduleContextChanged(); });
}

void PelmoraApp::requestPlayback(ReaderPlaybackRequest::Action action) {
    Q_ASSERT(isMainThread());
    const ReaderCommandContext state = commandContext();
    if (state.isImporting || state.isBlocked) return;
    const ReadingPlayer& player = m_playback->player();
    if (!player.canPerform(action)) return;
    if (m_traceMarks && action == ReaderPlaybackRequest::Action::togglePlayback &&
        player.session().status != ReadingSession::Status::playing && !player.isWaitingToPlay()) {
        m_traceMarks->playRequested();
    }
    m_playbackRequest.emplace(action);
    emit playbackRequestChanged();
}

void PelmoraApp::toggleHistory() {
    Q_ASSERT(isMainThread());
    if (!commandContext().canToggleHistory) return;
    ReaderPresentation& panes = presentation();
    if (const auto width = panes.availableWidth(); width && !ReaderPresentation::isWideEnoughForHistory(*width)) {
        setShowsCompactHistory(!m_showsCompactHistory);
        return;
    }
    if (panes.showsHistory()) focusReader();
    // The presentation's setter stores the wish under its key.
    panes.setPrefersHistory(!panes.prefersHistory());
}

void PelmoraApp::toggleSource() {
    Q_ASSERT(isMainThread());
    if (!commandContext().canToggleSource) return;
    ReaderPresentation& panes = presentation();
    if (panes.prefersSource()) focusReader();
    panes.setPrefersSource(!panes.prefersSource());
}

void PelmoraApp::toggleEPUBNavigation() {
    Q_ASSERT(isMainThread());
    epubPresentation().toggleShowsNavigation();
}

void PelmoraApp::focusReader() {
    Q_ASSERT(isMainThread());
    if (QWidget* window = m_windowController->window()) {
        if (QWidget* focused = window->focusWidget()) focused->clearFocus();
    }
    m_readerFocusRequest->get() = QUuid::createUuid();
    emit readerFocusRequestChanged();
}

void PelmoraApp::openSample() {
    Q_ASSERT(isMainThread());
    if (!commandContext().imports.canImportClipboard) return;
    cancelPendingSelection();
    if (!m_playback->player().apply(readerSampleReading(), /*isActive=*/true)) return;
    if (m_history) m_history->clearSelection();
    focusReader();
}

void PelmoraApp::importClipboard(bool plainText) {
    Q_ASSERT(isMainThread());
    if (!commandContext().imports.canImportClipboard) return;
    cancelPendingSelection();
    m_playback->player().pause();
    m_capture->importClipboard(m_clipboard(), /*autoplay=*/false,
                               plainText ? ClipboardImportMode::plainText : ClipboardImportMode::automatic, {});
}

void PelmoraApp::importFile() {
    Q_ASSERT(isMainThread());
    if (!commandContext().imports.canImportFile || !m_history) return;
    m_history->cancelPendingSelection();
    m_playback->player().pause();
    // The setter only reconciles on a change; applying the collection directly also clears the notice.
    if (m_history->collection() != ReaderHistoryModel::Collection::library) {
        m_history->setCollection(ReaderHistoryModel::Collection::library);
    } else {
        m_history->applyCollection(ReaderHistoryModel::Collection::library);
    }
    // The context stays blocked while the panel is open; it clears the flag as it closes.
    m_showsFilePicker = true;
    scheduleContextChanged();
    openLibraryFilePanel(*m_readerWindow, *m_history, *m_defaults, [this] {
        m_showsFilePicker = false;
        scheduleContextChanged();
    });
}

void PelmoraApp::addCurrentToLibrary() {
    Q_ASSERT(isMainThread());
    if (!commandContext().imports.canAddCurrent || !m_history) return;
    m_adding.start([this](CancellationToken) { return m_history->addCurrentToLibrary(); });
}

void PelmoraApp::restoreReplacement(bool redo) {
    Q_ASSERT(isMainThread());
    const ReaderCommandContext state = commandContext();
    if (state.isImporting || state.isBlocked) return;
    ReadingPlayer& player = m_playback->player();
    if (!(redo ? player.canRedoReplacement() : player.canUndoReplacement())) return;
    m_capture->cancel();
    cancelPendingSelection();
    if (!player.undoReplacement(redo)) return;
    if (m_history) m_history->clearSelection();
    focusReader();
}

void PelmoraApp::findInDocument() {
    Q_ASSERT(isMainThread());
    const ReaderCommandContext state = commandContext();
    if (state.isBlocked || m_capture->isCapturing() || !hasDocumentText(m_playback->player())) return;
    presentation().setPrefersSource(true);
    cancelPendingSelection();
    m_playback->player().pause();
    sourceNavigation().showFind();
}

void PelmoraApp::resumeSourceFollowing() {
    Q_ASSERT(isMainThread());
    sourceNavigation().resumeFollowingPlayback();
}

void PelmoraApp::sourceToolsInteraction() {
    Q_ASSERT(isMainThread());
    if (m_history) m_history->cancelPendingSelection();
    m_playback->player().pause();
}

QWidget* PelmoraApp::makeSourcePane(ReaderSourceViewBinding& binding) {
    Q_ASSERT(isMainThread());
    return ReaderSourcePane::over(sourceNavigation(), binding, m_playback->player().textSizes());
}

QWidget* PelmoraApp::makeSourceTools() {
    Q_ASSERT(isMainThread());
    auto* tools = new ReaderSourceTools(
        sourceNavigation(), presentation().prefersSource(), commandContext().canToggleSource,
        [this] { toggleSource(); }, [this] { sourceToolsInteraction(); });
    connect(&presentation(), &ReaderPresentation::prefersSourceChanged, tools,
            [this, tools] { tools->setShowsSource(presentation().prefersSource()); });
    connect(this, &PelmoraApp::commandContextChanged, tools,
            [this, tools] { tools->setCanToggleSource(commandContext().canToggleSource); });
    return tools;
}

void PelmoraApp::retryFromSourceApplication() {
    Q_ASSERT(isMainThread());
    const auto& source = m_capture->sourceApplication();
    if (m_capture->usesClipboard() || !source || X11Desktop::isTerminated(source->pid)) return;
    if (ReadingPlayer* player = m_capture->player()) player->pause();
    if (const auto desktop = X11Desktop::ofApplication()) desktop->activate(source->window);
}

void PelmoraApp::cancelPendingSelection() {
    if (m_history) m_history->cancelPendingSelection();
}

}  // namespace tavrine
