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

bool ReadingPlayer::canUndoReplacement() const {
    return m_replacement.offers(false, readingID());
}

bool ReadingPlayer::canRedoReplacement() const {
    return m_replacement.offers(true, readingID());
}

void ReadingPlayer::clearReplacementHistory() {
    Q_ASSERT(isMainThread());
    m_replacement.clear();
}

bool ReadingPlayer::undoReplacement(bool redo) {
    Q_ASSERT(isMainThread());
    if (m_isTerminating || !m_replacement.offers(redo, readingID())) return false;
    // The reading left is kept as it is, not saved: it may come back by the next swap.
    pause(false);
    m_tasks.stopNavigationSave();
    ReplacementSnapshot leaving = makeReplacementSnapshot();
    // A copy (its text and chunks are shared): observers told of the restored state may touch the history.
    const ReplacementSnapshot kept = *m_replacement.snapshot();
    restore(kept);
    m_replacement.exchange(std::move(leaving));
    return true;
}

void ReadingPlayer::restore(const ReplacementSnapshot& snapshot) {
    setReading(snapshot.reading);
    setOriginalEPUBFilename(snapshot.filename);
    setIsCurrentReadingSaved(snapshot.saved);
    setStorageMessage(snapshot.message);
    m_preparedReading = snapshot.prepared;
    setSourceWindow(snapshot.sourceWindow);
    setRequestedOffset(snapshot.offset);
    ReadingSession session = snapshot.session;
    // A restored reading never plays by itself.
    if (session.status != Status::completed) session.forcePause();
    const bool completed = session.status == Status::completed;
    const bool hasChunk = session.currentChunk().has_value();
    setSession(std::move(session));

    const ReadingDocument emptyDocument;
    const ReadingDocument& document = m_reading ? m_reading->document : emptyDocument;
    const QList<EPUBBook::Navigation> navigation =
        m_reading && m_reading->epub ? m_reading->epub->navigation : QList<EPUBBook::Navigation>();
    setChapterNavigation(ReadingChapterNavigation(document, navigation));

    setHasActuallyPlayed(false);
    setHasNavigatedSavedReading(false);
    setHasPreviouslyPlayed(snapshot.previouslyPlayed);
    setResumesFromCursor(!completed && m_reading.has_value());
    // Taken while its window was being prepared: prepared again, paused, without a save.
    if (!hasChunk && m_preparedReading) {
        prepareWindow(snapshot.offset,
                      {.pausing = true, .sentenceStep = std::nullopt, .whenReady = WhenReady::nothing});
    }
}

}  // namespace tavrine
