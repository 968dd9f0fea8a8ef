// The reader window's appearances on a real X server with a window manager: minimising is not going away.
#include "PelmoraMac/Window/ReaderWindow.h"

#include "support/EventLoop.h"
#include "support/GuiTesting.h"

#include <gtest/gtest.h>
#include <QWindow>

namespace tavrine {
namespace {
using test::processEventsUntil;

TEST(ReaderWindowX11, MinimisingAndRestoringAreNeitherAnAppearanceNorADisappearance) {
    ReaderWindow window;
    int appearances = 0;
    int disappearances = 0;
    QObject::connect(&window, &ReaderWindow::appeared, [&] { ++appearances; });
    QObject::connect(&window, &ReaderWindow::disappeared, [&] { ++disappearances; });

    window.show();
    ASSERT_TRUE(test::effectWithin([&] { return window.windowHandle() && window.windowHandle()->isExposed(); }));
    EXPECT_EQ(appearances, 1);

    window.showMinimized();
    ASSERT_TRUE(test::effectWithin([&] { return window.windowHandle() && !window.windowHandle()->isExposed(); }));
    test::settlePool();
    window.showNormal();
    ASSERT_TRUE(test::effectWithin([&] { return window.windowHandle()->isExposed(); }));
    test::settlePool();
    EXPECT_EQ(appearances, 1);
    EXPECT_EQ(disappearances, 0);

    window.close();
    EXPECT_EQ(disappearances, 1);
}

}  // namespace
}  // namespace tavrine
