// Construction, inputs, view state and the update pass. The handlers and the routing of playback
// actions are in ReaderWorkspaceEvents.cpp.
#include "ReaderUI/Workspace/ReaderWorkspaceController.h"

#include "ReaderCore/Clock.h"
#include "ReaderCore/MainThread.h"
#include "ReaderUI/Player/ReaderTextSizeSettings.h"
#include "ReaderUI/Player/ReadingPlayer.h"
#include "ReaderUI/PropertyWrite.h"
#include "ReaderUI/Workspace/ReaderEPUBPresentation.h"
#include "ReaderUI/internal/ReaderWorkspaceValues.h"

#include <QMetaMethod>
#include <QMetaObject>
#include <QMetaProperty>

#include <utility>

namespace tavrine {

class ReaderWorkspaceController::PassScope {
public:
    explicit PassScope(ReaderWorkspaceController& controller) : m_controller(controller) {
        Q_ASSERT_X(!m_controller.m_isInPass, "ReaderWorkspaceController",
                   "a workspace update started inside another (a handler ran the event loop)");
        m_controller.m_isInPass = true;
    }
    ~PassScope() { m_controller.m_isInPass = false; }
    PassScope(const PassScope&) = delete;
    PassScope& operator=(const PassScope&) = delete;

private:
    ReaderWorkspaceController& m_controller;
};

namespace {

const Clock& clockOrSystem(const Clock* clock) {
    return clock ? *clock : SystemClock::shared();
}

}  // namespace

ReaderWorkspaceController::ReaderWorkspaceController(ReadingPlayer& player, ReaderEPUBPresentation* presentation,
                                                     Closures closures, const Clock* clock, QObject* parent)
    : ReaderWorkspaceController(&player, nullptr, presentation, std::move(closures), clockOrSystem(clock), parent) {}

ReaderWorkspaceController::ReaderWorkspaceController(const OwnPlayer& own, ReaderEPUBPresentation* presentation,
                                                     Closures closures, QObject* parent)
    : ReaderWorkspaceController(
          nullptr,
          std::make_unique<ReadingPlayer>(nullptr, /*storeUnavailable=*/false, /*automaticallySavesHistory=*/false,
                                          kOwnPlayerCheckpointInterval, own.defaults, clockOrSystem(own.clock),
                                          ReadingPlayer::PhraseWidth{own.width, own.maximumWidth}),
          presentation, std::move(closures), clockOrSystem(own.clock), parent) {}

ReaderWorkspaceController::ReaderWorkspaceController(ReadingPlayer* player, std::unique_ptr<ReadingPlayer> ownPlayer,
                                                     ReaderEPUBPresentation* presentation, Closures closures,
                                                     const Clock& clock, QObject* parent)
    : QObject(parent),
      m_ownPlayer(std::move(ownPlayer)),
      m_player(m_ownPlayer ? m_ownPlayer.get() : player),
      m_presentation(presentation ? presentation : new ReaderEPUBPresentation(this)),
      m_closures(std::move(closures)),
      m_clock(clock),
      m_values(std::make_unique<Values>()) {
    Q_ASSERT(isMainThread());
    Q_ASSERT(m_player);

    // Every observed property of the player may show in a view: each change asks for a pass.
    const QMetaObject* playerType = m_player->metaObject();
    const QMetaMethod schedule = metaObject()->method(metaObject()->indexOfSlot("scheduleUpdate()"));
    for (int index = playerType->propertyOffset(); index < playerType->propertyCount(); ++index) {
        const QMetaProperty property = playerType->property(index);
        if (property.hasNotifySignal()) connect(m_player, property.notifySignal(), this, schedule);
    }
    connect(m_player, &ReadingPlayer::sourceWindowChanged, this, [this] { m_playerWindowChanged = true; });
    connect(&m_player->textSizes(), &ReaderTextSizeSettings::rsvpPointSizeChanged, this,
            &ReaderWorkspaceController::scheduleUpdate);
    connect(&m_player->textSizes(), &ReaderTextSizeSettings::sourcePointSizeChanged, this,
            &ReaderWorkspaceController::scheduleUpdate);
    connect(m_presentation, &ReaderEPUBPresentation::showsNavigationChanged, this,
            &ReaderWorkspaceController::scheduleUpdate);

    m_values->documentContext = m_values->contextSource.make(*m_player);
}

ReaderWorkspaceController::~ReaderWorkspaceController() {
    Q_ASSERT(isMainThread());
    // The own player goes first; nothing of it may reach this object while it does.
    if (m_ownPlayer) disconnect(m_ownPlayer.get(), nullptr, this, nullptr);
}

// ---- Inputs ----

void ReaderWorkspaceController::setImportedText(std::optional<ImportedReading> imported) {
    Q_ASSERT(isMainThread());
    m_values->importedText = std::move(imported);
    m_importedTextTouched = true;
    scheduleUpdate();
}

void ReaderWorkspaceController::setPlaybackRequest(std::optional<ReaderPlaybackRequest> request) {
    Q_ASSERT(isMainThread());
    m_playbackRequest = request;
    if (!request || m_receivedRequestIDs.contains(request->id)) return;
    m_receivedRequestIDs.insert(request->id);
    // A request present before the workspace appears is its starting value, not one to act on.
    if (!m_isShown) return;
    m_pendingRequests.append(*request);
    scheduleUpdate();
}

void ReaderWorkspaceController::setImporting(bool importing) {
    Q_ASSERT(isMainThread());
    if (assignIfChanged(m_isImporting, importing)) scheduleUpdate();
}

void ReaderWorkspaceController::setShowsSource(bool shows) {
    Q_ASSERT(isMainThread());
    if (assignIfChanged(m_showsSource, shows)) scheduleUpdate();
}

void ReaderWorkspaceController::setFocusRequest(std::optional<QUuid> request) {
    Q_ASSERT(isMainThread());
    if (assignIfChanged(m_focusRequest, request)) scheduleUpdate();
}

void ReaderWorkspaceController::setActive(bool active) {
    Q_ASSERT(isMainThread());
    if (assignIfChanged(m_isActive, active)) scheduleUpdate();
}

// ---- Lifecycle ----

void ReaderWorkspaceController::appeared() {
    Q_ASSERT(isMainThread());
    if (m_isShown) return;
    m_isShown = true;
    takeStartingValues();
    {
        PassScope pass(*this);
        synchronizeWithPlayer();
    }
    scheduleUpdate();
}

void ReaderWorkspaceController::disappeared() {
    Q_ASSERT(isMainThread());
    Q_ASSERT(!m_isInPass);
    if (!m_isShown) return;
    m_isShown = false;
    m_pendingRequests.clear();
    m_player->pause(true);
    scheduleUpdate();
}

void ReaderWorkspaceController::takeStartingValues() {
    m_values->handledImportedText = m_values->importedText;
    m_handled = Handled{
        .readingID = m_player->readingID(),
        .focusRequest = m_focusRequest,
        .isImporting = m_isImporting,
        .isActive = m_isActive,
    };
    m_importedTextTouched = false;
    m_playerWindowChanged = false;
    m_pendingRequests.clear();
}

// ---- View state ----

const std::optional<ImportedReading>& ReaderWorkspaceController::importedText() const {
    return m_values->importedText;
}

const ReadingDocument& ReaderWorkspaceController::sourceDocument() const {
    return m_values->sourceDocument;
}

const ReadingSourceWindow& ReaderWorkspaceController::sourceWindow() const {
    return m_values->sourceWindow;
}

const ReaderDocumentContext& ReaderWorkspaceController::documentContext() const {
    return m_values->documentContext;
}

template <typename T, typename U>
void ReaderWorkspaceController::updateState(T& field, U&& value) {
    Q_ASSERT(isMainThread());
    if (assignIfChanged(field, std::forward<U>(value))) noteStateChanged();
}

void ReaderWorkspaceController::setSource(QString source) {
    updateState(m_source, std::move(source));
}

void ReaderWorkspaceController::setShowsDocumentInformation(bool shows) {
    updateState(m_showsDocumentInformation, shows);
}

void ReaderWorkspaceController::setDisplayFocused(bool focused) {
    updateState(m_isDisplayFocused, focused);
}

void ReaderWorkspaceController::setAdjustingSpeed(bool focused) {
    updateState(m_isAdjustingSpeed, focused);
}

void ReaderWorkspaceController::setAdjustingProgress(bool focused) {
    updateState(m_isAdjustingProgress, focused);
}

void ReaderWorkspaceController::setHoveringProgress(bool hovering) {
    updateState(m_isHoveringProgress, hovering);
}

void ReaderWorkspaceController::setDraggingProgress(bool dragging) {
    updateState(m_isDraggingProgress, dragging);
}

void ReaderWorkspaceController::renewReleaseEditorFocus() {
    m_releaseEditorFocus = QUuid::createUuid();
    emit releaseEditorFocusChanged(m_releaseEditorFocus);
    noteStateChanged();
}

void ReaderWorkspaceController::focusDisplay() {
    Q_ASSERT(isMainThread());
    m_isDisplayFocused = true;
    emit displayFocusRequested();
    noteStateChanged();
}

void ReaderWorkspaceController::scheduleFocusDisplay() {
    // After the current update, so that the focus flags it cleared have reached the widgets first.
    QMetaObject::invokeMethod(this, &ReaderWorkspaceController::focusDisplay, Qt::QueuedConnection);
}

// ---- The update pass ----

void ReaderWorkspaceController::noteStateChanged() {
    if (!m_isInPass) scheduleUpdate();
}

void ReaderWorkspaceController::scheduleUpdate() {
    Q_ASSERT(isMainThread());
    if (std::exchange(m_isUpdateScheduled, true)) return;
    QMetaObject::invokeMethod(this, &ReaderWorkspaceController::runUpdatePass, Qt::QueuedConnection);
}

void ReaderWorkspaceController::runUpdatePass() {
    m_isUpdateScheduled = false;
    if (m_isShown) {
        PassScope pass(*this);
        runChangeHandlers();
    }
    m_values->documentContext = m_values->contextSource.make(*m_player);
    emit changed();
}

void ReaderWorkspaceController::runChangeHandlers() {
    if (std::exchange(m_importedTextTouched, false) && m_values->importedText != m_values->handledImportedText) {
        m_values->handledImportedText = m_values->importedText;
        importedTextChanged(m_values->importedText);
    }
    // The reading's id, not the reading: a change of another of its fields is no new reading.
    if (const std::optional<QUuid> readingID = m_player->readingID(); readingID != m_handled.readingID) {
        m_handled.readingID = readingID;
        readingChanged();
    }
    if (std::exchange(m_playerWindowChanged, false)) sourceWindowChanged();
    if (m_focusRequest != m_handled.focusRequest) {
        m_handled.focusRequest = m_focusRequest;
        focusRequestChanged();
    }
    // A request that a handler's closure posts now waits for the next pass.
    for (const ReaderPlaybackRequest& request : std::exchange(m_pendingRequests, {})) playbackRequestChanged(request);
    if (m_isImporting != m_handled.isImporting) {
        m_handled.isImporting = m_isImporting;
        importingChanged(m_isImporting);
    }
    if (m_isActive != m_handled.isActive) {
        m_handled.isActive = m_isActive;
        activityChanged(m_isActive);
    }
}

}  // namespace tavrine
