#pragma once

#include "ReaderCore/Date.h"

#include <QByteArray>
#include <QHash>
#include <QJsonArray>
#include <QJsonObject>
#include <QJsonValue>
#include <QList>
#include <QString>
#include <QStringList>
#include <QUuid>
#include <tl/expected.hpp>

#include <array>
#include <concepts>
#include <initializer_list>
#include <limits>
#include <optional>
#include <string_view>
#include <type_traits>
#include <utility>

// The JSON coding layer that every stored or exchanged value goes through. Its conventions:
// - optional fields are left out when absent; on reading, a missing key and null both mean absent;
// - types are strict: a string is never read as a number, 1 is not a Boolean, 1.5 is not an integer;
// - keys that a record does not know are ignored;
// - a date is a number of seconds since 2001-01-01 UTC, an identifier its upper-case canonical text,
//   binary data a padded Base64 string, an enumeration its raw string (an unknown string fails);
// - decoding never validates: the owner of the type checks the decoded value itself.
// Decoding returns the value or a DecodingError, never a half-built value.

namespace tavrine {

struct DecodingError {
    enum class Kind { typeMismatch, valueNotFound, keyNotFound, dataCorrupted };

    Kind kind = Kind::dataCorrupted;
    // Where the failure is, as "spans.Index 3.kind"; empty at the top level.
    QString codingPath;
    QString debugDescription;

    bool operator==(const DecodingError&) const = default;
};

template <typename T>
using Decoded = tl::expected<T, DecodingError>;

// The place of a value inside a JSON document, for error texts. Decoding makes one per value it visits,
// so a path costs nothing until an error spells it out: it refers to its parent path and to its key's
// characters, and is valid while they are (for the duration of the decoding call that made it). The
// root path has no parent, so children of a temporary root are safe too.
class JsonPath {
public:
    JsonPath() = default;
    JsonPath key(QStringView key) const { return JsonPath(parentForChild(), key, -1); }
    JsonPath index(qsizetype index) const { return JsonPath(parentForChild(), QStringView(), index); }
    // "spans.Index 3.kind"; empty at the root.
    QString toString() const;

    DecodingError error(DecodingError::Kind kind, QString description) const {
        return {kind, toString(), std::move(description)};
    }

private:
    JsonPath(const JsonPath* parent, QStringView key, qsizetype index) : m_parent(parent), m_key(key), m_index(index) {}
    bool isRoot() const { return !m_parent && m_key.isNull() && m_index < 0; }
    const JsonPath* parentForChild() const { return isRoot() ? nullptr : this; }

