// Undoing a replacement: an import that allows it (a paste into the reader) keeps what it replaced, and
// undo and redo swap the two, each time keeping what they leave. The history lives only while the reading
// it expects stays open: any other opening, library or history action, or removal from the store ends it.
#include "ReaderUI/Player/ReadingPlayer.h"

#include "ReaderCore/MainThread.h"

namespace tavrine {

using Status = ReadingSession::Status;

ReadingPlayer::ReplacementSnapshot ReadingPlayer::makeReplacementSnapshot() const {
    return ReplacementSnapshot{
        .reading = m_reading,
        .session = m_session,
        .prepared = m_preparedReading,
        .sourceWindow = m_sourceWindow,
        .offset = currentSourceOffset(),
        .filename = m_originalEPUBFilename,
        .saved = m_isCurrentReadingSaved,
        .previouslyPlayed = m_hasPreviouslyPlayed || m_hasActuallyPlayed,
        .message = m_storageMessage,
    };
}

bool ReadingPlayer::offersReplacement(bool redo) const {
    // No reading open and none expected count as the same reading.
    return m_replacementSnapshot && m_replacementIsRedo == redo && readingID() == m_replacementExpectedID;
}

bool ReadingPlayer::canUndoReplacement() const {
    return offersReplacement(false);
}

bool ReadingPlayer::canRedoReplacement() const {
    return offersReplacement(true);
}

void ReadingPlayer::clearReplacementHistory() {
    Q_ASSERT(isMainThread());
    setReplacementSnapshot(std::nullopt);
    setReplacementExpectedID(std::nullopt);
    setReplacementIsRedo(false);
}

bool ReadingPlayer::undoReplacement(bool redo) {
    Q_ASSERT(isMainThread());
    if (m_isTerminating || !offersReplacement(redo)) return false;
    // The reading left is kept as it is, not saved: it may come back by the next swap.
    pause(false);
    m_navigationSaveTask.cancel();
    m_navigationSaveTask.release();
    ReplacementSnapshot leaving = makeReplacementSnapshot();
    ReplacementSnapshot restored = std::move(*m_replacementSnapshot);

    setReading(restored.reading);
    setOriginalEPUBFilename(restored.filename);
    setIsCurrentReadingSaved(restored.saved);
    setStorageMessage(restored.message);
    m_preparedReading = restored.prepared;
    setSourceWindow(restored.sourceWindow);
    setRequestedOffset(restored.offset);
    // A restored reading never plays by itself.
    if (restored.session.status != Status::completed) restored.session.forcePause();
    const bool completed = restored.session.status == Status::completed;
    const bool hasChunk = restored.session.currentChunk().has_value();
    setSession(std::move(restored.session));

    const ReadingDocument emptyDocument;
    const ReadingDocument& document = m_reading ? m_reading->document : emptyDocument;
    const QList<EPUBBook::Navigation> navigation =
        m_reading && m_reading->epub ? m_reading->epub->navigation : QList<EPUBBook::Navigation>();
    setChapterNavigation(ReadingChapterNavigation(document, navigation));

    setHasActuallyPlayed(false);
    setHasNavigatedSavedReading(false);
    setHasPreviouslyPlayed(restored.previouslyPlayed);
    setResumesFromCursor(!completed && m_reading.has_value());
    // Taken while its window was being prepared: prepared again, paused, without a save.
    if (!hasChunk && m_preparedReading) {
        prepareWindow(restored.offset, /*pausing=*/true, /*waitingToPlay=*/false, std::nullopt, /*recordsPlay=*/true,
                      /*savesNavigation=*/false);
    }

    setReplacementSnapshot(std::move(leaving));
    setReplacementExpectedID(readingID());
    setReplacementIsRedo(!m_replacementIsRedo);
    return true;
}

}  // namespace tavrine
