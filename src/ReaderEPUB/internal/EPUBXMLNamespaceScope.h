#pragma once

#include <QHash>
#include <QString>
#include <QStringView>

#include "ReaderEPUB/internal/EPUBXMLNamespaces.h"

#include <optional>
#include <unordered_map>
#include <vector>

namespace tavrine {

// The namespace names bound to prefixes where the parser stands, the parser's own namespace processing
// being off: it compares each prefix with every declaration in scope and each pair of a tag's attributes
// by namespace name, so that a few long namespace names declared once and used through short prefixes
// cost it time far beyond the document's size. Here a lookup is one hash probe.
//
// "xml" is always bound to the XML namespace; the empty prefix stands for the default namespace, which no
// declaration leaves unbound ("" after xmlns=""). A declaration binds within the element that makes it
// and is undone when that element closes.
class EPUBXMLNamespaceScope {
public:
    // Opens the scope of an element; its declarations follow.
    void openElement() { m_marks.push_back(m_declared.size()); }
    // Closes the innermost element's scope, undoing its declarations.
    void closeElement();

    // Binds `prefix` ("" for the default namespace) to `name` in the innermost open element. False for a
    // declaration that Namespaces in XML forbids: a prefix bound to no name, the prefix "xmlns", "xml"
    // bound elsewhere than to the XML namespace, or another prefix bound to the XML namespace or to that
    // of xmlns itself.
    bool declare(const QString& prefix, const QString& name);

    // The namespace name bound to a prefix ("" for the default namespace, "" when there is none), or
    // nothing for a prefix that is not bound. A name is handed out as it was declared, sharing its
    // characters; "xml" always gives the same string.
    std::optional<QString> resolve(QStringView prefix) const;

private:
    struct ViewHash {
        std::size_t operator()(QStringView view) const noexcept { return qHash(view); }
    };

    // For each prefix the names bound to it, innermost last; keyed by views of the declared prefixes.
    std::unordered_map<QStringView, std::vector<QString>, ViewHash> m_bindings;
    std::vector<QString> m_declared;   // the prefixes declared by the open elements, in order
    std::vector<std::size_t> m_marks;  // for each open element, the size of m_declared when it opened
    QString m_xml = EPUBXMLNamespace::xml.toString();
};

}  // namespace tavrine
