#include <gtest/gtest.h>
#include <QCoreApplication>

#include "support/EventLoop.h"
#include "support/PostedEventsAfterEachTest.h"

// Every test runs on the thread of a QCoreApplication, so event loops, timers and queued results work
// as they do in the application.
int main(int argc, char** argv) {
    // The overall limit of the program's waits starts with it.
    tavrine::test::patience();
    QCoreApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    tavrine::test::deliverPostedEventsAfterEachTest();
    return RUN_ALL_TESTS();
}
