#pragma once

#include <QFuture>
#include <QFutureWatcher>
#include <QObject>

#include <coroutine>
#include <utility>

namespace tavrine {

// Awaits the result of work on a thread pool, resuming the awaiting coroutine on a later turn of its
// thread's event loop, also when the work has already finished: whoever starts a pooled task from a
// main-thread call never sees its result inside that call (QCoro would resume at once). Await it named:
//     QueuedFuture<Result> scan(QtConcurrent::run(...));
//     Result result = co_await scan;
template <typename T>
class QueuedFuture {
public:
    explicit QueuedFuture(QFuture<T> future) : m_future(std::move(future)) {}

    bool await_ready() const noexcept { return false; }
    void await_suspend(std::coroutine_handle<> awaiting) {
        // The watcher reports even a finished future through a posted event, never from setFuture().
        auto* watcher = new QFutureWatcher<T>();
        QObject::connect(watcher, &QFutureWatcherBase::finished, watcher, [watcher, awaiting] {
            watcher->deleteLater();
            awaiting.resume();
        });
        watcher->setFuture(m_future);
    }
    T await_resume() { return m_future.result(); }

private:
    QFuture<T> m_future;
};

}  // namespace tavrine
