#include "ReaderEPUB/internal/EPUBXMLTextGate.h"

#include <QChar>
#include <QString>
#include <array>
#include <string_view>

#include "ReaderEPUB/internal/EPUBUTF8.h"
#include "ReaderEPUB/internal/EPUBXHTMLEntities.h"
#include "ReaderEPUB/internal/EPUBXMLAttributeBounds.h"
#include "ReaderEPUB/internal/EPUBXMLByteSearch.h"

namespace tavrine {
namespace {
using Failure = EPUBReader::Failure;
using DocumentType = EPUBXMLTextGate::DocumentType;

constexpr std::string_view kParserDeclaration = R"(<?xml version="1.0" encoding="UTF-8"?>)";

// The document as UTF-8 without a byte-order mark: a view of the input when it already is UTF-8,
// else a transcoded copy.
struct Decoded {
    QByteArray owned;
    QByteArrayView text;
    bool utf16 = false;
};

// Strict: an even number of bytes, every surrogate in a high-low pair.
EPUBReader::Result<QByteArray> utf16ToUTF8(QByteArrayView bytes, bool bigEndian) {
    if (bytes.size() % 2 != 0) return failWith(Failure::Kind::invalidXML);
    const auto* data = reinterpret_cast<const uchar*>(bytes.data());
    const qsizetype units = bytes.size() / 2;
    auto unitAt = [&](qsizetype i) -> char16_t {
        const uchar a = data[2 * i], b = data[2 * i + 1];
        return bigEndian ? char16_t(a << 8 | b) : char16_t(b << 8 | a);
    };
    QByteArray out;
    out.reserve(units * 3 / 2);
    for (qsizetype i = 0; i < units; ++i) {
        const char16_t unit = unitAt(i);
        if (QChar::isHighSurrogate(unit)) {
            if (i + 1 >= units || !QChar::isLowSurrogate(unitAt(i + 1))) return failWith(Failure::Kind::invalidXML);
            appendUTF8(out, QChar::surrogateToUcs4(unit, unitAt(++i)));
        } else if (QChar::isLowSurrogate(unit)) {
            return failWith(Failure::Kind::invalidXML);
        } else {
            appendUTF8(out, unit);
        }
    }
    return out;
}

EPUBReader::Result<Decoded> decode(QByteArrayView bytes) {
    Decoded decoded;
    if (bytes.startsWith("\xFF\xFE") || bytes.startsWith("\xFE\xFF")) {
        auto utf8 = utf16ToUTF8(bytes.sliced(2), bytes[0] == '\xFE');
        if (!utf8) return tl::unexpected(utf8.error());
        decoded.owned = std::move(*utf8);
        decoded.text = decoded.owned;
        decoded.utf16 = true;
        return decoded;
    }
    // Rejects overlong forms, surrogates and code points above U+10FFFF.
    if (!bytes.isValidUtf8()) return failWith(Failure::Kind::invalidXML);
    decoded.text = bytes.startsWith("\xEF\xBB\xBF") ? bytes.sliced(3) : bytes;
    return decoded;
}

// The length in bytes of the white-space character at `at` in valid UTF-8, or 0. White space is what
// "\s" means in the patterns these rules were written in: tab, line feed, form feed, carriage return and
// the Unicode separators.
qsizetype spaceLength(QByteArrayView text, qsizetype at) {
    if (at >= text.size()) return 0;
    const auto lead = uchar(text[at]);
    if (lead < 0x80) return lead == ' ' || lead == '\t' || lead == '\n' || lead == '\f' || lead == '\r' ? 1 : 0;
    const qsizetype length = lead >= 0xF0 ? 4 : lead >= 0xE0 ? 3 : 2;
    if (at + length > text.size()) return 0;
    char32_t c = lead & (length == 2 ? 0x1F : length == 3 ? 0x0F : 0x07);
    for (qsizetype i = 1; i < length; ++i) c = (c << 6) | (uchar(text[at + i]) & 0x3F);
    switch (QChar::category(c)) {
    case QChar::Separator_Space:
    case QChar::Separator_Line:
    case QChar::Separator_Paragraph: return length;
    default: return 0;
    }
}

// A forward reader over a short piece of text for the fixed shapes below.
class Cursor {
public:
    Cursor(QByteArrayView text, qsizetype at = 0) : m_text(text), m_at(at) {}

