// Loading a reading and preparing its chunk windows.
#include "ReaderUI/Player/ReadingPlayer.h"

#include "ReaderCore/MainThread.h"
#include "ReaderText/BudouXSegmenter.h"
#include "ReaderUI/Player/ReadingPlayerMessages.h"

#include <algorithm>

namespace tavrine {

void ReadingPlayer::load(SavedReading reading, qsizetype offset) {
    Q_ASSERT(isMainThread());
    clearReplacementHistory();
    renewSavedLoadID();
    // Saves the position of the reading being left, so it runs before the new reading is taken.
    pause(true);
    setHasActuallyPlayed(false);
    setHasNavigatedSavedReading(false);
    setHasPreviouslyPlayed(false);
    setIsCurrentReadingSaved(false);
    setOriginalEPUBFilename(std::nullopt);

    const QList<EPUBBook::Navigation> navigation =
        reading.epub ? reading.epub->navigation : QList<EPUBBook::Navigation>();
    setChapterNavigation(ReadingChapterNavigation(reading.document, navigation));
    setReading(std::move(reading));
    // The deletion notice belongs to the reading it stopped; any other notice stays.
    if (m_storageMessage == ReadingPlayerMessages::kReadingRemoved) setStorageMessage(std::nullopt);

    setResumesFromCursor(false);
    m_preparedReading.reset();
    setSourceWindow(std::nullopt);
    setRequestedOffset(offset);

    const ReadingDocument& loaded = m_reading->document;
    if (!loaded.sections && loaded.text.size() <= kImmediateChunkingLimit) {
        chunkImmediately(loaded, offset);
        return;
    }
    const QList<ReadingDocument::Section> sections = loaded.sections.value_or(QList<ReadingDocument::Section>());
    m_preparedReading =
        std::make_shared<PreparedReading>(loaded.text, sections, m_phraseWidth.width, m_phraseWidth.maximumWidth);
    // A reading opened further on stays paused there; one at its start is ready to play.
    prepareWindow(offset, offset > 0, false, std::nullopt, true, true);
}

void ReadingPlayer::chunkImmediately(const ReadingDocument& document, qsizetype offset) {
    const BudouXSegmenter segmenter;
    QList<ReadingChunk> chunks = ConnectorPhraseRefiner::refine(segmenter.segment(document.text), document.text,
                                                                m_phraseWidth.width, m_phraseWidth.maximumWidth);
    setSourceWindow(ReadingSourceWindow::around(document, offset));
    ReadingSession session(std::move(chunks));
    session.seekToSourceOffset(offset);
    setSession(std::move(session));
}

void ReadingPlayer::prepareWindow(qsizetype offset, bool pausing, bool waitingToPlay,
                                  std::optional<bool> sentenceForward, bool recordsPlay, bool savesNavigation) {
    Q_ASSERT(isMainThread());
    // A prepared reading exists only with a reading, whose document the task chunks.
    if (!m_preparedReading || !m_reading) return;
    cancelPreparation();
    const qsizetype length = m_preparedReading->length();
    const qsizetype requested = std::clamp<qsizetype>(offset, 0, std::max<qsizetype>(length - 1, 0));
    setRequestedOffset(requested);
    ReadingSession empty({}, length);
    if (pausing) empty.forcePause();
    setSession(std::move(empty));
    setIsPreparing(true);
    if (waitingToPlay) setIsWaitingToPlay(true);

    PreparationRequest request{m_preparationID, sentenceForward, m_preparedReading,   offset,
                               requested,       m_prepareChunks, m_reading->document, pausing,
                               waitingToPlay,   recordsPlay,     savesNavigation};
    m_preparationTask.start([self = QPointer<ReadingPlayer>(this), request = std::move(request)](
                                CancellationToken token) { return runPreparation(self, request, token); });
}

void ReadingPlayer::cancelPreparation() {
    Q_ASSERT(isMainThread());
    renewPreparationID();
    m_preparationTask.cancel();
    m_preparationTask.release();
    setIsPreparing(false);
}

QCoro::Task<void> ReadingPlayer::runPreparation(QPointer<ReadingPlayer> self, PreparationRequest request,
                                                CancellationToken token) {
    // After each wait: a destroyed player is left alone, a superseded request changes nothing, and a
    // request that failed or was cancelled while still current ends the preparation.
    const auto stillCurrent = [&self, &request, &token](bool succeeded) {
        if (!self || self->m_preparationID != request.id) return false;
        if (succeeded && !token.isCancelled()) return true;
        self->settlePreparation();
        return false;
    };

    qsizetype target = request.requestedOffset;
    if (request.sentenceForward) {
        auto stepping = request.prepared->sentenceOffset(request.offset, *request.sentenceForward, token);
        const PreparedReading::Result<qsizetype> stepped = co_await stepping;
        if (!stillCurrent(stepped.has_value())) co_return;
        target = *stepped;
    }

    auto fetching = request.chunkSource(request.prepared, target, token);
    PreparedReading::Result<QList<ReadingChunk>> chunks = co_await fetching;
    if (!stillCurrent(chunks.has_value())) co_return;

    auto building = request.prepared->sourceWindow(request.document, target);
    ReadingSourceWindow window = co_await building;
    if (!stillCurrent(true)) co_return;

    self->finishPreparation(request, target, std::move(*chunks), std::move(window));
}

void ReadingPlayer::finishPreparation(const PreparationRequest& request, qsizetype target, QList<ReadingChunk> chunks,
                                      ReadingSourceWindow window) {
    setSourceWindow(std::move(window));
    ReadingSession session(std::move(chunks), request.prepared->length());
    session.seekToSourceOffset(target);
    if (request.pausesWhenReady) session.forcePause();
    setSession(std::move(session));
    const auto current = m_session.currentChunk();
    setRequestedOffset(current ? current->sourceRange.lowerBound : target);
    setIsPreparing(false);
    m_preparationTask.release();

    if (request.startsWhenReady) {
        // A window without chunks (an empty text) has nothing to play; starting would only ask for the same
        // empty window again, for ever.
        if (current) {
            startPlayback(request.recordsPlay);
        } else {
            setIsWaitingToPlay(false);
        }
    } else if (request.savesNavigation) {
        scheduleNavigationSave();
    }
}

void ReadingPlayer::settlePreparation() {
    setIsPreparing(false);
    setIsWaitingToPlay(false);
    m_preparationTask.release();
}

}  // namespace tavrine
