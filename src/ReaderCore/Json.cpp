#include "ReaderCore/Json.h"

#include "ReaderCore/Uuid.h"
#include "ReaderCore/internal/JsonText.h"

#include <QStringList>

#include <algorithm>
#include <cmath>
#include <cstring>

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

bool JsonValue::stringEqualsSlowly(QStringView text) const {
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
    if (m_needsComma) put(',');
    m_needsComma = true;
}

void JsonWriter::open(char bracket) {
    separate();
    put(bracket);
    m_enclosing.push_back(m_needsComma);
    m_needsComma = false;
#ifndef NDEBUG
    m_lastKeys.emplace_back();
#endif
}

void JsonWriter::close(char bracket) {
    put(bracket);
    m_needsComma = m_enclosing.back();
    m_enclosing.pop_back();
#ifndef NDEBUG
    m_lastKeys.pop_back();
#endif
}

JsonWriter::JsonWriter(std::function<bool(QByteArrayView)> sink, qsizetype bufferBytes) : m_sink(std::move(sink)) {
    m_out.resize(bufferBytes);
    m_cursor = m_out.data();
    m_end = m_cursor + m_out.size();
}

void JsonWriter::makeRoom(qsizetype most) {
    qsizetype used = m_cursor ? m_cursor - m_out.constData() : 0;
    if (m_sink) {
        // Hand over what is written (dropping it when the sink has refused a piece), and start again.
        if (!m_sinkRefused && used > 0) m_sinkRefused = !m_sink(QByteArrayView(m_out.constData(), used));
        used = 0;
        if (m_out.size() < most) m_out.resize(most);
    } else {
        m_out.resize(std::max(used + most, 2 * m_out.size() + 4096));
    }
    m_cursor = m_out.data() + used;
    m_end = m_out.data() + m_out.size();
}

bool JsonWriter::finish() {
    Q_ASSERT(m_sink);
    const qsizetype used = m_cursor - m_out.constData();
    if (!m_sinkRefused && used > 0) m_sinkRefused = !m_sink(QByteArrayView(m_out.constData(), used));
    m_cursor = m_out.data();
    return !m_sinkRefused;
}

QByteArray JsonWriter::take() {
    m_out.truncate(m_cursor ? m_cursor - m_out.constData() : 0);
    m_cursor = m_end = nullptr;
    return std::move(m_out);
}

void JsonWriter::beginObject() {
    open('{');
}

void JsonWriter::endObject() {
    close('}');
}

void JsonWriter::beginArray() {
    open('[');
}

void JsonWriter::endArray() {
    close(']');
}

void JsonWriter::key(QStringView key) {
#ifndef NDEBUG
    // Ascending keys make the text of a value the same whichever way it was built.
    Q_ASSERT_X(!m_needsComma || m_lastKeys.back() < key, "JsonWriter::key",
               "keys of an object must be written in ascending order");
    m_lastKeys.back() = key.toString();
#endif
    value(key);
    put(':');
    m_afterKey = true;
}

void JsonWriter::null() {
    separate();
    std::memcpy(room(4), "null", 4);
    m_cursor += 4;
}

void JsonWriter::value(bool value) {
    separate();
    const std::string_view word = value ? "true" : "false";
    std::memcpy(room(5), word.data(), word.size());
    m_cursor += word.size();
}

void JsonWriter::value(double value) {
    separate();
    m_cursor = internal::writeJsonNumber(room(internal::kJsonNumberLength), value);
}

void JsonWriter::value(qint64 value) {
    separate();
    m_cursor = internal::writeJsonInteger(room(internal::kJsonNumberLength), value);
}

void JsonWriter::value(QStringView text) {
    separate();
    m_cursor = internal::writeJsonString(room(internal::jsonStringLengthBound(text.size())), text);
}

void JsonWriter::asciiValue(std::string_view text) {
    separate();
    char* out = room(static_cast<qsizetype>(text.size()) + 2);
    *out++ = '"';
    std::memcpy(out, text.data(), text.size());
    out += text.size();
    *out++ = '"';
    m_cursor = out;
}

void JsonWriter::base64Value(QByteArrayView bytes) {
    separate();
    char* out = room(internal::base64Length(bytes.size()) + 2);
    *out++ = '"';
    out = internal::writeBase64(out, bytes);
    *out++ = '"';
    m_cursor = out;
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
        m_nextMember = value.m_index + 1;
    } else {
        fail(typeMismatch(m_path, u"Dictionary<String, Any>", value));
    }
}

JsonValue JsonObjectDecoder::find(QStringView key) {
    const auto& node = m_object.node();
    // Equal keys: the last one counts, so every member is looked at.
    if (!node.flag) return m_object.find(key);
    const std::vector<internal::JsonNode>& nodes = m_object.m_tape->nodes;
    const std::uint32_t first = m_object.m_index + 1;
    std::uint32_t member = m_nextMember;
    for (std::uint32_t looked = 0; looked < node.count; ++looked) {
        if (member == node.end) member = first;
        const std::uint32_t next = nodes[member + 1].end;
        if (JsonValue(m_object.m_tape, member).stringEquals(key)) {
            m_nextMember = next;
            return JsonValue(m_object.m_tape, member + 1);
        }
        member = next;
    }
    return {};
}

JsonValue JsonObjectDecoder::lookUp(QStringView key, bool required) {
    if (m_error) return {};
    const JsonValue value = find(key);
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
