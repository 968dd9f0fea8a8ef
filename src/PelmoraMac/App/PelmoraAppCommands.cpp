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
#include "PelmoraMac/Window/ReaderPresentation.h"
#include "PelmoraMac/Window/ReaderWindow.h"
#include "PelmoraMac/Window/ReaderWindowController.h"
#include "PelmoraMac/Window/ReaderWindowState.h"
#include "PelmoraMac/X11/X11Desktop.h"
#include "ReaderCore/MainThread.h"
#include "ReaderUI/Player/ReadingPlayer.h"
#include "ReaderUI/Source/ReaderSourceNavigation.h"
#include "ReaderUI/Workspace/ReaderEPUBPresentation.h"

#include <QScopedValueRollback>
#include <QWidget>

namespace tavrine {

namespace {

bool hasDocumentText(const ReadingPlayer& player) {
    return player.reading() && !player.reading()->document.text.isEmpty();
}

}  // namespace

ReaderCommandContext PelmoraApp::commandContext() const {
    return m_windowState->commandContext();
}

ReaderCommandActions PelmoraApp::commandActions() {
    return {
        .requestPlayback = [this](ReaderPlaybackRequest::Action action) { requestPlayback(action); },
        .toggleHistory = [this] { toggleHistory(); },
        .toggleSource = [this] { toggleSource(); },
        .toggleEPUBNavigation = [this] { toggleEPUBNavigation(); },
        .focusReader = [this] { focusReader(); },
        .openSample = [this] { openSample(); },
        .importClipboard = [this](bool plainText) { importClipboard(plainText); },
        .importFile = [this] { importFile(); },
        .addCurrentToLibrary = [this] { addCurrentToLibrary(); },
        .restoreReplacement = [this](bool redo) { restoreReplacement(redo); },
        .findInDocument = [this] { findInDocument(); },
        .retryFromSourceApplication = [this] { retryFromSourceApplication(); },
        .registerShortcuts = [this] { registerShortcuts(); },
        .openReader = [this] { openReader(); },
        .openSettings = [this] { openSettings(); },
    };
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
    m_windowState->setPlaybackRequest(ReaderPlaybackRequest(action));
}

void PelmoraApp::toggleHistory() {
    Q_ASSERT(isMainThread());
    if (!commandContext().canToggleHistory) return;
    ReaderPresentation& panes = presentation();
    if (const auto width = panes.availableWidth(); width && !ReaderPresentation::isWideEnoughForHistory(*width)) {
        m_windowState->setShowsCompactHistory(!m_windowState->showsCompactHistory());
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
    // The narrow window's list is a popup, which holds the keys while it is open: it closes (and its
    // closing asks for the reading area again).
    m_windowState->setShowsCompactHistory(false);
    if (QWidget* window = m_windowController->window()) {
        if (QWidget* focused = window->focusWidget()) focused->clearFocus();
    }
    m_windowState->renewReaderFocusRequest();
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
    // Started from this application's window: switching to another application cancels it.
    m_activeWhileCapturing = m_capture->isCapturing();
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
    // The context stays blocked while the panel is open; it clears the flag as it closes. The controls it
    // disabled meanwhile handed the window's focus on behind the panel's back: the reading area takes the
    // keys (a file chosen claims them for its reading all the same).
    m_windowState->setShowsFilePicker(true);
    openLibraryFilePanel(*m_readerWindow, *m_history, *m_defaults, [this] {
        m_windowState->setShowsFilePicker(false);
        focusReader();
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
    // The narrow window's list is a popup that holds the keys while it is open: it closes before the find
    // field takes them, or what the user types would go to the list behind the field's ring. Its closing
    // does not give them to the reading area here.
    {
        const QScopedValueRollback givesKeysAway(m_listGivesKeysAway, true);
        m_windowState->setShowsCompactHistory(false);
    }
    sourceNavigation().showFind();
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
