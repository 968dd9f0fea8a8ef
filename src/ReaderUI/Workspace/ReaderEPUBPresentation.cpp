#include "ReaderUI/Workspace/ReaderEPUBPresentation.h"

#include "ReaderCore/MainThread.h"

namespace tavrine {

ReaderEPUBPresentation::ReaderEPUBPresentation(QObject* parent) : QObject(parent) {
    Q_ASSERT(isMainThread());
}

void ReaderEPUBPresentation::setShowsNavigation(bool shows) {
    Q_ASSERT(isMainThread());
    if (shows == m_showsNavigation) return;
    m_showsNavigation = shows;
    emit showsNavigationChanged(shows);
}

}  // namespace tavrine
