#include "ReaderEPUB/internal/EPUBXMLNamespaceScope.h"

namespace tavrine {

void EPUBXMLNamespaceScope::closeElement() {
    if (m_marks.empty()) return;
    const std::size_t mark = m_marks.back();
    m_marks.pop_back();
    while (m_declared.size() > mark) {
        const auto found = m_bindings.find(QStringView(m_declared.back()));
        found->second.pop_back();
        if (found->second.empty()) m_bindings.erase(found);
        m_declared.pop_back();
    }
}

bool EPUBXMLNamespaceScope::declare(const QString& prefix, const QString& name) {
    const bool xmlPrefix = prefix == u"xml";
    const bool xmlName = name == EPUBXMLNamespace::xml;
    if (prefix == u"xmlns" || name == EPUBXMLNamespace::xmlns || xmlPrefix != xmlName) return false;
    if (name.isEmpty() && !prefix.isEmpty()) return false;
    m_declared.push_back(prefix);
    m_bindings[QStringView(m_declared.back())].push_back(name);
    return true;
}

std::optional<QString> EPUBXMLNamespaceScope::resolve(QStringView prefix) const {
    if (const auto found = m_bindings.find(prefix); found != m_bindings.end()) return found->second.back();
    if (prefix.isEmpty()) return QString();
    if (prefix == u"xml") return m_xml;
    return std::nullopt;
}

}  // namespace tavrine
