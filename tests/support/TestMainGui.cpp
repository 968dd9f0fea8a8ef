#include <gtest/gtest.h>
#include <QApplication>

// The test main of widget tests: every test runs on the thread of a QApplication. Without a platform
// named in QT_QPA_PLATFORM it is the offscreen one, so that listing the tests and running them from a
// desktop session open no window; scripts/with-xvfb names xcb and its own X server.
int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) {
        qputenv("QT_QPA_PLATFORM", "offscreen");
    }
    QApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
