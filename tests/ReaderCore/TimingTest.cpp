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

ReadingChunk chunk(const QString& text, Boundary boundary = Boundary::none) {
    return ReadingChunk{{0, text.size()}, text, 0, boundary};
}

TEST(TimingPolicy, LengthFactorCountsCharactersAndIsClamped) {
    const TimingPolicy policy{0.3};
    EXPECT_DOUBLE_EQ(policy.duration(chunk(u"a"_s)), 0.3);
    EXPECT_DOUBLE_EQ(policy.duration(chunk(u"abcdefgh"_s)), 0.3);
    EXPECT_DOUBLE_EQ(policy.duration(chunk(u"abcdefghi"_s)), 0.3375);
    EXPECT_DOUBLE_EQ(policy.duration(chunk(QString(19, u'x'))), 0.3 * 19 / 8);
    EXPECT_DOUBLE_EQ(policy.duration(chunk(QString(20, u'x'))), 0.75);
    EXPECT_DOUBLE_EQ(policy.duration(chunk(QString(40, u'x'))), 0.75);
    EXPECT_DOUBLE_EQ(policy.duration(chunk(QString())), 0.3);

    // Nine family emoji are 99 UTF-16 units but nine Characters.
    const QString family = u"\U0001F468\u200D\U0001F469\u200D\U0001F467\u200D\U0001F466"_s;
    EXPECT_DOUBLE_EQ(policy.duration(chunk(family)), 0.3);
    EXPECT_DOUBLE_EQ(policy.duration(chunk(family.repeated(9))), 0.3375);
    EXPECT_DOUBLE_EQ(policy.duration(chunk(u"か\u3099"_s.repeated(9))), 0.3375);
}

TEST(TimingPolicy, BoundaryFactorsMultiplyTheStoredBaseUnchanged) {
    const TimingPolicy policy{0.3};
    EXPECT_DOUBLE_EQ(policy.duration(chunk(u"abcd"_s, Boundary::clause)), 0.42);
    EXPECT_DOUBLE_EQ(policy.duration(chunk(u"abcd"_s, Boundary::sentence)), 0.6);
    EXPECT_DOUBLE_EQ(policy.duration(chunk(u"abcd"_s, Boundary::paragraph)), 0.84);
    EXPECT_DOUBLE_EQ(policy.duration(chunk(u"abcdefghijkl"_s, Boundary::sentence)), 0.9);
    // duration() does not clamp: the caller does.
    EXPECT_DOUBLE_EQ((TimingPolicy{1.0}).duration(chunk(u"a"_s)), 1.0);
}

TEST(TimingPolicy, ClampKeepsTheEndsAndMapsEverythingElseInside) {
    EXPECT_EQ(TimingPolicy::clampedInterval(0.02), 0.04);
    EXPECT_EQ(TimingPolicy::clampedInterval(0.04), 0.04);
    EXPECT_EQ(TimingPolicy::clampedInterval(0.3), 0.3);
    EXPECT_EQ(TimingPolicy::clampedInterval(0.3000001), 0.3);
    EXPECT_EQ(TimingPolicy::clampedInterval(0.1), 0.1);
    EXPECT_EQ(TimingPolicy::clampedInterval(-1), 0.04);
    EXPECT_EQ(TimingPolicy::clampedInterval(std::numeric_limits<double>::quiet_NaN()), 0.3);
    EXPECT_EQ(TimingPolicy::clampedInterval(std::numeric_limits<double>::infinity()), 0.3);
    EXPECT_EQ(TimingPolicy::clampedInterval(-std::numeric_limits<double>::infinity()), 0.3);
}

TEST(ReadingSpeed, IntervalOfAMultiplierSnapsToTheEnds) {
    const double nan = std::numeric_limits<double>::quiet_NaN();
    const double infinity = std::numeric_limits<double>::infinity();
    EXPECT_EQ(ReadingSpeed::interval(1.0), 0.3);
    EXPECT_EQ(ReadingSpeed::interval(2.0), 0.15);
    EXPECT_EQ(ReadingSpeed::interval(7.5), 0.04);
    EXPECT_EQ(ReadingSpeed::interval(7.5 + 1e-13), 0.04);
    EXPECT_EQ(ReadingSpeed::interval(7.5 - 1e-13), 0.04);
    EXPECT_EQ(ReadingSpeed::interval(9.0), 0.04);
    EXPECT_EQ(ReadingSpeed::interval(0.5), 0.3);
    EXPECT_EQ(ReadingSpeed::interval(nan), 0.3);
    EXPECT_EQ(ReadingSpeed::interval(infinity), 0.3);  // an infinite multiplier is treated as invalid
    EXPECT_EQ(ReadingSpeed::interval(-infinity), 0.3);
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
    EXPECT_EQ(ReadingSpeed::label(0.15, false), u"2.0×"_s);
    EXPECT_EQ(ReadingSpeed::label(0.1, true), u"3.0倍"_s);
    EXPECT_EQ(ReadingSpeed::label(0.04, false), u"7.5×"_s);
    EXPECT_EQ(ReadingSpeed::label(0.01, false), u"7.5×"_s);
    EXPECT_EQ(ReadingSpeed::label(std::numeric_limits<double>::quiet_NaN(), false), u"1.0×"_s);
    EXPECT_EQ(ReadingSpeed::label(ReadingSpeed::interval(7.5), false), u"7.5×"_s);
    // Halves round to even on the shortest decimal form: 0.3 / 0.24 is 1.25 exactly.
    EXPECT_EQ(ReadingSpeed::label(0.24, false), u"1.2×"_s);
    // A value whose shortest form is 1.15 rounds to 1.2, where printf would give 1.1.
    EXPECT_EQ(ReadingSpeed::label(0.3 / 1.15, false), u"1.2×"_s);
}

}  // namespace
}  // namespace tavrine
