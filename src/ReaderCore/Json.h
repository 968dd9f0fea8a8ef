#pragma once

#include "ReaderCore/Date.h"

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

// ---- Reading ----------------------------------------------------------------------------------------

namespace internal {

// One value of a parsed text. A container is followed by its contents (an object's members as key,
// value, key, value, ...), and `end` is the index after its last value, so siblings are found by
// skipping. A string is its bytes in the text between the quotes, escapes still in.
struct JsonNode {
    enum class Type : std::uint8_t { null, boolean, number, string, array, object };

    Type type = Type::null;
    // Numbers: written as an integer that fits 64 bits (integer holds it exactly), else a double.
    // Strings: some escape sequence is in the bytes. Objects: the keys are known to be distinct.
    bool flag = false;
    // Strings: short, and known to be all ASCII without escapes (so one byte is one unit): keys and most
    // raw values, which are compared often.
    bool shortAscii = false;
    // Strings: the length of bytes kept in the node itself (a short ASCII string, most keys), so that
    // comparing them reads no text; kInText otherwise.
    static constexpr std::uint8_t kInText = 0xFF;
    std::uint8_t inlineLength = kInText;
    std::uint32_t end = 0;
    struct Bytes {
        std::uint32_t offset;
        std::uint32_t length;
    };
    union {
        bool boolean;
        qint64 integer;
        double number;
        std::uint32_t count;  // elements, or members, of a container
        Bytes bytes;
        char chars[8];
    };

    std::string_view string(const char* text) const {
        if (inlineLength != kInText) return {chars, inlineLength};
        return {text + bytes.offset, bytes.length};
    }
};

struct JsonTape {
    QByteArray text;
    std::vector<JsonNode> nodes;
};

}  // namespace internal

class JsonMembers;
class JsonElements;

// One value of a JsonDocument, valid while the document lives. A default value is "undefined": what a
// look-up of a missing key returns.
class JsonValue {
public:
    JsonValue() = default;

    bool isUndefined() const { return !m_tape; }
    bool isNull() const { return is(Type::null); }
    bool isBool() const { return is(Type::boolean); }
    bool isNumber() const { return is(Type::number); }
    bool isString() const { return is(Type::string); }
    bool isArray() const { return is(Type::array); }
    bool isObject() const { return is(Type::object); }

    bool toBool() const { return node().boolean; }
    // A number as a double (an integer beyond 2^53 is rounded, as in any JSON reader).
    double toDouble() const;
    // A number written as an integer that fits 64 bits; nothing for any other number.
    std::optional<qint64> exactInteger() const;
    // The string's characters (escapes resolved; a lone surrogate escape is kept as the lone unit).
    QString toString() const;
    // Whether the string equals text, without decoding it when it holds no escape.
    bool stringEquals(QStringView text) const {
        const auto& n = node();
        if (!n.shortAscii) return stringEqualsSlowly(text);
        const std::string_view bytes = n.string(m_tape->text.constData());
        if (static_cast<qsizetype>(bytes.size()) != text.size()) return false;
        for (qsizetype i = 0; i < text.size(); ++i) {
            if (static_cast<char16_t>(bytes[i]) != text[i].unicode()) return false;
        }
        return true;
    }
    // The string's UTF-8 bytes when it holds no escape (so they are its text).
    std::optional<std::string_view> plainString() const {
        if (node().flag) return std::nullopt;
        return bytes();
    }

    // Elements of an array, members of an object.
    qsizetype size() const { return node().count; }
    JsonElements elements() const;
    JsonMembers members() const;
    // The value of the last member with this key; undefined when there is none.
    JsonValue find(QStringView key) const;

private:
    using Type = internal::JsonNode::Type;
    friend class JsonDocument;
    friend class JsonMembers;
    friend class JsonElements;
    friend class JsonKey;
    friend class JsonObjectDecoder;

