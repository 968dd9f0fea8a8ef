#pragma once

#include "support/EventLoop.h"

#include <QString>

#include <algorithm>
#include <chrono>
#include <source_location>
#include <string>

namespace tavrine::test {

// Where a test keeps what a person would look at (screenshots): test-artifacts/ in the build folder,
// made on first use.
QString testArtifactPath(const QString& fileName);

// How long what an input does may take once its window told that the input reached it: far more than a loaded
// machine needs to show a menu or run an item, far less than the overall limit, so that a program that took the
// input and did nothing fails soon and leaves the rest of the test program its time.
inline constexpr std::chrono::seconds kEffectLimit{30};

// What the screen shows, for the message of a test that gave up on `step`: the active window, the widget with the
// keyboard focus, the open popup, and the path of a screenshot of the whole screen named after the test and the
// step (kept with the test's artifacts).
std::string screenState(const QString& step);

// Prints on the standard error that the wait at `where` gave up after `limit`, with what the screen showed then.
void reportGivenUp(std::chrono::milliseconds limit, std::source_location where);

// Runs the event loop until `effect` (what an input that reached its window does) holds, at most `limit` and the
// rest of the overall limit; answers whether it held. One that did not is told on the standard error with what
// the screen showed (reportGivenUp), beside the caller's own failure.
template <typename Effect>
bool effectWithin(Effect effect, std::chrono::milliseconds limit = kEffectLimit,
                  std::source_location where = std::source_location::current()) {
    if (processEventsUntil(effect, std::min(limit, patience()))) return true;
    reportGivenUp(limit, where);
    return false;
}

}  // namespace tavrine::test
