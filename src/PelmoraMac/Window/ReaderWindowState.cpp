#include "PelmoraMac/Window/ReaderWindowState.h"

#include "PelmoraMac/Capture/CaptureModel.h"
#include "PelmoraMac/Library/ReaderHistoryModel.h"
#include "PelmoraMac/Window/ReaderPresentation.h"
#include "ReaderCore/MainThread.h"
#include "ReaderUI/Player/ReadingPlayer.h"
#include "ReaderUI/Workspace/ReaderEPUBPresentation.h"

#include <QApplication>
#include <QGuiApplication>
#include <QTimer>
#include <QWidget>
#include <QWindow>

#include <algorithm>

namespace tavrine {

ReaderWindowState::ReaderWindowState(Sources sources, QObject* parent)
    : QObject(parent),
      m_player(sources.player),
      m_hasStore(sources.hasStore),
      m_capture(sources.capture),
      m_presentation(sources.presentation),
      m_epubPresentation(sources.epubPresentation) {
    Q_ASSERT(isMainThread());
    followInputs();
}

ReaderWindowState::~ReaderWindowState() {
    Q_ASSERT(isMainThread());
}

void ReaderWindowState::followInputs() {
    const auto changed = [this] { scheduleContextChanged(); };
    connect(&m_player, &ReadingPlayer::readingChanged, this, changed);
    connect(&m_player, &ReadingPlayer::sessionChanged, this, changed);
    connect(&m_player, &ReadingPlayer::replacementSnapshotChanged, this, changed);
    connect(&m_capture, &CaptureModel::isCapturingChanged, this, changed);
    connect(&m_presentation, &ReaderPresentation::showsHistoryChanged, this, changed);
    connect(&m_presentation, &ReaderPresentation::prefersSourceChanged, this, changed);
    connect(&m_epubPresentation, &ReaderEPUBPresentation::showsNavigationChanged, this, changed);
    // Modal dialogs and the active window are not observable one by one; every change of focus between
    // windows passes here.
    connect(qGuiApp, &QGuiApplication::focusWindowChanged, this, changed);
}

void ReaderWindowState::setHistory(ReaderHistoryModel& history) {
    Q_ASSERT(isMainThread());
    if (m_history) return;
    m_history = &history;
    for (auto signal : {&ReaderHistoryModel::isLoadedChanged, &ReaderHistoryModel::isBusyChanged,
                        &ReaderHistoryModel::isSavingFileChanged, &ReaderHistoryModel::isImportingFileChanged,
                        &ReaderHistoryModel::fileImportFailedChanged, &ReaderHistoryModel::libraryChanged,
                        &ReaderHistoryModel::historyChanged}) {
        connect(m_history, signal, this, &ReaderWindowState::scheduleContextChanged);
    }
    emit historyMade();
    scheduleContextChanged();
}

void ReaderWindowState::setPlaybackRequest(ReaderPlaybackRequest request) {
    Q_ASSERT(isMainThread());
    m_playbackRequest = request;
    emit playbackRequestChanged();
}

void ReaderWindowState::renewReaderFocusRequest() {
    Q_ASSERT(isMainThread());
    m_readerFocusRequest = QUuid::createUuid();
    emit readerFocusRequestChanged();
}

bool ReaderWindowState::updateFlag(bool& flag, bool value) {
    Q_ASSERT(isMainThread());
    if (flag == value) return false;
    flag = value;
    scheduleContextChanged();
    return true;
}

void ReaderWindowState::setShowsFilePicker(bool shows) {
    updateFlag(m_showsFilePicker, shows);
}

void ReaderWindowState::setReaderHasSheet(bool hasSheet) {
    updateFlag(m_readerHasSheet, hasSheet);
}

void ReaderWindowState::setSettingsHasFocus(bool hasFocus) {
    updateFlag(m_settingsHasFocus, hasFocus);
}

void ReaderWindowState::setShowsCompactHistory(bool shows) {
    if (updateFlag(m_showsCompactHistory, shows)) emit showsCompactHistoryChanged();
}

void ReaderWindowState::scheduleContextChanged() {
    if (m_contextChangePending) return;
    m_contextChangePending = true;
    QTimer::singleShot(0, this, [this] {
        m_contextChangePending = false;
        emit commandContextChanged();
    });
}

bool ReaderWindowState::hasModalWindow() {
    if (QApplication::activeModalWidget()) return true;
    const QWidgetList windows = QApplication::topLevelWidgets();
    return std::any_of(windows.begin(), windows.end(), [](const QWidget* window) {
        return window->isVisible() && window->windowModality() != Qt::NonModal;
    });
}

ReaderCommandInputs ReaderWindowState::commandInputs() const {
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
    const auto& reading = m_player.reading();
    return {
        .readerHasSheet = m_readerHasSheet,
        .hasModalWindow = hasModalWindow(),
        .showsFilePicker = m_showsFilePicker,
        .settingsHasFocus = m_settingsHasFocus,
        .list = list,
        .isCapturing = m_capture.isCapturing(),
        .hasStore = m_hasStore,
        .presentationShowsHistory = m_presentation.showsHistory(),
        .showsCompactHistory = m_showsCompactHistory,
        .prefersSource = m_presentation.prefersSource(),
        .showsEPUBNavigation = m_epubPresentation.showsNavigation(),
        .hasDocumentText = reading && !reading->document.text.isEmpty(),
    };
}

std::optional<ReaderCommandContext> ReaderWindowState::focusedCommandContext(const QWidget& readerWindow) const {
    const QWidget* active = QApplication::activeWindow();
    if (!active) return std::nullopt;
    const bool overReader = active->windowModality() == Qt::WindowModal && active->parentWidget() &&
                            active->parentWidget()->window() == &readerWindow;
    if (active != &readerWindow && !overReader) return std::nullopt;
    return commandContext();
}

}  // namespace tavrine