    JsonValue(const internal::JsonTape* tape, std::uint32_t index) : m_tape(tape), m_index(index) {}
    const internal::JsonNode& node() const { return m_tape->nodes[m_index]; }
    bool is(Type type) const { return m_tape && node().type == type; }
    bool stringEqualsSlowly(QStringView text) const;
    std::string_view bytes() const { return node().string(m_tape->text.constData()); }

    const internal::JsonTape* m_tape = nullptr;
    std::uint32_t m_index = 0;
};

// The key of an object member: a string value.
class JsonKey {
public:
    QString toString() const { return m_string.toString(); }
    bool operator==(QStringView key) const { return m_string.stringEquals(key); }

private:
    friend class JsonMembers;
    explicit JsonKey(JsonValue string) : m_string(string) {}
    JsonValue m_string;
};

class JsonElements {
public:
    class iterator {
    public:
        JsonValue operator*() const { return JsonValue(m_tape, m_index); }
        iterator& operator++() {
            m_index = m_tape->nodes[m_index].end;
            return *this;
        }
        bool operator==(const iterator&) const = default;

    private:
        friend class JsonElements;
        iterator(const internal::JsonTape* tape, std::uint32_t index) : m_tape(tape), m_index(index) {}
        const internal::JsonTape* m_tape;
        std::uint32_t m_index;
    };
    iterator begin() const { return {m_array.m_tape, m_array.m_index + 1}; }
    iterator end() const { return {m_array.m_tape, m_array.node().end}; }

private:
    friend class JsonValue;
    explicit JsonElements(JsonValue array) : m_array(array) {}
    JsonValue m_array;
};

class JsonMembers {
public:
    struct Member {
        JsonKey key;
        JsonValue value;
    };
    class iterator {
    public:
        Member operator*() const { return {JsonKey(JsonValue(m_tape, m_index)), JsonValue(m_tape, m_index + 1)}; }
        iterator& operator++() {
            m_index = m_tape->nodes[m_index + 1].end;
            return *this;
        }
        bool operator==(const iterator&) const = default;

    private:
        friend class JsonMembers;
        iterator(const internal::JsonTape* tape, std::uint32_t index) : m_tape(tape), m_index(index) {}
        const internal::JsonTape* m_tape;
        std::uint32_t m_index;
    };
    iterator begin() const { return {m_object.m_tape, m_object.m_index + 1}; }
    iterator end() const { return {m_object.m_tape, m_object.node().end}; }

private:
    friend class JsonValue;
    explicit JsonMembers(JsonValue object) : m_object(object) {}
    JsonValue m_object;
};

inline JsonElements JsonValue::elements() const {
    return JsonElements(*this);
}
inline JsonMembers JsonValue::members() const {
    return JsonMembers(*this);
}

// A parsed JSON text: an object or an array at the top, the text kept for its strings. Movable; its
// values stay valid through a move.
class JsonDocument {
public:
    // Checks the whole of text (UTF-8, a leading byte-order mark allowed) and records its values;
    // malformed text of any kind is dataCorrupted. Passing the text by move spares a copy.
    static Decoded<JsonDocument> parse(QByteArray text);

    JsonValue root() const { return JsonValue(m_tape.get(), 0); }

private:
    explicit JsonDocument(std::unique_ptr<internal::JsonTape> tape) : m_tape(std::move(tape)) {}
    std::unique_ptr<internal::JsonTape> m_tape;
};

inline Decoded<JsonDocument> parseJson(QByteArray text) {
    return JsonDocument::parse(std::move(text));
}

// Names the JSON type of a value for error texts ("a string", "null", ...).
QString describeJsonType(const JsonValue& value);
DecodingError typeMismatch(const JsonPath& path, QStringView expected, const JsonValue& found);

// ---- Writing ----------------------------------------------------------------------------------------

// Writes compact UTF-8 JSON. Strings are escaped as little as JSON allows (quote, backslash and the
// controls below U+0020; a lone surrogate as its \u escape), numbers in their shortest exact form.
class JsonWriter {
public:
    // Writes into memory; take() gives the text.
    JsonWriter() = default;
    // Hands the text to sink in pieces of about bufferBytes (a longer string in one piece), so that it is
    // never whole in memory; finish() hands over the rest. Once sink returns false, nothing more is
    // handed over and finish() returns false.
    explicit JsonWriter(std::function<bool(QByteArrayView)> sink, qsizetype bufferBytes = 1 << 20);
    bool finish();

