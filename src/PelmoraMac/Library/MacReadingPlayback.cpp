#include "PelmoraMac/Library/MacReadingPlayback.h"

#include "ReaderCore/MainThread.h"
#include "ReaderStorage/ReadingStore.h"
#include "ReaderStorage/ReadingStoreFiles.h"
#include "ReaderUI/Player/ReadingStorePlaybackStore.h"
#include "ReaderWidgets/Display/PhraseWidthMeasurer.h"

namespace tavrine {
namespace {

// The opened store, or none: whatever went wrong is dropped, since the player's storage message is all
// the user is told.
std::shared_ptr<ReadingStore> openStore(const std::optional<QString>& storeFile) {
    if (!storeFile) return nullptr;
    auto opened = ReadingStore::open(*storeFile);
    if (!opened) return nullptr;
    return std::shared_ptr<ReadingStore>(std::move(*opened));
}

}  // namespace

MacReadingPlayback::MacReadingPlayback(std::optional<QString> storeFile, Defaults& defaults, const Clock& clock,
                                       ReadingPlayer::PhraseWidth phraseWidth)
    : MacReadingPlayback(openStore(storeFile), defaults, clock, std::move(phraseWidth)) {}

MacReadingPlayback::MacReadingPlayback(std::shared_ptr<ReadingStore> store, Defaults& defaults, const Clock& clock,
                                       ReadingPlayer::PhraseWidth phraseWidth)
    : m_store(std::move(store)) {
    Q_ASSERT(isMainThread());
    const bool opened = m_store != nullptr;
    m_player = std::make_unique<ReadingPlayer>(opened ? std::make_shared<ReadingStorePlaybackStore>(m_store) : nullptr,
                                               /*storeUnavailable=*/!opened,
                                               /*automaticallySavesHistory=*/opened, kCheckpointInterval, defaults,
                                               clock, std::move(phraseWidth));
}

MacReadingPlayback::~MacReadingPlayback() {
    Q_ASSERT(isMainThread());
    m_player.reset();
    m_store.reset();
}

std::optional<QString> MacReadingPlayback::applicationStoreFile() {
    return ReadingStoreFiles::applicationStoreFile();
}

ReadingPlayer::PhraseWidth MacReadingPlayback::readingFontPhraseWidth() {
    return {[](QStringView phrase) { return PhraseWidthMeasurer::width(phrase); },
            PhraseWidthMeasurer::referenceWidth()};
}

}  // namespace tavrine
