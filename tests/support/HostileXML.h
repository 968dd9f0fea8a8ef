#pragma once

#include <QByteArray>
#include <QtGlobal>

namespace tavrine::test {

// XML that costs a parser the most, for the tests and benchmarks of the XML layer's bounds.

// A start tag `<name` with `count` attributes and "/>": the first `declarations` of them bind the
// prefixes n<first>, n<first+1>, … to namespace names of `nameLength` characters each, the others are
// a0, a1, … with empty values.
QByteArray tagWithAttributes(const QByteArray& name, int count, int declarations = 0, int first = 0,
                             int nameLength = 8);

// An XHTML document of at most `bytes` bytes, filled with empty paragraphs that each carry the most
// attributes a tag may hold, with no namespace.
QByteArray attributeBoundDocument(qsizetype bytes);

// An XHTML document of at most `bytes` bytes: the most namespace declarations a document may make,
// spread over nested elements as the attribute bound requires, each binding a prefix to a name of
// `nameLength` characters; inside them, empty paragraphs that each carry the most attributes a tag may
// hold, every one of them named "a" through another of those prefixes.
QByteArray namespaceBoundDocument(qsizetype bytes, int nameLength);

}  // namespace tavrine::test