    void beginObject();
    void endObject();
    void beginArray();
    void endArray();
    // A key of the object being written; keys come in ascending order (checked in debug builds).
    void key(QStringView key);

    void null();
    void value(bool value);
    void value(double value);
    void value(qint64 value);
    void value(QStringView text);
    // A string of ASCII characters that need no escape (Base64, identifiers).
    void asciiValue(std::string_view text);
    // bytes as a padded Base64 string.
    void base64Value(QByteArrayView bytes);

    QByteArray take();

private:
    void separate();
    void open(char bracket);
    void close(char bracket);
    // Room for at least `most` more bytes at m_cursor.
    char* room(qsizetype most) {
        if (m_end - m_cursor < most) makeRoom(most);
        return m_cursor;
    }
    void makeRoom(qsizetype most);
    void put(char c) {
        *room(1) = c;
        ++m_cursor;
    }

    // The text so far (or since the last piece handed to the sink) is m_out's bytes up to m_cursor; its
    // size runs ahead, to m_end.
    std::function<bool(QByteArrayView)> m_sink;
    bool m_sinkRefused = false;
    QByteArray m_out;
    char* m_cursor = nullptr;
    char* m_end = nullptr;
    // Whether the open container holds a value already (so the next one needs a comma), and the same
    // for each container around it.
    bool m_needsComma = false;
    std::vector<char> m_enclosing;
    bool m_afterKey = false;
#ifndef NDEBUG
    std::vector<QString> m_lastKeys;
#endif
};

// writeJson(writer, x) writes one value; types of the model add their own overload beside their
// definition, found through the writer's namespace.
inline void writeJson(JsonWriter& writer, const QString& value) {
    writer.value(QStringView(value));
}
inline void writeJson(JsonWriter& writer, bool value) {
    writer.value(value);
}
inline void writeJson(JsonWriter& writer, double value) {
    writer.value(value);
}
template <std::integral I>
requires(!std::same_as<I, bool>) void writeJson(JsonWriter& writer, I value) {
    writer.value(static_cast<qint64>(value));
}
inline void writeJson(JsonWriter& writer, Date value) {
    writer.value(value.secondsSinceReferenceDate);
}
void writeJson(JsonWriter& writer, const QUuid& value);
inline void writeJson(JsonWriter& writer, const QByteArray& value) {
    writer.base64Value(value);
}

// Writes one object: each field's key and value, in ascending key order; the object closes when the
// writer goes out of scope (at the end of the statement, for a temporary).
class JsonObjectWriter {
public:
    explicit JsonObjectWriter(JsonWriter& writer) : m_writer(writer) { m_writer.beginObject(); }
    ~JsonObjectWriter() { m_writer.endObject(); }
    JsonObjectWriter(const JsonObjectWriter&) = delete;
    JsonObjectWriter& operator=(const JsonObjectWriter&) = delete;

    template <typename T>
    JsonObjectWriter& field(QStringView key, const T& value) {
        m_writer.key(key);
        writeJson(m_writer, value);
        return *this;
    }
    // Writes the field only when the optional holds a value.
    template <typename T>
    JsonObjectWriter& fieldIfPresent(QStringView key, const std::optional<T>& value) {
        if (value) field(key, *value);
        return *this;
    }

private:
    JsonWriter& m_writer;
};

template <typename T>
void writeJson(JsonWriter& writer, const QList<T>& values) {
    writer.beginArray();
    for (const T& value : values) writeJson(writer, value);
    writer.endArray();
}

// Compact UTF-8 text of a value.
template <typename T>
QByteArray encodeJson(const T& value) {
    JsonWriter writer;
    writeJson(writer, value);
    return writer.take();
}

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
