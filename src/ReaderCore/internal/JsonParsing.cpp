// JsonDocument::parse. simdjson's first stage checks the text in one vectorised pass (UTF-8, strings closed,
// no unescaped controls) and lists the position of every structural character and of the start of every
// scalar; one loop over that list then checks the grammar and records each value as a node, strings
// staying in the text. simdjson's own second stage is not used: it copies every string, doubling the
// memory a long text takes.
#include "ReaderCore/Json.h"
#include "ReaderCore/internal/JsonText.h"

#include <simdjson.h>

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstring>
#include <limits>
#include <optional>
#include <system_error>

namespace tavrine {
namespace {
using internal::JsonNode;

// Containers nest at most this deep (as in Qt's own reader); deeper text is refused.
constexpr std::size_t kNestingLimit = 1024;

// The largest text that a thread's reused first stage takes; a longer one gets buffers of its own.
constexpr std::size_t kReusedParserCapacity = 16 << 20;

// Strings up to this many bytes are looked at for being plain ASCII (keys, raw values, identifiers).
constexpr std::size_t kShortString = 64;

// Objects of up to this many members are checked for distinct keys (records: a dictionary may have more).
constexpr std::uint32_t kCheckedKeys = 8;

constexpr std::string_view kByteOrderMark = "\xEF\xBB\xBF";

constexpr bool isJsonWhitespace(char c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\r';
}

constexpr bool isDigit(char c) {
    return c >= '0' && c <= '9';
}

// Whether token is a number of JSON's grammar: -?(0|[1-9][0-9]*)(\.[0-9]+)?([eE][+-]?[0-9]+)?
bool isJsonNumber(std::string_view token, bool& integral) {
    std::size_t i = 0;
    const auto digits = [&] {
        const std::size_t start = i;
        while (i < token.size() && isDigit(token[i])) ++i;
        return i > start;
    };
    if (i < token.size() && token[i] == '-') ++i;
    if (i < token.size() && token[i] == '0') {
        ++i;
    } else if (!digits()) {
        return false;
    }
    integral = true;
    if (i < token.size() && token[i] == '.') {
        ++i;
        integral = false;
        if (!digits()) return false;
    }
    if (i < token.size() && (token[i] == 'e' || token[i] == 'E')) {
        ++i;
        integral = false;
        if (i < token.size() && (token[i] == '+' || token[i] == '-')) ++i;
        if (!digits()) return false;
    }
    return i == token.size();
}

enum class Failure { none, grammar, number, literal, escape, depth };

QString describe(Failure failure) {
    switch (failure) {
    case Failure::none: break;
    case Failure::grammar: return QStringLiteral("misplaced or missing punctuation");
    case Failure::number: return QStringLiteral("a number that is malformed or out of range");
    case Failure::literal: return QStringLiteral("an unknown word");
    case Failure::escape: return QStringLiteral("an invalid escape sequence");
    case Failure::depth: return QStringLiteral("containers nested too deep");
    }
    return {};
}

// Builds the nodes from the first stage's positions.
class TapeBuilder {
public:
    TapeBuilder(std::vector<JsonNode>& nodes, const char* text, std::size_t length, const std::uint32_t* positions,
                std::uint32_t count)
        : m_nodes(nodes), m_text(text), m_length(length), m_positions(positions), m_count(count) {}

