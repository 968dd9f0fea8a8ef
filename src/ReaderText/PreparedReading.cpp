#include "ReaderText/PreparedReading.h"

#include "ReaderText/BudouXSegmenter.h"
#include "ReaderText/internal/PreparedReadingState.h"

#include <QCoro/QCoroFuture>

namespace tavrine {
namespace {

// Awaits a job of the reading's thread. A free coroutine: it holds no pointer to the reading, so it
// resumes safely even when the reading is gone by then.
template <typename T>
QCoro::Task<T> awaitJob(QFuture<T> job) {
    T result = co_await job;
    co_return result;
}

}  // namespace

PreparedReading::PreparedReading(QString text, QList<ReadingDocument::Section> sections,
                                 ConnectorPhraseRefiner::Width width, double maximumWidth)
    : PreparedReading(std::move(text), std::move(sections), std::move(width), maximumWidth,
                      std::make_shared<const BudouXSegmenter>()) {}

PreparedReading::PreparedReading(QString text, QList<ReadingDocument::Section> sections,
                                 ConnectorPhraseRefiner::Width width, double maximumWidth,
                                 std::shared_ptr<const TextSegmenting> segmenter)
    : m_length(text.size()),
      m_state(std::make_shared<internal::PreparedReadingState>(std::move(text), std::move(sections), std::move(width),
                                                               maximumWidth, std::move(segmenter), m_lifetime)) {}

PreparedReading::~PreparedReading() {
    // Queued work stops at its next step; the executor then waits for it to end.
    m_lifetime.cancel();
}

QCoro::Task<ReadingSourceWindow> PreparedReading::sourceWindow(ReadingDocument document, qsizetype offset) {
    return awaitJob(m_executor.run(
        [state = m_state, document = std::move(document), offset] { return state->sourceWindow(document, offset); }));
}

QCoro::Task<qsizetype> PreparedReading::cachedPieceCount() {
    return awaitJob(m_executor.run([state = m_state] { return state->cachedPieceCount(); }));
}

QCoro::Task<qsizetype> PreparedReading::partitionStart(qsizetype index) {
    return awaitJob(m_executor.run([state = m_state, index] { return state->partitionStart(index); }));
}

QCoro::Task<qsizetype> PreparedReading::partitionIndex(qsizetype offset) {
    return awaitJob(m_executor.run([state = m_state, offset] { return state->partitionIndex(offset); }));
}

QCoro::Task<PreparedReading::Result<QList<ReadingChunk>>> PreparedReading::chunks(qsizetype around,
                                                                                  CancellationToken token) {
    return awaitJob(m_executor.run([state = m_state, around, token] { return state->chunksAround(around, token); }));
}

QCoro::Task<PreparedReading::Result<QList<ReadingChunk>>> PreparedReading::chunks(qsizetype from, qsizetype to,
                                                                                  bool endsSection,
                                                                                  CancellationToken token) {
    return awaitJob(m_executor.run(
        [state = m_state, from, to, endsSection, token] { return state->chunks(from, to, endsSection, token); }));
}

QCoro::Task<PreparedReading::Result<std::optional<ReadingChunk>>> PreparedReading::chunk(qsizetype at,
                                                                                         CancellationToken token) {
    return awaitJob(m_executor.run([state = m_state, at, token] { return state->chunkAt(at, token); }));
}

QCoro::Task<PreparedReading::Result<ReadingChunk>> PreparedReading::sentenceStart(ReadingChunk chunk,
                                                                                  CancellationToken token) {
    return awaitJob(m_executor.run(
        [state = m_state, chunk = std::move(chunk), token] { return state->sentenceStart(chunk, token); }));
}

QCoro::Task<PreparedReading::Result<qsizetype>> PreparedReading::sentenceOffset(qsizetype from, bool forward,
                                                                                CancellationToken token) {
    return awaitJob(m_executor.run(
        [state = m_state, from, forward, token] { return state->sentenceOffset(from, forward, token); }));
}

}  // namespace tavrine
