#pragma once

#include <QString>

namespace tavrine::ReadingSpeed {

// The speed multiplier m and the stored base interval b relate by m = 0.3 / b; only b is ever stored.

// "2.0×", or "2.0倍" with kanjiSuffix: the multiplier of the clamped interval with exactly one fraction
// digit (rounded half to even on its shortest decimal form) and a point as separator in every locale.
QString label(double interval, bool kanjiSuffix);

// The base interval of a multiplier: NaN, infinities and values up to 1.0 give 0.3; the multiplier is
// capped at 7.5, and one within 1e-12 of 7.5 gives exactly 0.04, so that stepping up by 0.1 from 1.0
// lands on the fastest speed.
double interval(double multiplier);

}  // namespace tavrine::ReadingSpeed
