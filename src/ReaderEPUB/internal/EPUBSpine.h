#pragma once

#include "ReaderCore/CancellationToken.h"
#include "ReaderCore/EPUBBook.h"
#include "ReaderEPUB/EPUBReader.h"
#include "ReaderEPUB/internal/EPUBManifest.h"
#include "ReaderEPUB/internal/EPUBXMLNode.h"

#include <QList>
#include <QSet>
#include <QString>
#include <functional>

namespace tavrine {

// What becomes of one spine document that is shown as text: its manifest item and its itemref's idref.
using EPUBSpineDocumentStep =
    std::function<EPUBReader::Result<void>(const EPUBManifestItem& item, const QString& idref)>;

// The spine a book is read in, and the gates every spine document passes before any text is made.
struct EPUBSpine {
    const EPUBXMLNode& spine;
    const EPUBManifest& manifest;
    // Archive paths that the guide names as a table of contents: left out of the text.
    const QSet<QString>& guideTableOfContents;

    // Walks the itemrefs in document order; an empty spine is emptyContent. An itemref must name a
    // manifest item by its idref, once (else invalidPackage), with a "linear" of "yes" or "no" when it
    // has one (else invalidPackage), and must not be pre-paginated (fixedLayout, also when it is not
    // linear). A non-linear document or a guide table of contents is left out with a notice naming its
    // path. Every other document must be plain XHTML, neither scripted nor a switch (else
    // unsupportedContent), and goes to `showDocument`, whose failure ends the walk. Checks the
    // cancellation token per itemref; the first failure in document order wins.
    EPUBReader::Result<void> walk(const CancellationToken& cancellation, QList<EPUBBook::Notice>& notices,
                                  const EPUBSpineDocumentStep& showDocument) const;
};

}  // namespace tavrine
