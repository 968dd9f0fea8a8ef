#include "ReaderEPUB/internal/EPUBXML.h"

#include <QXmlStreamReader>
#include <algorithm>
#include <unordered_map>

#include "ReaderEPUB/internal/EPUBXMLNamespaceScope.h"
#include "ReaderEPUB/internal/EPUBXMLNamespaces.h"
#include "ReaderEPUB/internal/EPUBXMLTextGate.h"

namespace tavrine {
namespace {
using Failure = EPUBReader::Failure;

struct ViewHash {
    std::size_t operator()(QStringView view) const noexcept { return qHash(view); }
};

// One shared copy of each element name, namespace name and attribute key of a document, so that a
// tree of many elements does not hold as many copies of the same few strings.
class StringPool {
public:
    QString get(QStringView text) {
        // Most elements of a document share one namespace and runs of them one name.
        if (text == m_last) return m_last;
        m_last = lookUp(text);
        return m_last;
    }

private:
    QString lookUp(QStringView text) {
        if (auto found = m_strings.find(text); found != m_strings.end()) return found->second;
        QString stored = text.toString();
        // The key views the stored string's characters, which stay put when the string is moved.
        const QStringView key = stored;
        return m_strings.emplace(key, std::move(stored)).first->second;
    }

    std::unordered_map<QStringView, QString, ViewHash> m_strings;
    QString m_last;
};

bool isDeclaration(const QXmlStreamAttribute& attribute) {
    return attribute.prefix() == u"xmlns" || (attribute.prefix().isEmpty() && attribute.name() == u"xmlns");
}

// Whether two attributes of a tag have one name in one namespace through two prefixes (the parser has
// refused a repeated qualified name). Namespace names are pooled, so one name is one string: comparing
// where their characters lie costs nothing, however long the name.
bool hasRepeatedName(const std::vector<EPUBXMLNode::Attribute>& attributes) {
    std::vector<std::pair<const QChar*, QStringView>> names;
    for (const EPUBXMLNode::Attribute& attribute : attributes) {
        if (!attribute.namespaceName.isEmpty()) names.emplace_back(attribute.namespaceName.constData(), attribute.name);
    }
    std::sort(names.begin(), names.end());
    return std::adjacent_find(names.begin(), names.end()) != names.end();
}

// Builds the tree from the parser's tokens, charging the budget and checking the limits as it goes.
class TreeBuilder {
public:
    TreeBuilder(const EPUBReader::Limits& limits, EPUBXMLBudget& budget, const CancellationToken& cancellation)
        : m_limits(limits), m_budget(budget), m_cancellation(cancellation) {}

    EPUBReader::Result<std::unique_ptr<EPUBXMLNode>> build(const QByteArray& text) {
        QXmlStreamReader reader(text);
        reader.setNamespaceProcessing(false);
        while (!reader.atEnd()) {
            std::optional<Failure> failure;
            switch (reader.readNext()) {
            case QXmlStreamReader::StartElement: failure = startElement(reader); break;
            case QXmlStreamReader::EndElement: endElement(); break;
            case QXmlStreamReader::Characters: failure = characters(reader); break;
            // Neither can occur behind the text gate; they would mean an entity of the document's own.
            case QXmlStreamReader::DTD:
            case QXmlStreamReader::EntityReference: failure = Failure::of(Failure::Kind::unsafeXML); break;
            case QXmlStreamReader::Invalid: failure = Failure::of(Failure::Kind::invalidXML); break;
            default: break;  // the document's start and end, comments, processing instructions
            }
            if (failure) return tl::unexpected(*failure);
        }
        if (reader.hasError() || !m_root || !m_stack.empty()) return failWith(Failure::Kind::invalidXML);
        return std::move(m_root);
    }

private:
    std::optional<Failure> chargeNode() {
        if (m_cancellation.isCancelled()) return Failure::cancelled();
        if (++m_budget.nodes > m_limits.nodes) return Failure::limit(EPUBReader::ResourceLimit::nodes);
        return std::nullopt;
    }