    const JsonPath* m_parent = nullptr;
    QStringView m_key;
    qsizetype m_index = -1;
};

// Names the JSON type of a value for error texts ("a string", "null", ...).
QString describeJsonType(const QJsonValue& value);
DecodingError typeMismatch(const JsonPath& path, QStringView expected, const QJsonValue& found);

// ---- Enumerations stored by their raw strings -------------------------------------------------------
//
// Specialise EnumTable<E> with
//     static constexpr auto entries = std::to_array<std::pair<E, std::u16string_view>>({...});
// listing every case once, in declaration order; raw values match exactly (case-sensitive). The table is
// the enumeration's one list of its cases: whatever walks every case, or sizes a table by them, uses
// enumCases<E>() and never a hand-written count or integers cast to E.
template <typename E>
struct EnumTable;

template <typename E>
concept RawValueEnum = std::is_enum_v<E> && requires {
    EnumTable<E>::entries;
};

// Every case of E, in declaration order.
template <RawValueEnum E>
constexpr auto enumCases() {
    std::array<E, EnumTable<E>::entries.size()> cases{};
    for (std::size_t i = 0; i < cases.size(); ++i) cases[i] = EnumTable<E>::entries[i].first;
    return cases;
}

template <RawValueEnum E>
QString rawValue(E value) {
    for (const auto& [entry, raw] : EnumTable<E>::entries) {
        if (entry == value) return QString::fromRawData(reinterpret_cast<const QChar*>(raw.data()), raw.size());
    }
    Q_UNREACHABLE();
    return QString();
}

template <RawValueEnum E>
std::optional<E> enumFromRawValue(QStringView text) {
    for (const auto& [entry, raw] : EnumTable<E>::entries) {
        if (text == QStringView(raw.data(), raw.size())) return entry;
    }
    return std::nullopt;
}

// ---- Encoding ---------------------------------------------------------------------------------------

inline QJsonValue toJson(const QString& value) {
    return value;
}
inline QJsonValue toJson(bool value) {
    return value;
}
inline QJsonValue toJson(double value) {
    return value;
}
template <std::integral I>
requires(!std::same_as<I, bool>) QJsonValue toJson(I value) {
    return QJsonValue(static_cast<qint64>(value));
}
inline QJsonValue toJson(Date value) {
    return value.secondsSinceReferenceDate;
}
QJsonValue toJson(const QUuid& value);
QJsonValue toJson(const QByteArray& value);
template <RawValueEnum E>
QJsonValue toJson(E value) {
    return rawValue(value);
}
template <typename T>
QJsonValue toJson(const QList<T>& values) {
    QJsonArray array;
    for (const T& value : values) array.append(toJson(value));
    return array;
}

// Writes a key only when the optional holds a value.
template <typename T>
void insertIfPresent(QJsonObject& object, QStringView key, const std::optional<T>& value) {
    if (value) object.insert(key, toJson(*value));
}

// Compact UTF-8 text of a value (an object or an array).
QByteArray encodeJson(const QJsonValue& value);

// ---- Decoding ---------------------------------------------------------------------------------------
//
// decodeJson(value, path, std::type_identity<T>{}) decodes one value of type T. Types of the model add
// their own overload beside their definition; it is found through the tag's template argument.

Decoded<QString> decodeJson(const QJsonValue& value, const JsonPath& path, std::type_identity<QString>);
Decoded<bool> decodeJson(const QJsonValue& value, const JsonPath& path, std::type_identity<bool>);
Decoded<double> decodeJson(const QJsonValue& value, const JsonPath& path, std::type_identity<double>);
Decoded<qint64> decodeJsonInteger(const QJsonValue& value, const JsonPath& path);
template <std::integral I>
requires(!std::same_as<I, bool>) Decoded<I> decodeJson(const QJsonValue& value, const JsonPath& path,
                                                       std::type_identity<I>) {
    auto integer = decodeJsonInteger(value, path);
    if (!integer) return tl::unexpected(integer.error());
    if (*integer < static_cast<qint64>(std::numeric_limits<I>::min()) ||
        *integer > static_cast<qint64>(std::numeric_limits<I>::max())) {
        return tl::unexpected(path.error(DecodingError::Kind::dataCorrupted,
                                         QStringLiteral("Parsed JSON number <%1> does not fit.").arg(*integer)));
    }
    return static_cast<I>(*integer);
}
Decoded<Date> decodeJson(const QJsonValue& value, const JsonPath& path, std::type_identity<Date>);
Decoded<QUuid> decodeJson(const QJsonValue& value, const JsonPath& path, std::type_identity<QUuid>);
Decoded<QByteArray> decodeJson(const QJsonValue& value, const JsonPath& path, std::type_identity<QByteArray>);

template <RawValueEnum E>
Decoded<E> decodeJson(const QJsonValue& value, const JsonPath& path, std::type_identity<E>) {
    if (!value.isString()) return tl::unexpected(typeMismatch(path, u"String", value));
    const QString text = value.toString();
    if (auto result = enumFromRawValue<E>(text)) return *result;
    return tl::unexpected(path.error(DecodingError::Kind::dataCorrupted,
                                     QStringLiteral("Cannot initialize from invalid String value %1").arg(text)));
}

template <typename T>
Decoded<QList<T>> decodeJson(const QJsonValue& value, const JsonPath& path, std::type_identity<QList<T>>) {
    if (!value.isArray()) return tl::unexpected(typeMismatch(path, u"Array", value));
    const QJsonArray array = value.toArray();
    QList<T> result;
    result.reserve(array.size());
    for (qsizetype i = 0; i < array.size(); ++i) {
        const QJsonValue element = array.at(i);
        const JsonPath elementPath = path.index(i);
        if (element.isNull()) {
            return tl::unexpected(elementPath.error(DecodingError::Kind::valueNotFound,
                                                    QStringLiteral("Expected a value but found null instead.")));
        }
        auto decoded = decodeJson(element, elementPath, std::type_identity<T>{});
        if (!decoded) return tl::unexpected(std::move(decoded).error());
        result.append(std::move(*decoded));
    }
    return result;
}

// A dictionary keyed by strings is a JSON object; a null value is valueNotFound, as in an array.
template <typename T>
Decoded<QHash<QString, T>> decodeJson(const QJsonValue& value, const JsonPath& path,
                                      std::type_identity<QHash<QString, T>>) {
    if (!value.isObject()) return tl::unexpected(typeMismatch(path, u"Dictionary", value));
    const QJsonObject object = value.toObject();
    QHash<QString, T> result;
    result.reserve(object.size());
    for (auto it = object.begin(); it != object.end(); ++it) {
        const QJsonValue element = it.value();
        const QString key = it.key();  // the path refers to the key's characters
        const JsonPath elementPath = path.key(key);
        if (element.isNull()) {
            return tl::unexpected(elementPath.error(DecodingError::Kind::valueNotFound,
                                                    QStringLiteral("Expected a value but found null instead.")));
        }
        auto decoded = decodeJson(element, elementPath, std::type_identity<T>{});
        if (!decoded) return tl::unexpected(std::move(decoded).error());
        result.insert(key, std::move(*decoded));
    }
    return result;
}

// Reads the fields of one JSON object. The first failure is kept and every later read returns a default
// value without looking, so a decoder reads its fields in a row and asks finish() once at the end.
class JsonObjectDecoder {
public:
    JsonObjectDecoder(const QJsonValue& value, JsonPath path);

