#pragma once

#include "ReaderUI/ReaderColor.h"
#include "ReaderWidgets/Style/ReaderSymbol.h"

#include <QAbstractButton>
#include <QPainterPath>
#include <QSize>

#include <optional>

namespace tavrine {

// The button of the reading controls: its label (a symbol, a title or both) in an accent colour on a
// compact rounded plate that lights up faintly under the pointer and more strongly while pressed, ringed
// in the accent while it has the keyboard focus, the whole dimmed when disabled. The plate is the
// button: the whole of it, transparent corners of the label included, takes clicks and hover, and
// nothing outside its rounded corners does. A click never takes the keyboard focus; Tab does. Main thread;
// owned by its parent widget.
class ReaderReadingControlButton : public QAbstractButton {
    Q_OBJECT

public:
    static constexpr int kHorizontalPadding = 12;
    static constexpr int kVerticalPadding = 6;
    static constexpr double kCornerRadius = 8;
    static constexpr double kFocusRingWidth = 2;
    static constexpr int kSymbolSpacing = 6;

    enum class LabelStyle { titleAndIcon, iconOnly, titleOnly };

    struct State {
        bool enabled = true;
        bool pressed = false;
        bool hovered = false;
        bool focused = false;
    };

    struct Appearance {
        ReaderColor label;
        // Of the accent, over whatever lies beneath the plate.
        double fillOpacity = 0;
        // Drawn inside the plate's edge, so focus never changes the button's size.
        bool showsFocusRing = false;
        // Of the whole button.
        double opacity = 1;

        bool operator==(const Appearance&) const = default;
    };

    // The look of a state: the label in the accent, or in the secondary text colour when disabled; a fill
    // of 0.12 while pressed, else 0.06 while hovered (pressed wins, the two never add up); the ring while
    // focused; a disabled button shows neither fill nor ring and is drawn at 0.45.
    static Appearance appearance(const ReaderColor& accent, State state);

    explicit ReaderReadingControlButton(const ReaderColor& accent, QWidget* parent = nullptr);

    const ReaderColor& accent() const { return m_accent; }
    void setAccent(const ReaderColor& accent);

    // The title is the button's text(), and its accessible name also when only the icon is shown.
    void setSymbol(std::optional<ReaderSymbol> symbol);
    std::optional<ReaderSymbol> symbol() const { return m_symbol; }
    void setLabelStyle(LabelStyle style);

    // A fixed frame for the label (the symbol and title centred in it); by default the label's own size.
    void setLabelFrame(std::optional<QSize> frame);

    State state() const;
    // The rounded plate in widget coordinates.
    QPainterPath plate() const;

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override { return sizeHint(); }

protected:
    void paintEvent(QPaintEvent* event) override;
    bool hitButton(const QPoint& position) const override;
    bool event(QEvent* event) override;

private:
    // What the label shows changed, and with it the size the button asks for: lays out and repaints.
    void contentChanged();

    // The label's parts in logical pixels; a part not shown is 0 wide.
    struct LabelLayout {
        double symbolSize = 0;
        double titleWidth = 0;
        double width = 0;
        double height = 0;
    };

    LabelLayout labelLayout() const;
    void setHovered(bool hovered);

    ReaderColor m_accent;
    std::optional<ReaderSymbol> m_symbol;
    LabelStyle m_labelStyle = LabelStyle::titleAndIcon;
    std::optional<QSize> m_labelFrame;
    bool m_hovered = false;
};

}  // namespace tavrine
