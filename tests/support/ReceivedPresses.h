#pragma once

#include "support/EventLoop.h"

#include <QEvent>
#include <QObject>
#include <QPointer>
#include <QWidget>
#include <QWindow>

namespace tavrine::test {

// Counts the mouse button presses that reach a widget's window, as the window receives them and before any
// widget acts on them: the word that a click made through the X server arrived, told apart from what the click
// then does.
class ReceivedPresses final : public QObject {
public:
    explicit ReceivedPresses(QWidget& widget) : m_window(widget.window()->windowHandle()) {
        if (m_window) m_window->installEventFilter(this);
    }
    ~ReceivedPresses() override {
        if (m_window) m_window->removeEventFilter(this);
    }
    ReceivedPresses(const ReceivedPresses&) = delete;
    ReceivedPresses& operator=(const ReceivedPresses&) = delete;

    int count() const { return m_count; }

protected:
    bool eventFilter(QObject*, QEvent* event) override {
        if (event->type() == QEvent::MouseButtonPress) ++m_count;
        return false;
    }

private:
    QPointer<QWindow> m_window;
    int m_count = 0;
};

// Makes `click` (a click through the X server on a widget of the window `presses` watches, which already takes
// input) and waits for the window's word that the press arrived; the click is made again only while no press
// has (lost on its way), never because what it does is missing. Answers whether a press arrived: the caller then
// waits once for what the click does, and a window that took the click and did nothing fails.
template <typename Click>
bool clickReached(const ReceivedPresses& presses, Click click) {
    const int before = presses.count();
    return madeAgain(click, [&] { return presses.count() > before; });
}

}  // namespace tavrine::test
