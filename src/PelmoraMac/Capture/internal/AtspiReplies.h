#pragma once

#include "PelmoraMac/Capture/AccessibilityBus.h"

#include <QDBusArgument>
#include <QList>
#include <QMap>
#include <QVariant>

#include <optional>

// The answers of the accessibility bus's calls, read from their replies' arguments. A reply is the
// arguments of an answered call, none for an unknown object, interface, method or property, or the
// failure that ended the call. An answer of another type than the interface declares is an error of the
// application (unavailable).
namespace tavrine::atspi {

using Reply = AccessibleAnswer<QList<QVariant>>;

template <typename T>
AccessibleAnswer<T> none() {
    return std::optional<T>{};
}

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

// The value when it has exactly the type T.
template <typename T>
std::optional<T> valueOf(const QVariant& value) {
    if (value.typeId() != qMetaTypeId<T>()) return std::nullopt;
    return value.value<T>();
}

// The arguments of a reply, when it has at least `count`.
bool hasArguments(const Reply& reply, qsizetype count);

// A (so) structure: a bus name and an object path.
std::optional<AccessibleElement> elementFrom(const QDBusArgument& argument);
// Whether an element is the bus's way of naming no object.
bool isNullElement(const AccessibleElement& element);

AccessibleAnswer<int> intFrom(const Reply& reply);
// A property's value, read as an int.
AccessibleAnswer<int> intPropertyFrom(const Reply& reply);
AccessibleAnswer<std::uint32_t> roleFrom(const Reply& reply);
// An element; none where the bus names no object.
AccessibleAnswer<AccessibleElement> elementFromReply(const Reply& reply);
AccessibleAnswer<QList<AccessibleElement>> childrenFrom(const Reply& reply);
AccessibleAnswer<QMap<QString, QString>> stringMapFrom(const Reply& reply);
AccessibleAnswer<AccessibleTextRange> rangeFrom(const Reply& reply);
AccessibleAnswer<QString> stringFrom(const Reply& reply);
AccessibleAnswer<AccessibleBox> boxFrom(const Reply& reply);
// The string's range, after the string; none where the application tells no paragraph (-1).
AccessibleAnswer<AccessibleTextRange> paragraphFrom(const Reply& reply);

}  // namespace tavrine::atspi
