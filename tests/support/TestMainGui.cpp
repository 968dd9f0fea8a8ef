#include <gtest/gtest.h>
#include <QApplication>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include "support/EventLoop.h"
#include "support/PostedEventsAfterEachTest.h"

#include <csignal>
#include <optional>

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
    // Without a session's runtime folder (a CI machine, a root shell) Qt would make one of its own in the
    // temporary folder and leave it there: the program has one, removed when it ends.
    std::optional<QTemporaryDir> runtime;
    if (qEnvironmentVariableIsEmpty("XDG_RUNTIME_DIR")) {
        runtime.emplace(QDir::tempPath() + QStringLiteral("/tavrine-runtime-XXXXXX"));
        if (runtime->isValid()) qputenv("XDG_RUNTIME_DIR", QFile::encodeName(runtime->path()));
    }
    // The overall limit of the program's waits starts with it.
    tavrine::test::patience();
    QApplication app(argc, argv);
    QApplication::setStyle(QStringLiteral("Fusion"));
    ::testing::InitGoogleTest(&argc, argv);
    tavrine::test::deliverPostedEventsAfterEachTest();
    return RUN_ALL_TESTS();
}
