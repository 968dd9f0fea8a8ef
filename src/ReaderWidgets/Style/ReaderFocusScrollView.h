#pragma once

#include <QScrollArea>

namespace tavrine {

// A scroll area that rings itself while its content has the keyboard focus: 2 pixels in the focus colour,
// corners of radius 4, drawn over the edge of the view, and only while its window is active. The content
// decides when it counts as focused (the document list: focused by Tab or a key, not by a click) and says
// so with setContentIsFocused; the ring is drawn only while the window's focus is on the content itself.
// A control inside the content that takes the keys (a row's button) shows its own ring, and the view's
// goes meanwhile: one mark where the keys are. The ring follows every move of the focus, also one Qt
// tells the content nothing of (its window inactive, as when a dropped file's reading takes the keys, or
// the view hidden). Main thread; owned by its parent widget.
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
    // The window's focus widget, active or not, is the content or this view.
    bool holdsWindowFocus() const;

    Ring* m_ring;
    QMetaObject::Connection m_followsFocus;
    bool m_contentIsFocused = false;
};

}  // namespace tavrine
