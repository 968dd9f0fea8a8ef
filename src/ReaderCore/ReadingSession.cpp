#include "ReaderCore/ReadingSession.h"

#include <algorithm>
#include <cmath>

namespace tavrine {

std::optional<ReadingChunk> ReadingSession::currentChunk() const {
    if (!hasValidIndex()) return std::nullopt;
    return chunks.at(index);
}

bool ReadingSession::hasNextSentence() const {
    if (!hasValidIndex()) return false;
    return hasMoreSource() || nextSentenceIndex() < chunks.size();
}

double ReadingSession::progress() const {
    if (totalSourceLength) {
        if (status == Status::completed) return 1.0;
        const qsizetype start = hasValidIndex() ? chunks.at(index).sourceRange.lowerBound : 0;
        return static_cast<double>(start) / static_cast<double>(std::max<qsizetype>(*totalSourceLength - 1, 1));
    }
    if (chunks.isEmpty() || lastStart() < 1 || !hasValidIndex()) return 0.0;
    return static_cast<double>(chunks.at(index).sourceRange.lowerBound) / static_cast<double>(lastStart());
}

void ReadingSession::play() {
    if (chunks.isEmpty()) return;
    if (status == Status::completed) index = 0;
    status = Status::playing;
}

void ReadingSession::pause() {
    if (status == Status::playing) status = Status::paused;
}

void ReadingSession::reset() {
    index = 0;
    status = Status::ready;
}

void ReadingSession::advance() {
    if (status != Status::playing) return;
    if (index + 1 < chunks.size()) {
        ++index;
        return;
    }
    if (hasMoreSource()) return;
    status = Status::completed;
}

void ReadingSession::seekToSourceOffset(qsizetype offset) {
    if (chunks.isEmpty()) return;
    const qsizetype target = std::max(std::min(lastEnd() - 1, offset), qsizetype(0));
    const auto found = std::find_if(chunks.cbegin(), chunks.cend(), [target](const ReadingChunk& chunk) {
        return chunk.sourceRange.upperBound > target;
    });
    index = found == chunks.cend() ? chunks.size() - 1 : found - chunks.cbegin();
    status = Status::ready;
}

void ReadingSession::seekToFraction(double fraction) {
    if (!std::isfinite(fraction) || chunks.isEmpty()) return;
    const double clamped = std::clamp(fraction, 0.0, 1.0);
    // std::round rounds halves away from zero.
    seekToSourceOffset(static_cast<qsizetype>(std::round(clamped * static_cast<double>(lastStart()))));
    status = Status::paused;
}

qsizetype ReadingSession::firstIndexOfSentence(qsizetype sentenceIndex) const {
    const auto found = std::find_if(chunks.cbegin(), chunks.cend(), [sentenceIndex](const ReadingChunk& chunk) {
        return chunk.sentenceIndex == sentenceIndex;
    });
    return found - chunks.cbegin();
}

void ReadingSession::moveToPreviousSentence() {
    if (!hasValidIndex()) return;
    const qsizetype first = firstIndexOfSentence(chunks.at(index).sentenceIndex);
    if (first < index) {
        index = first;
    } else if (index > 0) {
        index = firstIndexOfSentence(chunks.at(index - 1).sentenceIndex);
    }
    status = Status::paused;
}

qsizetype ReadingSession::nextSentenceIndex() const {
    const qsizetype current = chunks.at(index).sentenceIndex;
    const auto found = std::find_if(chunks.cbegin() + index + 1, chunks.cend(),
                                    [current](const ReadingChunk& chunk) { return chunk.sentenceIndex != current; });
    return found - chunks.cbegin();
}

void ReadingSession::moveToNextSentence() {
    if (!hasValidIndex()) return;
    if (const qsizetype next = nextSentenceIndex(); next < chunks.size()) index = next;
    status = Status::paused;
}

}  // namespace tavrine
