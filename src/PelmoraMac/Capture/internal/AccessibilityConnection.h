#pragma once

#include <QDBusConnection>
#include <QDBusMessage>

#include <optional>

namespace tavrine {

// The session's accessibility bus, as its launcher on the session bus (org.a11y.Bus) describes it.

// Whether the launcher answers within the time and says that accessibility is enabled
// (org.a11y.Status.IsEnabled).
bool accessibilityBusEnabled(int timeoutMilliseconds);

// Turns accessibility on for the session (org.a11y.Status.IsEnabled set true), so that applications
// started from now on, and those that follow the setting, serve their text; whether the launcher took it.
bool enableAccessibilityBus(int timeoutMilliseconds);

// A connection to the accessibility bus, whose address the launcher gives (one shared connection per
// address, opened at the first call); none when the launcher does not answer within the time or the bus
// cannot be reached.
std::optional<QDBusConnection> accessibilityBusConnection(int timeoutMilliseconds);

// A call to the bus's registry (RegisterEvent, DeregisterEvent) about the announcements named `event`
// ("object:state-changed:focused"): the applications make those somebody registered for, and no others.
QDBusMessage registryEventCall(const QString& method, const QString& event);

}  // namespace tavrine
