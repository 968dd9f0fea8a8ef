#pragma once

#include <QThread>
#include <QtGlobal>

#include <atomic>

namespace tavrine {

// The thread an object belongs to: the first thread that checks it, unless the object names one at
// construction. In debug builds check() stops the program when any other thread calls it, so that a
// call from the wrong thread is found where it is made rather than as a race later; in release builds
// it does nothing.
class OwnerThread {
public:
    OwnerThread() = default;
    explicit OwnerThread(QThread* owner) : m_owner(owner) {}
    OwnerThread(const OwnerThread&) = delete;
    OwnerThread& operator=(const OwnerThread&) = delete;

    // `where` names the entry point in the message ("ReadingStore::library").
    void check([[maybe_unused]] const char* where) const {
#ifndef QT_NO_DEBUG
        QThread* const current = QThread::currentThread();
        QThread* expected = nullptr;
        if (!m_owner.compare_exchange_strong(expected, current)) {
            Q_ASSERT_X(expected == current, where, "called from a thread that does not own the object");
        }
#endif
    }

private:
    mutable std::atomic<QThread*> m_owner{nullptr};
};

}  // namespace tavrine
