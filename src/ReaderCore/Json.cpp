#include "ReaderCore/Json.h"

#include "ReaderCore/Uuid.h"

#include <QJsonDocument>
#include <QJsonParseError>

#include <cmath>

namespace tavrine {

QString JsonPath::toString() const {
    QStringList components;
    for (const JsonPath* path = this; path && !path->isRoot(); path = path->m_parent) {
        components.prepend(path->m_index >= 0 ? QStringLiteral("Index %1").arg(path->m_index) : path->m_key.toString());
    }
    return components.join(u'.');
}

QString describeJsonType(const QJsonValue& value) {
    switch (value.type()) {
    case QJsonValue::Null: return QStringLiteral("null");
    case QJsonValue::Bool: return QStringLiteral("bool");
    case QJsonValue::Double: return QStringLiteral("number");
    case QJsonValue::String: return QStringLiteral("string");
    case QJsonValue::Array: return QStringLiteral("array");
    case QJsonValue::Object: return QStringLiteral("dictionary");
    case QJsonValue::Undefined: break;
    }
    return QStringLiteral("nothing");
}

DecodingError typeMismatch(const JsonPath& path, QStringView expected, const QJsonValue& found) {
    if (found.isNull()) {
        return path.error(DecodingError::Kind::valueNotFound,
                          QStringLiteral("Expected %1 value but found null instead.").arg(expected));
    }
    return path.error(
        DecodingError::Kind::typeMismatch,
        QStringLiteral("Expected to decode %1 but found a %2 instead.").arg(expected, describeJsonType(found)));
}

QJsonValue toJson(const QUuid& value) {
    return uuidString(value);
}

QJsonValue toJson(const QByteArray& value) {
    return QString::fromLatin1(value.toBase64());
}

QByteArray encodeJson(const QJsonValue& value) {
    if (value.isArray()) return QJsonDocument(value.toArray()).toJson(QJsonDocument::Compact);
    return QJsonDocument(value.toObject()).toJson(QJsonDocument::Compact);
}

Decoded<QString> decodeJson(const QJsonValue& value, const JsonPath& path, std::type_identity<QString>) {
    if (!value.isString()) return tl::unexpected(typeMismatch(path, u"String", value));
    return value.toString();
}

Decoded<bool> decodeJson(const QJsonValue& value, const JsonPath& path, std::type_identity<bool>) {
    if (!value.isBool()) return tl::unexpected(typeMismatch(path, u"Bool", value));
    return value.toBool();
}

Decoded<double> decodeJson(const QJsonValue& value, const JsonPath& path, std::type_identity<double>) {
    if (!value.isDouble()) return tl::unexpected(typeMismatch(path, u"Double", value));
    return value.toDouble();
}

Decoded<qint64> decodeJsonInteger(const QJsonValue& value, const JsonPath& path) {
    if (!value.isDouble()) return tl::unexpected(typeMismatch(path, u"Int", value));
    // QJsonValue keeps integral numbers that fit 64 bits exactly; anything else arrives as a double.
    const QVariant variant = value.toVariant();
    if (variant.typeId() == QMetaType::LongLong) return variant.toLongLong();
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

Decoded<Date> decodeJson(const QJsonValue& value, const JsonPath& path, std::type_identity<Date>) {
    if (!value.isDouble()) return tl::unexpected(typeMismatch(path, u"Double", value));
    return Date{value.toDouble()};
}

Decoded<QUuid> decodeJson(const QJsonValue& value, const JsonPath& path, std::type_identity<QUuid>) {
    if (!value.isString()) return tl::unexpected(typeMismatch(path, u"String", value));
    if (auto id = parseUuid(value.toString())) return *id;
    return tl::unexpected(path.error(DecodingError::Kind::dataCorrupted,
                                     QStringLiteral("Attempted to decode UUID from invalid UUID string.")));
}

Decoded<QByteArray> decodeJson(const QJsonValue& value, const JsonPath& path, std::type_identity<QByteArray>) {
    if (!value.isString()) return tl::unexpected(typeMismatch(path, u"String", value));
    const QByteArray text = value.toString().toLatin1();
    // Padded standard Base64 only: no whitespace, no missing '=' and no URL alphabet.
    auto decoded = QByteArray::fromBase64Encoding(text, QByteArray::AbortOnBase64DecodingErrors);
    if (text.size() % 4 != 0 || !decoded) {
        return tl::unexpected(
            path.error(DecodingError::Kind::dataCorrupted, QStringLiteral("Encountered Data is not valid Base64.")));
    }
    return *decoded;
}

JsonObjectDecoder::JsonObjectDecoder(const QJsonValue& value, JsonPath path) : m_path(std::move(path)) {
    if (value.isObject()) {
        m_object = value.toObject();
    } else {
        fail(typeMismatch(m_path, u"Dictionary<String, Any>", value));
    }
}

QJsonValue JsonObjectDecoder::lookUp(QStringView key, bool required) {
    if (m_error) return {};
    const auto found = m_object.constFind(key);
    if (found == m_object.constEnd()) {
        if (required) {
            fail(m_path.error(DecodingError::Kind::keyNotFound,
                              QStringLiteral("No value associated with key \"%1\".").arg(key)));
        }
        return QJsonValue(QJsonValue::Undefined);
    }
    const QJsonValue value = found.value();
    if (required && value.isNull()) {
        fail(m_path.key(key).error(DecodingError::Kind::valueNotFound,
                                   QStringLiteral("Expected a value for key \"%1\" but found null instead.").arg(key)));
    }
    return value;
}

QJsonObject jsonCase(QStringView caseName, QJsonObject payload) {
    QJsonObject object;
    object.insert(caseName, std::move(payload));
    return object;
}

Decoded<JsonCase> decodeJsonCase(const QJsonValue& value, const JsonPath& path,
                                 std::initializer_list<QStringView> caseNames) {
    if (!value.isObject()) return tl::unexpected(typeMismatch(path, u"Dictionary<String, Any>", value));
    const QJsonObject object = value.toObject();
    JsonCase found;
    qsizetype caseKeys = 0;
    qsizetype index = 0;
    for (const QStringView name : caseNames) {
        const auto entry = object.constFind(name);
        if (entry != object.constEnd()) {
            ++caseKeys;
            found = JsonCase{index, entry.value(), path.key(name)};
        }
        ++index;
    }
    if (caseKeys != 1) {
        return tl::unexpected(path.error(DecodingError::Kind::typeMismatch,
                                         QStringLiteral("Invalid number of keys found, expected one.")));
    }
    return found;
}

Decoded<QJsonValue> parseJson(const QByteArray& text) {
    QJsonParseError error;
    const QJsonDocument document = QJsonDocument::fromJson(text, &error);
    if (error.error != QJsonParseError::NoError) {
        return tl::unexpected(DecodingError{DecodingError::Kind::dataCorrupted, QString(),
                                            QStringLiteral("The given data was not valid JSON. (%1 at offset %2)")
                                                .arg(error.errorString())
                                                .arg(error.offset)});
    }
    if (document.isArray()) return QJsonValue(document.array());
    return QJsonValue(document.object());
}

}  // namespace tavrine
