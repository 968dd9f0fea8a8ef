#pragma once

#include <QStringView>

namespace tavrine::EPUBXMLNamespace {

// The namespace names the importer compares elements and attributes against. Names are compared by
// their full URI; the prefix a book happens to use never matters.
inline constexpr QStringView xml = u"http://www.w3.org/XML/1998/namespace";
inline constexpr QStringView xmlns = u"http://www.w3.org/2000/xmlns/";
inline constexpr QStringView xhtml = u"http://www.w3.org/1999/xhtml";
inline constexpr QStringView ops = u"http://www.idpf.org/2007/ops";
inline constexpr QStringView ncx = u"http://www.daisy.org/z3986/2005/ncx/";
inline constexpr QStringView opf = u"http://www.idpf.org/2007/opf";
inline constexpr QStringView dublinCore = u"http://purl.org/dc/elements/1.1/";
inline constexpr QStringView container = u"urn:oasis:names:tc:opendocument:xmlns:container";
inline constexpr QStringView xmlEncryption = u"http://www.w3.org/2001/04/xmlenc#";

}  // namespace tavrine::EPUBXMLNamespace
