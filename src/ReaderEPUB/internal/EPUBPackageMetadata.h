#pragma once

#include "ReaderCore/EPUBBook.h"
#include "ReaderEPUB/internal/EPUBXMLNode.h"

#include <QList>
#include <QString>
#include <optional>

namespace tavrine {

// The Dublin Core metadata of a package's metadata element: the trimmed texts of its title, creator,
// language, identifier, publisher and date children in document order (blank ones dropped, repeats
// kept), and the unique identifier: the text of the first identifier whose id (its "id", else its
// xml:id) is `uniqueIdentifierID`, none when that text is blank. Appends, in this order, a notice
// without resource for a missing title, creator, language and identifier. Never fails: a book without
// metadata is still a book.
EPUBBook::Metadata readPackageMetadata(const EPUBXMLNode& metadata, const std::optional<QString>& uniqueIdentifierID,
                                       QList<EPUBBook::Notice>& notices);

}  // namespace tavrine
