#include "PelmoraMac/Capture/AtspiAccessibilityBus.h"

#include "PelmoraMac/Capture/internal/AccessibilityConnection.h"

#include <QDBusArgument>
#include <QDBusObjectPath>
#include <QDBusPendingCallWatcher>
#include <QDBusVariant>
#include <QEventLoop>
#include <QTimer>

#include <cmath>

namespace tavrine {
using namespace Qt::StringLiterals;

namespace {

// How long the launcher may take to say whether accessibility is on, before a capture's time starts.
constexpr int kLauncherTimeoutMilliseconds = 1'000;
constexpr int kBackstopMilliseconds = 1'000;

const QString kAccessible = u"org.a11y.atspi.Accessible"_s;
const QString kText = u"org.a11y.atspi.Text"_s;
const QString kHypertext = u"org.a11y.atspi.Hypertext"_s;

template <typename T>
AccessibleAnswer<T> none() {
    return std::optional<T>{};
}

QDBusMessage callOf(const AccessibleElement& element, const QString& interface, const QString& method) {
    return QDBusMessage::createMethodCall(element.service, element.path, interface, method);
}

// A (so) structure: a bus name and an object path.
std::optional<AccessibleElement> elementFrom(const QDBusArgument& argument) {
    if (argument.currentType() != QDBusArgument::StructureType) return std::nullopt;
    QString service;
    QDBusObjectPath path;
    argument.beginStructure();
    argument >> service >> path;
    argument.endStructure();
    return AccessibleElement{.service = service, .path = path.path()};
}

// Whether an element is the bus's way of naming no object.
bool isNullElement(const AccessibleElement& element) {
    return element.service.isEmpty() || element.path == u"/org/a11y/atspi/null"_s;
}

std::optional<QList<AccessibleElement>> elementsFrom(const QVariant& value) {
    if (!value.canConvert<QDBusArgument>()) return std::nullopt;
    const auto argument = value.value<QDBusArgument>();
    if (argument.currentType() != QDBusArgument::ArrayType) return std::nullopt;
    QList<AccessibleElement> elements;
    argument.beginArray();
    while (!argument.atEnd()) {
        const auto element = elementFrom(argument);
        if (!element) return std::nullopt;
        elements.append(*element);
    }
    argument.endArray();
    return elements;
}

// An answer of another type than the interface declares is an error of the application.
template <typename T>
AccessibleAnswer<T> unexpectedAnswer() {
    return tl::unexpected(CaptureFailure::unavailable);
}

// What a call passes on when the answer it relies on has no value: its failure, or no value.
template <typename T, typename U>
AccessibleAnswer<T> withoutValue(const AccessibleAnswer<U>& answer) {
    if (!answer) return tl::unexpected(answer.error());
    return std::optional<T>{};
}

// The arguments of a reply, when it has at least `count`.
bool hasArguments(const AccessibleAnswer<QList<QVariant>>& reply, qsizetype count) {
    return reply && *reply && (*reply)->size() >= count;
}

template <typename T>
std::optional<T> valueOf(const QVariant& value) {
    if (value.typeId() != qMetaTypeId<T>()) return std::nullopt;
    return value.value<T>();
}

}  // namespace

AtspiAccessibilityBus::AtspiAccessibilityBus(std::shared_ptr<const AccessibilityFocusLog> focusLog)
    : m_focusLog(std::move(focusLog)) {}

bool AtspiAccessibilityBus::isEnabled() {
    if (!accessibilityBusEnabled(kLauncherTimeoutMilliseconds)) return false;
    if (!m_connection || !m_connection->isConnected())
        m_connection = accessibilityBusConnection(kLauncherTimeoutMilliseconds);
    return m_connection.has_value();
}

AccessibleAnswer<QList<QVariant>> AtspiAccessibilityBus::send(const QDBusMessage& message, CaptureDeadline deadline) {
    if (!m_connection || !m_connection->isConnected()) return tl::unexpected(CaptureFailure::permissionRequired);
    const auto left = std::chrono::duration<double, std::milli>(deadline - SystemClock::shared().monotonicNow());
    if (left.count() <= 0) return tl::unexpected(CaptureFailure::timedOut);
    // The bus's own time-out is a coarse timer that may end the wait early or late; the wait is ours, on a
    // precise timer at the deadline, and the bus's time-out only a backstop after it.
    const int timeout = int(std::ceil(left.count()));
    QDBusPendingCallWatcher watcher(m_connection->asyncCall(message, timeout + kBackstopMilliseconds));
    if (!watcher.isFinished()) {
        QEventLoop loop;
        QTimer timer;
        timer.setTimerType(Qt::PreciseTimer);
        timer.setSingleShot(true);
        QObject::connect(&timer, &QTimer::timeout, &loop, &QEventLoop::quit);
        QObject::connect(&watcher, &QDBusPendingCallWatcher::finished, &loop, &QEventLoop::quit);
        timer.start(timeout);
        loop.exec();
        if (!watcher.isFinished()) return tl::unexpected(CaptureFailure::timedOut);
    }
    const QDBusMessage reply = watcher.reply();
    if (reply.type() == QDBusMessage::ReplyMessage) return std::optional(reply.arguments());
    const QString error = reply.errorName();
    if (error == u"org.freedesktop.DBus.Error.NoReply"_s || error == u"org.freedesktop.DBus.Error.Timeout"_s ||
        error == u"org.freedesktop.DBus.Error.TimedOut"_s) {
        return tl::unexpected(CaptureFailure::timedOut);
    }
    if (error == u"org.freedesktop.DBus.Error.UnknownMethod"_s ||
        error == u"org.freedesktop.DBus.Error.UnknownObject"_s ||
        error == u"org.freedesktop.DBus.Error.UnknownInterface"_s ||
        error == u"org.freedesktop.DBus.Error.UnknownProperty"_s ||
        // The application went away since it was found: it has nothing to show any more.
        error == u"org.freedesktop.DBus.Error.ServiceUnknown"_s ||
        error == u"org.freedesktop.DBus.Error.NameHasNoOwner"_s) {
        return none<QList<QVariant>>();
    }
    if (error == u"org.freedesktop.DBus.Error.Disconnected"_s || !m_connection->isConnected()) {
        return tl::unexpected(CaptureFailure::permissionRequired);
    }
    return tl::unexpected(CaptureFailure::unavailable);
}

AccessibleAnswer<QVariant> AtspiAccessibilityBus::property(const AccessibleElement& element, const QString& interface,
                                                           const QString& name, CaptureDeadline deadline) {
    QDBusMessage message = callOf(element, u"org.freedesktop.DBus.Properties"_s, u"Get"_s);
    message << interface << name;
    auto reply = send(message, deadline);
    if (!hasArguments(reply, 1)) return withoutValue<QVariant>(reply);
    return std::optional((*reply)->constFirst().value<QDBusVariant>().variant());
}

AccessibleAnswer<QList<AccessibleElement>> AtspiAccessibilityBus::applications(CaptureDeadline deadline) {
    return children({.service = u"org.a11y.atspi.Registry"_s, .path = u"/org/a11y/atspi/accessible/root"_s}, deadline);
}

AccessibleAnswer<pid_t> AtspiAccessibilityBus::processOf(const QString& service, CaptureDeadline deadline) {
    QDBusMessage message = QDBusMessage::createMethodCall(u"org.freedesktop.DBus"_s, u"/org/freedesktop/DBus"_s,
                                                          u"org.freedesktop.DBus"_s, u"GetConnectionUnixProcessID"_s);
    message << service;
    auto reply = send(message, deadline);
    if (!hasArguments(reply, 1)) return withoutValue<pid_t>(reply);
    const auto process = valueOf<uint>((*reply)->constFirst());
    if (!process) return unexpectedAnswer<pid_t>();
    return std::optional(pid_t(*process));
}

std::optional<AccessibleElement> AtspiAccessibilityBus::lastFocused(const QString& service) {
    return m_focusLog ? m_focusLog->lastFocused(service) : std::nullopt;
}

AccessibleAnswer<std::uint32_t> AtspiAccessibilityBus::role(const AccessibleElement& element,
                                                            CaptureDeadline deadline) {
    auto reply = send(callOf(element, kAccessible, u"GetRole"_s), deadline);
    if (!hasArguments(reply, 1)) return withoutValue<std::uint32_t>(reply);
    const auto role = valueOf<uint>((*reply)->constFirst());
    if (!role) return unexpectedAnswer<std::uint32_t>();
    return std::optional(std::uint32_t(*role));
}

AccessibleAnswer<AccessibleStates> AtspiAccessibilityBus::states(const AccessibleElement& element,
                                                                 CaptureDeadline deadline) {
    auto reply = send(callOf(element, kAccessible, u"GetState"_s), deadline);
    if (!hasArguments(reply, 1)) return withoutValue<AccessibleStates>(reply);
    const QVariant value = (*reply)->constFirst();
    if (!value.canConvert<QDBusArgument>()) return unexpectedAnswer<AccessibleStates>();
    const auto words = qdbus_cast<QList<uint>>(value);
    AccessibleStates states;
    for (qsizetype i = 0; i < std::min<qsizetype>(words.size(), 2); ++i) {
        states.bits |= std::uint64_t(words[i]) << (32 * i);
    }
    return std::optional(states);
}

AccessibleAnswer<AccessibleElement> AtspiAccessibilityBus::parent(const AccessibleElement& element,
                                                                  CaptureDeadline deadline) {
    auto value = property(element, kAccessible, u"Parent"_s, deadline);
    if (!value || !*value) return withoutValue<AccessibleElement>(value);
    if (!(*value)->canConvert<QDBusArgument>()) return unexpectedAnswer<AccessibleElement>();
    const auto parent = elementFrom((*value)->value<QDBusArgument>());
    if (!parent) return unexpectedAnswer<AccessibleElement>();
    if (isNullElement(*parent)) return none<AccessibleElement>();
    return std::optional(*parent);
}

AccessibleAnswer<AccessibleElement> AtspiAccessibilityBus::elementAnswer(const QDBusMessage& message,
                                                                         CaptureDeadline deadline) {
    auto reply = send(message, deadline);
    if (!hasArguments(reply, 1)) return withoutValue<AccessibleElement>(reply);
    const QVariant value = (*reply)->constFirst();
    if (!value.canConvert<QDBusArgument>()) return unexpectedAnswer<AccessibleElement>();
    const auto element = elementFrom(value.value<QDBusArgument>());
    if (!element) return unexpectedAnswer<AccessibleElement>();
    if (isNullElement(*element)) return none<AccessibleElement>();
    return std::optional(*element);
}

AccessibleAnswer<QMap<QString, QString>> AtspiAccessibilityBus::stringMap(const QDBusMessage& message,
                                                                          CaptureDeadline deadline) {
    auto reply = send(message, deadline);
    if (!hasArguments(reply, 1)) return withoutValue<QMap<QString, QString>>(reply);
    const QVariant value = (*reply)->constFirst();
    if (!value.canConvert<QDBusArgument>()) return unexpectedAnswer<QMap<QString, QString>>();
    return std::optional(qdbus_cast<QMap<QString, QString>>(value));
}

AccessibleAnswer<QList<AccessibleElement>> AtspiAccessibilityBus::children(const AccessibleElement& element,
                                                                           CaptureDeadline deadline) {
    auto reply = send(callOf(element, kAccessible, u"GetChildren"_s), deadline);
    if (!hasArguments(reply, 1)) return withoutValue<QList<AccessibleElement>>(reply);
    auto elements = elementsFrom((*reply)->constFirst());
    if (!elements) return unexpectedAnswer<QList<AccessibleElement>>();
    return std::optional(std::move(*elements));
}

AccessibleAnswer<QMap<QString, QString>> AtspiAccessibilityBus::documentAttributes(const AccessibleElement& element,
                                                                                   CaptureDeadline deadline) {
    return stringMap(callOf(element, u"org.a11y.atspi.Document"_s, u"GetAttributes"_s), deadline);
}

AccessibleAnswer<QMap<QString, QString>> AtspiAccessibilityBus::attributes(const AccessibleElement& element,
                                                                           CaptureDeadline deadline) {
    return stringMap(callOf(element, kAccessible, u"GetAttributes"_s), deadline);
}

AccessibleAnswer<int> AtspiAccessibilityBus::characterCount(const AccessibleElement& element,
                                                            CaptureDeadline deadline) {
    auto value = property(element, kText, u"CharacterCount"_s, deadline);
    if (!value || !*value) return withoutValue<int>(value);
    const auto count = valueOf<int>(**value);
    if (!count) return unexpectedAnswer<int>();
    return std::optional(*count);
}

AccessibleAnswer<int> AtspiAccessibilityBus::selectionCount(const AccessibleElement& element,
                                                            CaptureDeadline deadline) {
    auto reply = send(callOf(element, kText, u"GetNSelections"_s), deadline);
    if (!hasArguments(reply, 1)) return withoutValue<int>(reply);
    const auto count = valueOf<int>((*reply)->constFirst());
    if (!count) return unexpectedAnswer<int>();
    return std::optional(*count);
}

AccessibleAnswer<AccessibleTextRange> AtspiAccessibilityBus::selection(const AccessibleElement& element, int index,
                                                                       CaptureDeadline deadline) {
    QDBusMessage message = callOf(element, kText, u"GetSelection"_s);
    message << index;
    auto reply = send(message, deadline);
    if (!hasArguments(reply, 2)) return withoutValue<AccessibleTextRange>(reply);
    const auto start = valueOf<int>((*reply)->at(0));
    const auto end = valueOf<int>((*reply)->at(1));
    if (!start || !end) return unexpectedAnswer<AccessibleTextRange>();
    return std::optional(AccessibleTextRange{.start = *start, .end = *end});
}

AccessibleAnswer<QString> AtspiAccessibilityBus::text(const AccessibleElement& element, AccessibleTextRange range,
                                                      CaptureDeadline deadline) {
    QDBusMessage message = callOf(element, kText, u"GetText"_s);
    message << range.start << range.end;
    auto reply = send(message, deadline);
    if (!hasArguments(reply, 1)) return withoutValue<QString>(reply);
    const QVariant value = (*reply)->constFirst();
    if (value.typeId() != QMetaType::QString) return unexpectedAnswer<QString>();
    return std::optional(value.toString());
}

AccessibleAnswer<AccessibleElement> AtspiAccessibilityBus::embeddedObject(const AccessibleElement& element, int offset,
                                                                          CaptureDeadline deadline) {
    QDBusMessage indexCall = callOf(element, kHypertext, u"GetLinkIndex"_s);
    indexCall << offset;
    auto reply = send(indexCall, deadline);
    if (!hasArguments(reply, 1)) return withoutValue<AccessibleElement>(reply);
    const auto index = valueOf<int>((*reply)->constFirst());
    if (!index) return unexpectedAnswer<AccessibleElement>();
    if (*index < 0) return none<AccessibleElement>();
    QDBusMessage linkCall = callOf(element, kHypertext, u"GetLink"_s);
    linkCall << *index;
    auto link = elementAnswer(linkCall, deadline);
    if (!link || !*link) return link;
    QDBusMessage objectCall = callOf(**link, u"org.a11y.atspi.Hyperlink"_s, u"GetObject"_s);
    objectCall << 0;
    return elementAnswer(objectCall, deadline);
}

}  // namespace tavrine
