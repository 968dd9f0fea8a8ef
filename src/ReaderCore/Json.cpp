#include "ReaderCore/Json.h"

#include "ReaderCore/Uuid.h"
#include "ReaderCore/internal/JsonText.h"

#include <QStringList>

#include <algorithm>
#include <cmath>

namespace tavrine {

QString JsonPath::toString() const {
    QStringList components;
    for (const JsonPath* path = this; path && !path->isRoot(); path = path->m_parent) {
        components.prepend(path->m_index >= 0 ? QStringLiteral("Index %1").arg(path->m_index) : path->m_key.toString());
    }
    return components.join(u'.');
}

// ---- Values -------------------------------------------------------------------------------------------

double JsonValue::toDouble() const {
    const auto& n = node();
    return n.flag ? static_cast<double>(n.integer) : n.number;
}

std::optional<qint64> JsonValue::exactInteger() const {
    const auto& n = node();
    if (!n.flag) return std::nullopt;
    return n.integer;
}

QString JsonValue::toString() const {
    return internal::decodeJsonString(bytes(), node().flag);
}

bool JsonValue::stringEquals(QStringView text) const {
    const std::string_view raw = bytes();
    if (!node().flag) {
        // UTF-8 takes at least one byte per UTF-16 unit, and ASCII exactly one.
        if (raw.size() < static_cast<std::size_t>(text.size())) return false;
        bool ascii = true;
        for (std::size_t i = 0; i < raw.size() && ascii; ++i) {
            const auto byte = static_cast<unsigned char>(raw[i]);
            if (byte >= 0x80) {
                ascii = false;
            } else if (static_cast<qsizetype>(i) >= text.size() || text[static_cast<qsizetype>(i)].unicode() != byte) {
                return false;
            }
        }
        if (ascii) return raw.size() == static_cast<std::size_t>(text.size());
    }
    return toString() == text;
}

JsonValue JsonValue::find(QStringView key) const {
    JsonValue found;
    for (const auto& [memberKey, value] : members()) {
        if (memberKey == key) found = value;
    }
    return found;
}

QString describeJsonType(const JsonValue& value) {
    if (value.isUndefined()) return QStringLiteral("nothing");
    if (value.isNull()) return QStringLiteral("null");
    if (value.isBool()) return QStringLiteral("bool");
    if (value.isNumber()) return QStringLiteral("number");
    if (value.isString()) return QStringLiteral("string");
    if (value.isArray()) return QStringLiteral("array");
    return QStringLiteral("dictionary");
}

DecodingError typeMismatch(const JsonPath& path, QStringView expected, const JsonValue& found) {
    if (found.isNull()) {
        return path.error(DecodingError::Kind::valueNotFound,
                          QStringLiteral("Expected %1 value but found null instead.").arg(expected));
    }
    return path.error(
        DecodingError::Kind::typeMismatch,
        QStringLiteral("Expected to decode %1 but found a %2 instead.").arg(expected, describeJsonType(found)));
}

// ---- Writing ------------------------------------------------------------------------------------------

void JsonWriter::separate() {
    if (m_afterKey) {
        m_afterKey = false;
        return;
    }
    if (m_written.empty()) return;
    if (m_written.back()) m_out.append(',');
    m_written.back() = true;
}

char* JsonWriter::grow(qsizetype most) {
    const qsizetype size = m_out.size();
    m_out.resize(size + most);
    return m_out.data() + size;
}

void JsonWriter::beginObject() {
    separate();
    m_out.append('{');
    m_written.push_back(false);
#ifndef NDEBUG
    m_lastKeys.emplace_back();
#endif
}

void JsonWriter::endObject() {
    m_out.append('}');
    m_written.pop_back();
#ifndef NDEBUG
    m_lastKeys.pop_back();
#endif
}

void JsonWriter::beginArray() {
    separate();
    m_out.append('[');
    m_written.push_back(false);
#ifndef NDEBUG
    m_lastKeys.emplace_back();
#endif
}

void JsonWriter::endArray() {
    m_out.append(']');
    m_written.pop_back();
#ifndef NDEBUG
    m_lastKeys.pop_back();
#endif
}

void JsonWriter::key(QStringView key) {
#ifndef NDEBUG
    // Ascending keys make the text of a value the same whichever way it was built.
    Q_ASSERT_X(m_written.empty() || !m_written.back() || m_lastKeys.back() < key, "JsonWriter::key",
               "keys of an object must be written in ascending order");
    m_lastKeys.back() = key.toString();
#endif
    value(key);
    m_out.append(':');
    m_afterKey = true;
}

void JsonWriter::null() {
    separate();
    m_out.append("null");
}

void JsonWriter::value(bool value) {
    separate();
    m_out.append(value ? "true" : "false");
}

void JsonWriter::value(double value) {
    separate();
    shrinkTo(internal::writeJsonNumber(grow(internal::kJsonNumberLength), value));
}

void JsonWriter::value(qint64 value) {
    separate();
    shrinkTo(internal::writeJsonInteger(grow(internal::kJsonNumberLength), value));
}

void JsonWriter::value(QStringView text) {
    separate();
    shrinkTo(internal::writeJsonString(grow(internal::jsonStringLengthBound(text.size())), text));
}

void JsonWriter::asciiValue(std::string_view text) {
    separate();
    m_out.append('"');
    m_out.append(text.data(), static_cast<qsizetype>(text.size()));
    m_out.append('"');
}

void JsonWriter::base64Value(QByteArrayView bytes) {
    separate();
    char* out = grow(internal::base64Length(bytes.size()) + 2);
    *out++ = '"';
    out = internal::writeBase64(out, bytes);
    *out++ = '"';
    shrinkTo(out);
}

void writeJson(JsonWriter& writer, const QUuid& value) {
    writer.value(uuidString(value));
}

// ---- Base64 -------------------------------------------------------------------------------------------

QByteArray base64Text(QByteArrayView bytes) {
    QByteArray text(internal::base64Length(bytes.size()), Qt::Uninitialized);
    internal::writeBase64(text.data(), bytes);
    return text;
}

std::optional<QByteArray> decodeBase64Strictly(QByteArrayView text) {
    return internal::decodeBase64(text);
}

// ---- Decoding -----------------------------------------------------------------------------------------

Decoded<QString> decodeJson(const JsonValue& value, const JsonPath& path, std::type_identity<QString>) {
    if (!value.isString()) return tl::unexpected(typeMismatch(path, u"String", value));
    return value.toString();
}

Decoded<bool> decodeJson(const JsonValue& value, const JsonPath& path, std::type_identity<bool>) {
    if (!value.isBool()) return tl::unexpected(typeMismatch(path, u"Bool", value));
    return value.toBool();
}

Decoded<double> decodeJson(const JsonValue& value, const JsonPath& path, std::type_identity<double>) {
    if (!value.isNumber()) return tl::unexpected(typeMismatch(path, u"Double", value));
    return value.toDouble();
}

Decoded<qint64> decodeJsonInteger(const JsonValue& value, const JsonPath& path) {
    if (!value.isNumber()) return tl::unexpected(typeMismatch(path, u"Int", value));
    // Integral numbers that fit 64 bits are kept exactly; anything else arrives as a double.
    if (const auto integer = value.exactInteger()) return *integer;
    const double number = value.toDouble();
    // 2^63 is exactly representable and out of range, hence the strict upper comparison.
    if (std::isfinite(number) && std::trunc(number) == number && number >= -9223372036854775808.0 &&
        number < 9223372036854775808.0) {
        return static_cast<qint64>(number);
    }
    return tl::unexpected(path.error(
        DecodingError::Kind::dataCorrupted,
        QStringLiteral("Parsed JSON number <%1> does not fit in Int.").arg(QString::number(number, 'g', 17))));
}

Decoded<Date> decodeJson(const JsonValue& value, const JsonPath& path, std::type_identity<Date>) {
    if (!value.isNumber()) return tl::unexpected(typeMismatch(path, u"Double", value));
    return Date{value.toDouble()};
}

Decoded<QUuid> decodeJson(const JsonValue& value, const JsonPath& path, std::type_identity<QUuid>) {
    if (!value.isString()) return tl::unexpected(typeMismatch(path, u"String", value));
    if (auto id = parseUuid(value.toString())) return *id;
    return tl::unexpected(path.error(DecodingError::Kind::dataCorrupted,
                                     QStringLiteral("Attempted to decode UUID from invalid UUID string.")));
}

Decoded<QByteArray> decodeJson(const JsonValue& value, const JsonPath& path, std::type_identity<QByteArray>) {
    if (!value.isString()) return tl::unexpected(typeMismatch(path, u"String", value));
    std::optional<QByteArray> decoded;
    if (const auto plain = value.plainString()) {
        decoded = decodeBase64Strictly(QByteArrayView(plain->data(), static_cast<qsizetype>(plain->size())));
    } else if (const QString text = value.toString();
               std::all_of(text.begin(), text.end(), [](QChar c) { return c.unicode() < 0x80; })) {
        decoded = decodeBase64Strictly(text.toLatin1());
    }
    if (!decoded) {
        return tl::unexpected(
            path.error(DecodingError::Kind::dataCorrupted, QStringLiteral("Encountered Data is not valid Base64.")));
    }
    return std::move(*decoded);
}

DecodingError invalidRawValue(const JsonValue& value, const JsonPath& path) {
    return path.error(DecodingError::Kind::dataCorrupted,
                      QStringLiteral("Cannot initialize from invalid String value %1").arg(value.toString()));
}

DecodingError nullElement(const JsonPath& path) {
    return path.error(DecodingError::Kind::valueNotFound, QStringLiteral("Expected a value but found null instead."));
}

JsonObjectDecoder::JsonObjectDecoder(const JsonValue& value, JsonPath path) : m_path(std::move(path)) {
    if (value.isObject()) {
        m_object = value;
    } else {
        fail(typeMismatch(m_path, u"Dictionary<String, Any>", value));
    }
}

JsonValue JsonObjectDecoder::lookUp(QStringView key, bool required) {
    if (m_error) return {};
    const JsonValue value = m_object.find(key);
    if (value.isUndefined()) {
        if (required) {
            fail(m_path.error(DecodingError::Kind::keyNotFound,
                              QStringLiteral("No value associated with key \"%1\".").arg(key)));
        }
        return value;
    }
    if (required && value.isNull()) {
        fail(m_path.key(key).error(DecodingError::Kind::valueNotFound,
                                   QStringLiteral("Expected a value for key \"%1\" but found null instead.").arg(key)));
    }
    return value;
}

Decoded<JsonCase> decodeJsonCase(const JsonValue& value, const JsonPath& path,
                                 std::initializer_list<QStringView> caseNames) {
    if (!value.isObject()) return tl::unexpected(typeMismatch(path, u"Dictionary<String, Any>", value));
    JsonCase found;
    qsizetype caseKeys = 0;
    qsizetype index = 0;
    for (const QStringView name : caseNames) {
        const JsonValue payload = value.find(name);
        if (!payload.isUndefined()) {
            ++caseKeys;
            found = JsonCase{index, payload, path.key(name)};
        }
        ++index;
    }
    if (caseKeys != 1) {
        return tl::unexpected(path.error(DecodingError::Kind::typeMismatch,
                                         QStringLiteral("Invalid number of keys found, expected one.")));
    }
    return found;
}

}  // namespace tavrine
