#include "PelmoraMac/Capture/internal/AtspiReplies.h"

#include <QDBusObjectPath>
#include <QDBusVariant>

namespace tavrine::atspi {
using namespace Qt::StringLiterals;

namespace {

// An array of (so) structures.
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

}  // namespace

std::optional<AccessibleElement> elementFrom(const QDBusArgument& argument) {
    if (argument.currentType() != QDBusArgument::StructureType) return std::nullopt;
    QString service;
    QDBusObjectPath path;
    argument.beginStructure();
    argument >> service >> path;
    argument.endStructure();
    return AccessibleElement{.service = service, .path = path.path()};
}

bool isNullElement(const AccessibleElement& element) {
    return element.service.isEmpty() || element.path == u"/org/a11y/atspi/null"_s;
}

bool hasArguments(const Reply& reply, qsizetype count) {
    return reply && *reply && (*reply)->size() >= count;
}

using Reply = AccessibleAnswer<QList<QVariant>>;

AccessibleAnswer<int> intFrom(const Reply& reply) {
    if (!hasArguments(reply, 1)) return withoutValue<int>(reply);
    const auto value = valueOf<int>((*reply)->constFirst());
    if (!value) return unexpectedAnswer<int>();
    return std::optional(*value);
}

AccessibleAnswer<std::uint32_t> roleFrom(const Reply& reply) {
    if (!hasArguments(reply, 1)) return withoutValue<std::uint32_t>(reply);
    const auto role = valueOf<uint>((*reply)->constFirst());
    if (!role) return unexpectedAnswer<std::uint32_t>();
    return std::optional(std::uint32_t(*role));
}

AccessibleAnswer<AccessibleElement> elementFromReply(const Reply& reply) {
    if (!hasArguments(reply, 1)) return withoutValue<AccessibleElement>(reply);
    const QVariant value = (*reply)->constFirst();
    if (!value.canConvert<QDBusArgument>()) return unexpectedAnswer<AccessibleElement>();
    const auto element = elementFrom(value.value<QDBusArgument>());
    if (!element) return unexpectedAnswer<AccessibleElement>();
    if (isNullElement(*element)) return none<AccessibleElement>();
    return std::optional(*element);
}

AccessibleAnswer<QMap<QString, QString>> stringMapFrom(const Reply& reply) {
    if (!hasArguments(reply, 1)) return withoutValue<QMap<QString, QString>>(reply);
    const QVariant value = (*reply)->constFirst();
    if (!value.canConvert<QDBusArgument>()) return unexpectedAnswer<QMap<QString, QString>>();
    return std::optional(qdbus_cast<QMap<QString, QString>>(value));
}

AccessibleAnswer<AccessibleTextRange> rangeFrom(const Reply& reply) {
    if (!hasArguments(reply, 2)) return withoutValue<AccessibleTextRange>(reply);
    const auto start = valueOf<int>((*reply)->at(0));
    const auto end = valueOf<int>((*reply)->at(1));
    if (!start || !end) return unexpectedAnswer<AccessibleTextRange>();
    return std::optional(AccessibleTextRange{.start = *start, .end = *end});
}

AccessibleAnswer<QString> stringFrom(const Reply& reply) {
    if (!hasArguments(reply, 1)) return withoutValue<QString>(reply);
    const QVariant value = (*reply)->constFirst();
    if (value.typeId() != QMetaType::QString) return unexpectedAnswer<QString>();
    return std::optional(value.toString());
}

AccessibleAnswer<QList<AccessibleElement>> childrenFrom(const Reply& reply) {
    if (!hasArguments(reply, 1)) return withoutValue<QList<AccessibleElement>>(reply);
    auto elements = elementsFrom((*reply)->constFirst());
    if (!elements) return unexpectedAnswer<QList<AccessibleElement>>();
    return std::optional(std::move(*elements));
}

AccessibleAnswer<int> intPropertyFrom(const Reply& reply) {
    if (!hasArguments(reply, 1)) return withoutValue<int>(reply);
    const auto value = valueOf<int>((*reply)->constFirst().value<QDBusVariant>().variant());
    if (!value) return unexpectedAnswer<int>();
    return std::optional(*value);
}

AccessibleAnswer<AccessibleBox> boxFrom(const Reply& reply) {
    if (!hasArguments(reply, 4)) return withoutValue<AccessibleBox>(reply);
    const auto x = valueOf<int>((*reply)->at(0));
    const auto y = valueOf<int>((*reply)->at(1));
    const auto width = valueOf<int>((*reply)->at(2));
    const auto height = valueOf<int>((*reply)->at(3));
    if (!x || !y || !width || !height) return unexpectedAnswer<AccessibleBox>();
    return std::optional(AccessibleBox{.x = *x, .y = *y, .width = *width, .height = *height});
}

AccessibleAnswer<AccessibleTextRange> paragraphFrom(const Reply& reply) {
    if (!hasArguments(reply, 3)) return withoutValue<AccessibleTextRange>(reply);
    const auto start = valueOf<int>((*reply)->at(1));
    const auto end = valueOf<int>((*reply)->at(2));
    if (!start || !end) return unexpectedAnswer<AccessibleTextRange>();
    if (*start < 0 || *end <= *start) return none<AccessibleTextRange>();
    return std::optional(AccessibleTextRange{.start = *start, .end = *end});
}

}  // namespace tavrine::atspi
