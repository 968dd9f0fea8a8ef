#pragma once

#include "ReaderCore/CancellationToken.h"
#include "ReaderCore/ReadingChunk.h"
#include "ReaderCore/ReadingDocument.h"
#include "ReaderCore/ReadingSourceWindow.h"
#include "ReaderText/PreparedReading.h"

#include <QCoro/QCoroTask>
#include <QList>

#include <functional>
#include <memory>
#include <optional>

namespace tavrine {

// How one window of chunks around an offset is obtained from a prepared reading; replaceable, so tests
// can hold a window back. Fails only when cancelled.
using ChunkSource = std::function<QCoro::Task<PreparedReading::Result<QList<ReadingChunk>>>(
    std::shared_ptr<PreparedReading> prepared, qsizetype offset, CancellationToken token)>;

// One window of a long reading, ready for the session and the source pane.
struct ChunkWindow {
    // Where the position goes: the offset asked for (clamped), the sentence start found from it, or the
    // end of the chunk that the window follows.
    qsizetype target = 0;
    QList<ReadingChunk> chunks;
    // The part of the document the source pane shows with these chunks: absent only when a window that
    // follows another has no chunks and there was no source window before.
    std::optional<ReadingSourceWindow> sourceWindow;
};

// Where the windows of a long reading come from: its prepared text, the chunk source, and the document
// whose text it is (for the source windows). A value, captured by each fetch when it starts, so that a
// fetch reads nothing of the player while it runs. Each fetch checks its token after every wait and
// gives nothing once it is cancelled or its chunk source failed.
class ChunkWindowSource {
public:
    ChunkWindowSource(std::shared_ptr<PreparedReading> prepared, ChunkSource chunks, ReadingDocument document)
        : m_prepared(std::move(prepared)), m_chunks(std::move(chunks)), m_document(std::move(document)) {}

    // The default chunk source: the prepared reading's own window around the offset.
    static QCoro::Task<PreparedReading::Result<QList<ReadingChunk>>> preparedChunks(
        std::shared_ptr<PreparedReading> prepared, qsizetype offset, CancellationToken token);

    qsizetype length() const { return m_prepared->length(); }
    // offset clamped into the text: 0 up to its last unit (0 for an empty text).
    qsizetype clamped(qsizetype offset) const;

    // The window around offset (clamped), or around the start of the next (sentenceStep true) or previous
    // sentence found from offset itself.
    static QCoro::Task<std::optional<ChunkWindow>> around(ChunkWindowSource source, qsizetype offset,
                                                          std::optional<bool> sentenceStep, CancellationToken token);
    // The window after the chunk shown, which starts at its end. The source window shown stays while it
    // still holds every chunk of the new window (and when the new window has none).
    static QCoro::Task<std::optional<ChunkWindow>> after(ChunkWindowSource source, ReadingChunk shown,
                                                         std::optional<ReadingSourceWindow> shownWindow,
                                                         CancellationToken token);

    // Whether window holds every one of chunks (none: false).
    static bool holds(const std::optional<ReadingSourceWindow>& window, const QList<ReadingChunk>& chunks);

private:
    std::shared_ptr<PreparedReading> m_prepared;
    ChunkSource m_chunks;
    ReadingDocument m_document;
};

}  // namespace tavrine
