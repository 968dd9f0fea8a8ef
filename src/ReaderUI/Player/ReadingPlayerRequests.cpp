// Which playback request can be carried out now: what menus enable and what the reader checks before it
// acts. Reads only observed state, so a view showing the answer is told when it may have changed.
#include "ReaderUI/Player/ReadingPlayer.h"

#include "ReaderCore/MainThread.h"
#include "ReaderCore/TimingPolicy.h"

#include <algorithm>
#include <cmath>

namespace tavrine {

namespace {

// ln 7.5: the fastest speed's multiplier on the logarithmic scale of the speed control.
constexpr double kLogFastestMultiplier = 2.0149030205422647;

// The speed on that scale: 0 at 1.0×, 1 at 7.5×. The bounds are exact: 0.3 / 0.04 is 7.5 in doubles.
double speedPosition(double baseSeconds) {
    return std::log(TimingPolicy::kMaximumInterval / TimingPolicy::clampedInterval(baseSeconds)) /
           kLogFastestMultiplier;
}

}  // namespace

bool ReadingPlayer::canPerform(ReaderPlaybackRequest::Action action) const {
    Q_ASSERT(isMainThread());
    using Action = ReaderPlaybackRequest::Action;
    switch (action) {
    case Action::replay:
    case Action::togglePlayback:
    case Action::backSentence: return hasText();
    case Action::forwardSentence:
        // While a window is prepared a next sentence may yet come.
        return hasText() && (m_session.hasNextSentence() || m_isPreparing);
    case Action::backChapter: return hasText() && chapterTarget(false).has_value();
    case Action::forwardChapter: return hasText() && chapterTarget(true).has_value();
    case Action::slower: return speedPosition(m_baseSeconds) > 0;
    case Action::faster: {
        const double position = speedPosition(m_baseSeconds);
        return std::min(position, 1.0) < 1.0 || position <= 0;
    }
    case Action::showEPUBNavigation: return m_reading && m_reading->epub.has_value();
    case Action::showDocumentInformation: return m_reading && !m_reading->document.text.isEmpty();
    }
    return false;
}

}  // namespace tavrine
