#pragma once

#include <QScrollArea>

namespace tavrine {

// A scroll area that rings itself while its content has the keyboard focus: 2 pixels in the focus colour,
// corners of radius 4, drawn over the edge of the view, and only while its window is active. The content
// decides when it counts as focused (the document list: focused by Tab or a key, not by a click) and says
// so with setContentIsFocused; the ring is drawn only while the window's focus is still inside the view,
// since Qt tells a widget nothing when its window's focus moves on while the window is inactive (the
// reading a dropped file opens takes it so). Main thread; owned by its parent widget.
class ReaderFocusScrollView : public QScrollArea {
    Q_OBJECT

public:
    static constexpr double kRingWidth = 2;
    static constexpr double kCornerRadius = 4;

    explicit ReaderFocusScrollView(QWidget* parent = nullptr);
    ~ReaderFocusScrollView() override;

    bool contentIsFocused() const { return m_contentIsFocused; }
    void setContentIsFocused(bool focused);

    // Whether the ring is drawn now.
    bool showsFocusRing() const;

protected:
    bool event(QEvent* event) override;

private:
    class Ring;

    // Shows or hides the ring for the content's focus and the window's activation.
    void updateFocusRing();
    // The window's focus widget, active or not, is this view or inside it.
    bool holdsWindowFocus() const;

    Ring* m_ring;
    bool m_contentIsFocused = false;
};

}  // namespace tavrine
