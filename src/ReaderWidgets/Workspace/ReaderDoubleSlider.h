#pragma once

#include <QSlider>

#include <functional>

namespace tavrine {

// A horizontal slider over a range of doubles (QSlider holds integers: this one runs over a fine integer
// scale of kSteps). It keeps the two roads of a value apart: setValueFromModel moves the knob and says
// nothing, while only the user's moves are reported, by userValueChanged. So a view can show a model's
// value on every change without the value coming back as the user's.
//
// The user's moves: a press on the knob or the track begins a drag (editingChanged(true)); a press on the
// track first moves the knob under the pointer (one userValueChanged); each move while dragging reports
// its value; the release ends the drag (editingChanged(false)) and reports nothing. The left and right
// arrows go to the arrow handler, whose false lets the key pass on; Up, Down, Page Up, Page Down, Home
// and End do nothing; the wheel passes on to what lies beneath (a scrolling column). It has no use for
// Space, which the reader window keeps for play and pause while a slider has the focus. Main thread.
class ReaderDoubleSlider : public QSlider {
    Q_OBJECT

public:
    static constexpr int kSteps = 10'000;

    ReaderDoubleSlider(double minimum, double maximum, QWidget* parent = nullptr);

    double doubleValue() const;
    // The model's value, clamped to the range; no signal. Ignored while the user drags: the knob stays
    // under the pointer.
    void setValueFromModel(double value);
    // Whether a drag is under way.
    bool isEditing() const { return m_isEditing; }

    // Called with forward true for the right arrow; returns whether the key was handled. Without a handler
    // the arrows pass on.
    void setArrowHandler(std::function<bool(bool forward)> handler) { m_arrowHandler = std::move(handler); }

signals:
    void userValueChanged(double value);
    void editingChanged(bool editing);
    void focusChanged(bool focused);

protected:
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void wheelEvent(QWheelEvent* event) override;
    void hideEvent(QHideEvent* event) override;
    void focusInEvent(QFocusEvent* event) override;
    void focusOutEvent(QFocusEvent* event) override;

private:
    double valueOf(int position) const;
    int positionOf(double value) const;
    // The slider position under a point of the widget.
    int positionAt(const QPoint& point) const;
    void endEditing();

    double m_minimum;
    double m_maximum;
    bool m_isEditing = false;
    std::function<bool(bool forward)> m_arrowHandler;
};

}  // namespace tavrine
