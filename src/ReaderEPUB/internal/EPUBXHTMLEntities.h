#pragma once

#include <QByteArray>

#include "ReaderCore/CancellationToken.h"
#include "ReaderEPUB/EPUBReader.h"

namespace tavrine {

// The pass that replaces the named character references of HTML that XHTML 1.0 and 1.1 documents may
// use without declaring them (htmlNamedCharacter) by their characters before the XML parser sees the
// document.
class EPUBXHTMLEntities {
public:
    // Replaces every reference "&name;" to a name in the table, from `from` on, by the UTF-8 of its
    // character. Comments, CDATA sections and processing instructions are skipped whole; an opener
    // without its own terminator reaches to the next terminator of its kind further on, and when there is
    // none it is no opener. Other references (numeric, predefined, unknown) stay as written for the
    // parser. Returns `text` itself when nothing was replaced. Runs in time linear in the text and checks
    // the token wherever a match may begin; a cancelled token gives Failure::cancelled().
    static EPUBReader::Result<QByteArray> replaceNamedEntities(const QByteArray& text,
                                                               const CancellationToken& cancellation,
                                                               qsizetype from = 0);
};

}  // namespace tavrine
