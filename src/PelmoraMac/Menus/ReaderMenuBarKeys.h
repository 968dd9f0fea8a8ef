#pragma once

#include <QObject>
#include <QPointer>
#include <QWidget>

class QMenuBar;

namespace tavrine {

// Gives the keys back from the reader window's menu bar once its last menu has closed. A menu closed by
// Escape leaves Qt's menu bar holding the keys (its keyboard mode, made for walking the bar with the
// arrow keys), whether the menu was opened by the mouse or the keys: the window's ring then goes round the
// bar, and Space opens a menu again rather than playing. Here, whenever the bar's last menu closes (by
// Escape, a click elsewhere or an item chosen) and the bar has the keys, they go back to the widget of the
// window that had them before the bar took them, or to the window itself when none had; Space then acts
// there as before. Space reaches a menu only while one is open. Alt alone still hands the bar the keys,
// for opening a menu with the arrow keys; an item that puts the keys somewhere itself (the find field)
// keeps them there.
//
// Watches the menus the bar holds when it is made (the bar's menus are made once). Main thread only; a
// child of the bar.
class ReaderMenuBarKeys final : public QObject {
    Q_OBJECT

public:
    ReaderMenuBarKeys(QMenuBar& bar, QWidget& window);
    ~ReaderMenuBarKeys() override;

private:
    void followFocus(QWidget* now);
    void menuClosed();
    void handBack();

    QMenuBar& m_bar;
    QWidget& m_window;
    // The widget of the window that last had the keys, other than the bar; none for the window itself.
    QPointer<QWidget> m_holder;
    bool m_handBackPending = false;
};

}  // namespace tavrine
