#pragma once

#include <QByteArrayView>

#include <optional>

#include "ReaderEPUB/EPUBReader.h"

namespace tavrine {

// Counts, without parsing, the attributes of every start tag (namespace declarations included) and the
// namespace declarations of the whole document, and refuses a document past kXMLAttributesPerTag or
// kXMLNamespaceDeclarationsPerDocument (EPUBXMLBudget.h) with limit(nodes). Comments, CDATA sections
// and processing instructions are skipped whole; an attribute's quoted value is skipped whole, so a ">"
// inside it ends no tag. One pass, each byte looked at once.
//
// On well-formed XML the counts are exact. Where the text stops being well-formed the parser stops
// reading, and whatever this scan makes of the rest can at worst refuse a document the parser would
// have refused anyway.
std::optional<EPUBReader::Failure> checkAttributeBounds(QByteArrayView text);

}  // namespace tavrine
