// JsonDocument::parse: simdjson checks the text (UTF-8, structure, unescaped controls) in one pass and
// its On-Demand iterator walks every value once; each value becomes a node, strings staying in the text.
#include "ReaderCore/Json.h"
#include "ReaderCore/internal/JsonText.h"

#include <simdjson.h>

#include <cstring>
#include <limits>

namespace tavrine {
namespace {
namespace ondemand = simdjson::ondemand;
using internal::JsonNode;
using simdjson::error_code;

// Containers nest at most this deep, the root being the first level (as in Qt's own reader); deeper text
// is refused rather than walked.
constexpr int kNestingLimit = 1024;

constexpr std::string_view kByteOrderMark = "\xEF\xBB\xBF";

class TapeBuilder {
public:
    TapeBuilder(internal::JsonTape& tape, const char* text) : m_nodes(tape.nodes), m_text(text) {}

    template <typename Object>
    error_code object(Object object, int depth) {
        if (depth > kNestingLimit) return simdjson::DEPTH_ERROR;
        const std::size_t index = push(JsonNode::Type::object);
        std::uint32_t count = 0;
        for (auto member : object) {
            ondemand::field field;
            if (const auto error = std::move(member).get(field)) return error;
            if (const auto error = key(field.key().raw())) return error;
            if (const auto error = value(field.value(), depth)) return error;
            ++count;
        }
        return close(index, count);
    }

    template <typename Array>
    error_code array(Array array, int depth) {
        if (depth > kNestingLimit) return simdjson::DEPTH_ERROR;
        const std::size_t index = push(JsonNode::Type::array);
        std::uint32_t count = 0;
        for (auto element : array) {
            ondemand::value item;
            if (const auto error = std::move(element).get(item)) return error;
            if (const auto error = value(item, depth)) return error;
            ++count;
        }
        return close(index, count);
    }

private:
    error_code value(ondemand::value value, int depth) {
        ondemand::json_type type;
        if (const auto error = value.type().get(type)) return error;
        switch (type) {
        case ondemand::json_type::object: {
            ondemand::object object;
            if (const auto error = value.get_object().get(object)) return error;
            return this->object(object, depth + 1);
        }
        case ondemand::json_type::array: {
            ondemand::array array;
            if (const auto error = value.get_array().get(array)) return error;
            return this->array(array, depth + 1);
        }
        case ondemand::json_type::string: return string(value.raw_json_token());
        case ondemand::json_type::number: return number(value);
        case ondemand::json_type::boolean: {
            bool boolean = false;
            if (const auto error = value.get_bool().get(boolean)) return error;
            JsonNode& node = m_nodes[push(JsonNode::Type::boolean)];
            node.boolean = boolean;
            return simdjson::SUCCESS;
        }
        case ondemand::json_type::null: {
            bool isNull = false;
            if (const auto error = value.is_null().get(isNull)) return error;
            if (!isNull) return simdjson::N_ATOM_ERROR;
            push(JsonNode::Type::null);
            return simdjson::SUCCESS;
        }
        }
        return simdjson::TAPE_ERROR;
    }

    error_code number(ondemand::value& value) {
        ondemand::number number;
        if (value.get_number().get(number) == simdjson::SUCCESS) {
            JsonNode& node = m_nodes[push(JsonNode::Type::number)];
            if (number.is_int64()) {
                node.flag = true;
                node.integer = number.get_int64();
            } else if (number.is_uint64()) {
                node.number = static_cast<double>(number.get_uint64());
            } else {
                node.number = number.get_double();
            }
            return simdjson::SUCCESS;
        }
        // An integer beyond 64 bits is still a number, read as a double.
        double approximation = 0;
        if (const auto error = value.get_double().get(approximation)) return error;
        m_nodes[push(JsonNode::Type::number)].number = approximation;
        return simdjson::SUCCESS;
    }

    // A string value's token: its quotes, its bytes, and the white space up to the next token.
    error_code string(std::string_view token) {
        std::size_t end = token.size();
        while (end > 0 && token[end - 1] != '"') --end;
        if (end < 2) return simdjson::STRING_ERROR;
        return stringNode(token.data() + 1, end - 2);
    }

    // A key's bytes run from start to the first quote that no backslash escapes.
    error_code key(const char* start) {
        const char* position = start;
        for (;;) {
            const char c = *position;
            if (c == '"') break;
            position += c == '\\' ? 2 : 1;
        }
        return stringNode(start, static_cast<std::size_t>(position - start));
    }

    error_code stringNode(const char* start, std::size_t length) {
        const std::string_view bytes(start, length);
        const bool hasEscapes = std::memchr(start, '\\', length) != nullptr;
        if (hasEscapes && !internal::hasValidJsonEscapes(bytes)) return simdjson::STRING_ERROR;
        JsonNode& node = m_nodes[push(JsonNode::Type::string)];
        node.flag = hasEscapes;
        node.bytes = {static_cast<std::uint32_t>(start - m_text), static_cast<std::uint32_t>(length)};
        return simdjson::SUCCESS;
    }

    std::size_t push(JsonNode::Type type) {
        JsonNode node;
        node.type = type;
        node.integer = 0;
        node.end = static_cast<std::uint32_t>(m_nodes.size() + 1);
        m_nodes.push_back(node);
        return m_nodes.size() - 1;
    }

    error_code close(std::size_t index, std::uint32_t count) {
        if (m_nodes.size() >= std::numeric_limits<std::uint32_t>::max()) return simdjson::CAPACITY;
        m_nodes[index].end = static_cast<std::uint32_t>(m_nodes.size());
        m_nodes[index].count = count;
        return simdjson::SUCCESS;
    }

    std::vector<JsonNode>& m_nodes;
    const char* m_text;
};

DecodingError malformed(QString reason) {
    return DecodingError{DecodingError::Kind::dataCorrupted, QString(),
                         QStringLiteral("The given data was not valid JSON. (%1)").arg(reason)};
}

DecodingError malformed(error_code error) {
    return malformed(QString::fromUtf8(simdjson::error_message(error)));
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

    ondemand::parser parser;
    const std::size_t length = static_cast<std::size_t>(tape->text.size()) - start;
    const std::size_t capacity = static_cast<std::size_t>(tape->text.capacity()) - start;
    ondemand::document document;
    if (const auto error = parser.iterate(simdjson::padded_string_view(data + start, length, capacity)).get(document)) {
        return tl::unexpected(malformed(error));
    }
    ondemand::json_type type;
    if (const auto error = document.type().get(type)) return tl::unexpected(malformed(error));
    TapeBuilder builder(*tape, data);
    error_code error = simdjson::SUCCESS;
    if (type == ondemand::json_type::object) {
        ondemand::object object;
        error = document.get_object().get(object);
        if (!error) error = builder.object(object, 1);
    } else if (type == ondemand::json_type::array) {
        ondemand::array array;
        error = document.get_array().get(array);
        if (!error) error = builder.array(array, 1);
    } else {
        return tl::unexpected(malformed(QStringLiteral("the top level is not an object or an array")));
    }
    if (error) return tl::unexpected(malformed(error));
    // Anything after the top-level value is garbage.
    if (document.current_location().error() != simdjson::OUT_OF_BOUNDS) {
        return tl::unexpected(malformed(simdjson::TRAILING_CONTENT));
    }
    return JsonDocument(std::move(tape));
}

}  // namespace tavrine
