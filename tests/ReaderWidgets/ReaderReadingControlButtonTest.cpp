#include "ReaderUI/ReaderPalette.h"
#include "ReaderWidgets/Style/ReaderReadingControlButton.h"
#include "ReaderWidgets/Style/ReaderTextStyle.h"
#include "ReaderWidgets/Style/ReaderTheme.h"

#include "support/GuiTesting.h"
#include "support/QtPrinters.h"

#include <gtest/gtest.h>
#include <QAccessible>
#include <QApplication>
#include <QHBoxLayout>
#include <QHoverEvent>
#include <QImage>
#include <QMouseEvent>
#include <QPainter>

namespace tavrine {
namespace {
using namespace Qt::StringLiterals;
using Button = ReaderReadingControlButton;
using State = Button::State;
using Appearance = Button::Appearance;
using test::processEventsUntil;
using test::testArtifactPath;

TEST(ReaderReadingControlButtonAppearance, PressedBeatsHoverAndADisabledButtonShowsNothingButItsDimmedLabel) {
    const ReaderColor& gold = ReaderPalette::gold;
    const Appearance disabled{ReaderPalette::secondaryText, 0, false, 0.45};
    for (const bool pressed : {false, true}) {
        for (const bool hovered : {false, true}) {
            for (const bool focused : {false, true}) {
                SCOPED_TRACE(testing::Message()
                             << "pressed " << pressed << " hovered " << hovered << " focused " << focused);
                EXPECT_EQ(Button::appearance(gold, {false, pressed, hovered, focused}), disabled);
                const Appearance enabled = Button::appearance(gold, {true, pressed, hovered, focused});
                EXPECT_EQ(enabled.label, gold);
                EXPECT_EQ(enabled.fillOpacity, pressed ? 0.12 : hovered ? 0.06 : 0.0);
                EXPECT_EQ(enabled.showsFocusRing, focused);
                EXPECT_EQ(enabled.opacity, 1.0);
            }
        }
    }
}

// A button in a themed window that can take the keyboard focus, shown and active.
class ButtonWindow {
public:
    explicit ButtonWindow(const ReaderColor& accent) : button(new Button(accent, &window)) {
        ReaderTheme::apply(window);
        auto* layout = new QHBoxLayout(&window);
        layout->setContentsMargins(10, 10, 10, 10);
        layout->addWidget(button);
        button->setFont(readerFont(ReaderTextStyle::title3));
        button->setText(u"再生"_s);
        button->setSymbol(ReaderSymbol::playFill);
        window.show();
        window.activateWindow();
        processEventsUntil([this] { return window.isActiveWindow(); });
    }

    void hover(QPointF position) {
        QHoverEvent event(QEvent::HoverMove, position, button->mapToGlobal(position), position);
        QApplication::sendEvent(button, &event);
    }
    void leave() {
        QHoverEvent event(QEvent::HoverLeave, QPointF(-1, -1), QPointF(-1, -1), QPointF(-1, -1));
        QApplication::sendEvent(button, &event);
    }
    // Press and release at position; answers whether the button took it as a click.
    bool click(QPoint position) {
        bool clicked = false;
        const auto connection = QObject::connect(button, &QAbstractButton::clicked, [&] { clicked = true; });
        const QPointF global = button->mapToGlobal(QPointF(position));
        QMouseEvent press(QEvent::MouseButtonPress, QPointF(position), global, Qt::LeftButton, Qt::LeftButton,
                          Qt::NoModifier);
        QMouseEvent release(QEvent::MouseButtonRelease, QPointF(position), global, Qt::LeftButton, Qt::NoButton,
                            Qt::NoModifier);
        QApplication::sendEvent(button, &press);
        QApplication::sendEvent(button, &release);
        QObject::disconnect(connection);
        return clicked;
    }
    QImage grabButton() const { return button->grab().toImage(); }

