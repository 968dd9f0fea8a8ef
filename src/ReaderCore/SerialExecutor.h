#pragma once

#include <QFuture>
#include <QThreadPool>
#include <QtConcurrent/QtConcurrentRun>

#include <type_traits>
#include <utility>

namespace tavrine {

// One worker thread that runs jobs one at a time, in the order they were submitted. An actor (an object
// whose state only its own thread touches) owns one and runs every operation through it:
//     const Result r = co_await m_executor.run([state = m_state, input] { return work(state, input); });
// QCoro resumes the awaiting coroutine on its own thread once the job has finished. Jobs take their inputs
// by value and return values; nothing is shared with the caller. Destroying the executor first finishes
// every job already submitted.
class SerialExecutor {
public:
    SerialExecutor() {
        m_pool.setMaxThreadCount(1);
        m_pool.setExpiryTimeout(-1);
    }
    ~SerialExecutor() { m_pool.waitForDone(); }
    SerialExecutor(const SerialExecutor&) = delete;
    SerialExecutor& operator=(const SerialExecutor&) = delete;

    template <typename Function>
    auto run(Function&& function) -> QFuture<std::invoke_result_t<std::decay_t<Function>>> {
        return QtConcurrent::run(&m_pool, std::forward<Function>(function));
    }

    // Blocks until every submitted job has finished; for shutdown and tests.
    void waitForIdle() { m_pool.waitForDone(); }

private:
    QThreadPool m_pool;
};

}  // namespace tavrine
