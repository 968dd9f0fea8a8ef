#include "PelmoraMac/App/WindowSheetWatcher.h"

#include "ReaderCore/MainThread.h"

#include <QCoreApplication>
#include <QEvent>
#include <QWidget>

namespace tavrine {

WindowSheetWatcher::WindowSheetWatcher(std::function<void(bool)> onSheet, QObject* parent)
    : QObject(parent), m_onSheet(std::move(onSheet)) {
    Q_ASSERT(isMainThread());
    QCoreApplication::instance()->installEventFilter(this);
}

WindowSheetWatcher::~WindowSheetWatcher() {
    if (QCoreApplication* application = QCoreApplication::instance()) application->removeEventFilter(this);
}

bool WindowSheetWatcher::eventFilter(QObject* watched, QEvent* event) {
    // Every event of the application passes here: the type is tested first.
    const QEvent::Type type = event->type();
    if (type != QEvent::Show && type != QEvent::Hide) return false;
    if (!watched->isWidgetType()) return false;
    const auto* widget = static_cast<const QWidget*>(watched);
    if (!widget->isWindow() || widget->windowModality() != Qt::WindowModal || !widget->parentWidget()) return false;
    m_onSheet(type == QEvent::Show);
    return false;
}

}  // namespace tavrine
