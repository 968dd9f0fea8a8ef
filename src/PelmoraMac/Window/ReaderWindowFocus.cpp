#include "PelmoraMac/Window/ReaderWindowFocus.h"

#include "PelmoraMac/Source/InteractionTextView.h"
#include "ReaderCore/MainThread.h"
#include "ReaderCore/SavedReading.h"
#include "ReaderUI/Player/ReadingPlayer.h"
#include "ReaderWidgets/Style/ReaderFocusScrollView.h"

#include <QAbstractSpinBox>
#include <QApplication>
#include <QEvent>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QTextEdit>
#include <QWidget>
#include <QWindow>

#include <utility>

namespace tavrine {

ReaderWindowFocus::ReaderWindowFocus(QWidget& window, ReadingPlayer& player, Actions actions, QObject* parent)
    : QObject(parent),
      m_window(window),
      m_player(player),
      m_actions(std::move(actions)),
      m_readingID(player.readingID()) {
    Q_ASSERT(isMainThread());
    window.installEventFilter(this);
    connect(&player, &ReadingPlayer::readingChanged, this, &ReaderWindowFocus::readingChanged);
    connect(qGuiApp, &QGuiApplication::focusWindowChanged, this, &ReaderWindowFocus::focusWindowChanged);
    connect(qApp, &QApplication::focusChanged, this, &ReaderWindowFocus::focusChanged);
}

ReaderWindowFocus::~ReaderWindowFocus() {
    m_window.removeEventFilter(this);
    if (m_blockingPopup) m_blockingPopup->removeEventFilter(this);
}

bool ReaderWindowFocus::holdsKeyboardWork(const QWidget* focus) {
    if (!focus) return false;
    if (const auto* line = qobject_cast<const QLineEdit*>(focus)) return !line->isReadOnly();
    if (const auto* text = qobject_cast<const QTextEdit*>(focus)) return !text->isReadOnly();
    if (const auto* plain = qobject_cast<const QPlainTextEdit*>(focus)) return !plain->isReadOnly();
    if (qobject_cast<const QAbstractSpinBox*>(focus)) return true;
    if (const auto* view = dynamic_cast<const InteractionTextView*>(focus)) return view->isEditable();
    for (const QWidget* widget = focus; widget; widget = widget->parentWidget()) {
        if (const auto* list = qobject_cast<const ReaderFocusScrollView*>(widget)) return list->isWorkedWithKeys();
    }
    return false;
}

void ReaderWindowFocus::readingChanged() {
    const std::optional<QUuid> id = m_player.readingID();
    if (id == m_readingID) return;
    m_readingID = id;
    // Nothing open, or a reading with nothing to play (the workspace's empty text), moves no focus: the
    // user may be deleting from the list.
    const auto& reading = m_player.reading();
    if (!reading || reading->document.text.isEmpty()) return;
    if (holdsKeyboardWork(m_window.focusWidget())) return;
    if (m_actions.requestFocus) m_actions.requestFocus();
}

void ReaderWindowFocus::importStarted() {
    for (ReaderFocusScrollView* list : m_window.findChildren<ReaderFocusScrollView*>()) list->endKeyboardWork();
}

void ReaderWindowFocus::importFailed() {
    if (holdsKeyboardWork(m_window.focusWidget())) return;
    if (m_actions.requestFocus) m_actions.requestFocus();
}

void ReaderWindowFocus::focusChanged(QWidget* old, QWidget* now) {
    // Qt disables a control before it moves the focus on; a control destroyed with the focus is still
    // enabled as it goes.
    if (!old || old->isEnabled() || old->window() != &m_window) return;
    m_handedOnFocus = now;
    if (std::exchange(m_reclaimPending, true)) return;
    // Not inside Qt's own move of the focus: once it is done.
    QMetaObject::invokeMethod(this, &ReaderWindowFocus::reclaimHandedOnFocus, Qt::QueuedConnection);
}

void ReaderWindowFocus::reclaimHandedOnFocus() {
    m_reclaimPending = false;
    QWidget* handedOn = std::exchange(m_handedOnFocus, nullptr);
    if (QApplication::focusWidget() != handedOn && m_window.focusWidget() != handedOn) return;
    if (m_actions.requestFocus) m_actions.requestFocus();
}

void ReaderWindowFocus::focusWindowChanged(QWindow* focusWindow) {
    if (!focusWindow || focusWindow != m_window.windowHandle() || QApplication::activeWindow() == &m_window) return;
    if (QWidget* popup = QApplication::activePopupWidget()) {
        if (m_blockingPopup == popup) return;
        if (m_blockingPopup) m_blockingPopup->removeEventFilter(this);
        m_blockingPopup = popup;
        popup->installEventFilter(this);
        return;
    }
    // Qt Widgets follows the system's focus in the same turn unless it refuses; look once it has had its say.
    QMetaObject::invokeMethod(this, &ReaderWindowFocus::adoptActivation, Qt::QueuedConnection);
}

void ReaderWindowFocus::adoptActivation() {
    if (!m_window.isVisible() || QGuiApplication::focusWindow() != m_window.windowHandle()) return;
    if (QApplication::activeWindow() == &m_window) return;
    // A popup still up gets its own wait.
    if (QApplication::activePopupWidget()) return focusWindowChanged(m_window.windowHandle());
    QApplication::setActiveWindow(&m_window);
}

bool ReaderWindowFocus::eventFilter(QObject* watched, QEvent* event) {
    if (watched == m_blockingPopup && watched != &m_window) {
        if (event->type() == QEvent::Hide) {
            m_blockingPopup->removeEventFilter(this);
            m_blockingPopup = nullptr;
            QMetaObject::invokeMethod(this, &ReaderWindowFocus::adoptActivation, Qt::QueuedConnection);
        }
        return false;
    }
    if (watched != &m_window) return false;
    switch (event->type()) {
    case QEvent::Show:
        // Shown by the application (a window the system restores from its minimised state keeps its focus).
        if (!event->spontaneous() && !holdsKeyboardWork(m_window.focusWidget()) && m_actions.focusNow) {
            m_actions.focusNow();
        }
        break;
    case QEvent::WindowActivate: {
        // Sent before Qt restores the window's focus widget, or, without a shown one, gives the focus to
        // the window's first control in Tab order.
        const QWidget* focus = m_window.focusWidget();
        if ((!focus || focus == &m_window || !focus->isVisible()) && m_actions.focusNow) m_actions.focusNow();
        break;
    }
    default: break;
    }
    return false;
}

}  // namespace tavrine
