#pragma once

#include "ReaderUI/ReaderColor.h"
#include "ReaderWidgets/Style/ReaderSymbol.h"

#include <QAbstractButton>
#include <QPainterPath>
#include <QSize>
#include <QString>

namespace tavrine {

// A pane's show-or-hide switch in the toolbar: a small square icon button that says "on" by its colour
// alone (the symbol in the text colour when on, the secondary colour when off). A faint fill of the text
// colour shows hover and a stronger one the press, only while enabled; a 2-pixel ring in the text colour
// shows the keyboard focus; disabled, the whole button is drawn at 0.45. Assistive technology reads it as a
// check box with the button's text as its name.
//
// It is checkable, but a click only asks: clicked() tells the window, which changes the preference and
// sets the new state with setChecked. A click leaves the keyboard focus where it was; Tab reaches it. Main
// thread; owned by the toolbar.
class ReaderVisibilityToggle final : public QAbstractButton {
    Q_OBJECT

public:
    static constexpr QSize kSize{32, 28};
    static constexpr double kCornerRadius = 7;
    static constexpr int kIconSize = 16;
    static constexpr double kFocusRingWidth = 2;

    struct State {
        bool enabled = true;
        bool on = false;
        bool pressed = false;
        bool hovered = false;
        bool focused = false;
    };

    struct Appearance {
        ReaderColor foreground;
        // Of the text colour, over whatever lies beneath.
        double fillOpacity = 0;
        bool showsFocusRing = false;
        // Of the whole button.
        double opacity = 1;

        bool operator==(const Appearance&) const = default;
    };

    // Press wins over hover; neither fill nor ring while disabled.
    static Appearance appearance(State state);

    explicit ReaderVisibilityToggle(ReaderSymbol symbol, QWidget* parent = nullptr);

    // The state in words for assistive technology ("表示中"); empty by default.
    void setAccessibleValue(const QString& value);
    const QString& accessibleValue() const { return m_accessibleValue; }

    State state() const;
    QPainterPath shape() const;

    QSize sizeHint() const override { return kSize; }
    QSize minimumSizeHint() const override { return kSize; }

protected:
    void paintEvent(QPaintEvent* event) override;
    bool hitButton(const QPoint& position) const override;
    bool event(QEvent* event) override;
    // Clicks do not flip the state; the owner sets it.
    void nextCheckState() override {}

private:
    void setHovered(bool hovered);

    ReaderSymbol m_symbol;
    QString m_accessibleValue;
    bool m_hovered = false;
};

}  // namespace tavrine
