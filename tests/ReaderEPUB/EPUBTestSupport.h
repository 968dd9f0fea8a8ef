#pragma once

// What the EPUB tests share: printers for failures and results, and archives, XML documents, XHTML
// bodies and whole books built in memory.
#include "ReaderEPUB/EPUBReader.h"
#include "ReaderEPUB/internal/EPUBArchive.h"
#include "ReaderEPUB/internal/EPUBReaderOperation.h"
#include "ReaderEPUB/internal/EPUBXHTML.h"
#include "ReaderEPUB/internal/EPUBXML.h"

#include "support/QtPrinters.h"
#include "support/TestEPUBBuilder.h"

#include <gtest/gtest.h>

#include <memory>
#include <optional>
#include <ostream>

namespace tavrine {

inline void PrintTo(const EPUBReader::Failure& failure, std::ostream* out) {
    *out << failureName(failure);
}
inline void PrintTo(EPUBBook::Notice::Kind kind, std::ostream* out) {
    *out << rawValue(kind);
}
inline void PrintTo(const EPUBBook::Notice& notice, std::ostream* out) {
    *out << rawValue(notice.kind) << "(" << notice.resource.value_or(QStringLiteral("book")) << ")";
}
inline void PrintTo(const ReadingDocument::Span& span, std::ostream* out) {
    *out << "{" << rawValue(span.kind) << " " << span.start << ".." << span.end << " level " << span.level << "}";
}
inline void PrintTo(const EPUBBook::Destination& destination, std::ostream* out) {
    if (const auto* position = destination.asPosition()) {
        *out << position->sectionID << "@" << position->utf16Offset;
    } else {
        *out << rawValue(*destination.unavailableReason());
    }
}

namespace test {
using Failure = EPUBReader::Failure;
using Limit = EPUBReader::ResourceLimit;
using Limits = EPUBReader::Limits;

inline Failure failure(Failure::Kind kind) {
    return Failure::of(kind);
}
inline Failure exceeded(Limit limit) {
    return Failure::limit(limit);
}

// The failure of a result, or nothing when it succeeded.
template <typename T>
std::optional<Failure> failureOf(const EPUBReader::Result<T>& result) {
    return result ? std::nullopt : std::optional(result.error());
}

// --- archives ------------------------------------------------------------------------------------------

inline std::optional<Failure> archiveFailure(const QByteArray& bytes, const Limits& limits = {}) {
    return failureOf(readArchive(bytes, limits, CancellationToken::none()));
}

// The smallest book archive the intake accepts: "mimetype" and one deflated chapter.
inline RawZipBuilder smallArchive() {
    RawZipBuilder builder;
    builder.addMimetype().addDeflated(QByteArrayLiteral("OEBPS/ch1.xhtml"), QByteArrayLiteral("<p>本文</p>"));
    return builder;
}

// --- XML and XHTML -------------------------------------------------------------------------------------

// The document element of a small XML text that must parse.
inline std::unique_ptr<EPUBXMLNode> xmlTree(const QByteArray& text) {
    EPUBXMLBudget budget;
    auto root = EPUBXML(Limits::standard(), budget, CancellationToken::none()).parse(text);
    EXPECT_TRUE(root.has_value()) << text.toStdString();
    return root ? std::move(*root) : std::make_unique<EPUBXMLNode>(QString(), QString());
}
inline std::unique_ptr<EPUBXMLNode> xmlTree(const QString& text) {
    return xmlTree(text.toUtf8());
}

// An XHTML document whose body holds `body`; the epub prefix is bound for epub:type.
inline QByteArray xhtmlDocument(const QByteArray& body, const QByteArray& head = {}) {
    return R"(<html xmlns="http://www.w3.org/1999/xhtml" xmlns:epub="http://www.idpf.org/2007/ops"><head>)" + head +
           "</head><body>" + body + "</body></html>";
}

inline EPUBReader::Result<EPUBRendered> renderDocument(const QByteArray& document, qsizetype limit = 500'000) {
    return EPUBXHTML(limit, CancellationToken::none()).render(*xmlTree(document));
}

inline EPUBReader::Result<EPUBRendered> renderBody(const QByteArray& body, qsizetype limit = 500'000) {
    return renderDocument(xhtmlDocument(body), limit);
}

// The rendering of a body that must render.
inline EPUBRendered rendered(const QByteArray& body) {
    auto result = renderBody(body);
    EXPECT_TRUE(result.has_value()) << (result ? QString() : failureName(result.error())) << " for "
                                    << body.toStdString();
    return result.value_or(EPUBRendered());
}

// --- books -----------------------------------------------------------------------------------------------

// A manifest item, of XHTML when no media type is given.
inline QString manifestItem(const QString& id, const QString& href, const QString& media = {},
                            const QString& properties = {}) {
    return QStringLiteral("<item id=\"%1\" href=\"%2\" media-type=\"%3\"%4/>")
        .arg(id, href, media.isEmpty() ? QStringLiteral("application/xhtml+xml") : media,
             properties.isEmpty() ? QString() : QStringLiteral(" properties=\"%1\"").arg(properties));
}

// The default book with its package document written from these pieces.
inline TestEPUBBuilder bookWithPackage(const QString& version, const QString& manifest, const QString& spine,
                                       const QString& spineAttributes = {},
                                       const QString& metadata = TestEPUBBuilder::standardMetadata()) {
    TestEPUBBuilder book;
    book.setFile(QString::fromLatin1(TestEPUBBuilder::kPackagePath),
                 TestEPUBBuilder::packageDocument(version, metadata, manifest, spine, spineAttributes));
    return book;
}

// An EPUB 3 book whose spine holds the chapters, (idref, body markup) in order, each at
// OEBPS/text/<idref>.xhtml, and whose navigation document, outside the spine, lists each under its
// idref. `manifest` and `itemrefs` are added after the chapters' own.
inline TestEPUBBuilder bookWithChapters(const QList<std::pair<QString, QString>>& chapters,
                                        const QString& manifest = {}, const QString& itemrefs = {}) {
    QString items = manifestItem(QStringLiteral("nav"), QStringLiteral("nav.xhtml"), {}, QStringLiteral("nav"));
    QString spine;
    QList<std::pair<QString, QString>> entries;
    for (const auto& [idref, body] : chapters) {
        const QString href = QStringLiteral("text/") + idref + QStringLiteral(".xhtml");
        items += manifestItem(idref, href);
        spine += QStringLiteral("<itemref idref=\"%1\"/>").arg(idref);
        entries.append({idref, href});
    }
    TestEPUBBuilder book = bookWithPackage(QStringLiteral("3.0"), items + manifest, spine + itemrefs);
    book.removeFile(QString::fromLatin1(TestEPUBBuilder::kChapterPath));
    for (const auto& [idref, body] : chapters) {
        book.setFile(QStringLiteral("OEBPS/text/") + idref + QStringLiteral(".xhtml"),
                     TestEPUBBuilder::xhtml(idref, body));
    }
    book.setFile(QStringLiteral("OEBPS/nav.xhtml"), TestEPUBBuilder::navigation(entries));
    return book;
}

inline EPUBReader::Result<EPUBBook> importBook(const TestEPUBBuilder& book, const Limits& limits = {}) {
    return EPUBReader(limits).readSynchronously(book.build(), CancellationToken::none());
}

}  // namespace test
}  // namespace tavrine
