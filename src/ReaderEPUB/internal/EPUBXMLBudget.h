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

}  // namespace tavrine
