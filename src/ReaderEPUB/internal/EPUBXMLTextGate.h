#pragma once

#include <QByteArray>
#include <QByteArrayView>

#include "ReaderCore/CancellationToken.h"
#include "ReaderEPUB/EPUBReader.h"

namespace tavrine {

// The textual checks an XML document passes before the parser sees any of it. The parser expands
// internal entities quietly, skips external ones without an error and honours whatever encoding a
// declaration names, and its time grows with the square of a tag's attributes, so these checks are what
// make parsing a book safe: strict decoding, no entity declaration anywhere, one document type
// declaration from a short allow-list at most, an honest encoding declaration, attributes and namespace
// declarations within their bounds, and, for XHTML 1.x, the named references of HTML replaced by their
// characters.
class EPUBXMLTextGate {
public:
    enum class DocumentType { none, html, xhtml, ncx };

    struct Prepared {
        // UTF-8 that begins with the parser's own declaration, so that the parser reads exactly the
        // text that was checked; the document's own declaration and document type are removed.
        QByteArray text;
        DocumentType documentType = DocumentType::none;
    };

    // The bytes are UTF-16 when they begin with a byte-order mark (FF FE or FE FF), otherwise UTF-8.
    // Fails with invalidXML (undecodable bytes, an unterminated document type declaration, an encoding
    // declaration that does not match the bytes), unsafeXML (an entity declaration, a document type
    // outside the allow-list, a second document type), limit(nodes) (a start tag with more attributes, or
    // a document with more namespace declarations, than their bounds allow) or Failure::cancelled().
    static EPUBReader::Result<Prepared> prepare(QByteArrayView bytes, const CancellationToken& cancellation);

    // The declaration every prepared text begins with.
    static QByteArrayView parserDeclaration();
};

}  // namespace tavrine
