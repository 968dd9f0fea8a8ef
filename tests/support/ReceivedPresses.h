#pragma once

#include "support/EventLoop.h"

#include <QEvent>
#include <QKeyEvent>
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

// Counts the key presses that reach any window of the application (a menu or a popup it opened included), shortcut
// keys included, as the window receives them and before any widget or shortcut acts on them: the presses of keys
// other than the modifiers, so that a chord (Ctrl+Return) counts once its key came, not when its Ctrl did. A press
// comes to the window first as a shortcut override and, unless a shortcut took it, again as a key press with the
// same key and time: it is counted once.
class ReceivedKeys final : public QObject {
public:
    ReceivedKeys() { QCoreApplication::instance()->installEventFilter(this); }
    ~ReceivedKeys() override { QCoreApplication::instance()->removeEventFilter(this); }
    ReceivedKeys(const ReceivedKeys&) = delete;
    ReceivedKeys& operator=(const ReceivedKeys&) = delete;

    int count() const { return m_count; }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (!watched->isWindowType()) return false;
        const bool override = event->type() == QEvent::ShortcutOverride;
        if (!override && event->type() != QEvent::KeyPress) return false;
        const auto* key = static_cast<QKeyEvent*>(event);
        switch (key->key()) {
        case Qt::Key_Shift:
        case Qt::Key_Control:
        case Qt::Key_Alt:
        case Qt::Key_Meta:
        case Qt::Key_Super_L:
        case Qt::Key_Super_R: return false;
        default: break;
        }
        const bool seen = !override && m_overridden && key->key() == m_key && key->timestamp() == m_time;
        m_overridden = override;
        m_key = key->key();
        m_time = key->timestamp();
        if (!seen) ++m_count;
        return false;
    }

private:
    int m_count = 0;
    bool m_overridden = false;
    int m_key = 0;
    quint64 m_time = 0;
};

// Makes `key` (a key sent through the X server to a window of the application, which has the keyboard) and waits for
// the window's word that a press arrived; the key is made again only while none has, never because what it does
// is missing. Answers whether a press arrived: the caller then waits once for what the key does
// (effectWithin), and a window that took the key and did nothing fails.
template <typename Key>
bool keyReached(const ReceivedKeys& keys, Key key) {
    const int before = keys.count();
    return madeAgain(key, [&] { return keys.count() > before; });
}

// Counts the paint events that a widget and the widgets inside it receive, from the counter's making on: the word
// that what a test changed has been painted, which a test that reads the screen waits for before it grabs it (a
// loaded machine paints late, past any set time).
class ReceivedPaints final : public QObject {
public:
    explicit ReceivedPaints(QWidget& widget) : m_widget(&widget) {
        QCoreApplication::instance()->installEventFilter(this);
    }
    ~ReceivedPaints() override { QCoreApplication::instance()->removeEventFilter(this); }
    ReceivedPaints(const ReceivedPaints&) = delete;
    ReceivedPaints& operator=(const ReceivedPaints&) = delete;

    int count() const { return m_count; }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (event->type() != QEvent::Paint || !watched->isWidgetType() || !m_widget) return false;
        auto* widget = static_cast<QWidget*>(watched);
        if (widget == m_widget || m_widget->isAncestorOf(widget)) ++m_count;
        return false;
    }

private:
    QPointer<QWidget> m_widget;
    int m_count = 0;
};

}  // namespace tavrine::test
