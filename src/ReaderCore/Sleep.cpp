#include "ReaderCore/Sleep.h"

#include <QObject>

#include <coroutine>
#include <mutex>

namespace tavrine {
namespace {

// What one wait needs while suspended. Every wake-up is posted to a context object on the awaiting
// thread, so the coroutine never resumes inside the timer's signal or inside cancel().
struct SleepState {
    std::mutex mutex;
    QObject* context = nullptr;
    std::coroutine_handle<> handle;
    bool posted = false;
    bool reached = false;

    std::unique_ptr<QObject> ownedContext;
    std::unique_ptr<Clock::Alarm> alarm;
    CancellationToken::Registration registration;

    void post(bool deadlineReached) {
        std::lock_guard lock(mutex);
        if (posted || !context) return;
        posted = true;
        reached = deadlineReached;
        QMetaObject::invokeMethod(
            context, [resume = handle] { resume.resume(); }, Qt::QueuedConnection);
    }

    ~SleepState() {
        registration.reset();
        alarm.reset();
        std::lock_guard lock(mutex);
        context = nullptr;  // pending wake-ups die with ownedContext
    }
};

struct SleepAwaiter {
    const Clock* clock;
    Clock::MonotonicTime deadline;
    CancellationToken token;
    std::shared_ptr<SleepState> state = std::make_shared<SleepState>();

    bool await_ready() const noexcept { return false; }

    void await_suspend(std::coroutine_handle<> handle) {
        state->ownedContext = std::make_unique<QObject>();
        state->context = state->ownedContext.get();
        state->handle = handle;
        std::weak_ptr<SleepState> weak = state;
        state->alarm = clock->schedule(deadline, [weak] {
            if (auto s = weak.lock()) s->post(true);
        });
        state->registration = token.onCancel([weak] {
            if (auto s = weak.lock()) s->post(false);
        });
    }

    bool await_resume() {
        state->registration.reset();
        state->alarm.reset();
        return state->reached;
    }
};

}  // namespace

QCoro::Task<bool> sleepUntil(const Clock& clock, Clock::MonotonicTime deadline, CancellationToken token) {
    if (token.isCancelled()) co_return false;
    // A named awaiter: GCC 12 mishandles the lifetime of temporaries inside a co_await operand.
    SleepAwaiter awaiter{&clock, deadline, token};
    const bool reached = co_await awaiter;
    co_return reached;
}

QCoro::Task<bool> sleepFor(const Clock& clock, std::chrono::duration<double> duration, CancellationToken token) {
    const auto deadline =
        clock.monotonicNow() + std::chrono::duration_cast<std::chrono::steady_clock::duration>(duration);
    return sleepUntil(clock, deadline, std::move(token));
}

}  // namespace tavrine
