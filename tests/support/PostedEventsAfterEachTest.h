#pragma once
#include <gtest/gtest.h>
#include <QCoreApplication>

namespace tavrine::test {

// Delivers what is still posted once a test's objects are gone: a coroutine that waited on a worker
// thread or a queued wake-up when its owner went (a store listener, for one) resumes then, sees its
// owner gone and ends, instead of staying suspended until the application object discards the event
// and the leak checker reports its frame.
class PostedEventsAfterEachTest final : public ::testing::EmptyTestEventListener {
public:
    void OnTestEnd(const ::testing::TestInfo&) override { QCoreApplication::sendPostedEvents(); }
};

inline void deliverPostedEventsAfterEachTest() {
    ::testing::UnitTest::GetInstance()->listeners().Append(new PostedEventsAfterEachTest);
}

}  // namespace tavrine::test
