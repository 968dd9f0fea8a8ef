#include "ReaderEPUB/internal/EPUBXMLAttributeBounds.h"

#include "ReaderEPUB/internal/EPUBXMLBudget.h"
#include "ReaderEPUB/internal/EPUBXMLByteSearch.h"

#include <cstring>

namespace tavrine {
namespace {
using Failure = EPUBReader::Failure;

bool isSpace(char c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\r';
}

// What ends the name of a tag or an attribute: white space, "=", the end of the tag, quotes, or a "<"
// that only malformed text holds there.
bool endsName(char c) {
    return isSpace(c) || c == '=' || c == '>' || c == '/' || c == '<' || c == '"' || c == '\'';
}

bool isNamespaceDeclaration(QByteArrayView name) {
    return name == "xmlns" || name.startsWith("xmlns:");
}

class AttributeScan {
public:
    explicit AttributeScan(QByteArrayView text) : m_text(text) {}

    std::optional<Failure> run() {
        while (m_at < m_text.size()) {
            const auto* open = static_cast<const char*>(std::memchr(m_text.data() + m_at, '<', size_t(remaining())));
            if (!open) return std::nullopt;
            m_at = open - m_text.data();
            if (skipPast("<!--", "-->") || skipPast("<![CDATA[", "]]>") || skipPast("<?", "?>")) {
                if (m_at < 0) return std::nullopt;  // unterminated: the parser reads no further
                continue;
            }
            ++m_at;
            // End tags hold no attributes; "<!" other than the above is no markup a document may keep.
            if (m_at < m_text.size() && (m_text[m_at] == '/' || m_text[m_at] == '!')) continue;
            if (auto failure = startTag()) return failure;
        }
        return std::nullopt;
    }

private:
    qsizetype remaining() const { return m_text.size() - m_at; }

    // When the opener stands at the current position: moves past the terminator, or to -1 without one.
    bool skipPast(QByteArrayView opener, QByteArrayView terminator) {
        if (!m_text.sliced(m_at).startsWith(opener)) return false;
        const qsizetype end = findBytes(m_text, terminator, m_at + opener.size());
        m_at = end < 0 ? -1 : end + terminator.size();
        return true;
    }

    void skipSpaces() {
        while (m_at < m_text.size() && isSpace(m_text[m_at])) ++m_at;
    }

    QByteArrayView name() {
        const qsizetype start = m_at;
        while (m_at < m_text.size() && !endsName(m_text[m_at])) ++m_at;
        return m_text.sliced(start, m_at - start);
    }

    // From just after "<" to the end of the tag's attributes; the outer scan goes on from there.
    std::optional<Failure> startTag() {
        name();
        qint64 attributes = 0;
        while (true) {
            skipSpaces();
            if (m_at >= m_text.size()) return std::nullopt;
            const char c = m_text[m_at];
            if (c == '>' || c == '/' || c == '<') return std::nullopt;
            const QByteArrayView attribute = name();
            if (attribute.isEmpty()) {
                ++m_at;  // a stray "=" or quote: not well-formed, so only stepped over
                continue;
            }
            if (++attributes > kXMLAttributesPerTag) return Failure::limit(EPUBReader::ResourceLimit::nodes);
            if (isNamespaceDeclaration(attribute) && ++m_declarations > kXMLNamespaceDeclarationsPerDocument) {
                return Failure::limit(EPUBReader::ResourceLimit::nodes);
            }
            skipSpaces();
            if (m_at >= m_text.size() || m_text[m_at] != '=') continue;
            ++m_at;
            skipSpaces();
            if (m_at >= m_text.size() || (m_text[m_at] != '"' && m_text[m_at] != '\'')) continue;
            const auto* close =
                static_cast<const char*>(std::memchr(m_text.data() + m_at + 1, m_text[m_at], size_t(remaining() - 1)));
            if (!close) return std::nullopt;  // the value runs to the end: the parser reads no further
            m_at = close - m_text.data() + 1;
        }
    }

    QByteArrayView m_text;
    qsizetype m_at = 0;
    qint64 m_declarations = 0;
};

}  // namespace

std::optional<EPUBReader::Failure> checkAttributeBounds(QByteArrayView text) {
    return AttributeScan(text).run();
}

}  // namespace tavrine
