#include "ReaderCore/CancellationToken.h"
#include "ReaderCore/SerialExecutor.h"

#include "support/RunTask.h"

#include <gtest/gtest.h>
#include <QCoro/QCoroFuture>
#include <QThread>

#include <vector>

namespace tavrine {
namespace {

QCoro::Task<std::vector<int>> submitInOrder(SerialExecutor* executor, QThread* caller) {
    std::vector<QFuture<int>> futures;
    for (int i = 0; i < 20; ++i) {
        futures.push_back(executor->run([i] {
            QThread::usleep(static_cast<unsigned long>((20 - i) * 50));  // later jobs are shorter
            return i;
        }));
    }
    std::vector<int> results;
    for (auto& future : futures) {
        results.push_back(co_await future);
        EXPECT_EQ(QThread::currentThread(), caller);  // resumed on the awaiting thread
    }
    co_return results;
}

TEST(SerialExecutor, RunsJobsOneAtATimeInSubmissionOrderOffTheCallerThread) {
    SerialExecutor executor;
    std::vector<QThread*> threads;
    std::vector<int> order;
    for (int i = 0; i < 10; ++i) {
        executor.run([&, i] {
            order.push_back(i);
            threads.push_back(QThread::currentThread());
        });
    }
    executor.waitForIdle();
    EXPECT_EQ(order, (std::vector<int>{0, 1, 2, 3, 4, 5, 6, 7, 8, 9}));
    for (QThread* thread : threads) EXPECT_EQ(thread, threads.front());
    EXPECT_NE(threads.front(), QThread::currentThread());

    const auto results = test::runTask(submitInOrder(&executor, QThread::currentThread()));
    ASSERT_TRUE(results.has_value());
    EXPECT_EQ(results->size(), 20u);
    for (int i = 0; i < 20; ++i) EXPECT_EQ((*results)[static_cast<size_t>(i)], i);
}

TEST(SerialExecutor, DestructionFinishesSubmittedJobs) {
    int finished = 0;
    {
        SerialExecutor executor;
        for (int i = 0; i < 5; ++i)
            executor.run([&finished] {
                QThread::msleep(2);
                ++finished;
            });
    }
    EXPECT_EQ(finished, 5);
}

TEST(CancellationToken, CopiesShareOneFlag) {
    CancellationToken token;
    const CancellationToken copy = token;
    EXPECT_FALSE(copy.isCancelled());
    token.cancel();
    EXPECT_TRUE(copy.isCancelled());
    EXPECT_FALSE(CancellationToken::none().isCancelled());
}

}  // namespace
}  // namespace tavrine
