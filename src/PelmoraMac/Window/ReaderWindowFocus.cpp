#include "PelmoraMac/Window/ReaderWindowFocus.h"

#include "PelmoraMac/Source/InteractionTextView.h"
#include "ReaderCore/MainThread.h"
#include "ReaderCore/SavedReading.h"
#include "ReaderUI/Player/ReadingPlayer.h"
#include "ReaderWidgets/Style/ReaderFocusScrollView.h"

#include <QAbstractSpinBox>
#include <QApplication>
#include <QEvent>
#include <QKeyEvent>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QTextEdit>
#include <QWidget>
#include <QWindow>

#include <utility>

namespace tavrine {

// An application-wide event filter, installed while an import claims the keys: the reader window's own
// filter sees the window's events once only.
class ReaderWindowFocus::ClaimWatch final : public QObject {
public:
    explicit ClaimWatch(ReaderWindowFocus& owner) : m_owner(owner) { Q_ASSERT(isMainThread()); }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (m_owner.isWorkInWindow(watched, *event)) m_owner.endImportClaim();
        return false;
    }

private:
    ReaderWindowFocus& m_owner;
};

ReaderWindowFocus::ReaderWindowFocus(QWidget& window, ReadingPlayer& player, Actions actions, QObject* parent)
    : QObject(parent),
      m_window(window),
      m_player(player),
      m_actions(std::move(actions)),
      m_readingID(player.readingID()),
      m_claimWatch(std::make_unique<ClaimWatch>(*this)) {
    Q_ASSERT(isMainThread());
    window.installEventFilter(this);
    connect(&player, &ReadingPlayer::readingChanged, this, &ReaderWindowFocus::readingChanged);
    connect(qGuiApp, &QGuiApplication::focusWindowChanged, this, &ReaderWindowFocus::focusWindowChanged);
    connect(qApp, &QApplication::focusChanged, this, &ReaderWindowFocus::focusChanged);
}

ReaderWindowFocus::~ReaderWindowFocus() {
    m_window.removeEventFilter(this);
    if (m_blockingPopup) m_blockingPopup->removeEventFilter(this);
    endImportClaim();
}

bool ReaderWindowFocus::holdsKeyboardWork(const QWidget* focus) {
    if (!focus) return false;
    if (const auto* line = qobject_cast<const QLineEdit*>(focus)) return !line->isReadOnly();
    if (const auto* text = qobject_cast<const QTextEdit*>(focus)) return !text->isReadOnly();
    if (const auto* plain = qobject_cast<const QPlainTextEdit*>(focus)) return !plain->isReadOnly();
    if (qobject_cast<const QAbstractSpinBox*>(focus)) return true;
    if (const auto* view = dynamic_cast<const InteractionTextView*>(focus)) return view->isEditable();
    for (const QWidget* widget = focus; widget; widget = widget->parentWidget()) {
        if (const auto* list = qobject_cast<const ReaderFocusScrollView*>(widget)) return list->contentIsFocused();
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
    if (takesKeys() && m_actions.requestFocus) m_actions.requestFocus();
}

bool ReaderWindowFocus::takesKeys() {
    const bool claimed = m_importClaimsKeys;
    endImportClaim();
    return claimed || !holdsKeyboardWork(keyboardFocus());
}

QWidget* ReaderWindowFocus::keyboardFocus() const {
    // A popup of the window that holds a focus widget (the narrow window's list) has the keys while it is
    // open, whatever the window's own focus widget; a menu holds none.
    if (QWidget* popup = QApplication::activePopupWidget(); popup && popup->focusWidget()) {
        const QWidget* owner = popup->parentWidget();
        if (owner && owner->window() == &m_window) return popup->focusWidget();
    }
    return m_window.focusWidget();
}

void ReaderWindowFocus::importStarted() {
    if (std::exchange(m_importClaimsKeys, true)) return;
    qApp->installEventFilter(m_claimWatch.get());
}

void ReaderWindowFocus::importFailed() {
    endImportClaim();
    if (holdsKeyboardWork(keyboardFocus())) return;
    if (m_actions.requestFocus) m_actions.requestFocus();
}

void ReaderWindowFocus::endImportClaim() {
    if (!std::exchange(m_importClaimsKeys, false)) return;
    if (QCoreApplication* application = QCoreApplication::instance())
        application->removeEventFilter(m_claimWatch.get());
}

bool ReaderWindowFocus::isWorkInWindow(const QObject* receiver, const QEvent& event) const {
    if (event.type() != QEvent::KeyPress && event.type() != QEvent::FocusIn) return false;
    const auto* widget = qobject_cast<const QWidget*>(receiver);
    if (!widget || widget->window() != &m_window) return false;
    if (event.type() == QEvent::FocusIn) {
        // The window coming back, a popup closing or the application moving the focus is not the user's.
        const Qt::FocusReason reason = static_cast<const QFocusEvent&>(event).reason();
        return reason == Qt::MouseFocusReason || reason == Qt::TabFocusReason || reason == Qt::BacktabFocusReason ||
               reason == Qt::ShortcutFocusReason;
    }
    // A modifier alone is half of a shortcut; the import's own keys reached it as a shortcut, not as a press.
    switch (static_cast<const QKeyEvent&>(event).key()) {
    case Qt::Key_Shift:
    case Qt::Key_Control:
    case Qt::Key_Alt:
    case Qt::Key_Meta:
    case Qt::Key_Super_L:
    case Qt::Key_Super_R:
    case Qt::Key_AltGr:
    case Qt::Key_CapsLock: return false;
    default: return true;
    }
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
