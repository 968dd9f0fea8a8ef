// The rules of the reading column's controls: which of them act, what they show, and what each does to
// the player when the user works it. The widgets hold no rule of their own.
#include "ReaderCore/MainThread.h"
#include "ReaderCore/ReadingSpeed.h"
#include "ReaderUI/Player/ReadingPlayer.h"
#include "ReaderUI/Workspace/ReaderWorkspaceController.h"
#include "ReaderUI/internal/ReaderWorkspaceValues.h"

namespace tavrine {

using namespace Qt::StringLiterals;

bool ReaderWorkspaceController::canControlPlayback() const {
    if (m_isImporting) return false;
    if (!m_player->preparedReading() && m_player->session().chunks.isEmpty()) return false;
    return m_source == m_loadedSource;
}

bool ReaderWorkspaceController::isPlaying() const {
    return m_player->session().status == ReadingSession::Status::playing || m_player->isWaitingToPlay();
}

// ---- Progress ----

double ReaderWorkspaceController::progressValue() const {
    return m_values->documentContext.progress;
}

void ReaderWorkspaceController::setProgressValue(double fraction) {
    Q_ASSERT(isMainThread());
    if (m_closures.onInteraction) m_closures.onInteraction();
    renewReleaseEditorFocus();
    m_player->seekToFraction(fraction);
}

void ReaderWorkspaceController::progressEditingChanged(bool editing) {
    Q_ASSERT(isMainThread());
    setDraggingProgress(editing);
    if (!editing) return;
    if (m_closures.onInteraction) m_closures.onInteraction();
    renewReleaseEditorFocus();
    m_player->pause(true);
}

bool ReaderWorkspaceController::stepProgress(bool forward) {
    Q_ASSERT(isMainThread());
    if (!canControlPlayback()) return false;
    if (m_closures.onInteraction) m_closures.onInteraction();
    renewReleaseEditorFocus();
    m_player->stepPosition(forward);
    return true;
}

void ReaderWorkspaceController::progressDisappeared() {
    setHoveringProgress(false);
    setDraggingProgress(false);
}

// ---- Speed ----

double ReaderWorkspaceController::speedMultiplierValue() const {
    return m_player->speedMultiplier();
}

void ReaderWorkspaceController::setSpeedMultiplierValue(double multiplier) {
    Q_ASSERT(isMainThread());
    m_player->setBaseSeconds(ReadingSpeed::interval(multiplier));
}

void ReaderWorkspaceController::beginSpeedAdjustment() {
    setAdjustingSpeed(true);
}

void ReaderWorkspaceController::adjustSpeed(bool increment) {
    perform(increment ? Action::faster : Action::slower, /*releasesEditorFocus=*/false);
}

// ---- Enabled states and labels ----

bool ReaderWorkspaceController::canNavigate(ReaderNavigationCommand command) const {
    return canControlPlayback() && m_player->canPerform(ReaderNavigationCommands::action(command));
}

bool ReaderWorkspaceController::canStepSpeed(bool faster) const {
    return !m_isImporting && m_player->canPerform(faster ? Action::faster : Action::slower);
}

bool ReaderWorkspaceController::showsChapterButtons() const {
    return !m_player->chapterNavigation().offsets.isEmpty();
}

QString ReaderWorkspaceController::playPauseTitle() const {
    return isPlaying() ? u"一時停止"_s : u"再生"_s;
}

QString ReaderWorkspaceController::playPauseSymbol() const {
    return isPlaying() ? u"pause.fill"_s : u"play.fill"_s;
}

// ---- Clipboard and source view ----

void ReaderWorkspaceController::paste(const std::function<void()>& paste) {
    Q_ASSERT(isMainThread());
    // The player stops first, before the application hears of anything: the paste replaces what plays.
    m_player->pause(true);
    if (m_closures.onInteraction) m_closures.onInteraction();
    renewReleaseEditorFocus();
    if (paste) paste();
}

void ReaderWorkspaceController::setSourceCursorValue(qsizetype offset) {
    Q_ASSERT(isMainThread());
    if (m_closures.onInteraction) m_closures.onInteraction();
    m_sourceCursor = offset;
    m_player->jumpToSourceOffset(offset, m_source, m_source != m_loadedSource);
    m_loadedSource = m_source;
    noteStateChanged();
}

void ReaderWorkspaceController::sourceInteraction() {
    Q_ASSERT(isMainThread());
    if (m_closures.onInteraction) m_closures.onInteraction();
    m_player->pause(true);
}

std::optional<TextRange> ReaderWorkspaceController::highlightedRange() const {
    if (m_source != m_loadedSource) return std::nullopt;
    const ReadingSession& session = m_player->session();
    if (session.index < 0 || session.index >= session.chunks.size()) return std::nullopt;
    return session.chunks.at(session.index).sourceRange;
}

}  // namespace tavrine
