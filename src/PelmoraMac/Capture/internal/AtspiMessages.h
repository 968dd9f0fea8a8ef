#pragma once

#include "PelmoraMac/Capture/AccessibilityBus.h"

#include <QDBusArgument>
#include <QDBusMessage>
#include <QDBusObjectPath>
#include <QDBusVariant>

#include <optional>

// The messages of the accessibility bus (AT-SPI over D-Bus) that AtspiAccessibilityBus sends, and how their
// replies are read.
namespace tavrine::atspi {
using namespace Qt::StringLiterals;

inline const QString kAccessible = u"org.a11y.atspi.Accessible"_s;
inline const QString kText = u"org.a11y.atspi.Text"_s;
inline const QString kHypertext = u"org.a11y.atspi.Hypertext"_s;

template <typename T>
AccessibleAnswer<T> none() {
    return std::optional<T>{};
}

inline QDBusMessage callOf(const AccessibleElement& element, const QString& interface, const QString& method) {
    return QDBusMessage::createMethodCall(element.service, element.path, interface, method);
}

// A (so) structure: a bus name and an object path.
inline std::optional<AccessibleElement> elementFrom(const QDBusArgument& argument) {
    if (argument.currentType() != QDBusArgument::StructureType) return std::nullopt;
    QString service;
    QDBusObjectPath path;
    argument.beginStructure();
    argument >> service >> path;
    argument.endStructure();
    return AccessibleElement{.service = service, .path = path.path()};
}

// Whether an element is the bus's way of naming no object.
inline bool isNullElement(const AccessibleElement& element) {
    return element.service.isEmpty() || element.path == u"/org/a11y/atspi/null"_s;
}

inline std::optional<QList<AccessibleElement>> elementsFrom(const QVariant& value) {
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
inline bool hasArguments(const AccessibleAnswer<QList<QVariant>>& reply, qsizetype count) {
    return reply && *reply && (*reply)->size() >= count;
}

template <typename T>
std::optional<T> valueOf(const QVariant& value) {
    if (value.typeId() != qMetaTypeId<T>()) return std::nullopt;
    return value.value<T>();
}

using Reply = AccessibleAnswer<QList<QVariant>>;

// The answers that the calls below give, read from their replies.
inline AccessibleAnswer<int> intFrom(const Reply& reply) {
    if (!hasArguments(reply, 1)) return withoutValue<int>(reply);
    const auto value = valueOf<int>((*reply)->constFirst());
    if (!value) return unexpectedAnswer<int>();
    return std::optional(*value);
}

inline AccessibleAnswer<std::uint32_t> roleFrom(const Reply& reply) {
    if (!hasArguments(reply, 1)) return withoutValue<std::uint32_t>(reply);
    const auto role = valueOf<uint>((*reply)->constFirst());
    if (!role) return unexpectedAnswer<std::uint32_t>();
    return std::optional(std::uint32_t(*role));
}

inline AccessibleAnswer<AccessibleElement> elementFromReply(const Reply& reply) {
    if (!hasArguments(reply, 1)) return withoutValue<AccessibleElement>(reply);
    const QVariant value = (*reply)->constFirst();
    if (!value.canConvert<QDBusArgument>()) return unexpectedAnswer<AccessibleElement>();
    const auto element = elementFrom(value.value<QDBusArgument>());
    if (!element) return unexpectedAnswer<AccessibleElement>();
    if (isNullElement(*element)) return none<AccessibleElement>();
    return std::optional(*element);
}

inline AccessibleAnswer<QMap<QString, QString>> stringMapFrom(const Reply& reply) {
    if (!hasArguments(reply, 1)) return withoutValue<QMap<QString, QString>>(reply);
    const QVariant value = (*reply)->constFirst();
    if (!value.canConvert<QDBusArgument>()) return unexpectedAnswer<QMap<QString, QString>>();
    return std::optional(qdbus_cast<QMap<QString, QString>>(value));
}

inline AccessibleAnswer<AccessibleTextRange> rangeFrom(const Reply& reply) {
    if (!hasArguments(reply, 2)) return withoutValue<AccessibleTextRange>(reply);
    const auto start = valueOf<int>((*reply)->at(0));
    const auto end = valueOf<int>((*reply)->at(1));
    if (!start || !end) return unexpectedAnswer<AccessibleTextRange>();
    return std::optional(AccessibleTextRange{.start = *start, .end = *end});
}

inline AccessibleAnswer<QString> stringFrom(const Reply& reply) {
    if (!hasArguments(reply, 1)) return withoutValue<QString>(reply);
    const QVariant value = (*reply)->constFirst();
    if (value.typeId() != QMetaType::QString) return unexpectedAnswer<QString>();
    return std::optional(value.toString());
}

// One answer per item: in order, the answers of the calls made for the items `asked` says were asked, and
// none for the others.
template <typename T>
QList<std::optional<T>> spread(const QList<bool>& asked, QList<std::optional<T>> answers) {
    QList<std::optional<T>> all;
    all.reserve(asked.size());
    qsizetype next = 0;
    for (const bool wasAsked : asked) all.append(wasAsked ? std::move(answers[next++]) : std::nullopt);
    return all;
}

inline AccessibleAnswer<QList<AccessibleElement>> childrenFrom(const Reply& reply) {
    if (!hasArguments(reply, 1)) return withoutValue<QList<AccessibleElement>>(reply);
    auto elements = elementsFrom((*reply)->constFirst());
    if (!elements) return unexpectedAnswer<QList<AccessibleElement>>();
    return std::optional(std::move(*elements));
}

// A property of one of the element's interfaces.
inline QDBusMessage propertyCall(const AccessibleElement& element, const QString& interface, const QString& name) {
    QDBusMessage message = callOf(element, u"org.freedesktop.DBus.Properties"_s, u"Get"_s);
    message << interface << name;
    return message;
}

// A property's value, read from its reply as an int.
inline AccessibleAnswer<int> intPropertyFrom(const Reply& reply) {
    if (!hasArguments(reply, 1)) return withoutValue<int>(reply);
    const auto value = valueOf<int>((*reply)->constFirst().value<QDBusVariant>().variant());
    if (!value) return unexpectedAnswer<int>();
    return std::optional(*value);
}

inline QDBusMessage childrenCall(const AccessibleElement& element) {
    return callOf(element, kAccessible, u"GetChildren"_s);
}

inline QDBusMessage roleCall(const AccessibleElement& element) {
    return callOf(element, kAccessible, u"GetRole"_s);
}

inline QDBusMessage attributesCall(const AccessibleElement& element) {
    return callOf(element, kAccessible, u"GetAttributes"_s);
}

inline QDBusMessage selectionCountCall(const AccessibleElement& element) {
    return callOf(element, kText, u"GetNSelections"_s);
}

inline QDBusMessage selectionCall(const AccessibleElement& element, int index) {
    QDBusMessage message = callOf(element, kText, u"GetSelection"_s);
    message << index;
    return message;
}

inline QDBusMessage textCall(const AccessibleElement& element, AccessibleTextRange range) {
    QDBusMessage message = callOf(element, kText, u"GetText"_s);
    message << range.start << range.end;
    return message;
}

// The three steps from a place in a text to the object there: the index of the link at the offset, the
// link, the link's object.
inline QDBusMessage linkIndexCall(const AccessibleElement& element, int offset) {
    QDBusMessage message = callOf(element, kHypertext, u"GetLinkIndex"_s);
    message << offset;
    return message;
}

inline QDBusMessage linkCall(const AccessibleElement& element, int index) {
    QDBusMessage message = callOf(element, kHypertext, u"GetLink"_s);
    message << index;
    return message;
}

inline QDBusMessage linkObjectCall(const AccessibleElement& link) {
    QDBusMessage message = callOf(link, u"org.a11y.atspi.Hyperlink"_s, u"GetObject"_s);
    message << 0;
    return message;
}

// A question about an offset of a text and its kind: where the character is drawn (GetCharacterExtents, 0: in
// the screen's coordinates), or the paragraph that holds it (GetStringAtOffset, 4: the bus's paragraphs).
inline QDBusMessage textAtCall(const AccessibleElement& element, const QString& method, int offset, uint kind) {
    QDBusMessage message = callOf(element, kText, method);
    message << offset << kind;
    return message;
}

inline AccessibleAnswer<AccessibleBox> boxFrom(const Reply& reply) {
    if (!hasArguments(reply, 4)) return withoutValue<AccessibleBox>(reply);
    const auto x = valueOf<int>((*reply)->at(0));
    const auto y = valueOf<int>((*reply)->at(1));
    const auto width = valueOf<int>((*reply)->at(2));
    const auto height = valueOf<int>((*reply)->at(3));
    if (!x || !y || !width || !height) return unexpectedAnswer<AccessibleBox>();
    return std::optional(AccessibleBox{.x = *x, .y = *y, .width = *width, .height = *height});
}

// The string's range, after the string; none where the application tells no paragraph (-1).
inline AccessibleAnswer<AccessibleTextRange> paragraphFrom(const Reply& reply) {
    if (!hasArguments(reply, 3)) return withoutValue<AccessibleTextRange>(reply);
    const auto start = valueOf<int>((*reply)->at(1));
    const auto end = valueOf<int>((*reply)->at(2));
    if (!start || !end) return unexpectedAnswer<AccessibleTextRange>();
    if (*start < 0 || *end <= *start) return none<AccessibleTextRange>();
    return std::optional(AccessibleTextRange{.start = *start, .end = *end});
}

}  // namespace tavrine::atspi