    qsizetype position() const { return m_at; }
    bool atEnd() const { return m_at == m_text.size(); }

    bool literal(std::string_view word) {
        if (!m_text.sliced(m_at).startsWith(QByteArrayView(word.data(), qsizetype(word.size())))) return false;
        m_at += qsizetype(word.size());
        return true;
    }
    // Skips white space; true when at least `minimum` characters were skipped.
    bool spaces(int minimum) {
        int count = 0;
        while (const qsizetype length = spaceLength(m_text, m_at)) {
            m_at += length;
            ++count;
        }
        return count >= minimum;
    }
    bool quote() {
        if (atEnd() || (m_text[m_at] != '"' && m_text[m_at] != '\'')) return false;
        ++m_at;
        return true;
    }
    // One of the literals between quotes; the two quotes may differ.
    template <std::size_t N>
    bool quoted(const std::array<std::string_view, N>& literals) {
        if (!quote()) return false;
        for (std::string_view word : literals) {
            Cursor attempt = *this;
            if (attempt.literal(word) && attempt.quote()) {
                *this = attempt;
                return true;
            }
        }
        return false;
    }
    // A location over HTTP or HTTPS between quotes.
    template <std::size_t N>
    bool quotedLocation(const std::array<std::string_view, N>& rests) {
        Cursor attempt = *this;
        if (!attempt.quote() || !attempt.literal("http")) return false;
        attempt.literal("s");
        for (std::string_view rest : rests) {
            Cursor candidate = attempt;
            if (candidate.literal(rest) && candidate.quote()) {
                *this = candidate;
                return true;
            }
        }
        return false;
    }

private:
    QByteArrayView m_text;
    qsizetype m_at;
};

constexpr std::array<std::string_view, 3> kXHTMLPublicIdentifiers{
    "-//W3C//DTD XHTML 1.1//EN", "-//W3C//DTD XHTML 1.0 Strict//EN", "-//W3C//DTD XHTML 1.0 Transitional//EN"};
constexpr std::array<std::string_view, 3> kXHTMLLocations{"://www.w3.org/TR/xhtml11/DTD/xhtml11.dtd",
                                                          "://www.w3.org/TR/xhtml1/DTD/xhtml1-strict.dtd",
                                                          "://www.w3.org/TR/xhtml1/DTD/xhtml1-transitional.dtd"};
constexpr std::array<std::string_view, 1> kNCXPublicIdentifiers{"-//NISO//DTD ncx 2005-1//EN"};
constexpr std::array<std::string_view, 1> kNCXLocations{"://www.daisy.org/z3986/2005/ncx-2005-1.dtd"};

// The kind of an allowed document type declaration (from "<!DOCTYPE" to its first ">"), or nothing.
std::optional<DocumentType> allowedDocumentType(QByteArrayView declaration) {
    auto ends = [](Cursor cursor) { return cursor.literal(">") && cursor.atEnd(); };
    Cursor cursor(declaration);
    if (!cursor.literal("<!DOCTYPE") || !cursor.spaces(1)) return std::nullopt;
    if (cursor.literal("html")) {
        Cursor bare = cursor;
        if (bare.spaces(0) && ends(bare)) return DocumentType::html;
        if (cursor.spaces(1) && cursor.literal("PUBLIC") && cursor.spaces(1) &&
            cursor.quoted(kXHTMLPublicIdentifiers) && cursor.spaces(1) && cursor.quotedLocation(kXHTMLLocations) &&
            cursor.spaces(0) && ends(cursor)) {
            return DocumentType::xhtml;
        }
        return std::nullopt;
    }
    if (cursor.literal("ncx") && cursor.spaces(1) && cursor.literal("PUBLIC") && cursor.spaces(1) &&
        cursor.quoted(kNCXPublicIdentifiers) && cursor.spaces(1) && cursor.quotedLocation(kNCXLocations) &&
        cursor.spaces(0) && ends(cursor)) {
        return DocumentType::ncx;
    }
    return std::nullopt;
}

// The end of an XML declaration at `start` (white space, "<?xml", white space, no "?" up to "?>"), or -1.
qsizetype xmlDeclarationEnd(QByteArrayView text, qsizetype start) {
    Cursor cursor(text, start);
    cursor.spaces(0);
    if (!cursor.literal("<?xml") || !cursor.spaces(1)) return -1;
    const qsizetype question = text.indexOf('?', cursor.position());
    if (question < 0 || question + 1 >= text.size() || text[question + 1] != '>') return -1;
    return question + 2;
}

// The value of the first encoding attribute ("encoding", "=", a quoted value; white space around "=")
// in a declaration, or nothing.
std::optional<QByteArrayView> declaredEncoding(QByteArrayView declaration) {
    for (qsizetype at = declaration.indexOf("encoding"); at >= 0; at = declaration.indexOf("encoding", at + 1)) {
        Cursor cursor(declaration, at + 8);
        cursor.spaces(0);
        if (!cursor.literal("=")) continue;
        cursor.spaces(0);
        if (!cursor.quote()) continue;
        const qsizetype valueStart = cursor.position();
        qsizetype valueEnd = valueStart;
        while (valueEnd < declaration.size() && declaration[valueEnd] != '"' && declaration[valueEnd] != '\'') {
            ++valueEnd;
        }
        if (valueEnd == valueStart || valueEnd == declaration.size()) continue;
        return declaration.sliced(valueStart, valueEnd - valueStart);
    }
    return std::nullopt;
}

bool encodingMatches(QByteArrayView declared, bool utf16) {
    const QString name = QString::fromUtf8(declared).toLower();
    if (!utf16) return name == u"utf-8";
    return name == u"utf-16" || name == u"utf-16le" || name == u"utf-16be";
}

}  // namespace

QByteArrayView EPUBXMLTextGate::parserDeclaration() {
    return QByteArrayView(kParserDeclaration.data(), qsizetype(kParserDeclaration.size()));
}

EPUBReader::Result<EPUBXMLTextGate::Prepared> EPUBXMLTextGate::prepare(QByteArrayView bytes,
                                                                       const CancellationToken& cancellation) {
    const auto decoded = decode(bytes);
    if (!decoded) return tl::unexpected(decoded.error());
    const QByteArrayView text = decoded->text;

    if (findBytes(text, "<!ENTITY") >= 0) return failWith(Failure::Kind::unsafeXML);

    // The parser's declaration first, then the document without its document type declaration.
    Prepared prepared;
    const QByteArrayView declaration = parserDeclaration();
    prepared.text.reserve(declaration.size() + text.size());
    prepared.text.append(declaration);
    const qsizetype doctype = findBytes(text, "<!DOCTYPE");
    if (doctype >= 0) {
        const qsizetype close = text.indexOf('>', doctype);
        if (close < 0) return failWith(Failure::Kind::invalidXML);
        const auto type = allowedDocumentType(text.sliced(doctype, close + 1 - doctype));
        if (!type) return failWith(Failure::Kind::unsafeXML);
        prepared.documentType = *type;
        prepared.text.append(text.first(doctype));
        prepared.text.append(text.sliced(close + 1));
    } else {
        prepared.text.append(text);
    }
    const qsizetype start = declaration.size();
    // Searched after the removal, which may join pieces into a new one.
    if (findBytes(prepared.text, "<!DOCTYPE", start) >= 0) return failWith(Failure::Kind::unsafeXML);

    const qsizetype end = xmlDeclarationEnd(prepared.text, start);
    if (end >= 0) {
        const auto encoding = declaredEncoding(QByteArrayView(prepared.text).sliced(start, end - start));
        if (encoding && !encodingMatches(*encoding, decoded->utf16)) return failWith(Failure::Kind::invalidXML);
        prepared.text.remove(start, end - start);
    }

    if (auto failure = checkAttributeBounds(prepared.text)) return tl::unexpected(*failure);

    if (prepared.documentType == DocumentType::xhtml) {
        auto replaced = EPUBXHTMLEntities::replaceNamedEntities(prepared.text, cancellation, start);
        if (!replaced) return tl::unexpected(replaced.error());
        prepared.text = std::move(*replaced);
    }
    return prepared;
}

}  // namespace tavrine
