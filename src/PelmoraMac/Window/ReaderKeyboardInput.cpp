#include "PelmoraMac/Window/ReaderKeyboardInput.h"

#include "PelmoraMac/Source/InteractionTextView.h"
#include "ReaderCore/MainThread.h"
#include "ReaderUI/ReaderHeldModifiers.h"
#include "ReaderWidgets/Workspace/ReaderDoubleSlider.h"

#include <QApplication>
#include <QKeyEvent>

namespace tavrine {

ReaderKeyboardInput::Decision ReaderKeyboardInput::decide(const Snapshot& snapshot) {
    if (!snapshot.windowIsActive || !snapshot.isForWindow) return Decision::pass;
    if (snapshot.hasModalWindow || snapshot.hasOpenPopup) return Decision::pass;
    if (snapshot.focus == Focus::other) return Decision::pass;
    if (snapshot.key != Qt::Key_Space || holdsModifier(snapshot.modifiers)) return Decision::pass;
    if (snapshot.isAutoRepeat) return Decision::swallow;
    return Decision::togglePlayback;
}

ReaderKeyboardInput::ReaderKeyboardInput(QWidget& window, Action onAction, QObject* parent)
    : QObject(parent), m_window(&window), m_onAction(std::move(onAction)) {
    Q_ASSERT(isMainThread());
    QCoreApplication::instance()->installEventFilter(this);
}

ReaderKeyboardInput::~ReaderKeyboardInput() {
    Q_ASSERT(isMainThread());
    if (QCoreApplication* application = QCoreApplication::instance()) application->removeEventFilter(this);
}

ReaderKeyboardInput::Snapshot ReaderKeyboardInput::snapshot(const QObject* receiver, const QKeyEvent& event) const {
    Snapshot snapshot;
    const auto* widget = qobject_cast<const QWidget*>(receiver);
    snapshot.windowIsActive = m_window && QApplication::activeWindow() == m_window;
    snapshot.isForWindow = m_window && widget && widget->window() == m_window;
    snapshot.hasModalWindow = hasModalWindow();
    snapshot.hasOpenPopup = QApplication::activePopupWidget() != nullptr;
    QWidget* focus = QApplication::focusWidget();
    if (!focus || focus == m_window) {
        snapshot.focus = Focus::window;
    } else if (const auto* text = dynamic_cast<const InteractionTextView*>(focus); text && !text->isEditable()) {
        snapshot.focus = Focus::readOnlySourceText;
    } else if (qobject_cast<const ReaderDoubleSlider*>(focus)) {
        snapshot.focus = Focus::readingSlider;
    } else {
        snapshot.focus = Focus::other;
    }
    snapshot.key = event.key();
    snapshot.modifiers = event.modifiers();
    snapshot.isAutoRepeat = event.isAutoRepeat();
    return snapshot;
}

bool ReaderKeyboardInput::hasModalWindow() const {
    if (QApplication::activeModalWidget()) return true;
    // A dialog modal to the whole application, or one modal to the reader window (its sheet), neither of
    // which need be the active modal widget.
    for (const QWidget* topLevel : QApplication::topLevelWidgets()) {
        if (topLevel == m_window || !topLevel->isVisible()) continue;
        if (topLevel->windowModality() == Qt::ApplicationModal) return true;
        const QWidget* parent = topLevel->parentWidget();
        if (topLevel->windowModality() == Qt::WindowModal && parent && parent->window() == m_window) return true;
    }
    return false;
}

bool ReaderKeyboardInput::eventFilter(QObject* watched, QEvent* event) {
    // Every event of the application passes here: the type first.
    if (event->type() != QEvent::KeyPress) return false;
    const auto& key = static_cast<const QKeyEvent&>(*event);
    if (key.key() != Qt::Key_Space || !watched->isWidgetType()) return false;
    switch (decide(snapshot(watched, key))) {
    case Decision::pass: return false;
    case Decision::swallow: return true;
    case Decision::togglePlayback:
        if (m_onAction) m_onAction(ReaderPlaybackRequest::Action::togglePlayback);
        return true;
    }
    return false;
}

}  // namespace tavrine
