#pragma once

#include <QByteArrayView>

#include <optional>

namespace tavrine {

// The named character references of HTML 4.01 (Latin-1, symbols, special) with their HTML 4.01 code
// points, less amp, lt, gt and quot, which XML predefines: the names that XHTML documents may use without
// declaring them and that Markdown text spells out. Looked up case-sensitively.
inline constexpr int kHTMLNamedCharacterCount = 248;

// The character a name (without "&" and ";") stands for, or nothing for a name outside the table.
std::optional<char32_t> htmlNamedCharacter(QByteArrayView name);

}  // namespace tavrine
