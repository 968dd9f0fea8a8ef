#pragma once

#include "ReaderCore/ReadingChunk.h"

#include <QString>

#include <chrono>

namespace tavrine {

class Defaults;

// The reading speed: the display time of one short chunk (the base seconds), kept in the user's settings
// under kBaseSecondsKey, and what the controls make of it: the multiplier (1.0 at 0.3 s up to 7.5 at
// 0.04 s), its label, its steps of 0.1 and whether a step is left either way. The value is kept as set;
// every use clamps it into 0.04...0.3, a value that is not finite counting as 0.3. Owned by the player,
// main thread only; the settings must outlive it.
class PlaybackSpeed final {
public:
    static inline const QString kBaseSecondsKey = QStringLiteral("reader.baseSeconds");

    // Reads the stored speed: nothing stored (which reads as 0) and values that are not finite give the
    // slowest speed, anything else is clamped into the speed range.
    explicit PlaybackSpeed(Defaults& defaults);
    PlaybackSpeed(const PlaybackSpeed&) = delete;
    PlaybackSpeed& operator=(const PlaybackSpeed&) = delete;

    double baseSeconds() const { return m_baseSeconds; }
    // Keeps seconds, as given, here and in the settings; whether the value changed (one NaN replacing
    // another is no change).
    bool set(double seconds);

    // 1.0...7.5: 0.3 over the clamped base.
    double multiplier() const;
    QString label() const;               // "2.0×"
    QString accessibilityValue() const;  // "2.0倍"
    // The base seconds one step (0.1 of the multiplier) faster or slower, within the speed range; not
    // rounded to a tenth, so steps from an odd stored speed stay odd.
    double stepped(bool faster) const;
    // Whether a step is left that way: slower above 1.0, faster below 7.5 (exact at both ends).
    bool canStep(bool faster) const;
    // How long chunk stays on display at this speed.
    std::chrono::duration<double> displayTime(const ReadingChunk& chunk) const;

private:
    Defaults& m_defaults;
    double m_baseSeconds;
};

}  // namespace tavrine
