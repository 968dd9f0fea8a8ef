#pragma once

#include "EPUBOperationTestSupport.h"

#include <ostream>

namespace tavrine {

inline void PrintTo(const EPUBBook::Destination& destination, std::ostream* out) {
    if (const auto* position = destination.asPosition()) {
        *out << position->sectionID.toStdString() << "@" << position->utf16Offset;
    } else {
        *out << rawValue(*destination.unavailableReason()).toStdString();
    }
}

namespace test {

// The chapters of a test book: the idref of each and the markup of its body.
using Chapters = QList<std::pair<QString, QString>>;

// An EPUB 3 book whose spine holds `chapters` in order, each at OEBPS/text/<idref>.xhtml, and whose
// navigation document (OEBPS/nav.xhtml, outside the spine) lists each chapter under its idref.
// `manifest` and `itemrefs` are added after the chapters' own.
inline TestEPUBBuilder bookWithChapters(const Chapters& chapters, const QString& manifest = {},
                                        const QString& itemrefs = {}) {
    using namespace Qt::StringLiterals;
    QString items = u"<item id=\"nav\" href=\"nav.xhtml\" media-type=\"application/xhtml+xml\" properties=\"nav\"/>"_s;
    QString spine;
    QList<std::pair<QString, QString>> entries;
    for (const auto& [idref, body] : chapters) {
        const QString href = u"text/"_s + idref + u".xhtml"_s;
        items += u"<item id=\""_s + idref + u"\" href=\""_s + href + u"\" media-type=\"application/xhtml+xml\"/>"_s;
        spine += u"<itemref idref=\""_s + idref + u"\"/>"_s;
        entries.append({idref, href});
    }
    TestEPUBBuilder book = bookWithPackage(u"3.0"_s, items + manifest, spine + itemrefs);
    book.removeFile(QString::fromLatin1(TestEPUBBuilder::kChapterPath));
    for (const auto& [idref, body] : chapters) {
        book.setFile(u"OEBPS/text/"_s + idref + u".xhtml"_s, TestEPUBBuilder::xhtml(idref, body));
    }
    book.setFile(u"OEBPS/nav.xhtml"_s, TestEPUBBuilder::navigation(entries));
    return book;
}

inline EPUBReader::Result<EPUBBook> importBook(const TestEPUBBuilder& book,
                                               const EPUBReader::Limits& limits = EPUBReader::Limits::standard()) {
    return EPUBReader(limits).readSynchronously(book.build(), CancellationToken::none());
}

}  // namespace test
}  // namespace tavrine
