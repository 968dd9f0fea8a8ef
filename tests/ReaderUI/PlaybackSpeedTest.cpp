// The speed alone: what it keeps, what counts as a change, and the speed every use reads from it.
#include "ReaderUI/Player/PlaybackSpeed.h"

#include "ReaderCore/MemoryDefaults.h"

#include "PlayerTesting.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

namespace tavrine {
namespace {

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();

TEST(PlaybackSpeedTest, AValueIsKeptAsSetAndOnlyARealChangeCounts) {
    MemoryDefaults defaults;
    PlaybackSpeed speed(defaults);
    EXPECT_EQ(speed.baseSeconds(), 0.3);

    // The same value again is no change, and is stored all the same.
    EXPECT_FALSE(speed.set(0.3));
    EXPECT_EQ(defaults.doubleForKey(PlaybackSpeed::kBaseSecondsKey), 0.3);
    EXPECT_TRUE(speed.set(kNaN));
    EXPECT_FALSE(speed.set(kNaN));
    EXPECT_TRUE(std::isnan(defaults.doubleForKey(PlaybackSpeed::kBaseSecondsKey)));
    EXPECT_EQ(speed.multiplier(), 1.0);

    // Beyond the range the value stays as set; every use reads the fastest speed from it, and so does the
    // next reading of the settings.
    EXPECT_TRUE(speed.set(0.01));
    EXPECT_EQ(speed.baseSeconds(), 0.01);
    EXPECT_EQ(speed.multiplier(), 7.5);
    EXPECT_FALSE(speed.canStep(true));
    MemoryDefaults fastest;
    PlaybackSpeed reference(fastest);
    reference.set(0.04);
    const ReadingChunk chunk = test::chunkAt(0, 6, ReadingChunk::Boundary::sentence);
    EXPECT_EQ(speed.displayTime(chunk), reference.displayTime(chunk));
    EXPECT_EQ(PlaybackSpeed(defaults).baseSeconds(), 0.04);
}

}  // namespace
}  // namespace tavrine
