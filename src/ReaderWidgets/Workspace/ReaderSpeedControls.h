#pragma once

#include <QWidget>

class QLabel;

namespace tavrine {

class ReaderDoubleSlider;
class ReaderReadingControlButton;
class ReaderWorkspaceController;

// The speed row of the reading column, centred, in the callout font: minus, a slider over the multiplier
// 1.0...7.5 (80 to 160 wide), plus, and the speed as text ("2.0×", spoken "2.0倍"). Minus, plus and the
// slider's arrows step the speed through the controller without releasing the editor focus; the arrows
// are always taken, also at the ends. The slider writes the speed directly, stays enabled while the
// source is edited, and is disabled only while importing; a click gives it the keyboard focus, and its
// accessible increase and decrease actions step as plus and minus do. Minus and plus take no focus on a
// click. Main thread; refreshed by the column after each pass.
class ReaderSpeedControls : public QWidget {
    Q_OBJECT

public:
    static constexpr int kSpacing = 4;
    static constexpr int kSliderMinimumWidth = 80;
    static constexpr int kSliderMaximumWidth = 160;
    static constexpr QSize kStepLabelFrame{14, 12};

    explicit ReaderSpeedControls(ReaderWorkspaceController& workspace, QWidget* parent = nullptr);

    ReaderReadingControlButton& minusButton() const { return *m_minus; }
    ReaderReadingControlButton& plusButton() const { return *m_plus; }
    ReaderDoubleSlider& slider() const { return *m_slider; }
    QLabel& valueText() const { return *m_value; }

    void refresh();

private:
    ReaderWorkspaceController& m_workspace;
    ReaderReadingControlButton* m_minus;
    ReaderDoubleSlider* m_slider;
    ReaderReadingControlButton* m_plus;
    QLabel* m_value;
};

}  // namespace tavrine
