#pragma once

#include "PelmoraMac/Capture/AccessibilityBus.h"
#include "PelmoraMac/Capture/CaptureDeadline.h"
#include "ReaderCore/Clock.h"

#include <QList>

#include <algorithm>
#include <chrono>
#include <thread>

namespace tavrine {

// Answers an application gives before it has worked them out (`unworkedOut`: Firefox's first boxes and
// attributes after it starts) asked for again, `rounds` times at most: the first time after `pause`, each next
// pause twice as long, none past the deadline. `ask` asks, in one batch, for the answers at these indexes.
template <typename T, typename UnworkedOut, typename Ask>
AccessibleAnswers<T> askedAgain(AccessibleAnswers<T> answers, UnworkedOut unworkedOut, Ask ask, int rounds,
                                std::chrono::milliseconds pause, CaptureDeadline deadline) {
    for (int round = 0; answers && round < rounds; ++round, pause *= 2) {
        QList<qsizetype> again;
        for (qsizetype index = 0; index < answers->size(); ++index) {
            if ((*answers)[index] && unworkedOut(*(*answers)[index])) again.append(index);
        }
        if (again.isEmpty()) break;
        std::this_thread::sleep_until(std::min(SystemClock::shared().monotonicNow() + pause, deadline));
        AccessibleAnswers<T> more = ask(again);
        if (!more) return more;
        for (qsizetype index = 0; index < again.size(); ++index) (*answers)[again[index]] = (*more)[index];
    }
    return answers;
}

}  // namespace tavrine
