#include <gtest/gtest.h>
#include <QApplication>

// The test main of widget tests: every test runs on the thread of a QApplication. Without a platform
// named in QT_QPA_PLATFORM it is the offscreen one, so that listing the tests and running them from a
// desktop session open no window; scripts/with-xvfb names xcb and its own X server. Widgets are drawn in
// the Fusion style, as in the application, whatever style the desktop would choose.
int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) {
        qputenv("QT_QPA_PLATFORM", "offscreen");
    }
    QApplication app(argc, argv);
    QApplication::setStyle(QStringLiteral("Fusion"));
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
