// The keyboard focus of a window, offscreen: Tab in screen order whatever the order widgets were made in
// (rows, regions, widgets left out, the wrap, a start from no stop, scrolling into view), and the one
// ring that follows the focus (where it stands, what it cuts, when it hides, a popup that takes the keys,
// its colour).
#include "ReaderUI/ReaderPalette.h"
#include "ReaderWidgets/Style/ReaderFocusRing.h"
#include "ReaderWidgets/Style/ReaderTabOrder.h"
#include "ReaderWidgets/Style/ReaderTheme.h"
#include "ReaderWidgets/Style/ToQColor.h"

#include "support/EventLoop.h"

#include <gtest/gtest.h>
#include <QApplication>
#include <QImage>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPushButton>
#include <QScrollArea>
#include <QScrollBar>

#include <memory>

namespace tavrine {
namespace {
using namespace Qt::StringLiterals;
using test::processEventsUntil;

// A widget placed by hand in parent, taking Tab.
QPushButton* button(const QString& name, QWidget* parent, QRect geometry) {
    auto* made = new QPushButton(name, parent);
    made->setObjectName(name);
    made->setFocusPolicy(Qt::TabFocus);
    made->setGeometry(geometry);
    return made;
}

QStringList names(const QList<QWidget*>& widgets) {
    QStringList listed;
    for (const QWidget* widget : widgets) listed.append(widget ? widget->objectName() : u"(none)"_s);
    return listed;
}

// A window of two regions under a bar, its widgets made in an order unlike the screen's:
//   bar:   [b1]       [b2] [b3]            (b3 taller than the others, in the same row)
//   side:  [s1] / [s2]            main: [m1 (disabled)] [m2] [hidden] / [field] / a scroll area
class Shown {
public:
    Shown() {
        window.resize(600, 400);
        ReaderTheme::apply(window);
        auto* main = new QWidget(&window);
        main->setObjectName(u"main"_s);
        main->setGeometry(200, 40, 400, 360);
        scrolled = new QScrollArea(main);
        scrolled->setFocusPolicy(Qt::NoFocus);
        scrolled->setGeometry(0, 200, 400, 100);
        auto* content = new QWidget;
        content->resize(380, 400);
        deep = button(u"deep"_s, content, QRect(10, 350, 80, 30));
        scrolled->setWidget(content);
        auto* field = new QLineEdit(main);
        field->setObjectName(u"field"_s);
        field->setGeometry(0, 100, 200, 30);
        button(u"m2"_s, main, QRect(120, 0, 80, 30));
        button(u"m1"_s, main, QRect(0, 0, 80, 30))->setEnabled(false);
        button(u"hidden"_s, main, QRect(240, 0, 80, 30))->hide();
        auto* note = new QLabel(u"注"_s, main);
        note->setObjectName(u"note"_s);
        note->setGeometry(0, 60, 80, 20);
        auto* side = new QWidget(&window);
        side->setObjectName(u"side"_s);
        side->setGeometry(0, 40, 200, 360);
        button(u"s2"_s, side, QRect(10, 50, 80, 30));
        button(u"s1"_s, side, QRect(10, 10, 80, 30));
        auto* bar = new QWidget(&window);
        bar->setGeometry(0, 0, 600, 40);
        button(u"b3"_s, bar, QRect(400, 2, 60, 36));
        button(u"b2"_s, bar, QRect(300, 8, 60, 24));
        button(u"b1"_s, bar, QRect(10, 8, 60, 24));
        window.show();
        window.activateWindow();
        processEventsUntil([this] { return window.isActiveWindow(); });
    }

    QWidget* named(const QString& name) const { return window.findChild<QWidget*>(name); }

