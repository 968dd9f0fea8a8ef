#pragma once

#include <QtGlobal>

namespace tavrine {

// What the XML documents of one import have used so far, charged by every parse and never given back,
// also when a document fails. One budget belongs to one import and is used on its one thread.
struct EPUBXMLBudget {
    qint64 nodes = 0;  // element starts plus text deliveries
    qint64 bytes = 0;  // raw bytes of every document handed to the layer

    bool operator==(const EPUBXMLBudget&) const = default;
};

// Fixed bounds of one document, checked on its text before the parser runs. The parser compares each
// attribute of a start tag with the others of that tag, and looks a prefix up through every namespace
// declaration in scope, so its time grows with the square of these counts, inside single tokens where no
// cancellation reaches it. Books use a handful of attributes per tag and fewer than ten declarations per
// document; past either bound a document fails with limit(nodes).
inline constexpr qint64 kXMLAttributesPerTag = 256;  // namespace declarations included
inline constexpr qint64 kXMLNamespaceDeclarationsPerDocument = 1'024;

}  // namespace tavrine
