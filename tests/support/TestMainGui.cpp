#include <gtest/gtest.h>
#include <QApplication>

#include "support/EventLoop.h"
#include "support/PostedEventsAfterEachTest.h"

#include <csignal>

// The test main of widget tests: every test runs on the thread of a QApplication. Without a platform
// named in QT_QPA_PLATFORM it is the offscreen one, so that listing the tests and running them from a
// desktop session open no window; scripts/with-xvfb names xcb and its own X server. Widgets are drawn in
// the Fusion style, as in the application, whatever style the desktop would choose. As in the
// application, a write to a pipe whose reader is gone fails instead of ending the process (the capture
// worker's launcher writes to pipes).
int main(int argc, char** argv) {
    std::signal(SIGPIPE, SIG_IGN);
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) {
        qputenv("QT_QPA_PLATFORM", "offscreen");
    }
    // The overall limit of the program's waits starts with it.
    tavrine::test::patience();
    QApplication app(argc, argv);
    QApplication::setStyle(QStringLiteral("Fusion"));
    ::testing::InitGoogleTest(&argc, argv);
    tavrine::test::deliverPostedEventsAfterEachTest();
    return RUN_ALL_TESTS();
}
