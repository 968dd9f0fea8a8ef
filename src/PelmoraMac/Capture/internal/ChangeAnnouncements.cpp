#include "PelmoraMac/Capture/internal/ChangeAnnouncements.h"

#include "PelmoraMac/Capture/internal/AccessibilityConnection.h"

namespace tavrine {
using namespace Qt::StringLiterals;

namespace {

const QString kEvents = u"org.a11y.atspi.Event.Object"_s;
const QStringList kSignals{u"ChildrenChanged"_s, u"TextChanged"_s};
const QStringList kRegistryEvents{u"object:children-changed"_s, u"object:text-changed"_s};

}  // namespace

ChangeAnnouncements::ChangeAnnouncements(QDBusConnection connection, QString service, int timeoutMilliseconds)
    : m_connection(std::move(connection)), m_service(std::move(service)) {
    // Listening first, so that no announcement made once the registry has the request is missed.
    for (const QString& name : kSignals)
        m_connection.connect(m_service, QString(), kEvents, name, this, SLOT(announced(QDBusMessage)));
    m_following = true;
    for (const QString& event : kRegistryEvents) {
        const QDBusMessage reply =
            m_connection.call(registryEventCall(u"RegisterEvent"_s, event), QDBus::Block, timeoutMilliseconds);
        m_following = m_following && reply.type() == QDBusMessage::ReplyMessage;
    }
}

ChangeAnnouncements::~ChangeAnnouncements() {
    for (const QString& name : kSignals)
        m_connection.disconnect(m_service, QString(), kEvents, name, this, SLOT(announced(QDBusMessage)));
    for (const QString& event : kRegistryEvents)
        m_connection.call(registryEventCall(u"DeregisterEvent"_s, event), QDBus::NoBlock);
}

void ChangeAnnouncements::announced(const QDBusMessage& message) {
    m_changed.append(message.path());
}

}  // namespace tavrine
