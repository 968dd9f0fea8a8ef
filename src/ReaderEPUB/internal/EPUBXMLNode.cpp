#include "ReaderEPUB/internal/EPUBXMLNode.h"

#include "ReaderEPUB/internal/EPUBXMLNamespaces.h"

namespace tavrine {
namespace {

// Asked of nearly every element a renderer visits: their lengths are counted once, not per query.
constexpr QStringView kId = u"id";
constexpr QStringView kType = u"type";

}  // namespace

EPUBXMLNode* EPUBXMLNode::appendElement(std::unique_ptr<EPUBXMLNode> element) {
    EPUBXMLNode* raw = element.get();
    m_content.emplace_back(std::move(element));
    return raw;
}

EPUBXMLNode::Elements EPUBXMLNode::elements() const {
    Elements result;
    for (const Content& item : m_content) {
        if (const EPUBXMLNode* element = item.element()) result.push_back(element);
    }
    return result;
}

EPUBXMLNode::Elements EPUBXMLNode::children(QStringView name, QStringView namespaceName) const {
    Elements result;
    for (const Content& item : m_content) {
        const EPUBXMLNode* element = item.element();
        if (element && element->is(name, namespaceName)) result.push_back(element);
    }
    return result;
}

EPUBXMLNode::Elements EPUBXMLNode::descendants(const Elements& among, QStringView name, QStringView namespaceName) {
    Elements result;
    for (const EPUBXMLNode* element : among) collect(*element, name, namespaceName, result);
    return result;
}

// Recursion is bounded by the parser's depth limit.
void EPUBXMLNode::collect(const EPUBXMLNode& node, QStringView name, QStringView namespaceName, Elements& into) {
    if (node.is(name, namespaceName)) into.push_back(&node);
    for (const Content& item : node.m_content) {
        if (const EPUBXMLNode* element = item.element()) collect(*element, name, namespaceName, into);
    }
}

std::optional<QString> EPUBXMLNode::attribute(QStringView name) const {
    return attribute(name, QStringView());
}

std::optional<QString> EPUBXMLNode::attribute(QStringView localName, QStringView namespaceName) const {
    for (const Attribute& attribute : m_attributes) {
        if (attribute.name == localName && attribute.namespaceName == namespaceName) return attribute.value;
    }
    return std::nullopt;
}

std::optional<QString> EPUBXMLNode::identifier() const {
    if (auto plain = attribute(kId)) return plain;
    return attribute(kId, EPUBXMLNamespace::xml);
}

QSet<QString> whiteSpaceSeparatedTokens(QStringView text) {
    QSet<QString> tokens;
    qsizetype start = -1;
    for (qsizetype i = 0; i <= text.size(); ++i) {
        const bool space = i == text.size() || text[i].isSpace();
        if (space && start >= 0) {
            tokens.insert(text.sliced(start, i - start).toString());
            start = -1;
        } else if (!space && start < 0) {
            start = i;
        }
    }
    return tokens;
}

QSet<QString> EPUBXMLNode::epubTypes() const {
    const std::optional<QString> value = attribute(kType, EPUBXMLNamespace::ops);
    return value ? whiteSpaceSeparatedTokens(*value) : QSet<QString>();
}

QString EPUBXMLNode::text() const {
    QString result;
    gatherText(result);
    return result;
}

void EPUBXMLNode::gatherText(QString& into) const {
    for (const Content& item : m_content) {
        if (const EPUBXMLNode* element = item.element()) {
            element->gatherText(into);
        } else {
            into += item.text();
        }
    }
}

}  // namespace tavrine
