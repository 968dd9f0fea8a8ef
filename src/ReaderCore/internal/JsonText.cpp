#include "ReaderCore/internal/JsonText.h"

#include <array>
#include <charconv>
#include <cmath>
#include <cstdint>
#include <cstring>

namespace tavrine::internal {
namespace {

constexpr char kHexDigits[] = "0123456789abcdef";

int hexValue(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

char16_t hexUnit(const char* digits) {
    return static_cast<char16_t>((hexValue(digits[0]) << 12) | (hexValue(digits[1]) << 8) | (hexValue(digits[2]) << 4) |
                                 hexValue(digits[3]));
}

char* writeUnitEscape(char* out, char16_t unit) {
    *out++ = '\\';
    *out++ = 'u';
    for (int shift = 12; shift >= 0; shift -= 4) *out++ = kHexDigits[(unit >> shift) & 0xF];
    return out;
}

constexpr char kBase64Alphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";

// The six bits of each Base64 character, or 0xFF for any other byte.
constexpr std::array<std::uint8_t, 256> base64Values() {
    std::array<std::uint8_t, 256> values{};
    for (auto& value : values) value = 0xFF;
    for (std::uint8_t i = 0; i < 64; ++i) values[static_cast<unsigned char>(kBase64Alphabet[i])] = i;
    return values;
}
constexpr std::array<std::uint8_t, 256> kBase64Values = base64Values();

}  // namespace

bool hasValidJsonEscapes(std::string_view bytes) {
    for (std::size_t i = 0; i < bytes.size(); ++i) {
        const void* found = std::memchr(bytes.data() + i, '\\', bytes.size() - i);
        if (!found) return true;
        i = static_cast<std::size_t>(static_cast<const char*>(found) - bytes.data()) + 1;
        if (i >= bytes.size()) return false;
        switch (bytes[i]) {
        case '"':
        case '\\':
        case '/':
        case 'b':
        case 'f':
        case 'n':
        case 'r':
        case 't': break;
        case 'u':
            if (i + 4 >= bytes.size()) return false;
            for (std::size_t k = 1; k <= 4; ++k) {
                if (hexValue(bytes[i + k]) < 0) return false;
            }
            i += 4;
            break;
        default: return false;
        }
    }
    return true;
}

QString decodeJsonString(std::string_view bytes, bool hasEscapes) {
    // No more units than bytes; the text is valid UTF-8, its escapes well formed (checked when parsed).
    QString text(static_cast<qsizetype>(bytes.size()), Qt::Uninitialized);
    auto* out = reinterpret_cast<char16_t*>(text.data());
    const auto* in = reinterpret_cast<const unsigned char*>(bytes.data());
    const unsigned char* const end = in + bytes.size();
    constexpr std::uint64_t kHighBits = 0x8080808080808080ull;
    constexpr std::uint64_t kOnes = 0x0101010101010101ull;
    while (in < end) {
        // Eight ASCII bytes at a time, up to the first other byte or backslash.
        while (end - in >= 8) {
            std::uint64_t word;
            std::memcpy(&word, in, 8);
            const std::uint64_t backslashes = word ^ (kOnes * '\\');
            if ((word & kHighBits) || (hasEscapes && ((backslashes - kOnes) & ~backslashes & kHighBits))) break;
            for (int k = 0; k < 8; ++k) out[k] = in[k];
            in += 8;
            out += 8;
        }
        if (in == end) break;
        const unsigned char c = *in;
        if (c < 0x80) {
            if (c != '\\') {
                *out++ = c;
                ++in;
                continue;
            }
            const char escape = static_cast<char>(in[1]);
            in += 2;
            switch (escape) {
            case 'b': *out++ = u'\b'; break;
            case 'f': *out++ = u'\f'; break;
            case 'n': *out++ = u'\n'; break;
            case 'r': *out++ = u'\r'; break;
            case 't': *out++ = u'\t'; break;
            case 'u':
                // A lone surrogate stays a lone unit; two escaped halves make their pair.
                *out++ = hexUnit(reinterpret_cast<const char*>(in));
                in += 4;
                break;
            default: *out++ = static_cast<char16_t>(escape); break;  // " \ /
            }
        } else if (c < 0xE0) {
            *out++ = static_cast<char16_t>(((c & 0x1F) << 6) | (in[1] & 0x3F));
            in += 2;
        } else if (c < 0xF0) {
            *out++ = static_cast<char16_t>(((c & 0x0F) << 12) | ((in[1] & 0x3F) << 6) | (in[2] & 0x3F));
            in += 3;
        } else {
            const char32_t scalar =
                ((c & 0x07) << 18) | ((in[1] & 0x3F) << 12) | ((in[2] & 0x3F) << 6) | (in[3] & 0x3F);
            *out++ = QChar::highSurrogate(scalar);
            *out++ = QChar::lowSurrogate(scalar);
            in += 4;
        }
    }
    text.truncate(out - reinterpret_cast<const char16_t*>(text.constData()));
    // A text of many multi-byte characters took far fewer units than it was given.
    if (text.capacity() > text.size() + text.size() / 4 + 64) text.squeeze();
    return text;
}

char* writeJsonString(char* out, QStringView text) {
    *out++ = '"';
    const char16_t* units = text.utf16();
    const qsizetype size = text.size();
    for (qsizetype i = 0; i < size; ++i) {
        const char16_t c = units[i];
        if (c < 0x80) {
            if (c >= 0x20 && c != u'"' && c != u'\\') {
                *out++ = static_cast<char>(c);
                continue;
            }
            *out++ = '\\';
            switch (c) {
            case u'"': *out++ = '"'; break;
            case u'\\': *out++ = '\\'; break;
            case u'\b': *out++ = 'b'; break;
            case u'\f': *out++ = 'f'; break;
            case u'\n': *out++ = 'n'; break;
            case u'\r': *out++ = 'r'; break;
            case u'\t': *out++ = 't'; break;
            default: out = writeUnitEscape(out - 1, c); break;
            }
        } else if (c < 0x800) {
            *out++ = static_cast<char>(0xC0 | (c >> 6));
            *out++ = static_cast<char>(0x80 | (c & 0x3F));
        } else if (!QChar::isSurrogate(c)) {
            *out++ = static_cast<char>(0xE0 | (c >> 12));
            *out++ = static_cast<char>(0x80 | ((c >> 6) & 0x3F));
            *out++ = static_cast<char>(0x80 | (c & 0x3F));
        } else if (QChar::isHighSurrogate(c) && i + 1 < size && QChar::isLowSurrogate(units[i + 1])) {
            const char32_t scalar = QChar::surrogateToUcs4(c, units[++i]);
            *out++ = static_cast<char>(0xF0 | (scalar >> 18));
            *out++ = static_cast<char>(0x80 | ((scalar >> 12) & 0x3F));
            *out++ = static_cast<char>(0x80 | ((scalar >> 6) & 0x3F));
            *out++ = static_cast<char>(0x80 | (scalar & 0x3F));
        } else {
            // A lone surrogate has no UTF-8 form; its escape keeps it.
            out = writeUnitEscape(out, c);
        }
    }
    *out++ = '"';
    return out;
}

char* writeJsonInteger(char* out, qint64 value) {
    return std::to_chars(out, out + kJsonNumberLength, value).ptr;
}

char* writeJsonNumber(char* out, double value) {
    if (!std::isfinite(value)) {
        std::memcpy(out, "null", 4);
        return out + 4;
    }
    if (value == 0 && std::signbit(value)) {
        std::memcpy(out, "-0.0", 4);
        return out + 4;
    }
    // 2^63 is exactly representable and out of range, hence the strict upper comparison.
    if (std::trunc(value) == value && value >= -9223372036854775808.0 && value < 9223372036854775808.0) {
        return writeJsonInteger(out, static_cast<qint64>(value));
    }
    char* end = std::to_chars(out, out + kJsonNumberLength, value).ptr;
    if (std::trunc(value) == value && !std::memchr(out, 'e', static_cast<std::size_t>(end - out))) {
        end = std::to_chars(out, out + kJsonNumberLength, value, std::chars_format::scientific).ptr;
    }
    return end;
}

char* writeBase64(char* out, QByteArrayView bytes) {
    const auto* in = reinterpret_cast<const unsigned char*>(bytes.data());
    const qsizetype whole = bytes.size() / 3 * 3;
    for (qsizetype i = 0; i < whole; i += 3) {
        const std::uint32_t group = (std::uint32_t{in[i]} << 16) | (std::uint32_t{in[i + 1]} << 8) | in[i + 2];
        out[0] = kBase64Alphabet[group >> 18];
        out[1] = kBase64Alphabet[(group >> 12) & 0x3F];
        out[2] = kBase64Alphabet[(group >> 6) & 0x3F];
        out[3] = kBase64Alphabet[group & 0x3F];
        out += 4;
    }
    const qsizetype rest = bytes.size() - whole;
    if (rest > 0) {
        const std::uint32_t group =
            (std::uint32_t{in[whole]} << 16) | (rest == 2 ? std::uint32_t{in[whole + 1]} << 8 : 0);
        out[0] = kBase64Alphabet[group >> 18];
        out[1] = kBase64Alphabet[(group >> 12) & 0x3F];
        out[2] = rest == 2 ? kBase64Alphabet[(group >> 6) & 0x3F] : '=';
        out[3] = '=';
        out += 4;
    }
    return out;
}

std::optional<QByteArray> decodeBase64(QByteArrayView text) {
    if (text.size() % 4 != 0) return std::nullopt;
    if (text.isEmpty()) return QByteArray();
    const auto* in = reinterpret_cast<const unsigned char*>(text.data());
    const qsizetype size = text.size();
    const qsizetype padding = in[size - 1] == '=' ? (in[size - 2] == '=' ? 2 : 1) : 0;
    QByteArray bytes(size / 4 * 3 - padding, Qt::Uninitialized);
    auto* out = reinterpret_cast<unsigned char*>(bytes.data());
    // Every group but the last is four alphabet characters; any other byte shows as a set high bit.
    const qsizetype whole = size - 4;
    std::uint32_t invalid = 0;
    for (qsizetype i = 0; i < whole; i += 4) {
        const std::uint32_t a = kBase64Values[in[i]];
        const std::uint32_t b = kBase64Values[in[i + 1]];
        const std::uint32_t c = kBase64Values[in[i + 2]];
        const std::uint32_t d = kBase64Values[in[i + 3]];
        invalid |= a | b | c | d;
        const std::uint32_t group = (a << 18) | (b << 12) | (c << 6) | d;
        out[0] = static_cast<unsigned char>(group >> 16);
        out[1] = static_cast<unsigned char>(group >> 8);
        out[2] = static_cast<unsigned char>(group);
        out += 3;
    }
    if (invalid & 0x80) return std::nullopt;
    // The last group: "xxxx", "xxx=" or "xx==" (the bits past the last byte are not looked at).
    const std::uint32_t a = kBase64Values[in[whole]];
    const std::uint32_t b = kBase64Values[in[whole + 1]];
    const std::uint32_t c = padding == 2 ? 0 : kBase64Values[in[whole + 2]];
    const std::uint32_t d = padding >= 1 ? 0 : kBase64Values[in[whole + 3]];
    if ((a | b | c | d) & 0x80) return std::nullopt;
    const std::uint32_t group = (a << 18) | (b << 12) | (c << 6) | d;
    out[0] = static_cast<unsigned char>(group >> 16);
    if (padding < 2) out[1] = static_cast<unsigned char>(group >> 8);
    if (padding < 1) out[2] = static_cast<unsigned char>(group);
    return bytes;
}

}  // namespace tavrine::internal
