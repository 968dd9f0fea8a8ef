#include "ReaderUI/Player/StorageStanding.h"

#include "ReaderUI/Player/ReadingPlayerMessages.h"

namespace tavrine {

using Outcome = PlaybackPersistence::Outcome;

StorageStanding following(StorageStanding standing, Outcome outcome) {
    switch (outcome) {
    case Outcome::saved: return {.saved = true, .notice = std::nullopt};
    case Outcome::librarySaved:
        standing.saved = true;
        if (standing.notice == ReadingPlayerMessages::kLibraryAddFailed) standing.notice.reset();
        return standing;
    case Outcome::notSaved: standing.saved = false; return standing;
    case Outcome::failed: standing.notice = ReadingPlayerMessages::kSaveFailed; return standing;
    case Outcome::removed: return standing;
    }
    return standing;
}

}  // namespace tavrine
