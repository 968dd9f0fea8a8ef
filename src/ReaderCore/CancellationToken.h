#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <mutex>

namespace tavrine {

// A shared cancellation flag. Copies share one flag: the owner of a piece of work keeps one copy and
// cancels it; the work holds another and checks it at its natural steps, returning a cancellation
// result (it never throws). Waits that must end early on cancellation register a callback. Safe to use
// from any thread.
class CancellationToken {
    struct State {
        std::atomic_bool cancelled{false};
        std::mutex mutex;
        std::map<std::uint64_t, std::function<void()>> callbacks;
        std::uint64_t nextCallback = 0;
    };

public:
    // Keeps a callback registered while it lives; destroying it unregisters the callback.
    class Registration {
    public:
        Registration() = default;
        Registration(Registration&& other) noexcept { *this = std::move(other); }
        Registration& operator=(Registration&& other) noexcept {
            if (this != &other) {
                reset();
                m_state = std::move(other.m_state);
                m_id = other.m_id;
            }
            return *this;
        }
        ~Registration() { reset(); }
        void reset() {
            if (auto state = m_state.lock()) {
                std::lock_guard lock(state->mutex);
                state->callbacks.erase(m_id);
            }
            m_state.reset();
        }

    private:
        friend class CancellationToken;
        std::weak_ptr<State> m_state;
        std::uint64_t m_id = 0;
    };

    CancellationToken() : m_state(std::make_shared<State>()) {}

    // Sets the flag once; the registered callbacks run on the calling thread, outside any lock.
    void cancel() const {
        if (m_state->cancelled.exchange(true)) return;
        std::map<std::uint64_t, std::function<void()>> callbacks;
        {
            std::lock_guard lock(m_state->mutex);
            callbacks.swap(m_state->callbacks);
        }
        for (auto& [id, callback] : callbacks) callback();
    }
    bool isCancelled() const { return m_state->cancelled.load(); }

    // Calls `callback` once when the token is cancelled, on the cancelling thread; at once (on this
    // thread) when it already is. The callback must not block and must not unregister itself.
    [[nodiscard]] Registration onCancel(std::function<void()> callback) const {
        Registration registration;
        {
            std::lock_guard lock(m_state->mutex);
            if (!m_state->cancelled.load()) {
                registration.m_state = m_state;
                registration.m_id = m_state->nextCallback++;
                m_state->callbacks.emplace(registration.m_id, std::move(callback));
                return registration;
            }
        }
        callback();
        return registration;
    }

    // A fresh token that nobody else holds, for callers that have nothing to cancel.
    static CancellationToken none() { return CancellationToken(); }

private:
    std::shared_ptr<State> m_state;
};

}  // namespace tavrine
