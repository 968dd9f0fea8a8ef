#pragma once

#include "ReaderCore/CancellationToken.h"
#include "ReaderCore/OwnerThread.h"

#include <QCoro/QCoroTask>

#include <concepts>
#include <coroutine>
#include <memory>
#include <utility>
#include <vector>

namespace tavrine {

// Owns one running main-thread coroutine together with its cancellation token. Starting a new task
// cancels the one before (which still runs to its next guard check and ends). cancel() only sets the
// token: the coroutine checks it after each co_await. finished() lets another coroutine wait for the end
// of the task that is current when it is called. A coroutine may cancel or replace its own handle from
// inside. Destroying the handle cancels its task. The handle belongs to the thread that first uses it
// (checked in debug builds).
class TaskHandle {
    struct Run {
        CancellationToken token;
        bool running = true;
        std::vector<std::coroutine_handle<>> waiters;
    };

public:
    TaskHandle() = default;
    TaskHandle(const TaskHandle&) = delete;
    TaskHandle& operator=(const TaskHandle&) = delete;
    ~TaskHandle() { cancel(); }

    // Starts `makeTask(token)` and makes it the current task. The factory is called at once; the task it
    // returns runs eagerly until its first suspension.
    template <typename Factory>
    requires std::invocable<Factory, CancellationToken>
    void start(Factory&& makeTask) {
        m_thread.check("TaskHandle::start");
        cancel();
        auto run = std::make_shared<Run>();
        m_run = run;
        drive(run, std::forward<Factory>(makeTask)(run->token));
    }

    void cancel() {
        m_thread.check("TaskHandle::cancel");
        if (m_run) m_run->token.cancel();
    }
    // Forgets the current task without cancelling it.
    void release() {
        m_thread.check("TaskHandle::release");
        m_run.reset();
    }

    bool isRunning() const {
        m_thread.check("TaskHandle::isRunning");
        return m_run && m_run->running;
    }
    CancellationToken token() const {
        m_thread.check("TaskHandle::token");
        return m_run ? m_run->token : CancellationToken();
    }

    // Completes when the task that is current now has ended; at once when there is none.
    QCoro::Task<void> finished() const {
        m_thread.check("TaskHandle::finished");
        return waitFor(m_run);
    }

private:
    struct EndAwaiter {
        std::shared_ptr<Run> run;
        bool await_ready() const noexcept { return !run || !run->running; }
        void await_suspend(std::coroutine_handle<> handle) { run->waiters.push_back(handle); }
        void await_resume() const noexcept {}
    };

    static QCoro::Task<void> waitFor(std::shared_ptr<Run> run) {
        EndAwaiter awaiter{std::move(run)};  // named: see the note on awaiter temporaries in CONTRIBUTING.md
        co_await awaiter;
    }

    static QCoro::Task<void> drive(std::shared_ptr<Run> run, QCoro::Task<void> task) {
        co_await task;
        run->running = false;
        auto waiters = std::exchange(run->waiters, {});
        for (auto waiter : waiters) waiter.resume();
    }

    std::shared_ptr<Run> m_run;
    OwnerThread m_thread;
};

}  // namespace tavrine
