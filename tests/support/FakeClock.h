#pragma once

#include "ReaderCore/Clock.h"

#include <chrono>
#include <map>
#include <memory>

namespace tavrine::test {

// A clock that moves only when the test moves it; both clocks advance together, and advance() fires
// the alarms that come due, in deadline order.
class FakeClock final : public Clock {
    struct Alarms {
        std::multimap<MonotonicTime, std::pair<int, std::function<void()>>> pending;
        int nextId = 0;
    };

public:
    explicit FakeClock(Date start = Date{800'000'000.0}) : m_now(start) {}

    Date now() const override { return m_now; }
    MonotonicTime monotonicNow() const override { return m_monotonic; }

    std::unique_ptr<Alarm> schedule(MonotonicTime deadline, std::function<void()> fire) const override {
        const int id = m_alarms->nextId++;
        m_alarms->pending.emplace(deadline, std::make_pair(id, std::move(fire)));
        return std::make_unique<FakeAlarm>(m_alarms, id);
    }

    void advance(std::chrono::duration<double> by) {
        m_now = m_now.addingSeconds(by.count());
        m_monotonic += std::chrono::duration_cast<std::chrono::steady_clock::duration>(by);
        while (!m_alarms->pending.empty() && m_alarms->pending.begin()->first <= m_monotonic) {
            auto fire = std::move(m_alarms->pending.begin()->second.second);
            m_alarms->pending.erase(m_alarms->pending.begin());
            fire();
        }
    }
    void setNow(Date date) { m_now = date; }
    std::size_t pendingAlarms() const { return m_alarms->pending.size(); }

private:
    class FakeAlarm final : public Alarm {
    public:
        FakeAlarm(std::weak_ptr<Alarms> alarms, int id) : m_alarms(std::move(alarms)), m_id(id) {}
        ~FakeAlarm() override {
            auto alarms = m_alarms.lock();
            if (!alarms) return;
            std::erase_if(alarms->pending, [this](const auto& entry) { return entry.second.first == m_id; });
        }

    private:
        std::weak_ptr<Alarms> m_alarms;
        int m_id;
    };

    Date m_now;
    MonotonicTime m_monotonic{std::chrono::hours(1)};
    std::shared_ptr<Alarms> m_alarms = std::make_shared<Alarms>();
};

}  // namespace tavrine::test
