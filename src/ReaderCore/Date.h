#pragma once

#include <compare>

namespace tavrine {

// An absolute point in time as seconds since 2001-01-01 00:00:00 UTC, the form every stored date takes.
// A double keeps sub-millisecond precision, so equality and the ordering of ties survive a round trip.
struct Date {
    // Seconds between the Unix epoch and the reference date.
    static constexpr double kUnixEpochOffset = 978307200.0;

    double secondsSinceReferenceDate = 0;

    static Date fromUnixSeconds(double seconds) { return Date{seconds - kUnixEpochOffset}; }
    double unixSeconds() const { return secondsSinceReferenceDate + kUnixEpochOffset; }
    Date addingSeconds(double seconds) const { return Date{secondsSinceReferenceDate + seconds}; }

    auto operator<=>(const Date&) const = default;
};

}  // namespace tavrine
