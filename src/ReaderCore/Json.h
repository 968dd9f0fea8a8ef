#pragma once

#include "ReaderCore/Date.h"
#include "ReaderCore/JsonDocument.h"
#include "ReaderCore/JsonWriter.h"

#include <QByteArray>
#include <QByteArrayView>
#include <QHash>
#include <QList>
#include <QSet>
#include <QString>
#include <QStringList>
#include <QUuid>
#include <tl/expected.hpp>

#include <array>
#include <concepts>
#include <cstdint>
#include <functional>
#include <initializer_list>
#include <limits>
#include <memory>
#include <optional>
#include <string_view>
#include <type_traits>
#include <utility>
#include <vector>

// The JSON coding layer that every stored or exchanged value goes through. Its conventions:
// - optional fields are left out when absent; on reading, a missing key and null both mean absent;
// - types are strict: a string is never read as a number, 1 is not a Boolean, 1.5 is not an integer;
// - keys that a record does not know are ignored; of two equal keys in one object the last counts;
// - a date is a number of seconds since 2001-01-01 UTC, an identifier its upper-case canonical text,
//   binary data a padded Base64 string, an enumeration its raw string (an unknown string fails);
// - decoding never validates: the owner of the type checks the decoded value itself.
// Decoding returns the value or a DecodingError, never a half-built value.
//
// Text is read into a JsonDocument (the whole text is checked first: any malformed JSON fails) whose
// values are read in place; strings are decoded only when a decoder asks for them. Values are written
// through a JsonWriter straight to UTF-8 text, an object's keys in ascending order (UTF-16 order), so
// the text of a value is always the same; a double is written so that it reads back bit for bit.

