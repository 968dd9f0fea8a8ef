// The reader window's appearances and the application's lifecycle: start-up, the document list's task,
// the capture hot keys and their handlers, and the stop hooks run when quitting.
#include "PelmoraMac/App/OnceOnly.h"
#include "PelmoraMac/App/PelmoraApp.h"
#include "PelmoraMac/App/ReaderAppDelegate.h"
#include "PelmoraMac/App/ReaderTrace.h"
#include "PelmoraMac/App/WindowSheetWatcher.h"
#include "PelmoraMac/Capture/CaptureModel.h"
#include "PelmoraMac/Library/MacReadingPlayback.h"
#include "PelmoraMac/Library/ReaderHistoryModel.h"
#include "PelmoraMac/Updates/MacUpdateController.h"
#include "PelmoraMac/Window/ReaderPresentation.h"
#include "PelmoraMac/Window/ReaderWindow.h"
#include "PelmoraMac/Window/ReaderWindowController.h"
#include "PelmoraMac/Window/ReaderWindowState.h"
#include "ReaderCore/MainThread.h"
#include "ReaderUI/Library/ReadingLibrarySearch.h"
#include "ReaderUI/Player/ReadingPlayer.h"

#include <QCoreApplication>
#include <QGuiApplication>

namespace tavrine {

void PelmoraApp::attachLifecycleHandlers() {
    connect(m_readerWindow.get(), &ReaderWindow::appeared, this, [this] {
        startUp();
        loadHistory();
    });
    // A capture does not outlive the window it reports to, nor the list's listener.
    connect(m_readerWindow.get(), &ReaderWindow::disappeared, this, [this] {
        m_historyLoading.cancel();
        m_capture->cancel();
    });
    connect(QCoreApplication::instance(), &QCoreApplication::aboutToQuit, this, [this] {
        if (m_shortcut->exists()) shortcut().stop();
        if (m_clipboardShortcut->exists()) clipboardShortcut().stop();
    });
    connect(qGuiApp, &QGuiApplication::applicationStateChanged, this, [this](Qt::ApplicationState state) {
        if (state == Qt::ApplicationActive) {
            m_activeWhileCapturing = m_capture->isCapturing();
            m_capture->refreshPermission();
        } else {
            // A capture of the application in front starts only while another application's window has the
            // focus, and Qt tells this application that it is no longer active a moment after its own window
            // lost the focus: a capture the hot key started in that moment was not left for another application.
            // One during which this application was active again was, and so was an import the user started
            // from this application's own window.
            if (m_activeWhileCapturing) m_capture->cancel();
            m_activeWhileCapturing = false;
            m_playback->player().scenePhaseChanged(false);
        }
    });
    m_sheetWatcher =
        std::make_unique<WindowSheetWatcher>([this](bool shown) { m_windowState->setReaderHasSheet(shown); });
    connect(&presentation(), &ReaderPresentation::showsHistoryChanged, this, [this] {
        if (!presentation().showsHistory()) m_windowState->setShowsCompactHistory(false);
    });
    // The compact list closing gives the keyboard back to the reader.
    connect(m_windowState.get(), &ReaderWindowState::showsCompactHistoryChanged, this, [this] {
        if (!m_windowState->showsCompactHistory() && !m_listGivesKeysAway) focusReader();
    });
}

void PelmoraApp::startUp() {
    Q_ASSERT(isMainThread());
    m_updates->start();
    m_delegate->setPlayer(&m_playback->player());
    m_delegate->setPrepareForTermination([this] { prepareForTermination(); });
    m_delegate->setFinishFileImport([this] { return finishFileImport(); });
    m_capture->refreshPermission();
    if (!m_registersHotKeys) return;
    if (!m_followsChords) {
        m_followsChords = true;
        connect(&shortcut(), &GlobalCaptureShortcut::chordChanged, this, &PelmoraApp::copyShortcutLabels);
        connect(&clipboardShortcut(), &GlobalCaptureShortcut::chordChanged, this, &PelmoraApp::copyShortcutLabels);
        if (m_traceMarks) {
            m_traceMarks->followHotKey(shortcut());
            m_traceMarks->followHotKey(clipboardShortcut());
        }
    }
    registerShortcuts();
    copyShortcutLabels();
}

void PelmoraApp::loadHistory() {
    Q_ASSERT(isMainThread());
    if (!m_history) {
        // Opening a reading from the list ends a running capture.
        m_history = std::make_unique<ReaderHistoryModel>(std::make_unique<ReadingLibrarySearch>(), *m_playback,
                                                         [this] { m_capture->cancel(); });
        m_windowState->setHistory(*m_history);
    }
    m_historyLoading.start([this](CancellationToken token) { return m_history->load(std::move(token)); });
}

void PelmoraApp::registerShortcuts() {
    Q_ASSERT(isMainThread());
    if (!m_registersHotKeys) return;
    clipboardShortcut().start([this] { importClipboardFromHotKey(); });
    shortcut().start([this] { captureFrontmostFromHotKey(); });
}

void PelmoraApp::copyShortcutLabels() {
    Q_ASSERT(isMainThread());
    m_capture->setFrontmostShortcutLabel(chordDisplayLabel(shortcut().chord()));
    m_capture->setClipboardShortcutLabel(chordDisplayLabel(clipboardShortcut().chord()));
}

void PelmoraApp::captureFrontmostFromHotKey() {
    Q_ASSERT(isMainThread());
    if (m_capture->isCapturing() || commandContext().isBlocked) return;
    cancelPendingSelection();
    const ReaderWindowController::Invocation invocation = m_windowController->makeInvocation();
    m_activeWhileCapturing = false;
    m_capture->captureFrontmost([this, invocation] { m_windowController->showInvoked(invocation); });
}

void PelmoraApp::importClipboardFromHotKey() {
    Q_ASSERT(isMainThread());
    // No test of a running capture: the import replaces it.
    if (commandContext().isBlocked) return;
    cancelPendingSelection();
    const ReaderWindowController::Invocation invocation = m_windowController->makeInvocation();
    m_activeWhileCapturing = false;
    m_capture->importClipboard(m_clipboard(), /*autoplay=*/true, ClipboardImportMode::automatic,
                               [this, invocation] { m_windowController->showInvoked(invocation); });
}

void PelmoraApp::prepareForTermination() {
    Q_ASSERT(isMainThread());
    if (m_history) m_history->prepareForTermination();
    m_capture->cancel();
    shortcut().stop();
    clipboardShortcut().stop();
}

QCoro::Task<void> PelmoraApp::finishFileImport() {
    Q_ASSERT(isMainThread());
    if (!m_history || !m_history->fileTask().isRunning()) co_return;
    auto importing = m_history->fileTask().finished();
    co_await importing;
}

}  // namespace tavrine
