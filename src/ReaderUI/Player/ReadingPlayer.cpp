#include "ReaderUI/Player/ReadingPlayer.h"

#include "ReaderCore/MainThread.h"
#include "ReaderUI/Player/ReaderTextSizeSettings.h"
#include "ReaderUI/Player/ReadingPlayerMessages.h"
#include "ReaderUI/PropertyWrite.h"

#include <algorithm>

namespace tavrine {

using Outcome = PlaybackPersistence::Outcome;

ReadingPlayer::ReadingPlayer(std::shared_ptr<PlaybackStore> store, bool storeUnavailable,
                             bool automaticallySavesHistory, std::chrono::duration<double> checkpointInterval,
                             Defaults& defaults, const Clock& clock, PhraseWidth phraseWidth, QObject* parent)
    : QObject(parent),
      m_clock(clock),
      m_phraseWidth(std::move(phraseWidth)),
      m_speed(defaults),
      m_textSizes(std::make_unique<ReaderTextSizeSettings>(defaults)),
      m_tasks(clock, {.autoplayDelay = kAutoplayDelay,
                      .checkpointInterval = checkpointInterval,
                      .navigationSaveDelay = kNavigationSaveDelay}) {
    Q_ASSERT(isMainThread());
    connect(&m_replacement, &ReplacementHistory::snapshotChanged, this, &ReadingPlayer::replacementSnapshotChanged);
    connect(&m_replacement, &ReplacementHistory::expectedIDChanged, this, &ReadingPlayer::replacementExpectedIDChanged);
    connect(&m_replacement, &ReplacementHistory::isRedoChanged, this, &ReadingPlayer::replacementIsRedoChanged);
    connect(&m_replacement, &ReplacementHistory::handledImportIDsChanged, this,
            &ReadingPlayer::handledImportIDsChanged);

    if (storeUnavailable) m_storageMessage = ReadingPlayerMessages::kStoreUnavailable;
    if (!store) return;
    m_persistence = std::make_unique<PlaybackPersistence>(store, automaticallySavesHistory);
    // Saves still queued when the player goes report to nobody.
    m_persistence->setOutcomeHandler([self = QPointer<ReadingPlayer>(this)](const QUuid& id, Outcome outcome) {
        if (self) self->handleOutcome(id, outcome);
    });
    m_tasks.startListener([self = QPointer<ReadingPlayer>(this), store = std::move(store)](CancellationToken token) {
        return observeStoreChanges(self, store, std::move(token));
    });
}

// The task set cancels its tasks as it goes; each task finds the player gone at its next check.
ReadingPlayer::~ReadingPlayer() {
    Q_ASSERT(isMainThread());
}

QCoro::Task<PreparedReading::Result<QList<ReadingChunk>>> ReadingPlayer::defaultPrepareChunks(
    std::shared_ptr<PreparedReading> prepared, qsizetype offset, CancellationToken token) {
    return ChunkWindowSource::preparedChunks(std::move(prepared), offset, std::move(token));
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

QString ReadingPlayer::speedHelpText() const {
    return ReadingPlayerMessages::kSpeedHelp;
}

ReadingProgress ReadingPlayer::currentProgress() const {
    if (m_session.status == ReadingSession::Status::completed) {
        return {m_reading ? m_reading->document.text.size() : 0, true};
    }
    return {currentSourceOffset(), false};
}

bool ReadingPlayer::canPerform(ReaderPlaybackRequest::Action action) const {
    Q_ASSERT(isMainThread());
    using Action = ReaderPlaybackRequest::Action;
    switch (action) {
    case Action::replay:
    case Action::togglePlayback:
    case Action::backSentence: return hasText();
    case Action::forwardSentence:
        // While a window is prepared a next sentence may yet come.
        return hasText() && (m_session.hasNextSentence() || m_isPreparing);
    case Action::backChapter: return hasText() && chapterTarget(false).has_value();
    case Action::forwardChapter: return hasText() && chapterTarget(true).has_value();
    case Action::slower: return m_speed.canStep(false);
    case Action::faster: return m_speed.canStep(true);
    case Action::showEPUBNavigation: return m_reading && m_reading->epub.has_value();
    case Action::showDocumentInformation: return m_reading && !m_reading->document.text.isEmpty();
    }
    return false;
}

// ---- Writers ----

void ReadingPlayer::setSession(ReadingSession session) {
    m_session = std::move(session);
    emit sessionChanged();
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

void ReadingPlayer::setReading(std::optional<SavedReading> reading) {
    writeProperty(this, m_reading, std::move(reading), &ReadingPlayer::readingChanged);
}

void ReadingPlayer::setIsCurrentReadingSaved(bool value) {
    writeProperty(this, m_isCurrentReadingSaved, value, &ReadingPlayer::isCurrentReadingSavedChanged);
}

void ReadingPlayer::setStorageMessage(std::optional<QString> message) {
    writeProperty(this, m_storageMessage, std::move(message), &ReadingPlayer::storageMessageChanged);
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
