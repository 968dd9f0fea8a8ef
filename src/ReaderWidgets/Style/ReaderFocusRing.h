#pragma once

#include <QFocusFrame>
#include <QList>
#include <QPointer>
#include <QRect>

namespace tavrine {

// The keyboard focus ring of a window: 2 pixels in the focus colour, drawn just inside the edge of the
// widget that holds the window's keyboard focus and over whatever that widget paints, while the window
// is active and no popup has taken the keys. One ring follows the focus from widget to widget, so that
// every control of the window (a Qt button, a slider, a text field, a painted panel) shows where the keys
// go in the same way, and it follows its widget as the layout moves it or a scroll area scrolls it, cut
// where an enclosing widget cuts it. A widget that rings itself says so with setDrawsOwnRing, which covers its
// descendants too; setCornerRadius rounds the ring like its widget.
//
// The ring is a child of the window stacked above everything in it; it takes no input, no focus and no
// part in assistive technology's tree (a focus frame, which Qt leaves out). Main thread; owned by the
// window.
class ReaderFocusRing final : public QFocusFrame {
    Q_OBJECT

public:
    static constexpr double kWidth = 2;
    static constexpr double kDefaultCornerRadius = 4;

    explicit ReaderFocusRing(QWidget& window);
    ~ReaderFocusRing() override;

    static void setDrawsOwnRing(QWidget& widget);
    static void setCornerRadius(QWidget& widget, double radius);

    // The widget the ring follows (the window's focus widget), ringed or not; nothing without one.
    QWidget* target() const { return m_target; }
    // Whether the ring is drawn now.
    bool isShown() const { return isVisible(); }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void paintEvent(QPaintEvent* event) override;

private:
    void follow();
    void watch(QWidget* target);
    void place();
    bool ringsTarget() const;

    QWidget& m_window;
    QPointer<QWidget> m_target;
    // The target and its ancestors below the window, whose moves and resizes move the ring.
    QList<QPointer<QWidget>> m_watched;
    // The target's whole rectangle in the ring's coordinates (the ring itself is cut to what shows).
    QRect m_targetRect;
};

}  // namespace tavrine