namespace tavrine {

// ---- Base64 -------------------------------------------------------------------------------------------

// bytes as padded standard Base64.
QByteArray base64Text(QByteArrayView bytes);
// Padded standard Base64 only: no whitespace, no missing '=' and no URL alphabet; nothing otherwise.
std::optional<QByteArray> decodeBase64Strictly(QByteArrayView text);

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
QStringView rawValueView(E value) {
    for (const auto& [entry, raw] : EnumTable<E>::entries) {
        if (entry == value) return QStringView(raw.data(), static_cast<qsizetype>(raw.size()));
    }
    Q_UNREACHABLE();
    return {};
}

template <RawValueEnum E>
QString rawValue(E value) {
    const QStringView raw = rawValueView(value);
    return QString::fromRawData(raw.data(), raw.size());
}

template <RawValueEnum E>
std::optional<E> enumFromRawValue(QStringView text) {
    for (const auto& [entry, raw] : EnumTable<E>::entries) {
        if (text == QStringView(raw.data(), raw.size())) return entry;
    }
    return std::nullopt;
}

template <RawValueEnum E>
void writeJson(JsonWriter& writer, E value) {
    writer.value(rawValueView(value));
}

// ---- Decoding ---------------------------------------------------------------------------------------
//
// decodeJson(value, path, std::type_identity<T>{}) decodes one value of type T. Types of the model add
// their own overload beside their definition; it is found through the tag's template argument.

Decoded<QString> decodeJson(const JsonValue& value, const JsonPath& path, std::type_identity<QString>);
Decoded<bool> decodeJson(const JsonValue& value, const JsonPath& path, std::type_identity<bool>);
Decoded<double> decodeJson(const JsonValue& value, const JsonPath& path, std::type_identity<double>);
Decoded<qint64> decodeJsonInteger(const JsonValue& value, const JsonPath& path);
template <std::integral I>
requires(!std::same_as<I, bool>) Decoded<I> decodeJson(const JsonValue& value, const JsonPath& path,
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
Decoded<Date> decodeJson(const JsonValue& value, const JsonPath& path, std::type_identity<Date>);
Decoded<QUuid> decodeJson(const JsonValue& value, const JsonPath& path, std::type_identity<QUuid>);
Decoded<QByteArray> decodeJson(const JsonValue& value, const JsonPath& path, std::type_identity<QByteArray>);

DecodingError invalidRawValue(const JsonValue& value, const JsonPath& path);

template <RawValueEnum E>
Decoded<E> decodeJson(const JsonValue& value, const JsonPath& path, std::type_identity<E>) {
    if (!value.isString()) return tl::unexpected(typeMismatch(path, u"String", value));
    for (const auto& [entry, raw] : EnumTable<E>::entries) {
        if (value.stringEquals(QStringView(raw.data(), static_cast<qsizetype>(raw.size())))) return entry;
    }
    return tl::unexpected(invalidRawValue(value, path));
}

DecodingError nullElement(const JsonPath& path);

template <typename T>
Decoded<QList<T>> decodeJson(const JsonValue& value, const JsonPath& path, std::type_identity<QList<T>>) {
    if (!value.isArray()) return tl::unexpected(typeMismatch(path, u"Array", value));
    QList<T> result;
    result.reserve(value.size());
    qsizetype i = 0;
    for (const JsonValue element : value.elements()) {
        const JsonPath elementPath = path.index(i++);
        if (element.isNull()) return tl::unexpected(nullElement(elementPath));
        auto decoded = decodeJson(element, elementPath, std::type_identity<T>{});
        if (!decoded) return tl::unexpected(std::move(decoded).error());
        result.append(std::move(*decoded));
    }
    return result;
}

// A dictionary keyed by strings is a JSON object; a null value is valueNotFound, as in an array.
template <typename T>
Decoded<QHash<QString, T>> decodeJson(const JsonValue& value, const JsonPath& path,
                                      std::type_identity<QHash<QString, T>>) {
    if (!value.isObject()) return tl::unexpected(typeMismatch(path, u"Dictionary", value));
    QHash<QString, T> result;
    result.reserve(value.size());
    for (const auto& [memberKey, element] : value.members()) {
        const QString key = memberKey.toString();  // the path refers to the key's characters
        const JsonPath elementPath = path.key(key);
        if (element.isNull()) return tl::unexpected(nullElement(elementPath));
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
    JsonObjectDecoder(const JsonValue& value, JsonPath path);

    // A required key: missing is keyNotFound, null is valueNotFound.
    template <typename T>
    T required(QStringView key) {
        const JsonValue value = lookUp(key, /*required=*/true);
        if (m_error) return T{};
        return take(decodeJson(value, m_path.key(key), std::type_identity<T>{}));
    }

    // An optional key: missing and null are both absent.
    template <typename T>
    std::optional<T> optional(QStringView key) {
        const JsonValue value = lookUp(key, /*required=*/false);
        if (m_error || value.isUndefined() || value.isNull()) return std::nullopt;
        return take(decodeJson(value, m_path.key(key), std::type_identity<T>{}));
    }

    bool contains(QStringView key) const { return !m_object.find(key).isUndefined(); }
    const JsonValue& object() const { return m_object; }
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
    JsonValue find(QStringView key);
    JsonValue lookUp(QStringView key, bool required);

    template <typename T>
    T take(Decoded<T> decoded) {
        if (decoded) return std::move(*decoded);
        fail(std::move(decoded).error());
        return T{};
    }

    JsonValue m_object;
    // Where the next look-up starts: after the member found last (decoders read fields in a fixed order).
    std::uint32_t m_nextMember = 0;
    JsonPath m_path;
    std::optional<DecodingError> m_error;
};

// ---- Enumerations with payloads ---------------------------------------------------------------------
//
// A case with a payload is written as an object with exactly one key, the case name, whose value is an
// object of the payload's labelled values; an unlabelled value takes the key "_0".
inline constexpr QStringView kUnlabelledPayloadKey = u"_0";

// Opens the one-key object of a case; the payload object is written next, and closes with it.
class JsonCaseWriter {
public:
    JsonCaseWriter(JsonWriter& writer, QStringView caseName) : m_writer(writer) {
        m_writer.beginObject();
        m_writer.key(caseName);
    }
    ~JsonCaseWriter() { m_writer.endObject(); }
    JsonCaseWriter(const JsonCaseWriter&) = delete;
    JsonCaseWriter& operator=(const JsonCaseWriter&) = delete;

private:
    JsonWriter& m_writer;
};

// The case key found by decodeJsonCase: its position in the names asked for, and the payload object
// still to be decoded (for instance with a JsonObjectDecoder at payloadPath).
struct JsonCase {
    qsizetype index = 0;
    JsonValue payload;
    JsonPath payloadPath;
};

// Reads the case key of an enumeration with payloads. Keys that name no case are ignored; no case key,
// or more than one, is a typeMismatch "Invalid number of keys found, expected one.".
Decoded<JsonCase> decodeJsonCase(const JsonValue& value, const JsonPath& path,
                                 std::initializer_list<QStringView> caseNames);

// Parses and decodes one value of type T from UTF-8 JSON text.
template <typename T>
Decoded<T> decodeJsonText(QByteArray text) {
    auto document = parseJson(std::move(text));
    if (!document) return tl::unexpected(document.error());
    return decodeJson(document->root(), JsonPath(), std::type_identity<T>{});
}

}  // namespace tavrine
