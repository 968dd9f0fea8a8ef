#include "ReaderUI/Player/ChunkWindowSource.h"

#include <algorithm>

namespace tavrine {

QCoro::Task<PreparedReading::Result<QList<ReadingChunk>>> ChunkWindowSource::preparedChunks(
    std::shared_ptr<PreparedReading> prepared, qsizetype offset, CancellationToken token) {
    // The request holds its own share of the reading's state: the task needs no reference to prepared.
    return prepared->chunks(offset, std::move(token));
}

qsizetype ChunkWindowSource::clamped(qsizetype offset) const {
    return std::clamp<qsizetype>(offset, 0, std::max<qsizetype>(length() - 1, 0));
}

QCoro::Task<std::optional<ChunkWindow>> ChunkWindowSource::around(ChunkWindowSource source, qsizetype offset,
                                                                  std::optional<bool> sentenceStep,
                                                                  CancellationToken token) {
    ChunkWindow window{.target = source.clamped(offset), .chunks = {}, .sourceWindow = std::nullopt};
    if (sentenceStep) {
        auto stepping = source.m_prepared->sentenceOffset(offset, *sentenceStep, token);
        const PreparedReading::Result<qsizetype> stepped = co_await stepping;
        if (!stepped || token.isCancelled()) co_return std::nullopt;
        window.target = *stepped;
    }

    auto fetching = source.m_chunks(source.m_prepared, window.target, token);
    PreparedReading::Result<QList<ReadingChunk>> chunks = co_await fetching;
    if (!chunks || token.isCancelled()) co_return std::nullopt;
    window.chunks = std::move(*chunks);

    auto building = source.m_prepared->sourceWindow(source.m_document, window.target);
    window.sourceWindow = co_await building;
    if (token.isCancelled()) co_return std::nullopt;
    co_return window;
}

QCoro::Task<std::optional<ChunkWindow>> ChunkWindowSource::after(ChunkWindowSource source, ReadingChunk shown,
                                                                 std::optional<ReadingSourceWindow> shownWindow,
                                                                 CancellationToken token) {
    ChunkWindow window{.target = shown.sourceRange.upperBound, .chunks = {}, .sourceWindow = std::move(shownWindow)};
    auto fetching = source.m_chunks(source.m_prepared, window.target, token);
    PreparedReading::Result<QList<ReadingChunk>> chunks = co_await fetching;
    if (!chunks || token.isCancelled()) co_return std::nullopt;
    window.chunks = std::move(*chunks);

    if (!window.chunks.isEmpty() && !holds(window.sourceWindow, window.chunks)) {
        auto building =
            source.m_prepared->sourceWindow(source.m_document, window.chunks.first().sourceRange.lowerBound);
        window.sourceWindow = co_await building;
        if (token.isCancelled()) co_return std::nullopt;
    }
    co_return window;
}

bool ChunkWindowSource::holds(const std::optional<ReadingSourceWindow>& window, const QList<ReadingChunk>& chunks) {
    if (!window || chunks.isEmpty()) return false;
    const TextRange range = window->sourceRange;
    const qsizetype first = chunks.first().sourceRange.lowerBound;
    return first >= range.lowerBound && first < range.upperBound &&
           chunks.last().sourceRange.upperBound <= range.upperBound;
}

}  // namespace tavrine
