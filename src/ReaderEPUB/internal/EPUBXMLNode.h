#pragma once

#include <QSet>
#include <QString>
#include <QStringView>
#include <memory>
#include <optional>
#include <vector>

namespace tavrine {

// The tokens of an attribute value split at every white-space character in the Unicode sense, empty
// tokens dropped.
QSet<QString> whiteSpaceSeparatedTokens(QStringView text);

// One element of a parsed XML document: its local name, namespace name, attributes and content in
// document order. The tree owns its children; queries hand out pointers into it and never copy it.
// Built by EPUBXML on the import's thread and read there only.
class EPUBXMLNode {
public:
    // An attribute without prefix is found by its plain name and has no namespace, also when a default
    // namespace is in scope; one with a prefix by its namespace name and its local name (xml:lang by the
    // XML namespace and "lang"). The two are kept apart, not joined into one key: a document may declare
    // a long namespace name once and use it on every attribute, and a joined key would copy it each time.
    struct Attribute {
        QString namespaceName;  // empty without prefix
        QString name;           // the local name
        QString value;

        bool operator==(const Attribute&) const = default;
    };

    // A text delivery or a child element.
    class Content {
    public:
        explicit Content(QString text) : m_text(std::move(text)) {}
        explicit Content(std::unique_ptr<EPUBXMLNode> element) : m_element(std::move(element)) {}

        bool isText() const { return !m_element; }
        // The text of a text delivery; empty for an element.
        const QString& text() const { return m_text; }
        // The element; null for text.
        const EPUBXMLNode* element() const { return m_element.get(); }

    private:
        QString m_text;
        std::unique_ptr<EPUBXMLNode> m_element;
    };

    using Elements = std::vector<const EPUBXMLNode*>;

    EPUBXMLNode(QString name, QString namespaceName, std::vector<Attribute> attributes = {})
        : m_name(std::move(name)), m_namespaceName(std::move(namespaceName)), m_attributes(std::move(attributes)) {}
    EPUBXMLNode(const EPUBXMLNode&) = delete;
    EPUBXMLNode& operator=(const EPUBXMLNode&) = delete;

    const QString& name() const { return m_name; }
    // Empty when the element is in no namespace.
    const QString& namespaceName() const { return m_namespaceName; }
    // Whether the element has this local name in this namespace.
    bool is(QStringView name, QStringView namespaceName) const {
        return m_name == name && m_namespaceName == namespaceName;
    }
    const std::vector<Attribute>& attributes() const { return m_attributes; }
    const std::vector<Content>& content() const { return m_content; }

    void appendText(QString text) { m_content.emplace_back(std::move(text)); }
    EPUBXMLNode* appendElement(std::unique_ptr<EPUBXMLNode> element);

    // The child elements in document order; text is skipped.
    Elements elements() const;
    // The child elements with this local name and namespace name, in document order.
    Elements children(QStringView name, QStringView namespaceName) const;
    // Every element among `among` and their descendants at any depth with this local name and namespace
    // name, in document order (an element before its descendants).
    static Elements descendants(const Elements& among, QStringView name, QStringView namespaceName);

    // The value of the attribute with this plain name (without prefix).
    std::optional<QString> attribute(QStringView name) const;
    // The value of the attribute with this local name in this namespace.
    std::optional<QString> attribute(QStringView localName, QStringView namespaceName) const;
    // The "id" attribute, else xml:id.
    std::optional<QString> identifier() const;
    // The tokens of epub:type split at white space, empty tokens dropped; empty without the attribute.
    QSet<QString> epubTypes() const;
    // All text of the element and its descendants in document order, nothing added between pieces.
    QString text() const;

private:
    void gatherText(QString& into) const;
    static void collect(const EPUBXMLNode& node, QStringView name, QStringView namespaceName, Elements& into);

    QString m_name;
    QString m_namespaceName;
    std::vector<Attribute> m_attributes;
    std::vector<Content> m_content;
};

}  // namespace tavrine
