#pragma once

#include <QString>
#include <QUuid>

#include <optional>

namespace tavrine {

// The canonical text of an identifier: 36 characters, upper-case hexadecimal, hyphens at 8, 13, 18, 23.
QString uuidString(const QUuid& id);

// Reads the canonical form in either case. Anything else (braces, missing hyphens, stray characters,
// another length) gives no value; unlike QUuid::fromString, a malformed text never reads as the nil UUID.
std::optional<QUuid> parseUuid(QStringView text);

}  // namespace tavrine
