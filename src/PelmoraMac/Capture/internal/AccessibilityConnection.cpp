#include "PelmoraMac/Capture/internal/AccessibilityConnection.h"

#include <QDBusMessage>
#include <QDBusVariant>

namespace tavrine {
using namespace Qt::StringLiterals;

namespace {

QDBusMessage launcherCall(const QString& interface, const QString& method) {
    return QDBusMessage::createMethodCall(u"org.a11y.Bus"_s, u"/org/a11y/bus"_s, interface, method);
}

}  // namespace

bool accessibilityBusEnabled(int timeoutMilliseconds) {
    QDBusMessage message = launcherCall(u"org.freedesktop.DBus.Properties"_s, u"Get"_s);
    message << u"org.a11y.Status"_s << u"IsEnabled"_s;
    const QDBusMessage reply = QDBusConnection::sessionBus().call(message, QDBus::Block, timeoutMilliseconds);
    if (reply.type() != QDBusMessage::ReplyMessage || reply.arguments().isEmpty()) return false;
    const QVariant value = reply.arguments().constFirst().value<QDBusVariant>().variant();
    return value.typeId() == QMetaType::Bool && value.toBool();
}

bool enableAccessibilityBus(int timeoutMilliseconds) {
    QDBusMessage message = launcherCall(u"org.freedesktop.DBus.Properties"_s, u"Set"_s);
    message << u"org.a11y.Status"_s << u"IsEnabled"_s << QVariant::fromValue(QDBusVariant(true));
    const QDBusMessage reply = QDBusConnection::sessionBus().call(message, QDBus::Block, timeoutMilliseconds);
    return reply.type() == QDBusMessage::ReplyMessage;
}

std::optional<QDBusConnection> accessibilityBusConnection(int timeoutMilliseconds) {
    const QDBusMessage reply = QDBusConnection::sessionBus().call(launcherCall(u"org.a11y.Bus"_s, u"GetAddress"_s),
                                                                  QDBus::Block, timeoutMilliseconds);
    if (reply.type() != QDBusMessage::ReplyMessage || reply.arguments().isEmpty()) return std::nullopt;
    const QString address = reply.arguments().constFirst().toString();
    if (address.isEmpty()) return std::nullopt;
    // Named after the address: a bus started again at another address gets a connection of its own, and a
    // connection to a bus that went away is opened afresh.
    const QString name = u"tavrine-accessibility "_s + address;
    QDBusConnection connection = QDBusConnection::connectToBus(address, name);
    if (!connection.isConnected()) {
        QDBusConnection::disconnectFromBus(name);
        connection = QDBusConnection::connectToBus(address, name);
    }
    if (!connection.isConnected()) return std::nullopt;
    return connection;
}

QDBusMessage registryEventCall(const QString& method, const QString& event) {
    QDBusMessage message = QDBusMessage::createMethodCall(u"org.a11y.atspi.Registry"_s, u"/org/a11y/atspi/registry"_s,
                                                          u"org.a11y.atspi.Registry"_s, method);
    message << event;
    return message;
}

}  // namespace tavrine
