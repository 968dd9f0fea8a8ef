// The workspace's handlers and the routing of playback actions: what it does when it is shown, when the
// application hands it an imported reading, a request or a focus request, when an import starts, when
// the application's activity changes and when the player switches to another reading.
#include "ReaderCore/MainThread.h"
#include "ReaderUI/Player/ReadingPlayer.h"
#include "ReaderUI/Workspace/ReaderEPUBPresentation.h"
#include "ReaderUI/Workspace/ReaderWorkspaceController.h"
#include "ReaderUI/internal/ReaderWorkspaceValues.h"

namespace tavrine {

namespace {

// Replay and the four sentence and chapter moves: the source pane follows playback again.
bool movesPosition(ReaderPlaybackRequest::Action action) {
    using Action = ReaderPlaybackRequest::Action;
    switch (action) {
    case Action::replay:
    case Action::backSentence:
    case Action::forwardSentence:
    case Action::backChapter:
    case Action::forwardChapter: return true;
    case Action::togglePlayback:
    case Action::slower:
    case Action::faster:
    case Action::showEPUBNavigation:
    case Action::showDocumentInformation: return false;
    }
    return false;
}

}  // namespace

void ReaderWorkspaceController::perform(Action action, bool releasesEditorFocus) {
    Q_ASSERT(isMainThread());
    if (m_isImporting) return;
    if (m_source != m_loadedSource) return;
    if (!m_player->canPerform(action)) return;

    switch (action) {
    case Action::showDocumentInformation: setShowsDocumentInformation(true); return;
    case Action::showEPUBNavigation: m_presentation->setShowsNavigation(true); return;
    default: break;
    }

    if (m_closures.onInteraction) m_closures.onInteraction();
    if (releasesEditorFocus) renewReleaseEditorFocus();
    if (movesPosition(action) && m_closures.onSourceNavigation) m_closures.onSourceNavigation();

    ReadingPlayer& player = *m_player;
    switch (action) {
    case Action::replay: player.replay(); return;
    case Action::togglePlayback: player.togglePlayback(); return;
    case Action::backSentence: player.moveSentence(false); return;
    case Action::forwardSentence: player.moveSentence(true); return;
    case Action::backChapter: player.moveChapter(false); return;
    case Action::forwardChapter: player.moveChapter(true); return;
    case Action::slower: player.stepSpeed(false); return;
    case Action::faster: player.stepSpeed(true); return;
    case Action::showEPUBNavigation:
    case Action::showDocumentInformation: return;
    }
}

// ---- Handlers ----

void ReaderWorkspaceController::synchronizeWithPlayer() {
    if (m_values->importedText) {
        applyImportedText(*m_values->importedText);
        // Also when the player refused it: the source state mirrors whatever the player holds.
        syncSourceFromPlayer();
    } else if (!m_player->reading()) {
        if (m_loadedSource.isEmpty()) applySourceText();
    } else {
        syncSourceFromPlayer();
    }
}

void ReaderWorkspaceController::importedTextChanged(const std::optional<ImportedReading>& imported) {
    if (imported) applyImportedText(*imported);
}

void ReaderWorkspaceController::applyImportedText(const ImportedReading& imported) {
    // A value already taken, or refused while quitting, changes nothing here.
    if (m_player->apply(imported, m_isActive)) syncSourceFromPlayer();
}

void ReaderWorkspaceController::syncSourceFromPlayer() {
    renewReleaseEditorFocus();
    const std::optional<ReadingChunk> chunk = m_player->session().currentChunk();
    m_sourceCursor = chunk ? chunk->sourceRange.lowerBound : 0;
    const std::optional<SavedReading>& reading = m_player->reading();
    m_values->sourceDocument = reading ? reading->document : ReadingDocument{};
    ++m_sourceDocumentRevision;
    // A long text has no window until its first one is prepared: the empty document's stands in.
    const std::optional<ReadingSourceWindow>& window = m_player->sourceWindow();
    m_values->sourceWindow = window ? *window : Values::emptyWindow();
    m_source = m_values->sourceDocument.text;
    m_loadedSource = m_source;
    noteStateChanged();
}

void ReaderWorkspaceController::applySourceText() {
    renewReleaseEditorFocus();
    // The workspace's own text as a plain, untitled reading, never stored under an id seen before.
    m_player->load(ImportedReading::fromText(m_source, false, m_clock).reading, 0);
    m_loadedSource = m_source;
    noteStateChanged();
}

void ReaderWorkspaceController::readingChanged() {
    // A new reading closes the information sheet and the contents pane.
    m_showsDocumentInformation = false;
    m_presentation->setShowsNavigation(false);
    syncSourceFromPlayer();
}

void ReaderWorkspaceController::sourceWindowChanged() {
    // A window the player dropped (a new load) leaves the last one shown until the next arrives.
    if (const std::optional<ReadingSourceWindow>& window = m_player->sourceWindow()) m_values->sourceWindow = *window;
}

void ReaderWorkspaceController::focusRequestChanged() {
    m_isAdjustingSpeed = false;
    m_isDisplayFocused = false;
    scheduleFocusDisplay();
}

void ReaderWorkspaceController::playbackRequestChanged(const ReaderPlaybackRequest& request) {
    perform(request.action, /*releasesEditorFocus=*/true);
}

void ReaderWorkspaceController::importingChanged(bool importing) {
    if (importing) m_player->pause(true);
}

void ReaderWorkspaceController::activityChanged(bool active) {
    m_player->scenePhaseChanged(active);
}

// ---- The contents pane ----

void ReaderWorkspaceController::epubPaneSelected() {
    Q_ASSERT(isMainThread());
    // Called just before the pane moves the player. Unlike the controls, the source pane is told first.
    if (m_closures.onSourceNavigation) m_closures.onSourceNavigation();
    if (m_closures.onInteraction) m_closures.onInteraction();
    renewReleaseEditorFocus();
}

void ReaderWorkspaceController::closeEPUBPane() {
    Q_ASSERT(isMainThread());
    m_presentation->setShowsNavigation(false);
}

void ReaderWorkspaceController::epubPaneFocusDeparted() {
    Q_ASSERT(isMainThread());
    scheduleFocusDisplay();
}

}  // namespace tavrine