    // A required key: missing is keyNotFound, null is valueNotFound.
    template <typename T>
    T required(QStringView key) {
        const QJsonValue value = lookUp(key, /*required=*/true);
        if (m_error) return T{};
        return take(decodeJson(value, m_path.key(key), std::type_identity<T>{}));
    }

    // An optional key: missing and null are both absent.
    template <typename T>
    std::optional<T> optional(QStringView key) {
        const QJsonValue value = lookUp(key, /*required=*/false);
        if (m_error || value.isUndefined() || value.isNull()) return std::nullopt;
        return take(decodeJson(value, m_path.key(key), std::type_identity<T>{}));
    }

    bool contains(QStringView key) const { return m_object.contains(key); }
    const QJsonObject& object() const { return m_object; }
    const JsonPath& path() const { return m_path; }
    bool failed() const { return m_error.has_value(); }
    // Records a failure found by the caller (the first one wins).
    void fail(DecodingError error) {
        if (!m_error) m_error = std::move(error);
    }

    template <typename T>
    Decoded<T> finish(T value) {
        if (m_error) return tl::unexpected(*m_error);
        return value;
    }

private:
    QJsonValue lookUp(QStringView key, bool required);

    template <typename T>
    T take(Decoded<T> decoded) {
        if (decoded) return std::move(*decoded);
        fail(std::move(decoded).error());
        return T{};
    }

    QJsonObject m_object;
    JsonPath m_path;
    std::optional<DecodingError> m_error;
};

// ---- Enumerations with payloads ---------------------------------------------------------------------
//
// A case with a payload is written as an object with exactly one key, the case name, whose value is an
// object of the payload's labelled values; an unlabelled value takes the key "_0".
inline constexpr QStringView kUnlabelledPayloadKey = u"_0";

QJsonObject jsonCase(QStringView caseName, QJsonObject payload);

// The case key found by decodeJsonCase: its position in the names asked for, and the payload object
// still to be decoded (for instance with a JsonObjectDecoder at payloadPath).
struct JsonCase {
    qsizetype index = 0;
    QJsonValue payload;
    JsonPath payloadPath;
};

// Reads the case key of an enumeration with payloads. Keys that name no case are ignored; no case key,
// or more than one, is a typeMismatch "Invalid number of keys found, expected one.".
Decoded<JsonCase> decodeJsonCase(const QJsonValue& value, const JsonPath& path,
                                 std::initializer_list<QStringView> caseNames);

// Parses UTF-8 JSON text; malformed text is dataCorrupted.
Decoded<QJsonValue> parseJson(const QByteArray& text);

// Parses and decodes one value of type T from UTF-8 JSON text.
template <typename T>
Decoded<T> decodeJsonText(const QByteArray& text) {
    auto value = parseJson(text);
    if (!value) return tl::unexpected(value.error());
    return decodeJson(*value, JsonPath(), std::type_identity<T>{});
}

}  // namespace tavrine
