#include "EPUBBookTestSupport.h"
#include "EPUBXHTMLTestSupport.h"

namespace tavrine {
namespace {
using namespace Qt::StringLiterals;
using namespace test;
using Failure = EPUBReader::Failure;
using Kind = Failure::Kind;
using NoticeKind = EPUBBook::Notice::Kind;
using Span = ReadingDocument::Span;
using Unavailable = EPUBBook::Unavailable;

const QString kSection1 = u"OEBPS/content.opf#ch1"_s;
const QString kSection2 = u"OEBPS/content.opf#ch2"_s;

TEST(EPUBBookAssembly, LaysTheDocumentsEndToEndWithOneSectionEach) {
    const auto book =
        importBook(bookWithChapters({{u"ch1"_s, u"<h1>第一</h1><p>1234</p>"_s}, {u"ch2"_s, u"<p>ab<b>cd</b></p>"_s}}));
    ASSERT_TRUE(book.has_value()) << failureName(book.error()).toStdString();
    // Nothing is put between the documents: each ends with its own line feed.
    EXPECT_EQ(book->document.text, u"第一\n1234\nabcd\n"_s);
    EXPECT_EQ(book->document.sections,
              (QList<ReadingDocument::Section>{{kSection1, u"第一"_s, 0, 8}, {kSection2, std::nullopt, 8, 13}}));
    EXPECT_EQ(book->document.spans, (QList<Span>{{Span::Kind::heading, 0, 3, 1},
                                                 {Span::Kind::paragraph, 3, 8, 0},
                                                 {Span::Kind::strong, 10, 12, 0},
                                                 {Span::Kind::paragraph, 8, 13, 0}}));
    EXPECT_EQ(book->packagePath, u"OEBPS/content.opf"_s);
    EXPECT_EQ(book->metadata.titles, QStringList{u"試験の本"_s});
    EXPECT_TRUE(book->notices.isEmpty());
    EXPECT_TRUE(book->information().isValid(book->document));
}

TEST(EPUBBookAssembly, OneTextLimitHoldsForTheWholeBook) {
    const auto twoChapters = [](const QString& second) {
        return bookWithChapters({{u"ch1"_s, u"<p>123456789</p>"_s}, {u"ch2"_s, u"<p>"_s + second + u"</p>"_s}});
    };
    EPUBReader::Limits limits;
    limits.textUTF16 = 20;
    // 10 units and 10 units reach the limit exactly; one more unit in the second document breaks it.
    EXPECT_TRUE(importBook(twoChapters(u"abcdefghi"_s), limits).has_value());
    EXPECT_EQ(importBook(twoChapters(u"abcdefghij"_s), limits).error(),
              Failure::limit(EPUBReader::ResourceLimit::textUTF16));
}

TEST(EPUBBookAssembly, LongTextsMayHoldNoCharacterLongerThan256Units) {
    // One paragraph of `length` units (its line feed included) that holds a Character of `character`
    // units: a letter with combining marks.
    const auto bookOf = [](qsizetype length, qsizetype character) {
        const QString mark = QString(character - 1, QChar(0x0301));
        const QString filler(length - character - 1, u'a');
        return bookWithChapters({{u"ch1"_s, u"<p>"_s + filler + u'e' + mark + u"</p>"_s}});
    };
    EXPECT_TRUE(importBook(bookOf(20'000, 257)).has_value());  // short enough not to be inspected
    EXPECT_TRUE(importBook(bookOf(20'001, 256)).has_value());
    EXPECT_EQ(importBook(bookOf(20'001, 257)).error(), Failure::limit(EPUBReader::ResourceLimit::graphemeUTF16));
}

TEST(EPUBBookAssembly, ADocumentMayNotBeginWithACombiningMarkUnlessItBeginsTheBook) {
    // A section boundary inside a composed character sequence would cut a Character in two.
    EXPECT_EQ(importBook(bookWithChapters({{u"ch1"_s, u"<p>a</p>"_s}, {u"ch2"_s, u"<p>\u0301b</p>"_s}})).error(),
              Failure::of(Kind::ambiguousContent));
    EXPECT_TRUE(importBook(bookWithChapters({{u"ch1"_s, u"<p>\u0301a</p>"_s}, {u"ch2"_s, u"<p>b</p>"_s}})));
}

TEST(EPUBBookAssembly, OnlyTheEPUB3NavigationDocumentMayBeEmpty) {
    const QString navigationItemref = u"<itemref idref=\"nav\"/>"_s;
    // The navigation document in the reading order, holding nothing but its table of contents.
    const auto withNavigation = importBook(bookWithChapters({{u"ch1"_s, u"<p>a</p>"_s}}, {}, navigationItemref));
    ASSERT_TRUE(withNavigation.has_value());
    EXPECT_EQ(withNavigation->document.sections->size(), 1);
    EXPECT_EQ(withNavigation->notices,
              (QList<EPUBBook::Notice>{{NoticeKind::omittedNavigation, u"OEBPS/nav.xhtml"_s}}));

    EXPECT_EQ(importBook(bookWithChapters({}, {}, navigationItemref)).error(), Failure::of(Kind::emptyContent));

    const auto blank = bookWithChapters({{u"ch1"_s, u"<p>a</p>"_s}, {u"ch2"_s, u"<p> &#160;</p><hr/>"_s}});
    EXPECT_EQ(importBook(blank).error(), Failure::of(Kind::emptyContent));

    // An EPUB 2 book has no navigation document: a "nav" item there is a document like any other.
    TestEPUBBuilder epub2 =
        bookWithPackage(u"2.0"_s,
                        u"<item id=\"ncx\" href=\"toc.ncx\" media-type=\"application/x-dtbncx+xml\"/>"
                        u"<item id=\"nav\" href=\"nav.xhtml\" media-type=\"application/xhtml+xml\" properties=\"nav\"/>"
                        u"<item id=\"ch1\" href=\"text/ch1.xhtml\" media-type=\"application/xhtml+xml\"/>"_s,
                        u"<itemref idref=\"nav\"/><itemref idref=\"ch1\"/>"_s, u"toc=\"ncx\""_s);
    EXPECT_EQ(importBook(epub2).error(), Failure::of(Kind::emptyContent));
}

TEST(EPUBBookAssembly, LinksLeadToPositionsOrSayWhyTheyCannot) {
    const auto book =
        importBook(bookWithChapters({{u"ch1"_s, u"<p>本文</p><p id=\"note\">注</p>"_s},
                                     {u"ch2"_s,
                                      u"<p><a href=\"ch1.xhtml#note\">1</a><a href=\"ch1.xhtml\">2</a>"
                                      u"<a href=\"https://example.org/\">3</a><a href=\"../nav.xhtml\">4</a>"
                                      u"<a href=\"none.xhtml\">5</a><a href=\"ch1.xhtml#none\">6</a>"
                                      u"<a href=\"ch1.xhtml?q\">7</a><a href=\"#here\" id=\"here\">8</a></p>"_s}}));
    ASSERT_TRUE(book.has_value()) << failureName(book.error()).toStdString();
    const qsizetype second = book->document.sections->at(1).start;
    ASSERT_EQ(second, 5);
    const QList<EPUBBook::Destination> expected{
        EPUBBook::Destination::position(kSection1, 3),
        EPUBBook::Destination::position(kSection1, 0),
        EPUBBook::Destination::unavailable(Unavailable::externalReference),
        EPUBBook::Destination::unavailable(Unavailable::excludedResource),
        EPUBBook::Destination::unavailable(Unavailable::missingResource),
        EPUBBook::Destination::unavailable(Unavailable::missingAnchor),
        EPUBBook::Destination::unavailable(Unavailable::invalidReference),
        EPUBBook::Destination::position(kSection2, second + 7),
    };
    ASSERT_EQ(book->links.size(), expected.size());
    for (qsizetype i = 0; i < expected.size(); ++i) {
        const EPUBBook::Link& link = book->links[i];
        EXPECT_EQ(link.destination, expected[i]) << link.reference.toStdString();
        EXPECT_EQ(book->document.text.mid(link.start, link.end - link.start), QString::number(i + 1));
    }
    // A link that leads nowhere is no notice: only the table of contents reports such entries.
    EXPECT_TRUE(book->notices.isEmpty());
}

}  // namespace
}  // namespace tavrine
