#include "PelmoraMac/Menus/ReaderMenuBarKeys.h"

#include "ReaderCore/MainThread.h"

#include <QApplication>
#include <QMenu>
#include <QMenuBar>

#include <utility>

namespace tavrine {

ReaderMenuBarKeys::ReaderMenuBarKeys(QMenuBar& bar, QWidget& window)
    : QObject(&bar), m_bar(bar), m_window(window), m_holder(window.focusWidget()) {
    Q_ASSERT(isMainThread());
    connect(qApp, &QApplication::focusChanged, this, [this](QWidget*, QWidget* now) { followFocus(now); });
    for (QMenu* menu : bar.findChildren<QMenu*>()) {
        connect(menu, &QMenu::aboutToHide, this, &ReaderMenuBarKeys::menuClosed);
    }
}

ReaderMenuBarKeys::~ReaderMenuBarKeys() {
    Q_ASSERT(isMainThread());
}

void ReaderMenuBarKeys::followFocus(QWidget* now) {
    if (now == &m_bar) return;
    if (now) {
        // A menu is a window of its own: the keys it holds for a while are no widget's of the window.
        if (now->window() == &m_window) m_holder = now;
        return;
    }
    // Nothing has the keys: the window itself holds them, unless it is no longer active.
    if (QApplication::activeWindow() == &m_window) m_holder = nullptr;
}

void ReaderMenuBarKeys::menuClosed() {
    // Qt hands the bar the keys after the menu has gone, and opens the next menu at once when the user
    // walks the bar from one menu to another: look once all of that is done.
    if (std::exchange(m_handBackPending, true)) return;
    QMetaObject::invokeMethod(this, &ReaderMenuBarKeys::handBack, Qt::QueuedConnection);
}

void ReaderMenuBarKeys::handBack() {
    m_handBackPending = false;
    if (QApplication::activePopupWidget() || QApplication::focusWidget() != &m_bar) return;
    // The bar leaves its keyboard mode as it loses the focus.
    QWidget* holder = m_holder;
    if (holder && holder->isVisible() && holder->isEnabled() && holder->window() == &m_window) {
        holder->setFocus(Qt::MenuBarFocusReason);
    } else {
        m_bar.clearFocus();
    }
}

}  // namespace tavrine