    Failure build() {
        enum class Expect { value, key, afterValue };
        struct Open {
            std::uint32_t node;
            std::uint32_t members;
            bool isObject;
        };
        std::vector<Open> open;
        Expect expect = Expect::value;
        for (std::uint32_t i = 0; i < m_count; ++i) {
            const char c = m_text[m_positions[i]];
            if (expect == Expect::afterValue) {
                if (open.empty()) return Failure::grammar;  // something after the top-level value
                Open& container = open.back();
                ++container.members;
                if (c == ',') {
                    expect = container.isObject ? Expect::key : Expect::value;
                    continue;
                }
                if (c != (container.isObject ? '}' : ']')) return Failure::grammar;
                close(container.node, container.members, container.isObject);
                open.pop_back();
                continue;  // still after a value: the container's
            }
            if (expect == Expect::key) {
                if (c != '"' || i + 1 >= m_count || m_text[m_positions[i + 1]] != ':') return Failure::grammar;
                if (const Failure failure = string(i); failure != Failure::none) return failure;
                ++i;  // the colon
                expect = Expect::value;
                continue;
            }
            // A value.
            if (c == '{' || c == '[') {
                if (open.size() == kNestingLimit) return Failure::depth;
                const bool isObject = c == '{';
                open.push_back({push(isObject ? JsonNode::Type::object : JsonNode::Type::array), 0, isObject});
                // An empty container closes at once.
                if (i + 1 < m_count && m_text[m_positions[i + 1]] == (isObject ? '}' : ']')) {
                    close(open.back().node, 0, isObject);
                    open.pop_back();
                    ++i;
                    expect = Expect::afterValue;
                } else {
                    expect = isObject ? Expect::key : Expect::value;
                }
                continue;
            }
            if (open.empty()) return Failure::grammar;  // the top level is an object or an array
            Failure failure = Failure::none;
            if (c == '"') {
                failure = string(i);
            } else if (c == '-' || isDigit(c)) {
                failure = number(i);
            } else {
                failure = literal(i);
            }
            if (failure != Failure::none) return failure;
            expect = Expect::afterValue;
        }
        if (expect != Expect::afterValue || !open.empty()) return Failure::grammar;
        return Failure::none;
    }

private:
    // The token that starts at position i: up to the next position, white space after it left out.
    std::string_view token(std::uint32_t i) const {
        const std::size_t start = m_positions[i];
        std::size_t end = i + 1 < m_count ? m_positions[i + 1] : m_length;
        while (end > start + 1 && isJsonWhitespace(m_text[end - 1])) --end;
        return {m_text + start, end - start};
    }

    Failure string(std::uint32_t i) {
        const std::string_view quoted = token(i);
        // The first stage pairs the quotes, so the token ends with the closing one unless something
        // follows it directly, which the grammar refuses anyway.
        if (quoted.size() < 2 || quoted.back() != '"') return Failure::grammar;
        const char* start = quoted.data() + 1;
        const std::size_t length = quoted.size() - 2;
        const std::string_view bytes(start, length);
        bool hasEscapes = false;
        bool ascii = false;
        if (length <= kShortString) {
            // One pass over a short string, with no call.
            unsigned char seen = 0;
            for (const char c : bytes) {
                seen |= static_cast<unsigned char>(c);
                hasEscapes |= c == '\\';
            }
            ascii = (seen & 0x80) == 0;
        } else {
            hasEscapes = std::memchr(start, '\\', length) != nullptr;
        }
        if (hasEscapes && !internal::hasValidJsonEscapes(bytes)) return Failure::escape;
        JsonNode& node = m_nodes[push(JsonNode::Type::string)];
        node.flag = hasEscapes;
        node.shortAscii = ascii && !hasEscapes;
        if (node.shortAscii && length <= sizeof node.chars) {
            node.inlineLength = static_cast<std::uint8_t>(length);
            std::memcpy(node.chars, start, length);
        } else {
            node.bytes = {static_cast<std::uint32_t>(start - m_text), static_cast<std::uint32_t>(length)};
        }
        return Failure::none;
    }

    Failure number(std::uint32_t i) {
        const std::string_view text = token(i);
        bool integral = false;
        if (!isJsonNumber(text, integral)) return Failure::number;
        JsonNode& node = m_nodes[push(JsonNode::Type::number)];
        const char* end = text.data() + text.size();
        if (integral) {
            qint64 integer = 0;
            const auto [stop, error] = std::from_chars(text.data(), end, integer);
            if (error == std::errc() && stop == end) {
                node.flag = true;
                node.integer = integer;
                return Failure::none;
            }
            // An integer beyond 64 bits is still a number, read as a double.
        }
        double number = 0;
        const auto [stop, error] = std::from_chars(text.data(), end, number);
        if (error != std::errc() || stop != end || !std::isfinite(number)) return Failure::number;
        node.number = number;
        return Failure::none;
    }

    Failure literal(std::uint32_t i) {
        const std::string_view word = token(i);
        if (word == "true" || word == "false") {
            m_nodes[push(JsonNode::Type::boolean)].boolean = word == "true";
        } else if (word == "null") {
            push(JsonNode::Type::null);
        } else {
            return Failure::literal;
        }
        return Failure::none;
    }

    std::uint32_t push(JsonNode::Type type) {
        JsonNode node;
        node.type = type;
        node.integer = 0;
        const auto index = static_cast<std::uint32_t>(m_nodes.size());
        node.end = index + 1;
        m_nodes.push_back(node);
        return index;
    }

