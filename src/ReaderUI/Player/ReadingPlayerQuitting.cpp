// The application quits: the player keeps its place and starts nothing more.
#include "ReaderUI/Player/ReadingPlayer.h"

#include "ReaderCore/MainThread.h"

namespace tavrine {

void ReadingPlayer::prepareForTermination() {
    Q_ASSERT(isMainThread());
    setIsTerminating(true);
    pause(true);
}

}  // namespace tavrine
