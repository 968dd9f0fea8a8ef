#include "support/HostileXML.h"

#include "ReaderEPUB/internal/EPUBXMLBudget.h"

#include <QString>

namespace tavrine::test {
namespace {

constexpr int kPerTag = int(kXMLAttributesPerTag);
constexpr int kDeclarations = int(kXMLNamespaceDeclarationsPerDocument);

// Differ only at the end, so that comparing two of them reads them whole.
QByteArray namespaceName(int index, int length) {
    const QByteArray number = QByteArray::number(index);
    return "urn:" + QByteArray(qMax(0, length - 4 - int(number.size())), 'x') + number;
}

// The document's head, `element` repeated as often as it fits, and the tail.
QByteArray filled(QByteArray document, const QByteArray& element, const QByteArray& tail, qsizetype bytes) {
    const qsizetype room = bytes - document.size() - tail.size();
    if (room > 0) document.append(element.repeated(room / element.size()));
    return document + tail;
}

}  // namespace

QByteArray tagWithAttributes(const QByteArray& name, int count, int declarations, int first, int nameLength) {
    QByteArray tag = "<" + name;
    for (int i = 0; i < count; ++i) {
        if (i < declarations) {
            tag += " xmlns:n" + QByteArray::number(first + i) + "=\"" + namespaceName(first + i, nameLength) + "\"";
        } else {
            tag += " a" + QByteArray::number(i) + "=\"\"";
        }
    }
    return tag + "/>";
}

QByteArray attributeBoundDocument(qsizetype bytes) {
    return filled(R"(<html xmlns="http://www.w3.org/1999/xhtml"><body>)", tagWithAttributes("p", kPerTag),
                  "</body></html>", bytes);
}

QByteArray namespaceBoundDocument(qsizetype bytes, int nameLength) {
    QByteArray head = R"(<html xmlns="http://www.w3.org/1999/xhtml"><body>)";
    QByteArray tail = "</body></html>";
    // The default namespace is one declaration; the rest fill whole tags of nested divisions.
    for (int first = 1; first < kDeclarations; first += kPerTag) {
        QByteArray division = tagWithAttributes("div", qMin(kPerTag, kDeclarations - first),
                                                qMin(kPerTag, kDeclarations - first), first, nameLength);
        division.chop(2);
        head += division + ">";
        tail.prepend("</div>");
    }
    QByteArray paragraph = "<p";
    for (int i = 1; i <= kPerTag; ++i) paragraph += " n" + QByteArray::number(i) + ":a=\"\"";
    return filled(head, paragraph + "/>", tail, bytes);
}

}  // namespace tavrine::test
