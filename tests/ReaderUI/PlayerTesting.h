#pragma once

#include "ReaderCore/MemoryDefaults.h"
#include "ReaderUI/Player/ReadingPlayer.h"

#include "support/FakeClock.h"
#include "support/FakePlaybackStore.h"

#include <QList>
#include <QString>

#include <chrono>
#include <coroutine>
#include <functional>
#include <memory>
#include <optional>
#include <vector>

namespace tavrine::test {

// The player's chunk source with a hand on it: it logs every request, can hold requests back until the
// test releases them, fail the next ones, or answer with chunks the test makes instead of the prepared
// reading's own.
class HeldChunkSource {
    struct State {
        bool holding = false;
        std::vector<std::coroutine_handle<>> held;
        QList<qsizetype> offsets;
        int failures = 0;
        std::function<QList<ReadingChunk>(qsizetype offset)> chunks;
        // Requests not answered yet, held or waiting on the prepared reading's pool thread.
        int unanswered = 0;
    };

public:
    ReadingPlayer::ChunkSource source() const;

    // Requests from now on wait until release().
    void hold() { m_state->holding = true; }
    // Lets every waiting request go on (on a later turn of the event loop) and stops holding.
    void release();
    qsizetype heldCount() const { return qsizetype(m_state->held.size()); }
    // Whether every request has been answered: none is left suspended, to be freed with the test's end.
    bool allAnswered() const { return m_state->unanswered == 0; }
    // The next count requests fail as a cancelled preparation does.
    void failNext(int count = 1) { m_state->failures = count; }
    // Answers every request with make(offset) instead of the prepared reading's chunks.
    void answerWith(std::function<QList<ReadingChunk>(qsizetype offset)> make) { m_state->chunks = std::move(make); }
    // The offsets asked for, in order.
    const QList<qsizetype>& offsets() const { return m_state->offsets; }

private:
    static QCoro::Task<PreparedReading::Result<QList<ReadingChunk>>> request(std::shared_ptr<State> state,
                                                                             std::shared_ptr<PreparedReading> prepared,
                                                                             qsizetype offset, CancellationToken token);

    std::shared_ptr<State> m_state = std::make_shared<State>();
};

// A player on a fake clock, in-memory settings and, unless a test says otherwise, a fake store whose
// history is on. Phrase widths are Character counts and the widest phrase kept whole is 8 Characters.
class PlayerFixture {
public:
    static constexpr std::chrono::duration<double> kCheckpointInterval{5.0};

    PlayerFixture();
    ~PlayerFixture();

    // Replaces the player; withStore false gives a player without a store. The store's log is cleared.
    ReadingPlayer& makePlayer(bool withStore = true, bool storeUnavailable = false);
    // Replaces the player with one over another store, whose long readings are chunked by their own
    // prepared readings (the held chunk source is not installed).
    ReadingPlayer& makePlayerOver(std::shared_ptr<PlaybackStore> otherStore);
    // Destroys the player as its owner would.
    void destroyPlayer() { m_player.reset(); }

    ReadingPlayer& player() { return *m_player; }

    // Moves the clocks forward in steps of at most step, letting each wake-up run before the next step.
    void advance(std::chrono::duration<double> by, std::chrono::duration<double> step = std::chrono::milliseconds(10));
    // Moves the clocks forward in such steps until condition holds; fails the test when limit passes first.
    bool advanceUntil(const std::function<bool()>& condition, std::chrono::duration<double> limit,
                      std::chrono::duration<double> step = std::chrono::milliseconds(10));
    // Runs the event loop until condition holds: what the pool prepares comes as late as a loaded machine makes
    // it (fails the test once the overall limit is up).
    bool waitUntil(const std::function<bool()>& condition);
    // Runs whatever is ready on the event loop now.
    static void settle();
    // Waits until no window is being prepared.
    bool waitUntilPrepared();
    // Waits until the write queue has reached the store with everything queued so far.
    void drainStore();

    // Starts a task that runs on while the test goes on; its result (true once a task without one has
    // finished) arrives later. The fixture keeps the task.
    std::shared_ptr<std::optional<bool>> begin(QCoro::Task<bool> task);
    std::shared_ptr<std::optional<bool>> begin(QCoro::Task<void> task);
    // Runs the event loop until the task begun has its result, and gives it (false when it never came).
    bool finish(const std::shared_ptr<std::optional<bool>>& result);

    // Puts reading in the fake store, in the library (inLibrary) or only in the history (played at some
    // time), at progress; gives the reading back.
    SavedReading keepInStore(SavedReading reading, bool inLibrary, ReadingProgress progress = {0, false});

    // The positions the store was asked to write, in order.
    QList<ReadingProgress> savedPositions() const;
    // The number of play records that reached the store.
    qsizetype playRecords() const;

    FakeClock clock;
    MemoryDefaults defaults;
    std::shared_ptr<FakePlaybackStore> store;
    HeldChunkSource chunks;

private:
    std::unique_ptr<ReadingPlayer> m_player;
    std::vector<QCoro::Task<void>> m_tasks;
};

// Where the chunk shown starts; -1 when there is none.
qsizetype shownOffset(const ReadingPlayer& player);
// Whether the chunk shown holds offset.
bool shows(const ReadingPlayer& player, qsizetype offset);

// A reading of text without sections, or with the given sections.
SavedReading readingOf(const QString& text, std::optional<QList<ReadingDocument::Section>> sections = std::nullopt);
// Japanese prose of exactly length UTF-16 units (no surrogate pairs).
QString japaneseText(qsizetype length);
// Sections of the given lengths, tiling their sum from 0.
QList<ReadingDocument::Section> sectionsOf(const QList<qsizetype>& lengths);
// Chunks of size Characters from `from` up to `to` (the last one shorter), none ending a sentence.
QList<ReadingChunk> tilingChunks(qsizetype from, qsizetype to, qsizetype size);
// A chunk of count Characters ("あ" each) at from, with a boundary.
ReadingChunk chunkAt(qsizetype from, qsizetype count, ReadingChunk::Boundary boundary = ReadingChunk::Boundary::none,
                     qsizetype sentenceIndex = 0);

}  // namespace tavrine::test