    QWidget window;
    Button* button;
};

QRgb blended(const ReaderColor& under, const ReaderColor& over, double opacity) {
    const auto mix = [&](int a, int b) { return static_cast<int>(std::lround(a * (1 - opacity) + b * opacity)); };
    return qRgb(mix(under.red, over.red), mix(under.green, over.green), mix(under.blue, over.blue));
}

void expectNear(QRgb actual, QRgb expected, int tolerance = 2) {
    EXPECT_NEAR(qRed(actual), qRed(expected), tolerance);
    EXPECT_NEAR(qGreen(actual), qGreen(expected), tolerance);
    EXPECT_NEAR(qBlue(actual), qBlue(expected), tolerance);
}

// The pixel of the label farthest from the background: the core of the symbol.
QRgb labelInk(const QImage& image) {
    const QRect label(Button::kHorizontalPadding, Button::kVerticalPadding,
                      image.width() - 2 * Button::kHorizontalPadding, image.height() - 2 * Button::kVerticalPadding);
    QRgb ink = image.pixel(label.center());
    for (int y = label.top(); y <= label.bottom(); ++y) {
        for (int x = label.left(); x <= label.right(); ++x) {
            if (qGray(image.pixel(x, y)) > qGray(ink)) ink = image.pixel(x, y);
        }
    }
    return ink;
}

TEST(ReaderReadingControlButton, DrawsThePlateOfEveryStateWithoutChangingItsSize) {
    ButtonWindow shown(ReaderPalette::gold);
    Button& button = *shown.button;
    const QSize size = button.size();
    // A point of the plate beside the label, inside the ring's two pixels.
    const QPoint plate(4, size.height() / 2);
    const QPoint ring(0, size.height() / 2);
    const ReaderColor& background = ReaderPalette::background;
    const ReaderColor& gold = ReaderPalette::gold;

    struct Case {
        const char* name;
        bool enabled, pressed, hovered, focused;
        QRgb plate;
        QRgb ring;
        QRgb label;
    };
    const QRgb hoverFill = blended(background, gold, 0.06);
    const QRgb pressFill = blended(background, gold, 0.12);
    const QRgb plain = blended(background, background, 0);
    const QRgb goldInk = blended(background, gold, 1);
    const QRgb dimmedInk = blended(background, ReaderPalette::secondaryText, 0.45);
    const Case cases[] = {
        {"normal", true, false, false, false, plain, plain, goldInk},
        {"hovered", true, false, true, false, hoverFill, hoverFill, goldInk},
        {"pressed", true, true, true, false, pressFill, pressFill, goldInk},
        {"focused", true, false, false, true, plain, goldInk, goldInk},
        {"focused-pressed", true, true, true, true, pressFill, goldInk, goldInk},
        {"disabled", false, false, false, false, plain, plain, dimmedInk},
        {"disabled-pressed-hovered", false, true, true, false, plain, plain, dimmedInk},
    };
    QList<QImage> grabs;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        button.setEnabled(c.enabled);
        button.setDown(c.pressed);
        c.hovered ? shown.hover(QPointF(size.width() / 2.0, size.height() / 2.0)) : shown.leave();
        if (c.focused) {
            button.setFocus();
        } else {
            button.clearFocus();
        }
        EXPECT_EQ(button.state().hovered, c.hovered);
        EXPECT_EQ(button.state().focused, c.focused);
        const QImage image = shown.grabButton();
        image.save(testArtifactPath(u"reading-control-button-%1.png"_s.arg(QLatin1StringView(c.name))));
        grabs.append(image);
        EXPECT_EQ(button.size(), size);
        expectNear(image.pixel(plate), c.plate);
        expectNear(image.pixel(ring), c.ring, 3);
        expectNear(labelInk(image), c.label, 3);
        button.setDown(false);
    }
    // All states side by side, enlarged, for a person to look at.
    QImage states(grabs.size() * (size.width() + 8), size.height(), QImage::Format_RGB32);
    states.fill(Qt::white);
    QPainter painter(&states);
    for (qsizetype i = 0; i < grabs.size(); ++i) painter.drawImage(int(i) * (size.width() + 8), 0, grabs[i]);
    painter.end();
    states.scaled(states.size() * 4).save(testArtifactPath(u"reading-control-button-states.png"_s));
}

TEST(ReaderReadingControlButton, ThePlateIsTheHitAreaTransparentPartsIncludedRoundCornersExcluded) {
    ButtonWindow shown(ReaderPalette::control);
    Button& button = *shown.button;
    const int middle = button.height() / 2;
    EXPECT_TRUE(shown.click({3, middle}));  // beside the label: nothing drawn there, yet part of the plate
    EXPECT_TRUE(shown.click({button.width() - 3, button.height() - 3}));
    EXPECT_FALSE(shown.click({0, 0}));  // outside the rounded corner
    EXPECT_FALSE(shown.click({button.width() - 1, button.height() - 1}));

    shown.hover({0.5, 0.5});
    EXPECT_FALSE(button.state().hovered);
    shown.hover({3, double(middle)});
    EXPECT_TRUE(button.state().hovered);
    shown.leave();
    EXPECT_FALSE(button.state().hovered);

    button.setEnabled(false);
    EXPECT_FALSE(shown.click({button.width() / 2, middle}));
}

TEST(ReaderReadingControlButton, TheLabelKeepsItsPaddingAndAnIconOnlyButtonIsNamedByItsTitle) {
    ButtonWindow shown(ReaderPalette::gold);
    Button& button = *shown.button;
    button.setLabelStyle(Button::LabelStyle::iconOnly);
    button.setLabelFrame(QSize(44, 44));
    EXPECT_EQ(button.sizeHint(), QSize(44 + 24, 44 + 12));
    button.setLabelFrame(QSize(14, 12));
    EXPECT_EQ(button.sizeHint(), QSize(14 + 24, 12 + 12));

    QAccessibleInterface* accessible = QAccessible::queryAccessibleInterface(&button);
    ASSERT_NE(accessible, nullptr);
    EXPECT_EQ(accessible->role(), QAccessible::Button);
    EXPECT_EQ(accessible->text(QAccessible::Name), u"再生"_s);
}

}  // namespace
}  // namespace tavrine
