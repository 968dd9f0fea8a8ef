#pragma once

#include "ReaderCore/Clock.h"

#include <chrono>

namespace tavrine::test {

// A clock that moves only when the test moves it; both clocks advance together.
class FakeClock final : public Clock {
public:
    explicit FakeClock(Date start = Date{800'000'000.0}) : m_now(start) {}

    Date now() const override { return m_now; }
    MonotonicTime monotonicNow() const override { return m_monotonic; }

    void advance(std::chrono::duration<double> by) {
        m_now = m_now.addingSeconds(by.count());
        m_monotonic += std::chrono::duration_cast<std::chrono::steady_clock::duration>(by);
    }
    void setNow(Date date) { m_now = date; }

private:
    Date m_now;
    MonotonicTime m_monotonic{std::chrono::hours(1)};
};

}  // namespace tavrine::test
