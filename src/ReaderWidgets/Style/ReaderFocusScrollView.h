#pragma once

#include <QScrollArea>

namespace tavrine {

// A scroll area that rings itself while its content has the keyboard focus: 2 pixels in the focus colour,
// corners of radius 4, drawn over the edge of the view, and only while its window is active. The content
// decides when it counts as focused (the document list: focused by Tab or a key, not by a click) and says
// so with setContentIsFocused.
//
// It also tells whether the user is at work in it with the keys: from the content's being focused until
// it is not, or until endKeyboardWork (an import that is to open a reading), after which only a key or
// another focusing counts again. The ring stays as it is meanwhile. Main thread; owned by its parent
// widget.
class ReaderFocusScrollView : public QScrollArea {
    Q_OBJECT

public:
    static constexpr double kRingWidth = 2;
    static constexpr double kCornerRadius = 4;

    explicit ReaderFocusScrollView(QWidget* parent = nullptr);
    ~ReaderFocusScrollView() override;

    bool contentIsFocused() const { return m_contentIsFocused; }
    // Focused also starts the work with the keys; not focused ends it.
    void setContentIsFocused(bool focused);

    bool isWorkedWithKeys() const { return m_contentIsFocused && m_workedWithKeys; }
    void endKeyboardWork() { m_workedWithKeys = false; }

    // Whether the ring is drawn now.
    bool showsFocusRing() const;

protected:
    bool event(QEvent* event) override;

private:
    class Ring;

    // Shows or hides the ring for the content's focus and the window's activation.
    void updateFocusRing();

    Ring* m_ring;
    bool m_contentIsFocused = false;
    bool m_workedWithKeys = false;
};

}  // namespace tavrine
