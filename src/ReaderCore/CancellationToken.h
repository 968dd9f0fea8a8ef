#pragma once

#include <atomic>
#include <memory>

namespace tavrine {

// A shared cancellation flag. Copies share one flag: the owner of a piece of work keeps one copy and
// cancels it; the work holds another and checks it at its natural steps, returning a cancellation
// result (it never throws). Safe to use from any thread.
class CancellationToken {
public:
    CancellationToken() : m_flag(std::make_shared<std::atomic_bool>(false)) {}

    void cancel() const { m_flag->store(true, std::memory_order_relaxed); }
    bool isCancelled() const { return m_flag->load(std::memory_order_relaxed); }

    // A token that can never be cancelled, for callers that have nothing to cancel.
    static CancellationToken none() { return CancellationToken(); }

private:
    std::shared_ptr<std::atomic_bool> m_flag;
};

}  // namespace tavrine