    void close(std::uint32_t index, std::uint32_t members, bool isObject) {
        JsonNode& node = m_nodes[index];
        node.end = static_cast<std::uint32_t>(m_nodes.size());
        node.count = members;
        if (isObject) node.flag = members <= kCheckedKeys && keysAreDistinct(index);
    }

    // Whether the keys of the object at index are all short ASCII strings, no two the same.
    bool keysAreDistinct(std::uint32_t object) const {
        const JsonNode& node = m_nodes[object];
        for (std::uint32_t key = object + 1; key < node.end; key = m_nodes[key + 1].end) {
            const JsonNode& keyNode = m_nodes[key];
            if (!keyNode.shortAscii) return false;
            for (std::uint32_t other = object + 1; other < key; other = m_nodes[other + 1].end) {
                const JsonNode& otherNode = m_nodes[other];
                // Bytes kept in nodes are zero after their length, so such keys compare as integers.
                if (keyNode.inlineLength != JsonNode::kInText && otherNode.inlineLength != JsonNode::kInText) {
                    if (keyNode.inlineLength == otherNode.inlineLength &&
                        std::memcmp(keyNode.chars, otherNode.chars, sizeof keyNode.chars) == 0) {
                        return false;
                    }
                } else if (otherNode.string(m_text) == keyNode.string(m_text)) {
                    return false;
                }
            }
        }
        return true;
    }

    std::vector<JsonNode>& m_nodes;
    const char* m_text;
    std::size_t m_length;
    const std::uint32_t* m_positions;
    std::uint32_t m_count;
};

DecodingError malformed(const QString& reason) {
    return DecodingError{DecodingError::Kind::dataCorrupted, QString(),
                         QStringLiteral("The given data was not valid JSON. (%1)").arg(reason)};
}

}  // namespace

Decoded<JsonDocument> JsonDocument::parse(QByteArray text) {
    // String offsets are 32 bits wide.
    if (text.size() > std::numeric_limits<std::uint32_t>::max() - qsizetype{simdjson::SIMDJSON_PADDING}) {
        return tl::unexpected(malformed(QStringLiteral("the text is too long")));
    }
    // simdjson reads a little past the end; with the text moved in, this only extends its buffer.
    text.reserve(text.size() + qsizetype{simdjson::SIMDJSON_PADDING});
    auto tape = std::make_unique<internal::JsonTape>();
    tape->text = std::move(text);
    const char* data = tape->text.constData();
    std::size_t start = 0;
    if (std::string_view(data, static_cast<std::size_t>(tape->text.size())).starts_with(kByteOrderMark)) {
        start = kByteOrderMark.size();
    }
    const std::size_t length = static_cast<std::size_t>(tape->text.size()) - start;

    // A thread's first stage keeps its buffers from one text to the next, up to a size: most texts are
    // small and read often, and a buffer touched again costs no page faults.
    thread_local simdjson::dom::parser reusedParser;
    std::optional<simdjson::dom::parser> ownParser;
    if (length > kReusedParserCapacity) ownParser.emplace();
    simdjson::dom::parser& parser = ownParser ? *ownParser : reusedParser;
    if (!parser.implementation || parser.implementation->capacity() < length) {
        if (const auto error = parser.allocate(std::max<std::size_t>(length, 1), kNestingLimit + 1)) {
            return tl::unexpected(malformed(QString::fromUtf8(simdjson::error_message(error))));
        }
    }
    auto& stage = *parser.implementation;
    const auto* bytes = reinterpret_cast<const std::uint8_t*>(data + start);
    if (const auto error = stage.stage1(bytes, length, simdjson::stage1_mode::regular)) {
        return tl::unexpected(malformed(QString::fromUtf8(simdjson::error_message(error))));
    }

    // Every value starts at a position of its own, so there are at most as many values as positions.
    tape->nodes.reserve(stage.n_structural_indexes);
    TapeBuilder builder(tape->nodes, data, static_cast<std::size_t>(tape->text.size()), stage.structural_indexes.get(),
                        stage.n_structural_indexes);
    // The positions count from the text's start, after any byte-order mark.
    if (start > 0) {
        for (std::uint32_t i = 0; i < stage.n_structural_indexes; ++i) {
            stage.structural_indexes[i] += static_cast<std::uint32_t>(start);
        }
    }
    if (const Failure failure = builder.build(); failure != Failure::none) {
        return tl::unexpected(malformed(describe(failure)));
    }
    return JsonDocument(std::move(tape));
}

}  // namespace tavrine
