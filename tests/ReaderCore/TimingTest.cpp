#include "ReaderCore/ReadingSpeed.h"
#include "ReaderCore/TimingPolicy.h"

#include "support/QtPrinters.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

namespace tavrine {
namespace {
using namespace Qt::StringLiterals;
using Boundary = ReadingChunk::Boundary;

TEST(TimingPolicy, LengthFactorCountsCharactersAndIsClampedThenTheBoundaryMultiplies) {
    const QString family = u"\U0001F468\u200D\U0001F469\u200D\U0001F467\u200D\U0001F466"_s;  // one Character
    const TimingPolicy policy{0.3};
    const std::tuple<QString, Boundary, double> cases[] = {
        {QString(), Boundary::none, 0.3},          {u"abcdefgh"_s, Boundary::none, 0.3},
        {u"abcdefghi"_s, Boundary::none, 0.3375},  {QString(20, u'x'), Boundary::none, 0.75},
        {QString(40, u'x'), Boundary::none, 0.75}, {family.repeated(9), Boundary::none, 0.3375},  // 99 UTF-16 units
        {u"abcd"_s, Boundary::clause, 0.42},       {u"abcd"_s, Boundary::sentence, 0.6},
        {u"abcd"_s, Boundary::paragraph, 0.84},    {u"abcdefghijkl"_s, Boundary::sentence, 0.9},
    };
    for (const auto& [text, boundary, seconds] : cases)
        EXPECT_DOUBLE_EQ(policy.duration(ReadingChunk{{0, text.size()}, text, 0, boundary}), seconds) << text;
    // duration() does not clamp: the caller does.
    EXPECT_DOUBLE_EQ((TimingPolicy{1.0}).duration(ReadingChunk{{0, 1}, u"a"_s, 0, Boundary::none}), 1.0);
}

TEST(TimingPolicy, ClampKeepsTheEndsAndMapsEverythingElseInside) {
    const double nan = std::numeric_limits<double>::quiet_NaN();
    const double infinity = std::numeric_limits<double>::infinity();
    const std::pair<double, double> cases[] = {{0.02, 0.04},     {0.04, 0.04},    {0.3, 0.3},
                                               {0.3000001, 0.3}, {0.1, 0.1},      {-1, 0.04},
                                               {nan, 0.3},       {infinity, 0.3}, {-infinity, 0.3}};
    for (const auto& [seconds, clamped] : cases) EXPECT_EQ(TimingPolicy::clampedInterval(seconds), clamped) << seconds;
}

TEST(ReadingSpeed, IntervalOfAMultiplierSnapsToTheEnds) {
    const double nan = std::numeric_limits<double>::quiet_NaN();
    const double infinity = std::numeric_limits<double>::infinity();
    const std::pair<double, double> cases[] = {
        {1.0, 0.3},          {2.0, 0.15},         {7.5, 0.04},
        {7.5 + 1e-13, 0.04}, {7.5 - 1e-13, 0.04}, {9.0, 0.04},
        {0.5, 0.3},          {nan, 0.3},          {infinity, 0.3} /* treated as invalid */,
        {-infinity, 0.3}};
    for (const auto& [multiplier, seconds] : cases)
        EXPECT_EQ(ReadingSpeed::interval(multiplier), seconds) << multiplier;
}

// The multiplier as a speed control reads it back from a stored interval.
double multiplierOf(double seconds) {
    if (!std::isfinite(seconds) || seconds > 0.3) return 1.0;
    if (seconds <= 0.04) return 7.5;
    return 0.3 / seconds;
}

TEST(ReadingSpeed, SixtyFiveStepsFasterFromTheSlowestLandExactlyOnTheFastest) {
    double seconds = 0.3;
    for (int step = 0; step < 65; ++step) seconds = ReadingSpeed::interval(multiplierOf(seconds) + 0.1);
    EXPECT_EQ(seconds, 0.04);
    EXPECT_EQ(ReadingSpeed::interval(multiplierOf(seconds) + 0.1), 0.04);  // one more changes nothing
    for (int step = 0; step < 65; ++step) seconds = ReadingSpeed::interval(multiplierOf(seconds) - 0.1);
    EXPECT_EQ(seconds, 0.3);
}

TEST(ReadingSpeed, LabelHasOneFractionDigitAndItsSuffix) {
    EXPECT_EQ(ReadingSpeed::label(0.3, false), u"1.0×"_s);
    EXPECT_EQ(ReadingSpeed::label(0.1, true), u"3.0倍"_s);
    EXPECT_EQ(ReadingSpeed::label(0.04, false), u"7.5×"_s);
    EXPECT_EQ(ReadingSpeed::label(0.01, false), u"7.5×"_s);
    EXPECT_EQ(ReadingSpeed::label(std::numeric_limits<double>::quiet_NaN(), false), u"1.0×"_s);
    // Halves round to even on the shortest decimal form: 0.3 / 0.24 is 1.25 exactly.
    EXPECT_EQ(ReadingSpeed::label(0.24, false), u"1.2×"_s);
    // A value whose shortest form is 1.15 rounds to 1.2, where printf would give 1.1.
    EXPECT_EQ(ReadingSpeed::label(0.3 / 1.15, false), u"1.2×"_s);
}

}  // namespace
}  // namespace tavrine
