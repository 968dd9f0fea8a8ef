#include "ReaderUI/Player/PlaybackSpeed.h"

#include "ReaderCore/Defaults.h"
#include "ReaderCore/ReadingSpeed.h"
#include "ReaderCore/TimingPolicy.h"

#include <algorithm>
#include <cmath>

namespace tavrine {

namespace {

constexpr double kSpeedStep = 0.1;
// ln 7.5: the fastest speed's multiplier on the logarithmic scale of the speed control.
constexpr double kLogFastestMultiplier = 2.0149030205422647;

double storedBaseSeconds(const Defaults& defaults) {
    const double stored = defaults.doubleForKey(PlaybackSpeed::kBaseSecondsKey);
    if (stored == 0) return TimingPolicy::kMaximumInterval;
    return TimingPolicy::clampedInterval(stored);
}

// The speed on that scale: 0 at 1.0×, 1 at 7.5×. The bounds are exact: 0.3 / 0.04 is 7.5 in doubles.
double speedPosition(double baseSeconds) {
    return std::log(TimingPolicy::kMaximumInterval / TimingPolicy::clampedInterval(baseSeconds)) /
           kLogFastestMultiplier;
}

}  // namespace

PlaybackSpeed::PlaybackSpeed(Defaults& defaults) : m_defaults(defaults), m_baseSeconds(storedBaseSeconds(defaults)) {}

bool PlaybackSpeed::set(double seconds) {
    m_defaults.setDouble(kBaseSecondsKey, seconds);
    if (std::isnan(seconds) && std::isnan(m_baseSeconds)) return false;
    if (seconds == m_baseSeconds) return false;
    m_baseSeconds = seconds;
    return true;
}

double PlaybackSpeed::multiplier() const {
    return TimingPolicy::kMaximumInterval / TimingPolicy::clampedInterval(m_baseSeconds);
}

QString PlaybackSpeed::label() const {
    return ReadingSpeed::label(m_baseSeconds, false);
}

QString PlaybackSpeed::accessibilityValue() const {
    return ReadingSpeed::label(m_baseSeconds, true);
}

double PlaybackSpeed::stepped(bool faster) const {
    return ReadingSpeed::interval(multiplier() + (faster ? kSpeedStep : -kSpeedStep));
}

bool PlaybackSpeed::canStep(bool faster) const {
    const double position = speedPosition(m_baseSeconds);
    if (!faster) return position > 0;
    return std::min(position, 1.0) < 1.0 || position <= 0;
}

std::chrono::duration<double> PlaybackSpeed::displayTime(const ReadingChunk& chunk) const {
    const TimingPolicy policy{TimingPolicy::clampedInterval(m_baseSeconds)};
    return std::chrono::duration<double>(policy.duration(chunk));
}

}  // namespace tavrine
