#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QString>
#include <QStringView>

#include <optional>
#include <string_view>

// The character-level work of the JSON coding layer: strings, numbers and Base64, read from and written
// to UTF-8 text in place.
namespace tavrine::internal {

// ---- Strings ----

// Whether the escape sequences of a string's bytes (between its quotes) are all well formed: \" \\ \/
// \b \f \n \r \t and \u with four hexadecimal digits.
bool hasValidJsonEscapes(std::string_view bytes);

// The characters of a string's bytes (valid UTF-8 with valid escapes). A \u escape of a lone surrogate
// gives that lone unit, and a byte-order mark is a character like any other.
QString decodeJsonString(std::string_view bytes, bool hasEscapes);

// The most bytes writeJsonString writes for a text of this many units.
constexpr qsizetype jsonStringLengthBound(qsizetype units) {
    return 6 * units + 2;
}
// Writes text as a quoted JSON string at out (escaping the quote, the backslash and the controls below
// U+0020, and a lone surrogate as its \u escape); returns the end of what was written.
char* writeJsonString(char* out, QStringView text);

// ---- Numbers ----

inline constexpr qsizetype kJsonNumberLength = 32;
// A double in the shortest text that reads back to the same bits: an integral value of the 64-bit range
// as an integer, -0 as "-0.0", any other integral value in exponent form (so it never reads as a too
// large integer), the rest as std::to_chars gives it; a value that is not finite as null.
char* writeJsonNumber(char* out, double value);
char* writeJsonInteger(char* out, qint64 value);

// ---- Base64 ----

constexpr qsizetype base64Length(qsizetype bytes) {
    return (bytes + 2) / 3 * 4;
}
// Padded standard Base64 of bytes at out; returns the end.
char* writeBase64(char* out, QByteArrayView bytes);
// Padded standard Base64 only: groups of four of the standard alphabet, the last one ending in "=" or
// "==" when it is short; no whitespace or other character anywhere.
std::optional<QByteArray> decodeBase64(QByteArrayView text);

}  // namespace tavrine::internal
