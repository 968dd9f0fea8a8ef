#pragma once

#include <QCoreApplication>
#include <QThread>

namespace tavrine {

// Whether the caller runs on the thread of the application object, where every model and view lives.
inline bool isMainThread() {
    const QCoreApplication* application = QCoreApplication::instance();
    return application && QThread::currentThread() == application->thread();
}

}  // namespace tavrine
