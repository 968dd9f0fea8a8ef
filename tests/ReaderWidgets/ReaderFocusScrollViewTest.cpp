#include "ReaderUI/ReaderPalette.h"
#include "ReaderWidgets/Style/ReaderFocusScrollView.h"
#include "ReaderWidgets/Style/ReaderTheme.h"
#include "ReaderWidgets/Style/ToQColor.h"

#include "support/GuiTesting.h"

#include <gtest/gtest.h>
#include <QImage>
#include <QLabel>
#include <QVBoxLayout>

namespace tavrine {
namespace {
using namespace Qt::StringLiterals;
using test::processEventsUntil;

bool isRingColour(QRgb pixel) {
    const QColor ring = toQColor(ReaderPalette::focus);
    return std::abs(qRed(pixel) - ring.red()) <= 8 && std::abs(qGreen(pixel) - ring.green()) <= 8 &&
           std::abs(qBlue(pixel) - ring.blue()) <= 8;
}

// The content says it is focused, but the ring shows only while it still holds the window's keyboard
// focus: focus that moved on while the window was inactive takes the ring with it.
TEST(ReaderFocusScrollView, TheRingShowsOnlyWhileTheContentIsFocusedAndTheWindowIsActive) {
    QWidget window;
    ReaderTheme::apply(window);
    auto* layout = new QVBoxLayout(&window);
    auto* view = new ReaderFocusScrollView;
    auto* content = new QLabel(u"文書の一覧"_s);
    content->setMinimumHeight(600);
    content->setFocusPolicy(Qt::StrongFocus);
    view->setWidget(content);
    view->setWidgetResizable(true);
    layout->addWidget(view);
    auto* elsewhere = new QLabel(u"表示"_s);
    elsewhere->setFocusPolicy(Qt::StrongFocus);
    layout->addWidget(elsewhere);
    window.resize(240, 200);
    window.show();
    window.activateWindow();
    ASSERT_TRUE(processEventsUntil([&] { return window.isActiveWindow(); }));

    // Over the edge of the view, the vertical scroll bar included; not inside.
    const auto ringDrawn = [&] {
        const QImage image = view->grab().toImage();
        const int middle = image.height() / 2;
        return isRingColour(image.pixel(0, middle)) && isRingColour(image.pixel(image.width() - 1, middle)) &&
               isRingColour(image.pixel(image.width() / 2, 0)) && !isRingColour(image.pixel(image.width() / 2, middle));
    };
    EXPECT_FALSE(view->showsFocusRing());
    EXPECT_FALSE(ringDrawn());

    elsewhere->setFocus(Qt::OtherFocusReason);
    view->setContentIsFocused(true);
    EXPECT_FALSE(view->showsFocusRing()) << "said, but not holding the focus";
    content->setFocus(Qt::TabFocusReason);
    view->setContentIsFocused(true);
    EXPECT_TRUE(view->showsFocusRing());
    EXPECT_TRUE(ringDrawn());
    view->grab().save(test::testArtifactPath(u"focus-scroll-view-focused.png"_s));

    // Another window comes in front: the ring goes, and comes back with the window.
    QWidget other;
    other.resize(100, 100);
    other.show();
    other.activateWindow();
    ASSERT_TRUE(processEventsUntil([&] { return other.isActiveWindow(); }));
    EXPECT_FALSE(view->showsFocusRing());
    EXPECT_FALSE(ringDrawn());
    window.activateWindow();
    ASSERT_TRUE(processEventsUntil([&] { return window.isActiveWindow(); }));
    EXPECT_TRUE(ringDrawn());

    view->setContentIsFocused(false);
    EXPECT_FALSE(ringDrawn());

    // The focus given to another widget while the window is behind another: no ring when it comes back.
    content->setFocus(Qt::TabFocusReason);
    view->setContentIsFocused(true);
    ASSERT_TRUE(ringDrawn());
    other.activateWindow();
    ASSERT_TRUE(processEventsUntil([&] { return other.isActiveWindow(); }));
    elsewhere->setFocus(Qt::OtherFocusReason);
    window.activateWindow();
    ASSERT_TRUE(processEventsUntil([&] { return window.isActiveWindow() && elsewhere->hasFocus(); }));
    EXPECT_FALSE(view->showsFocusRing());
    EXPECT_FALSE(view->contentIsFocused());
    EXPECT_FALSE(ringDrawn());
}

}  // namespace
}  // namespace tavrine
