#pragma once

#include <QByteArray>
#include <ostream>

#include "EPUBXMLTestSupport.h"
#include "ReaderEPUB/EPUBXHTML.h"
#include "ReaderEPUB/EPUBXML.h"
#include "support/QtPrinters.h"

#include <gtest/gtest.h>

namespace tavrine {

inline void PrintTo(const ReadingDocument::Span& span, std::ostream* out) {
    *out << "{" << rawValue(span.kind).toStdString() << " " << span.start << ".." << span.end << " level " << span.level
         << "}";
}

inline void PrintTo(const EPUBRendered::Link& link, std::ostream* out) {
    *out << "{" << link.start << ".." << link.end << " \"" << link.reference.toStdString() << "\"}";
}

inline void PrintTo(EPUBBook::Notice::Kind kind, std::ostream* out) {
    *out << rawValue(kind).toStdString();
}

namespace test {

// An XHTML document whose body holds `body`; the epub prefix is bound for epub:type.
inline QByteArray xhtmlDocument(const QByteArray& body, const QByteArray& head = {}) {
    return R"(<html xmlns="http://www.w3.org/1999/xhtml" xmlns:epub="http://www.idpf.org/2007/ops"><head>)" + head +
           "</head><body>" + body + "</body></html>";
}

inline EPUBReader::Result<EPUBRendered> renderDocument(const QByteArray& document, qsizetype limit = 500'000,
                                                       CancellationToken cancellation = CancellationToken::none()) {
    EPUBXMLBudget budget;
    auto root = EPUBXML(EPUBReader::Limits::standard(), budget, CancellationToken::none()).parse(document);
    if (!root) {
        ADD_FAILURE() << "the test document does not parse: " << failureName(root.error()).toStdString();
        return tl::unexpected(root.error());
    }
    return EPUBXHTML(limit, std::move(cancellation)).render(**root);
}

inline EPUBReader::Result<EPUBRendered> renderBody(const QByteArray& body, qsizetype limit = 500'000) {
    return renderDocument(xhtmlDocument(body), limit);
}

// The rendering of a body that must render.
inline EPUBRendered rendered(const QByteArray& body) {
    auto result = renderBody(body);
    EXPECT_TRUE(result.has_value()) << (result ? "" : failureName(result.error()).toStdString()) << " for "
                                    << body.toStdString();
    return result ? *result : EPUBRendered();
}

// The failure of a body that must not render.
inline std::optional<EPUBReader::Failure> failureOf(const QByteArray& body) {
    auto result = renderBody(body);
    if (result) return std::nullopt;
    return result.error();
}

inline ReadingDocument::Span span(ReadingDocument::Span::Kind kind, qsizetype start, qsizetype end, qint64 level = 0) {
    return {kind, start, end, level};
}

}  // namespace test
}  // namespace tavrine
