#pragma once

#include "ReaderStorage/StoreFailure.h"
#include "ReaderUI/Player/ReadingPlayer.h"

#include <QString>

#include <chrono>
#include <memory>
#include <optional>

namespace tavrine {

class Clock;
class Defaults;
class ReadingStore;

// The one reading store and the one reading player of the interactive process. Made once by the
// application before any window exists: it opens the store (which reads its files now, on the main
// thread) and makes the player over it, or, when the store cannot be opened, a player that saves nothing
// and says so in its storage message. Never fails, and never retries: a store that did not open stays
// closed until the next launch, and nothing writes near its files meanwhile.
//
// Owned by the application; main thread only. The player goes first, then the store, which finishes
// what was queued and releases its lock.
class MacReadingPlayback final {
public:
    // The player's position save while playing.
    static constexpr std::chrono::duration<double> kCheckpointInterval{5.0};

    // storeFile: the store file, or nothing when there is no place for one (no data folder), which is
    // one more failure to open. Opening creates no folder: the store makes it at its first write.
    // defaults keeps the player's speed and text sizes; defaults and clock must outlive this object.
    MacReadingPlayback(std::optional<QString> storeFile, Defaults& defaults, const Clock& clock,
                       ReadingPlayer::PhraseWidth phraseWidth);
    // The same over a store opened by the caller (none: it failed to open, for the reason refusal gives
    // when known), for a store on a file system of the caller's own.
    MacReadingPlayback(std::shared_ptr<ReadingStore> store, Defaults& defaults, const Clock& clock,
                       ReadingPlayer::PhraseWidth phraseWidth,
                       std::optional<StoreOpeningFailure> refusal = std::nullopt);
    MacReadingPlayback(const MacReadingPlayback&) = delete;
    MacReadingPlayback& operator=(const MacReadingPlayback&) = delete;
    ~MacReadingPlayback();

    // Where the application keeps its store: ReadingStoreFiles::applicationStoreFile().
    static std::optional<QString> applicationStoreFile();
    // The width the application's chunker fits phrases to: the reading font's, eight "あ" kept whole.
    static ReadingPlayer::PhraseWidth readingFontPhraseWidth();

    // The opened store; none when opening failed.
    const std::shared_ptr<ReadingStore>& store() const { return m_store; }
    // Why the store did not open, for the user, in Japanese: the file and the reason, one line each
    // ("ファイル：…", "理由：…"); nothing when it opened or nobody said why.
    const std::optional<QString>& refusalDetails() const { return m_refusalDetails; }
    // The lines of refusalDetails for one failure.
    static QString describeRefusal(const StoreOpeningFailure& refusal);
    ReadingPlayer& player() const { return *m_player; }

private:
    // A store as opening it ended: the store, or why there is none.
    struct Opened;
    static Opened openStore(const std::optional<QString>& storeFile);
    MacReadingPlayback(Opened opened, Defaults& defaults, const Clock& clock, ReadingPlayer::PhraseWidth phraseWidth);

    std::shared_ptr<ReadingStore> m_store;
    std::optional<QString> m_refusalDetails;
    std::unique_ptr<ReadingPlayer> m_player;
};

}  // namespace tavrine
