// Loading a reading and preparing its chunk windows.
#include "ReaderUI/Player/ReadingPlayer.h"

#include "ReaderCore/MainThread.h"
#include "ReaderText/BudouXSegmenter.h"
#include "ReaderUI/Player/ReadingPlayerMessages.h"

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
    prepareWindow(offset,
                  {.pausing = offset > 0, .sentenceStep = std::nullopt, .whenReady = WhenReady::saveNavigation});
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

ChunkWindowSource ReadingPlayer::windowSource() const {
    return ChunkWindowSource(m_preparedReading, m_prepareChunks, m_reading->document);
}

void ReadingPlayer::prepareWindow(qsizetype offset, WindowOptions options) {
    Q_ASSERT(isMainThread());
    // A prepared reading exists only with a reading, whose document the task chunks.
    if (!m_preparedReading || !m_reading) return;
    cancelPreparation();
    PreparationRequest request{
        .id = m_tasks.preparationID(), .source = windowSource(), .offset = offset, .options = options};
    setRequestedOffset(request.source.clamped(offset));
    ReadingSession empty({}, request.source.length());
    if (options.pausing) empty.forcePause();
    setSession(std::move(empty));
    setIsPreparing(true);
    if (options.whenReady == WhenReady::play || options.whenReady == WhenReady::continuePlay) setIsWaitingToPlay(true);

    m_tasks.startPreparation([self = QPointer<ReadingPlayer>(this), request = std::move(request)](
                                 CancellationToken token) { return runPreparation(self, request, token); });
}

void ReadingPlayer::cancelPreparation() {
    Q_ASSERT(isMainThread());
    m_tasks.voidPreparation();
    emit preparationIDChanged();
    setIsPreparing(false);
}

// After the wait: a destroyed player is left alone, a superseded request changes nothing, and a request
// that failed or was cancelled while still current ends the preparation.
QCoro::Task<void> ReadingPlayer::runPreparation(QPointer<ReadingPlayer> self, PreparationRequest request,
                                                CancellationToken token) {
    auto preparing = ChunkWindowSource::around(request.source, request.offset, request.options.sentenceStep, token);
    std::optional<ChunkWindow> window = co_await preparing;
    if (!self || !self->m_tasks.isCurrentPreparation(request.id)) co_return;
    if (!window || token.isCancelled()) {
        self->settlePreparation();
        co_return;
    }
    self->finishPreparation(request, std::move(*window));
}

void ReadingPlayer::finishPreparation(const PreparationRequest& request, ChunkWindow window) {
    setSourceWindow(std::move(window.sourceWindow));
    ReadingSession session(std::move(window.chunks), request.source.length());
    session.seekToSourceOffset(window.target);
    if (request.options.pausing) session.forcePause();
    setSession(std::move(session));
    const auto current = m_session.currentChunk();
    setRequestedOffset(current ? current->sourceRange.lowerBound : window.target);
    setIsPreparing(false);
    m_tasks.endPreparation();

    switch (request.options.whenReady) {
    case WhenReady::saveNavigation: scheduleNavigationSave(); return;
    case WhenReady::play:
    case WhenReady::continuePlay:
        // A window without chunks (an empty text) has nothing to play; starting would only ask for the same
        // empty window again, for ever.
        if (current) {
            startPlayback(request.options.whenReady == WhenReady::play);
        } else {
            setIsWaitingToPlay(false);
        }
        return;
    case WhenReady::nothing: return;
    }
}

void ReadingPlayer::settlePreparation() {
    setIsPreparing(false);
    setIsWaitingToPlay(false);
    m_tasks.endPreparation();
}

}  // namespace tavrine
