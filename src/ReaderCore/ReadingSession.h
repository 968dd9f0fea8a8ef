#pragma once

#include "ReaderCore/ReadingChunk.h"

#include <QList>

#include <optional>

namespace tavrine {

// The playback cursor over a list of chunks: which chunk is shown and whether playback runs. The list
// may be the whole text or a window of it; with totalSourceLength set and the list ending before it,
// more text follows, so the session does not complete at its last chunk. Every operation is total.
struct ReadingSession {
    enum class Status { ready, playing, paused, completed };

    QList<ReadingChunk> chunks;
    // The UTF-16 length of the whole text when the list may be a window of it.
    std::optional<qsizetype> totalSourceLength;
    qsizetype index = 0;
    Status status = Status::ready;

    ReadingSession() = default;
    explicit ReadingSession(QList<ReadingChunk> chunks, std::optional<qsizetype> totalSourceLength = std::nullopt)
        : chunks(std::move(chunks)), totalSourceLength(totalSourceLength) {}

    std::optional<ReadingChunk> currentChunk() const;
    bool isAtLastChunk() const { return index + 1 >= chunks.size(); }
    bool hasMoreSource() const { return lastEnd() < totalSourceLength.value_or(0); }
    bool hasNextSentence() const;
    // 0...1: of the whole text when totalSourceLength is set, else of the list up to its last chunk.
    double progress() const;

    void play();
    // Only a playing session pauses; forcePause() pauses from any status.
    void pause();
    void forcePause() { status = Status::paused; }
    void reset();
    // Moves to the next chunk while playing; at the end completes, or keeps playing on the last chunk
    // while more source follows.
    void advance();
    // Selects the chunk that holds offset, or the next one after a gap; becomes ready.
    void seekToSourceOffset(qsizetype offset);
    // Seeks to a fraction of the list's own extent (up to its last chunk's start); becomes paused.
    void seekToFraction(double fraction);
    void moveToPreviousSentence();
    void moveToNextSentence();

    bool operator==(const ReadingSession&) const = default;

private:
    bool hasValidIndex() const { return index >= 0 && index < chunks.size(); }
    qsizetype lastEnd() const { return chunks.isEmpty() ? 0 : chunks.last().sourceRange.upperBound; }
    qsizetype lastStart() const { return chunks.isEmpty() ? 0 : chunks.last().sourceRange.lowerBound; }
    qsizetype firstIndexOfSentence(qsizetype sentenceIndex) const;
    // The first chunk after the current one (which must exist) in another sentence; chunks.size() when none.
    qsizetype nextSentenceIndex() const;
};

}  // namespace tavrine
