#pragma once

#include "ReaderUI/Player/ReaderPlaybackRequest.h"

#include <QObject>
#include <QPointer>
#include <QWidget>

#include <functional>

class QKeyEvent;

namespace tavrine {

// The Space bar of the reader window: while the keyboard focus rests on the window itself, or on a source
// text view that cannot be edited, a plain Space press asks for play or pause, and nothing else sees it.
// The same holds while the focus rests on one of the reading column's sliders (position and speed), which
// have no use for Space: a click on the speed slider, which takes the focus for its arrow keys, leaves
// Space to play and pause. One application-wide event filter, installed while this object lives.
//
// Space passes on unchanged when it is not for the reader window or the window is not active, when a
// modal window or a window-modal dialog is up, when a popup menu is open, when anything else has the focus
// (a text field, the list, a button; the reading display, which handles Space itself, so that one press
// is one toggle wherever the focus is), or when a modifier is held (Meta+Space switches input methods on
// many desktops). A held-down Space toggles once: its repeats are swallowed. Whether the action is
// carried out is the receiver's decision; the key is swallowed either way. Main thread only.
class ReaderKeyboardInput final : public QObject {
    Q_OBJECT

public:
    using Action = std::function<void(ReaderPlaybackRequest::Action)>;

    // Where the keyboard focus is, as the Space rule sees it.
    enum class Focus {
        // No focus widget, or the window itself.
        window,
        // A source text view that cannot be edited.
        readOnlySourceText,
        // A slider of the reading column (ReaderDoubleSlider), which has no use for Space.
        readingSlider,
        // Anything else, an editable source text view included.
        other,
    };

    // What the rule looks at, taken when a key press arrives.
    struct Snapshot {
        bool windowIsActive = false;
        // The press is delivered to a widget of the reader window.
        bool isForWindow = false;
        bool hasModalWindow = false;
        bool hasOpenPopup = false;
        Focus focus = Focus::window;
        int key = 0;
        Qt::KeyboardModifiers modifiers = Qt::NoModifier;
        bool isAutoRepeat = false;
    };

    enum class Decision {
        // Delivered as usual.
        pass,
        // Taken away without an action.
        swallow,
        // Taken away; play or pause is asked for.
        togglePlayback,
    };

    static Decision decide(const Snapshot& snapshot);

    // Watches the key presses of window, which must outlive this object or take it as a child.
    ReaderKeyboardInput(QWidget& window, Action onAction, QObject* parent = nullptr);
    ~ReaderKeyboardInput() override;

    void setAction(Action onAction) { m_onAction = std::move(onAction); }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    // The snapshot of a key press delivered to receiver now.
    Snapshot snapshot(const QObject* receiver, const QKeyEvent& event) const;
    bool hasModalWindow() const;

    QPointer<QWidget> m_window;
    Action m_onAction;
};

}  // namespace tavrine
