#pragma once

#include "PelmoraMac/Capture/AccessibilityBus.h"
#include "ReaderCore/Clock.h"

#include <QHash>
#include <QString>

#include <mutex>
#include <optional>

namespace tavrine {

// The element each application showed focused last, as the accessibility bus announced it, and when its
// focus last moved (on the monotonic clock): written by the focus tracker on the main thread, read by
// captures on their pool threads.
class AccessibilityFocusLog {
public:
    void focusGained(const AccessibleElement& element) {
        std::lock_guard lock(m_mutex);
        m_focused.insert(element.service, element.path);
        m_changed.insert(element.service, SystemClock::shared().monotonicNow());
    }
    void focusLost(const AccessibleElement& element) {
        std::lock_guard lock(m_mutex);
        m_changed.insert(element.service, SystemClock::shared().monotonicNow());
        const auto found = m_focused.constFind(element.service);
        if (found != m_focused.cend() && *found == element.path) m_focused.erase(found);
    }
    std::optional<AccessibleElement> lastFocused(const QString& service) const {
        std::lock_guard lock(m_mutex);
        const auto found = m_focused.constFind(service);
        if (found == m_focused.cend()) return std::nullopt;
        return AccessibleElement{.service = service, .path = *found};
    }

    std::optional<Clock::MonotonicTime> lastChange(const QString& service) const {
        std::lock_guard lock(m_mutex);
        const auto found = m_changed.constFind(service);
        if (found == m_changed.cend()) return std::nullopt;
        return *found;
    }

private:
    mutable std::mutex m_mutex;
    QHash<QString, QString> m_focused;
    QHash<QString, Clock::MonotonicTime> m_changed;
};

}  // namespace tavrine
