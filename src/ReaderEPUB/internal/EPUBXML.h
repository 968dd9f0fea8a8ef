#pragma once

#include <QByteArrayView>
#include <memory>

#include "ReaderCore/CancellationToken.h"
#include "ReaderEPUB/EPUBReader.h"
#include "ReaderEPUB/internal/EPUBXMLBudget.h"
#include "ReaderEPUB/internal/EPUBXMLNode.h"

namespace tavrine {

// Parses one XML document of a book into an EPUBXMLNode tree under the import's limits: the document's
// own size, the bytes and nodes of the whole import (charged to the shared budget, never given back) and
// the nesting depth. Nothing outside the given bytes is ever read: no external entity, no DTD.
// Made for one document; used on the import's thread, as is the budget it charges.
class EPUBXML {
public:
    EPUBXML(const EPUBReader::Limits& limits, EPUBXMLBudget& budget, CancellationToken cancellation)
        : m_limits(limits), m_budget(budget), m_cancellation(std::move(cancellation)) {}

    // The document element, or the first failure: limit(xmlBytes, totalXMLBytes, nodes, depth; nodes
    // also for a tag's attributes or a document's namespace declarations past their fixed bounds),
    // invalidXML, unsafeXML, unsupportedContent (an xml:base attribute) or Failure::cancelled().
    EPUBReader::Result<std::unique_ptr<EPUBXMLNode>> parse(QByteArrayView bytes);

private:
    EPUBReader::Limits m_limits;
    EPUBXMLBudget& m_budget;
    CancellationToken m_cancellation;
};

}  // namespace tavrine