    std::optional<Failure> startElement(const QXmlStreamReader& reader) {
        if (auto failure = chargeNode()) return failure;
        if (qint64(m_stack.size()) >= m_limits.depth) return Failure::limit(EPUBReader::ResourceLimit::depth);

        // The parser has checked the names' shape (one colon at most, with something on each side) and
        // that no qualified name repeats; the namespaces are ours to resolve. Declarations come first:
        // they hold for the element's own name and attributes. Namespace names are pooled once, where
        // they are declared, and shared from there on.
        const QXmlStreamAttributes attributes = reader.attributes();
        m_scope.openElement();
        for (const QXmlStreamAttribute& attribute : attributes) {
            if (!isDeclaration(attribute)) continue;
            const QString prefix = attribute.prefix().isEmpty() ? QString() : m_pool.get(attribute.name());
            if (!m_scope.declare(prefix, m_pool.get(attribute.value()))) return Failure::of(Failure::Kind::invalidXML);
        }
        const std::optional<QString> namespaceName = m_scope.resolve(reader.prefix());
        if (!namespaceName) return Failure::of(Failure::Kind::invalidXML);

        std::vector<EPUBXMLNode::Attribute> kept;
        kept.reserve(std::size_t(attributes.size()));
        for (const QXmlStreamAttribute& attribute : attributes) {
            if (isDeclaration(attribute)) continue;
            QString attributeNamespace;
            if (!attribute.prefix().isEmpty()) {
                std::optional<QString> bound = m_scope.resolve(attribute.prefix());
                if (!bound) return Failure::of(Failure::Kind::invalidXML);
                attributeNamespace = std::move(*bound);
                if (attributeNamespace == EPUBXMLNamespace::xml && attribute.name() == u"base") {
                    return Failure::of(Failure::Kind::unsupportedContent);
                }
            }
            kept.push_back({std::move(attributeNamespace), m_pool.get(attribute.name()), attribute.value().toString()});
        }
        if (hasRepeatedName(kept)) return Failure::of(Failure::Kind::invalidXML);

        auto node = std::make_unique<EPUBXMLNode>(m_pool.get(reader.name()), *namespaceName, std::move(kept));
        if (m_stack.empty()) {
            if (m_root) return Failure::of(Failure::Kind::invalidXML);
            m_root = std::move(node);
            m_stack.push_back(m_root.get());
        } else {
            m_stack.push_back(m_stack.back()->appendElement(std::move(node)));
        }
        return std::nullopt;
    }

    void endElement() {
        if (!m_stack.empty()) m_stack.pop_back();
        m_scope.closeElement();
    }

    // Each delivery counts as one node, however the parser splits a run of text. The parser reports no
    // text outside the document element (only white space can stand there).
    std::optional<Failure> characters(const QXmlStreamReader& reader) {
        if (auto failure = chargeNode()) return failure;
        if (!m_stack.empty()) m_stack.back()->appendText(reader.text().toString());
        return std::nullopt;
    }

    const EPUBReader::Limits& m_limits;
    EPUBXMLBudget& m_budget;
    const CancellationToken& m_cancellation;
    StringPool m_pool;
    EPUBXMLNamespaceScope m_scope;
    std::unique_ptr<EPUBXMLNode> m_root;
    std::vector<EPUBXMLNode*> m_stack;
};

}  // namespace

EPUBReader::Result<std::unique_ptr<EPUBXMLNode>> EPUBXML::parse(QByteArrayView bytes) {
    if (m_cancellation.isCancelled()) return tl::unexpected(Failure::cancelled());
    if (bytes.size() > m_limits.xmlBytes) return tl::unexpected(Failure::limit(EPUBReader::ResourceLimit::xmlBytes));
    m_budget.bytes += bytes.size();
    if (m_budget.bytes > m_limits.totalXMLBytes) {
        return tl::unexpected(Failure::limit(EPUBReader::ResourceLimit::totalXMLBytes));
    }

    auto prepared = EPUBXMLTextGate::prepare(bytes, m_cancellation);
    if (!prepared) return tl::unexpected(prepared.error());
    auto root = TreeBuilder(m_limits, m_budget, m_cancellation).build(prepared->text);
    if (!root) return root;
    if (m_cancellation.isCancelled()) return tl::unexpected(Failure::cancelled());
    return root;
}

}  // namespace tavrine
