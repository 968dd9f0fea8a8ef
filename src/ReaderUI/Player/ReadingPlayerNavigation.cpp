// Moves by chapter and by sentence. Each stops playback and leaves the player paused at the target; a
// prepared reading gets its window prepared there again, and the navigation save records the place.
#include "ReaderUI/Player/ReadingPlayer.h"

#include "ReaderCore/MainThread.h"

#include <algorithm>

namespace tavrine {

std::optional<qsizetype> ReadingPlayer::chapterTarget(bool forward) const {
    const QList<qsizetype>& starts = m_chapterNavigation.offsets;
    const std::optional<ReadingChunk> chunk = m_isPreparing ? std::nullopt : m_session.currentChunk();
    const qsizetype position = currentSourceOffset();
    // The last unit shown: a chapter starting inside the chunk on display is already being read.
    const qsizetype reference = chunk ? chunk->sourceRange.upperBound - 1 : position;
    const qsizetype next = std::upper_bound(starts.cbegin(), starts.cend(), reference) - starts.cbegin();

    if (forward) {
        if (next == starts.size()) return std::nullopt;
        return starts[next];
    }
    if (next == 0) return std::nullopt;
    const qsizetype current = starts[next - 1];
    // Back goes to the start of the chapter being read, unless the player stands there already; after the
    // end, to the start of the last chapter read.
    if (m_session.status == ReadingSession::Status::completed) return current;
    const bool insideChunk = chunk && chunk->sourceRange.contains(current);
    if (current != position && !insideChunk) return current;
    if (next == 1) return std::nullopt;
    return starts[next - 2];
}

void ReadingPlayer::moveChapter(bool forward) {
    Q_ASSERT(isMainThread());
    if (m_isTerminating) return;
    const std::optional<qsizetype> target = chapterTarget(forward);
    // Chapters exist only for readings prepared window by window.
    if (!target || !m_preparedReading) return;
    noteNavigation();
    pause(false);
    setResumesFromCursor(false);
    // Always prepared again, also for a target inside the window shown: the window is cut around it.
    prepareWindow(*target, {.pausing = true, .sentenceStep = std::nullopt, .whenReady = WhenReady::saveNavigation});
}

void ReadingPlayer::moveSentence(bool forward) {
    Q_ASSERT(isMainThread());
    const qsizetype position = currentSourceOffset();
    pause(false);
    setResumesFromCursor(false);
    if (m_preparedReading) {
        // The preparation finds the sentence start from the position itself, then prepares around it.
        prepareWindow(position, {.pausing = true, .sentenceStep = forward, .whenReady = WhenReady::saveNavigation});
        return;
    }
    changeSession([forward](ReadingSession& session) {
        if (forward) {
            session.moveToNextSentence();
        } else {
            session.moveToPreviousSentence();
        }
    });
    scheduleNavigationSave();
}

}  // namespace tavrine