    QWidget window;
    QScrollArea* scrolled = nullptr;
    QWidget* deep = nullptr;
};

TEST(ReaderTabOrder, StopsComeRowByRowLeftToRightAndEachRegionWhole) {
    Shown shown;
    EXPECT_EQ(names(ReaderTabOrder::tabStops(shown.window)),
              (QStringList{u"b1"_s, u"b2"_s, u"b3"_s, u"s1"_s, u"s2"_s, u"m2"_s, u"field"_s, u"deep"_s}));

    // Forward and back, wrapping at both ends.
    EXPECT_EQ(ReaderTabOrder::next(shown.window, shown.named(u"b3"_s), true), shown.named(u"s1"_s));
    EXPECT_EQ(ReaderTabOrder::next(shown.window, shown.named(u"s1"_s), false), shown.named(u"b3"_s));
    EXPECT_EQ(ReaderTabOrder::next(shown.window, shown.deep, true), shown.named(u"b1"_s));
    EXPECT_EQ(ReaderTabOrder::next(shown.window, shown.named(u"b1"_s), false), shown.deep);
    // From no stop: the window (or nothing) starts at an end; any other widget from where it stands.
    EXPECT_EQ(ReaderTabOrder::next(shown.window, nullptr, true), shown.named(u"b1"_s));
    EXPECT_EQ(ReaderTabOrder::next(shown.window, &shown.window, false), shown.deep);
    EXPECT_EQ(ReaderTabOrder::next(shown.window, shown.named(u"note"_s), true), shown.named(u"field"_s));
    EXPECT_EQ(ReaderTabOrder::next(shown.window, shown.named(u"note"_s), false), shown.named(u"m2"_s));
    EXPECT_EQ(ReaderTabOrder::next(shown.window, shown.named(u"side"_s), true), shown.named(u"s1"_s));

    // A stop enabled or shown later takes its place.
    shown.named(u"m1"_s)->setEnabled(true);
    shown.named(u"hidden"_s)->show();
    EXPECT_EQ(ReaderTabOrder::next(shown.window, shown.named(u"s2"_s), true), shown.named(u"m1"_s));
    EXPECT_EQ(ReaderTabOrder::next(shown.window, shown.named(u"m2"_s), true), shown.named(u"hidden"_s));

    // A window without stops has no next one.
    QWidget empty;
    new QLabel(u"空"_s, &empty);
    EXPECT_EQ(ReaderTabOrder::next(empty, nullptr, true), nullptr);
}

TEST(ReaderTabOrder, FocusNextMovesTheFocusAsTabDoesAndScrollsTheStopIntoView) {
    Shown shown;
    shown.named(u"field"_s)->setFocus();
    ASSERT_EQ(shown.scrolled->verticalScrollBar()->value(), 0);
    ASSERT_TRUE(ReaderTabOrder::focusNext(shown.window, true));
    EXPECT_TRUE(shown.deep->hasFocus());
    // The stop stands whole in the scroll area's viewport.
    const QRect inViewport(shown.deep->mapTo(shown.scrolled->viewport(), QPoint(0, 0)), shown.deep->size());
    EXPECT_TRUE(shown.scrolled->viewport()->rect().contains(inViewport)) << inViewport.y();
    ASSERT_TRUE(ReaderTabOrder::focusNext(shown.window, false));
    EXPECT_TRUE(shown.named(u"field"_s)->hasFocus());
}

// The window's image; the ring is a child of the window, so it is in it.
QImage image(QWidget& window) {
    return window.grab().toImage();
}

TEST(ReaderFocusRing, FollowsTheFocusAndItsWidgetCutWhereTheWidgetIsCut) {
    Shown shown;
    auto* ring = new ReaderFocusRing(shown.window);
    EXPECT_FALSE(ring->isShown());

    QWidget* b2 = shown.named(u"b2"_s);
    b2->setFocus(Qt::TabFocusReason);
    ASSERT_TRUE(processEventsUntil([&] { return ring->isShown(); }));
    EXPECT_EQ(ring->target(), b2);
    EXPECT_EQ(ring->geometry(), QRect(b2->mapTo(&shown.window, QPoint(0, 0)), b2->size()));
    // 2 pixels in the focus colour just inside the edge, the middle of the button left alone.
    const QImage shot = image(shown.window);
    const QRect at = ring->geometry();
    const QColor focusColour = toQColor(ReaderPalette::focus);
    EXPECT_EQ(shot.pixelColor(at.left() + 1, at.center().y()), focusColour);
    EXPECT_EQ(shot.pixelColor(at.center().x(), at.bottom() - 1), focusColour);
    EXPECT_NE(shot.pixelColor(at.left() + 4, at.center().y()), focusColour);

    // The widget moves: the ring goes with it.
    b2->move(320, 4);
    EXPECT_EQ(ring->geometry().topLeft(), b2->mapTo(&shown.window, QPoint(0, 0)));

    // In a scroll area scrolled half past the widget: only what shows is ringed.
    shown.deep->setFocus(Qt::TabFocusReason);
    shown.scrolled->verticalScrollBar()->setValue(shown.deep->y() + 15 - shown.scrolled->viewport()->height());
    const QRect viewport(shown.scrolled->viewport()->mapTo(&shown.window, QPoint(0, 0)),
                         shown.scrolled->viewport()->size());
    ASSERT_TRUE(ring->isShown());
    EXPECT_EQ(ring->geometry().bottom(), viewport.bottom());
    EXPECT_EQ(ring->geometry().height(), 15);

    // Its widget hidden, the focus moves on and the ring with it; none for a widget that rings itself
    // (or lies inside one).
    shown.deep->hide();
    ASSERT_NE(QApplication::focusWidget(), shown.deep);
    EXPECT_EQ(ring->target(), QApplication::focusWidget());
    QWidget* s1 = shown.named(u"s1"_s);
    ReaderFocusRing::setDrawsOwnRing(*shown.named(u"side"_s));
    s1->setFocus(Qt::TabFocusReason);
    ASSERT_TRUE(processEventsUntil([&] { return s1->hasFocus(); }));
    EXPECT_EQ(ring->target(), s1);
    EXPECT_FALSE(ring->isShown());

    // Gone while the window is not active, back when it is.
    shown.named(u"field"_s)->setFocus(Qt::TabFocusReason);
    ASSERT_TRUE(ring->isShown());
    QWidget other;
    other.show();
    other.activateWindow();
    ASSERT_TRUE(processEventsUntil([&] { return other.isActiveWindow(); }));
    EXPECT_FALSE(ring->isShown());
    shown.window.activateWindow();
    ASSERT_TRUE(processEventsUntil([&] { return shown.window.isActiveWindow(); }));
    EXPECT_TRUE(ring->isShown());
    EXPECT_EQ(ring->target(), shown.named(u"field"_s));

    // A popup over the window takes the keys: its focus is the one shown; a menu, taking none, leaves it.
    QWidget popup(&shown.window, Qt::Popup);
    auto* list = new QLineEdit(&popup);
    popup.show();
    list->setFocus(Qt::PopupFocusReason);
    ASSERT_TRUE(processEventsUntil([&] { return list->hasFocus(); }));
    EXPECT_FALSE(ring->isShown());
    popup.hide();
    ASSERT_TRUE(processEventsUntil([&] { return shown.named(u"field"_s)->hasFocus(); }));
    EXPECT_TRUE(ring->isShown());
    QMenu menu(&shown.window);
    menu.addAction(u"文書の詳細…"_s);
    menu.popup(shown.window.mapToGlobal(QPoint(10, 10)));
    ASSERT_TRUE(processEventsUntil([&] { return QApplication::activePopupWidget() == &menu; }));
    EXPECT_TRUE(ring->isShown());
    menu.hide();
}

}  // namespace
}  // namespace tavrine
