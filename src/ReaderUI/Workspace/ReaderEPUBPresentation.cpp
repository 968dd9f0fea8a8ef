#include "ReaderUI/Workspace/ReaderEPUBPresentation.h"

#include <QThread>

namespace tavrine {

ReaderEPUBPresentation::ReaderEPUBPresentation(QObject* parent) : QObject(parent) {}

void ReaderEPUBPresentation::setShowsNavigation(bool shows) {
    Q_ASSERT(QThread::currentThread() == thread());
    if (shows == m_showsNavigation) return;
    m_showsNavigation = shows;
    emit showsNavigationChanged(shows);
}

}  // namespace tavrine
