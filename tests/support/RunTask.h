#pragma once

#include "support/EventLoop.h"

#include <gtest/gtest.h>
#include <QCoro/QCoroTask>
#include <QEventLoop>
#include <QTimer>

#include <chrono>
#include <memory>
#include <optional>
#include <type_traits>

namespace tavrine::test {

namespace detail {
template <typename T>
struct TaskOutcome {
    std::conditional_t<std::is_void_v<T>, bool, std::optional<T>> value{};
    bool finished = false;
    QEventLoop* loop = nullptr;
};

template <typename T>
QCoro::Task<void> collect(QCoro::Task<T> task, std::shared_ptr<TaskOutcome<T>> outcome) {
    if constexpr (std::is_void_v<T>) {
        co_await task;
        outcome->value = true;
    } else {
        outcome->value = co_await task;
    }
    outcome->finished = true;
    if (outcome->loop) outcome->loop->quit();
}
}  // namespace detail

// Runs the event loop until the task finishes and returns its value. A task that is still running at
// the deadline (by default, the rest of the overall limit: a task ends as late as a loaded machine makes it)
// fails the test and gives no value, instead of hanging the suite.
template <typename T>
auto runTask(QCoro::Task<T> task, std::chrono::milliseconds deadline = patience()) {
    auto outcome = std::make_shared<detail::TaskOutcome<T>>();
    auto collector = detail::collect<T>(std::move(task), outcome);
    if (!outcome->finished) {
        QEventLoop loop;
        outcome->loop = &loop;
        QTimer::singleShot(deadline, &loop, &QEventLoop::quit);
        loop.exec();
        outcome->loop = nullptr;
    }
    if (!outcome->finished) ADD_FAILURE() << "the task did not finish within " << deadline.count() << " ms";
    if constexpr (std::is_void_v<T>) {
        return outcome->finished;
    } else {
        return std::move(outcome->value);
    }
}

}  // namespace tavrine::test
