#pragma once

#include <QByteArray>
#include <QString>
#include <QStringView>
#include <tl/expected.hpp>

#include <cstdint>
#include <memory>
#include <string_view>
#include <vector>

// The reading side of the JSON coding layer (Json.h): a parsed text, its values read in place, and the
// errors and paths of decoding.

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

}  // namespace tavrine
