#pragma once

#include <QtGlobal>

#include <algorithm>

namespace tavrine {

// A half-open range of UTF-16 offsets: lowerBound is the first unit inside, upperBound the first after.
struct TextRange {
    qsizetype lowerBound = 0;
    qsizetype upperBound = 0;

    qsizetype length() const { return upperBound - lowerBound; }
    bool isEmpty() const { return upperBound <= lowerBound; }
    bool contains(qsizetype offset) const { return offset >= lowerBound && offset < upperBound; }
    TextRange shifted(qsizetype delta) const { return {lowerBound + delta, upperBound + delta}; }
    TextRange clamped(qsizetype low, qsizetype high) const {
        return {std::clamp(lowerBound, low, high), std::clamp(upperBound, low, high)};
    }

    bool operator==(const TextRange&) const = default;
};

}  // namespace tavrine
