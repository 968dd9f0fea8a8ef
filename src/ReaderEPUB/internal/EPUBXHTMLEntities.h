#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <optional>

#include "ReaderCore/CancellationToken.h"
#include "ReaderEPUB/EPUBReader.h"

namespace tavrine {

// The named character references of HTML that XHTML 1.0 and 1.1 documents may use without declaring
// them, and the pass that replaces them by their characters before the XML parser sees the document.
class EPUBXHTMLEntities {
public:
    // The 248 entries: the character entity references of HTML 4.01 (Latin-1, symbols, special) with
    // their HTML 4.01 code points, less amp, lt, gt and quot, which XML predefines. Case-sensitive.
    static constexpr int tableSize = 248;

    // The character a name stands for, or nothing for a name outside the table.
    static std::optional<char32_t> character(QByteArrayView name);

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
