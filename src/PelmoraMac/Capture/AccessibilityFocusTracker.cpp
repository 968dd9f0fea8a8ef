#include "PelmoraMac/Capture/AccessibilityFocusTracker.h"

#include "PelmoraMac/Capture/AccessibilityFocusLog.h"
#include "PelmoraMac/Capture/internal/AccessibilityConnection.h"
#include "ReaderCore/MainThread.h"

namespace tavrine {
using namespace Qt::StringLiterals;

namespace {

constexpr int kStartTimeoutMilliseconds = 1'000;
const QString kEvent = u"object:state-changed:focused"_s;

QDBusMessage registryCall(const QString& method) {
    return registryEventCall(method, kEvent);
}

}  // namespace

AccessibilityFocusTracker::AccessibilityFocusTracker(QObject* parent)
    : QObject(parent), m_log(std::make_shared<AccessibilityFocusLog>()) {
    Q_ASSERT(isMainThread());
}

AccessibilityFocusTracker::~AccessibilityFocusTracker() {
    if (!isStarted()) return;
    QDBusConnection connection(m_connectionName);
    if (connection.isConnected()) connection.call(registryCall(u"DeregisterEvent"_s), QDBus::NoBlock);
}

std::shared_ptr<const AccessibilityFocusLog> AccessibilityFocusTracker::log() const {
    return m_log;
}

bool AccessibilityFocusTracker::start() {
    Q_ASSERT(isMainThread());
    if (isStarted()) return true;
    if (!accessibilityBusEnabled(kStartTimeoutMilliseconds)) return false;
    auto connection = accessibilityBusConnection(kStartTimeoutMilliseconds);
    if (!connection) return false;
    // Listening first, so that no announcement made in answer to the registration is missed.
    connection->connect(QString(), QString(), u"org.a11y.atspi.Event.Object"_s, u"StateChanged"_s, this,
                        SLOT(stateChanged(QDBusMessage)));
    const QDBusMessage reply =
        connection->call(registryCall(u"RegisterEvent"_s), QDBus::Block, kStartTimeoutMilliseconds);
    if (reply.type() != QDBusMessage::ReplyMessage) {
        connection->disconnect(QString(), QString(), u"org.a11y.atspi.Event.Object"_s, u"StateChanged"_s, this,
                               SLOT(stateChanged(QDBusMessage)));
        return false;
    }
    m_connectionName = connection->name();
    return true;
}

// StateChanged(kind, gained, detail2, value, properties): a "focused" change of the sending object.
void AccessibilityFocusTracker::stateChanged(const QDBusMessage& message) {
    const QList<QVariant> arguments = message.arguments();
    if (arguments.size() < 2 || arguments[0].toString() != u"focused"_s) return;
    const AccessibleElement element{.service = message.service(), .path = message.path()};
    if (arguments[1].toInt() != 0) {
        m_log->focusGained(element);
    } else {
        m_log->focusLost(element);
    }
}

}  // namespace tavrine
