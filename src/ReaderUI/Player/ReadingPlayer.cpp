#include "ReaderUI/Player/ReadingPlayer.h"

#include "ReaderCore/Defaults.h"
#include "ReaderCore/MainThread.h"
#include "ReaderCore/ReadingSpeed.h"
#include "ReaderCore/TimingPolicy.h"
#include "ReaderUI/Player/ReaderTextSizeSettings.h"
#include "ReaderUI/Player/ReadingPlayerMessages.h"
#include "ReaderUI/PropertyWrite.h"

#include <algorithm>
#include <cmath>

namespace tavrine {

using Outcome = PlaybackPersistence::Outcome;

namespace {

// The stored speed: nothing stored (which reads as 0) and values that are not finite give the slowest
// speed; anything else is clamped into the speed range.
double storedBaseSeconds(const Defaults& defaults) {
    const double stored = defaults.doubleForKey(ReadingPlayer::kBaseSecondsKey);
    if (stored == 0) return TimingPolicy::kMaximumInterval;
    return TimingPolicy::clampedInterval(stored);
}

}  // namespace

ReadingPlayer::ReadingPlayer(std::shared_ptr<PlaybackStore> store, bool storeUnavailable,
                             bool automaticallySavesHistory, std::chrono::duration<double> checkpointInterval,
                             Defaults& defaults, const Clock& clock, PhraseWidth phraseWidth, QObject* parent)
    : QObject(parent),
      m_baseSeconds(storedBaseSeconds(defaults)),
      m_speedDefaults(defaults),
      m_clock(clock),
      m_phraseWidth(std::move(phraseWidth)),
      m_textSizes(std::make_unique<ReaderTextSizeSettings>(defaults)),
      m_checkpointInterval(checkpointInterval) {
    Q_ASSERT(isMainThread());
    if (storeUnavailable) m_storageMessage = ReadingPlayerMessages::kStoreUnavailable;
    if (!store) return;
    m_persistence = std::make_unique<PlaybackPersistence>(store, automaticallySavesHistory);
    // Saves still queued when the player goes report to nobody.
    m_persistence->setOutcomeHandler([self = QPointer<ReadingPlayer>(this)](const QUuid& id, Outcome outcome) {
        if (self) self->handleOutcome(id, outcome);
    });
    m_storeChangesTask.start([self = QPointer<ReadingPlayer>(this), store = std::move(store)](CancellationToken token) {
        return observeStoreChanges(self, store, std::move(token));
    });
}

// The task handles cancel their tasks as they go; each task finds the player gone at its next check.
ReadingPlayer::~ReadingPlayer() {
    Q_ASSERT(isMainThread());
}

QCoro::Task<PreparedReading::Result<QList<ReadingChunk>>> ReadingPlayer::defaultPrepareChunks(
    std::shared_ptr<PreparedReading> prepared, qsizetype offset, CancellationToken token) {
    // The request holds its own share of the reading's state: the task needs no reference to prepared.
    return prepared->chunks(offset, std::move(token));
}

// ---- Derived values ----

bool ReadingPlayer::hasText() const {
    return m_preparedReading || !m_session.chunks.isEmpty();
}

std::optional<ReadingDocument> ReadingPlayer::document() const {
    if (!m_reading) return std::nullopt;
    return m_reading->document;
}

std::optional<QUuid> ReadingPlayer::readingID() const {
    if (!m_reading) return std::nullopt;
    return m_reading->id;
}

qsizetype ReadingPlayer::currentSourceOffset() const {
    if (m_isPreparing) return m_requestedOffset;
    if (const auto chunk = m_session.currentChunk()) return chunk->sourceRange.lowerBound;
    return m_requestedOffset;
}

std::optional<ReadingDocument::Section> ReadingPlayer::currentSection() const {
    if (!m_reading || !m_reading->document.sections) return std::nullopt;
    const qsizetype offset = currentSourceOffset();
    const auto& sections = *m_reading->document.sections;
    const auto found = std::find_if(sections.cbegin(), sections.cend(), [offset](const ReadingDocument::Section& s) {
        return s.start <= offset && offset < s.end;
    });
    if (found == sections.cend()) return std::nullopt;
    return *found;
}

double ReadingPlayer::speedMultiplier() const {
    return TimingPolicy::kMaximumInterval / TimingPolicy::clampedInterval(m_baseSeconds);
}

QString ReadingPlayer::speedLabel() const {
    return ReadingSpeed::label(m_baseSeconds, false);
}

QString ReadingPlayer::speedAccessibilityValue() const {
    return ReadingSpeed::label(m_baseSeconds, true);
}

QString ReadingPlayer::speedHelpText() const {
    return ReadingPlayerMessages::kSpeedHelp;
}

// ---- Writers ----

void ReadingPlayer::setSession(ReadingSession session) {
    m_session = std::move(session);
    emit sessionChanged();
}

void ReadingPlayer::setBaseSecondsValue(double seconds) {
    // NaN never equals itself; one NaN replacing another is no change.
    if (std::isnan(seconds) && std::isnan(m_baseSeconds)) return;
    writeProperty(this, m_baseSeconds, seconds, &ReadingPlayer::baseSecondsChanged);
}

void ReadingPlayer::setIsWaitingToPlay(bool value) {
    writeProperty(this, m_isWaitingToPlay, value, &ReadingPlayer::isWaitingToPlayChanged);
}

void ReadingPlayer::setIsPreparing(bool value) {
    writeProperty(this, m_isPreparing, value, &ReadingPlayer::isPreparingChanged);
}

void ReadingPlayer::setSourceWindow(std::optional<ReadingSourceWindow> window) {
    writeProperty(this, m_sourceWindow, std::move(window), &ReadingPlayer::sourceWindowChanged);
}

void ReadingPlayer::renewPreparationID() {
    writeProperty(this, m_preparationID, QUuid::createUuid(), &ReadingPlayer::preparationIDChanged);
}

void ReadingPlayer::setRequestedOffset(qsizetype offset) {
    writeProperty(this, m_requestedOffset, offset, &ReadingPlayer::requestedOffsetChanged);
}

void ReadingPlayer::setChapterNavigation(ReadingChapterNavigation navigation) {
    m_chapterNavigation = std::move(navigation);
    emit chapterNavigationChanged();
}

void ReadingPlayer::setOriginalEPUBFilename(std::optional<QString> filename) {
    writeProperty(this, m_originalEPUBFilename, std::move(filename), &ReadingPlayer::originalEPUBFilenameChanged);
}

void ReadingPlayer::setReplacementSnapshot(std::optional<ReplacementSnapshot> snapshot) {
    m_replacementSnapshot = std::move(snapshot);
    emit replacementSnapshotChanged();
}

void ReadingPlayer::setReplacementExpectedID(std::optional<QUuid> id) {
    writeProperty(this, m_replacementExpectedID, id, &ReadingPlayer::replacementExpectedIDChanged);
}

void ReadingPlayer::setReplacementIsRedo(bool value) {
    writeProperty(this, m_replacementIsRedo, value, &ReadingPlayer::replacementIsRedoChanged);
}

void ReadingPlayer::setReading(std::optional<SavedReading> reading) {
    writeProperty(this, m_reading, std::move(reading), &ReadingPlayer::readingChanged);
}

void ReadingPlayer::setIsCurrentReadingSaved(bool value) {
    writeProperty(this, m_isCurrentReadingSaved, value, &ReadingPlayer::isCurrentReadingSavedChanged);
}

void ReadingPlayer::setStorageMessage(std::optional<QString> message) {
    writeProperty(this, m_storageMessage, std::move(message), &ReadingPlayer::storageMessageChanged);
}

void ReadingPlayer::insertHandledImportID(const QUuid& id) {
    m_handledImportIDs.insert(id);
    emit handledImportIDsChanged();
}

void ReadingPlayer::setPendingAutoplay(bool value) {
    writeProperty(this, m_pendingAutoplay, value, &ReadingPlayer::pendingAutoplayChanged);
}

void ReadingPlayer::setResumesFromCursor(bool value) {
    writeProperty(this, m_resumesFromCursor, value, &ReadingPlayer::resumesFromCursorChanged);
}

void ReadingPlayer::setHasActuallyPlayed(bool value) {
    writeProperty(this, m_hasActuallyPlayed, value, &ReadingPlayer::hasActuallyPlayedChanged);
}

void ReadingPlayer::setHasNavigatedSavedReading(bool value) {
    writeProperty(this, m_hasNavigatedSavedReading, value, &ReadingPlayer::hasNavigatedSavedReadingChanged);
}

void ReadingPlayer::setHasPreviouslyPlayed(bool value) {
    writeProperty(this, m_hasPreviouslyPlayed, value, &ReadingPlayer::hasPreviouslyPlayedChanged);
}

void ReadingPlayer::renewSavedLoadID() {
    writeProperty(this, m_savedLoadID, QUuid::createUuid(), &ReadingPlayer::savedLoadIDChanged);
}

void ReadingPlayer::setSavedLoadID(QUuid id) {
    writeProperty(this, m_savedLoadID, id, &ReadingPlayer::savedLoadIDChanged);
}

void ReadingPlayer::setLoadingSavedReadingID(std::optional<QUuid> id) {
    writeProperty(this, m_loadingSavedReadingID, id, &ReadingPlayer::loadingSavedReadingIDChanged);
}

void ReadingPlayer::setIsTerminating(bool value) {
    writeProperty(this, m_isTerminating, value, &ReadingPlayer::isTerminatingChanged);
}

}  // namespace tavrine
