#include "ReaderCore/TimingPolicy.h"

#include "ReaderCore/Characters.h"

#include <algorithm>
#include <cmath>

namespace tavrine {

double TimingPolicy::duration(const ReadingChunk& chunk) const {
    const double characters = static_cast<double>(characterCount(chunk.text));
    const double scaled = characters * 0.125;
    const double lengthFactor = scaled >= 1.0 ? std::min(scaled, 2.5) : 1.0;
    return baseSeconds * lengthFactor * boundaryFactor(chunk.boundary);
}

double TimingPolicy::clampedInterval(double seconds) {
    if (!std::isfinite(seconds)) return kMaximumInterval;
    if (seconds <= kMinimumInterval) return kMinimumInterval;
    if (seconds > kMaximumInterval) return kMaximumInterval;
    return seconds;
}

double TimingPolicy::boundaryFactor(ReadingChunk::Boundary boundary) {
    switch (boundary) {
    case ReadingChunk::Boundary::none: return 1.0;
    case ReadingChunk::Boundary::clause: return 1.4;
    case ReadingChunk::Boundary::sentence: return 2.0;
    case ReadingChunk::Boundary::paragraph: return 2.8;
    }
    return 1.0;
}

}  // namespace tavrine
