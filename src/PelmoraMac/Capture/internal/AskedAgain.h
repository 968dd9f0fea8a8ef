#pragma once

#include "PelmoraMac/Capture/AccessibilityBus.h"
#include "PelmoraMac/Capture/CaptureDeadline.h"
#include "ReaderCore/Clock.h"

#include <QList>

#include <algorithm>
#include <chrono>
#include <functional>
#include <thread>

namespace tavrine {

// One batch of questions (`calls`, given the deadline), with `check` (the deadline and the cancellation) seen
// before and after it.
template <typename Answers>
Answers checkedBatch(const std::function<CaptureResult<void>()>& check, CaptureDeadline deadline,
                     const std::function<Answers(CaptureDeadline)>& calls) {
    if (auto inTime = check(); !inTime) return tl::unexpected(inTime.error());
    auto answers = calls(deadline);
    if (auto inTime = check(); !inTime) return tl::unexpected(inTime.error());
    return answers;
}

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
