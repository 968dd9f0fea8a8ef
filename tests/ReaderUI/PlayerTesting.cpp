#include "PlayerTesting.h"

#include "ReaderCore/Characters.h"
#include "ReaderCore/NextEventLoopTurn.h"

#include "support/EventLoop.h"

#include <gtest/gtest.h>
#include <QCoreApplication>
#include <QScopeGuard>

#include <algorithm>
#include <utility>

namespace tavrine::test {

using namespace Qt::StringLiterals;

namespace {

// Waits in the source's list of held requests until release() resumes it.
struct HeldRequest {
    std::vector<std::coroutine_handle<>>* held;
    bool await_ready() const noexcept { return false; }
    void await_suspend(std::coroutine_handle<> handle) const { held->push_back(handle); }
    void await_resume() const noexcept {}
};

QCoro::Task<void> keepResult(QCoro::Task<bool> task, std::shared_ptr<std::optional<bool>> result) {
    const bool value = co_await task;
    *result = value;
}

QCoro::Task<void> noteEnd(QCoro::Task<void> task, std::shared_ptr<std::optional<bool>> result) {
    co_await task;
    *result = true;
}

}  // namespace

ReadingPlayer::ChunkSource HeldChunkSource::source() const {
    return [state = m_state](std::shared_ptr<PreparedReading> prepared, qsizetype offset, CancellationToken token) {
        return request(state, std::move(prepared), offset, std::move(token));
    };
}

void HeldChunkSource::release() {
    m_state->holding = false;
    for (std::coroutine_handle<> handle : std::exchange(m_state->held, {})) resumeOnNextTurn(handle);
}

QCoro::Task<PreparedReading::Result<QList<ReadingChunk>>> HeldChunkSource::request(
    std::shared_ptr<State> state, std::shared_ptr<PreparedReading> prepared, qsizetype offset,
    CancellationToken token) {
    state->offsets.append(offset);
    ++state->unanswered;
    const auto answered = qScopeGuard([&state] { --state->unanswered; });
    // Like the prepared reading, never answers inside the call.
    NextEventLoopTurn turn;
    co_await turn;
    if (state->holding) {
        HeldRequest waiting{&state->held};
        co_await waiting;
    }
    if (state->failures > 0) {
        --state->failures;
        co_return tl::unexpected(PreparedReadingFailure::cancelled);
    }
    if (state->chunks) co_return state->chunks(offset);
    auto asking = prepared->chunks(offset, std::move(token));
    PreparedReading::Result<QList<ReadingChunk>> chunks = co_await asking;
    co_return chunks;
}

PlayerFixture::PlayerFixture() : store(std::make_shared<FakePlaybackStore>(clock)) {
    ReadingStoreState state;
    state.historyEnabled = true;
    store->publish(state);
}

PlayerFixture::~PlayerFixture() {
    m_player.reset();
    // Whatever was held or woken ends now, before the clock and the store go.
    chunks.release();
    // A request that went on to the prepared reading waits for its pool thread, which takes longer than a
    // few turns under the sanitizers on a loaded machine.
    processEventsUntil([this] { return chunks.allAnswered(); });
    for (int turn = 0; turn < 20; ++turn) settle();
}

ReadingPlayer& PlayerFixture::makePlayer(bool withStore, bool storeUnavailable) {
    m_player.reset();
    ReadingPlayer::PhraseWidth width{[](QStringView phrase) { return double(characterCount(phrase)); }, 8};
    m_player = std::make_unique<ReadingPlayer>(withStore ? store : nullptr, storeUnavailable, true, kCheckpointInterval,
                                               defaults, clock, std::move(width));
    m_player->setPrepareChunks(chunks.source());
    // The store listener subscribed as the player was made; the log starts after it.
    store->clearLog();
    return *m_player;
}

ReadingPlayer& PlayerFixture::makePlayerOver(std::shared_ptr<PlaybackStore> otherStore) {
    m_player.reset();
    ReadingPlayer::PhraseWidth width{[](QStringView phrase) { return double(characterCount(phrase)); }, 8};
    m_player = std::make_unique<ReadingPlayer>(std::move(otherStore), false, true, kCheckpointInterval, defaults, clock,
                                               std::move(width));
    return *m_player;
}

std::shared_ptr<std::optional<bool>> PlayerFixture::begin(QCoro::Task<bool> task) {
    auto result = std::make_shared<std::optional<bool>>();
    m_tasks.push_back(keepResult(std::move(task), result));
    return result;
}

std::shared_ptr<std::optional<bool>> PlayerFixture::begin(QCoro::Task<void> task) {
    auto result = std::make_shared<std::optional<bool>>();
    m_tasks.push_back(noteEnd(std::move(task), result));
    return result;
}

bool PlayerFixture::finish(const std::shared_ptr<std::optional<bool>>& result) {
    EXPECT_TRUE(waitUntil([&] { return result->has_value(); }));
    return result->value_or(false);
}

void PlayerFixture::advance(std::chrono::duration<double> by, std::chrono::duration<double> step) {
    // Whole nanoseconds, so that many steps add up to exactly the time asked for: the clock drops the
    // fraction of a nanosecond that a step in seconds may carry, and the inner loop makes it up.
    using std::chrono::nanoseconds;
    const auto target = clock.monotonicNow() + std::chrono::round<nanoseconds>(by);
    const auto stride = std::max(std::chrono::round<nanoseconds>(step), nanoseconds(1));
    while (clock.monotonicNow() < target) {
        const auto next = std::min(target, clock.monotonicNow() + stride);
        while (clock.monotonicNow() < next) clock.advance(next - clock.monotonicNow());
        settle();
    }
}

bool PlayerFixture::advanceUntil(const std::function<bool()>& condition, std::chrono::duration<double> limit,
                                 std::chrono::duration<double> step) {
    settle();
    while (!condition()) {
        if (limit <= std::chrono::duration<double>::zero()) {
            ADD_FAILURE() << "the condition did not come true in time";
            return false;
        }
        advance(step, step);
        limit -= step;
    }
    return true;
}

bool PlayerFixture::waitUntil(const std::function<bool()>& condition) {
    const bool held = processEventsUntil(condition);
    EXPECT_TRUE(held) << "the condition did not come true";
    return held;
}

void PlayerFixture::settle() {
    for (int turn = 0; turn < 3; ++turn) QCoreApplication::processEvents();
}

bool PlayerFixture::waitUntilPrepared() {
    return waitUntil([this] { return !m_player->isPreparing(); });
}

void PlayerFixture::drainStore() {
    // Every store call answers one turn later and the queue moves on one turn after that.
    for (int turn = 0; turn < 40; ++turn) settle();
}

SavedReading PlayerFixture::keepInStore(SavedReading reading, bool inLibrary, ReadingProgress progress) {
    std::optional<Date> lastPlayed;
    if (!inLibrary) lastPlayed = Date{700'000'000};
    store->keep(StoredReading{.reading = reading,
                              .originalTextFile = std::nullopt,
                              .originalEPUB = std::nullopt,
                              .isInLibrary = inLibrary,
                              .progress = progress,
                              .lastPlayedAt = lastPlayed});
    return reading;
}

QList<ReadingProgress> PlayerFixture::savedPositions() const {
    QList<ReadingProgress> positions;
    for (const auto& call : store->log()) {
        if (call.call == FakePlaybackStore::Call::updateProgress && call.progress) positions.append(*call.progress);
    }
    return positions;
}

qsizetype PlayerFixture::playRecords() const {
    const QList<FakePlaybackStore::Call> calls = store->calls();
    return std::count_if(calls.cbegin(), calls.cend(), [](FakePlaybackStore::Call call) {
        return call == FakePlaybackStore::Call::recordPlaybackOfReading ||
               call == FakePlaybackStore::Call::recordPlayback;
    });
}

qsizetype shownOffset(const ReadingPlayer& player) {
    const std::optional<ReadingChunk> chunk = player.session().currentChunk();
    return chunk ? chunk->sourceRange.lowerBound : -1;
}

bool shows(const ReadingPlayer& player, qsizetype offset) {
    const std::optional<ReadingChunk> chunk = player.session().currentChunk();
    return chunk && chunk->sourceRange.contains(offset);
}

SavedReading readingOf(const QString& text, std::optional<QList<ReadingDocument::Section>> sections) {
    ReadingDocument document{std::move(sections), text, {}};
    return SavedReading::create(std::move(document), u"試験"_s, std::nullopt, std::nullopt, Date{700'000'000});
}

QString japaneseText(qsizetype length) {
    static const QString kProse =
        u"吾輩は猫である。名前はまだ無い。どこで生れたかとんと見当がつかぬ。何でも薄暗いじめじめした所で泣いていた事だ"
        u"けは"
        u"記憶している。吾輩はここで始めて人間というものを見た。\n"_s;
    QString text;
    text.reserve(length + kProse.size());
    while (text.size() < length) text += kProse;
    text.truncate(length);
    return text;
}

QList<ReadingDocument::Section> sectionsOf(const QList<qsizetype>& lengths) {
    QList<ReadingDocument::Section> sections;
    qsizetype start = 0;
    for (qsizetype length : lengths) {
        sections.append({u"s%1"_s.arg(sections.size()), std::nullopt, start, start + length});
        start += length;
    }
    return sections;
}

QList<ReadingChunk> tilingChunks(qsizetype from, qsizetype to, qsizetype size) {
    QList<ReadingChunk> chunks;
    for (qsizetype start = from; start < to; start += size) chunks.append(chunkAt(start, std::min(size, to - start)));
    return chunks;
}

ReadingChunk chunkAt(qsizetype from, qsizetype count, ReadingChunk::Boundary boundary, qsizetype sentenceIndex) {
    return ReadingChunk{{from, from + count}, QString(count, u'あ'), sentenceIndex, boundary};
}

}  // namespace tavrine::test
