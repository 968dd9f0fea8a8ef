#include "EPUBBookTestSupport.h"

namespace tavrine {
namespace {
using namespace Qt::StringLiterals;
using namespace test;
using Failure = EPUBReader::Failure;
using Kind = Failure::Kind;
using NoticeKind = EPUBBook::Notice::Kind;
using Unavailable = EPUBBook::Unavailable;
using Destination = EPUBBook::Destination;

const QString kNavigationPath = u"OEBPS/nav.xhtml"_s;
const QString kNCXPath = u"OEBPS/toc.ncx"_s;

// Two chapters, ch1 with an element "s1".
TestEPUBBuilder chaptersBook() {
    return bookWithChapters({{u"ch1"_s, u"<p>前</p><p id=\"s1\">節</p>"_s}, {u"ch2"_s, u"<p>二</p>"_s}});
}

// The book above with a navigation document whose body is `body`.
TestEPUBBuilder withNavigation(const QString& body) {
    return chaptersBook().setFile(kNavigationPath, TestEPUBBuilder::xhtml(u"目次"_s, body));
}

QString tocNav(const QString& items) {
    return u"<nav epub:type=\"toc\"><ol>"_s + items + u"</ol></nav>"_s;
}

QString li(const QString& label, const QString& href, const QString& children = {}) {
    const QString ol = children.isEmpty() ? QString() : u"<ol>"_s + children + u"</ol>"_s;
    return u"<li><a href=\""_s + href + u"\">"_s + label + u"</a>"_s + ol + u"</li>"_s;
}

// An EPUB 2 book with the chapters above whose NCX navMap holds `navPoints`.
TestEPUBBuilder ncxBook(const QString& navPoints) {
    TestEPUBBuilder book =
        bookWithPackage(u"2.0"_s,
                        u"<item id=\"ncx\" href=\"toc.ncx\" media-type=\"application/x-dtbncx+xml\"/>"
                        u"<item id=\"ch1\" href=\"text/ch1.xhtml\" media-type=\"application/xhtml+xml\"/>"_s,
                        u"<itemref idref=\"ch1\"/>"_s, u"toc=\"ncx\""_s);
    book.removeFile(kNavigationPath);
    book.setFile(kNCXPath, (u"<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
                            u"<ncx xmlns=\"http://www.daisy.org/z3986/2005/ncx/\" version=\"2005-1\">"
                            u"<head/><docTitle><text>本</text></docTitle><navMap>"_s +
                            navPoints + u"</navMap></ncx>"_s)
                               .toUtf8());
    return book;
}

QString navPoint(const QString& id, const QString& label, const QString& src, const QString& children = {}) {
    const QString idAttribute = id.isEmpty() ? QString() : u" id=\""_s + id + u'"';
    return u"<navPoint"_s + idAttribute + u"><navLabel><text>"_s + label + u"</text></navLabel><content src=\""_s +
           src + u"\"/>"_s + children + u"</navPoint>"_s;
}

std::optional<Failure> failureOf(const TestEPUBBuilder& book) {
    const auto imported = importBook(book);
    return imported ? std::nullopt : std::optional(imported.error());
}

TEST(EPUBNavigationDocument, EntriesResolveToSectionsAnchorsOrAReason) {
    const auto book = importBook(withNavigation(tocNav(
        li(u" 第一 "_s, u"text/ch1.xhtml"_s, li(u"節"_s, u"text/ch1.xhtml#s1"_s) + li(u"無"_s, u"text/ch1.xhtml#x"_s)) +
        u"<li><span>群</span>\n<ol>"_s + li(u"二"_s, u"text/ch2.xhtml"_s) + u"</ol></li>"_s +
        li(u"外"_s, u"http://example.org/"_s))));
    ASSERT_TRUE(book.has_value()) << failureName(book.error()).toStdString();
    const auto& toc = book->navigation;
    ASSERT_EQ(toc.size(), 3);
    EXPECT_EQ(toc[0].id, u"OEBPS/nav.xhtml/0"_s);
    EXPECT_EQ(toc[0].label, u"第一"_s);
    EXPECT_EQ(toc[0].reference, u"text/ch1.xhtml"_s);
    EXPECT_EQ(toc[0].destination, Destination::position(u"OEBPS/content.opf#ch1"_s, 0));
    EXPECT_EQ(toc[0].children[0].destination, Destination::position(u"OEBPS/content.opf#ch1"_s, 2));
    EXPECT_EQ(toc[0].children[1].destination, Destination::unavailable(Unavailable::missingAnchor));
    EXPECT_EQ(toc[1].label, u"群"_s);
    EXPECT_EQ(toc[1].reference, std::nullopt);
    EXPECT_EQ(toc[1].destination, Destination::unavailable(Unavailable::group));
    EXPECT_EQ(toc[1].children[0].id, u"OEBPS/nav.xhtml/1/0"_s);
    EXPECT_EQ(toc[1].children[0].destination, Destination::position(u"OEBPS/content.opf#ch2"_s, 4));
    EXPECT_EQ(toc[2].destination, Destination::unavailable(Unavailable::externalReference));
    // However many entries lead nowhere, the navigation document gets one notice; a group is none.
    EXPECT_EQ(book->notices, (QList<EPUBBook::Notice>{{NoticeKind::unresolvedNavigation, kNavigationPath}}));
}

TEST(EPUBNavigationDocument, OnlyTheOneTableOfContentsNavIsRead) {
    const QString landmarks =
        u"<nav epub:type=\"landmarks\"><ol>"_s + li(u"表"_s, u"text/ch2.xhtml"_s) + u"</ol></nav>"_s;
    const auto book =
        importBook(withNavigation(landmarks + u"<section><nav epub:type=\"landmarks\ttoc\"><h1>目次</h1><ol>"_s +
                                  li(u"一"_s, u"text/ch1.xhtml"_s) + u"</ol></nav></section>"_s));
    ASSERT_TRUE(book.has_value()) << failureName(book.error()).toStdString();
    ASSERT_EQ(book->navigation.size(), 1);
    EXPECT_EQ(book->navigation[0].label, u"一"_s);

    EXPECT_EQ(failureOf(withNavigation(landmarks)), Failure::of(Kind::invalidPackage));
    EXPECT_EQ(failureOf(withNavigation(tocNav(li(u"一"_s, u"text/ch1.xhtml"_s)) + u"<div>"_s +
                                       tocNav(li(u"二"_s, u"text/ch2.xhtml"_s)) + u"</div>"_s)),
              Failure::of(Kind::invalidPackage));
    TestEPUBBuilder notXHTML = withNavigation({});
    notXHTML.setFile(kNavigationPath, QByteArrayLiteral("<html><body><nav/></body></html>"));
    EXPECT_EQ(failureOf(notXHTML), Failure::of(Kind::invalidXML));
}

TEST(EPUBNavigationDocument, ListsThatBreakTheShapeAreRefused) {
    const QString a = u"<a href=\"text/ch1.xhtml\">一</a>"_s;
    for (const QString& body : QStringList{
             u"<nav epub:type=\"toc\"><ol></ol></nav>"_s,
             u"<nav epub:type=\"toc\"><ol><li>"_s + a + u"</li></ol><ol><li>"_s + a + u"</li></ol></nav>"_s,
             tocNav(u"<li>"_s + a + u"</li><div/>"_s),
             tocNav(u"<li>"_s + a + u"<p>説明</p></li>"_s),
             tocNav(u"<li>一</li>"_s),
             tocNav(u"<li><a href=\"text/ch1.xhtml\"> <img src=\"x.png\"/> </a></li>"_s),
             tocNav(u"<li><a>一</a></li>"_s),
             tocNav(u"<li>"_s + a + u"<ol>"_s + li(u"二"_s, u"text/ch2.xhtml"_s) + u"</ol><ol>"_s +
                    li(u"三"_s, u"text/ch2.xhtml"_s) + u"</ol></li>"_s),
         }) {
        EXPECT_EQ(failureOf(withNavigation(body)), Failure::of(Kind::invalidPackage)) << body.toStdString();
    }
}

TEST(EPUBNavigationDocument, AnEPUB3BookIsNeverReadThroughItsNCX) {
    // A usable NCX beside a navigation document without a table of contents changes nothing.
    TestEPUBBuilder book = ncxBook(navPoint(u"p1"_s, u"一"_s, u"text/ch1.xhtml"_s));
    book.setFile(u"OEBPS/content.opf"_s,
                 TestEPUBBuilder::packageDocument(
                     u"3.0"_s, TestEPUBBuilder::standardMetadata(),
                     u"<item id=\"ncx\" href=\"toc.ncx\" media-type=\"application/x-dtbncx+xml\"/>"
                     u"<item id=\"nav\" href=\"nav.xhtml\" media-type=\"application/xhtml+xml\" properties=\"nav\"/>"
                     u"<item id=\"ch1\" href=\"text/ch1.xhtml\" media-type=\"application/xhtml+xml\"/>"_s,
                     u"<itemref idref=\"ch1\"/>"_s, u"toc=\"ncx\""_s));
    book.setFile(kNavigationPath,
                 TestEPUBBuilder::xhtml(u"目次"_s, u"<nav epub:type=\"landmarks\"><ol>"_s +
                                                       li(u"一"_s, u"text/ch1.xhtml"_s) + u"</ol></nav>"_s));
    EXPECT_EQ(failureOf(book), Failure::of(Kind::invalidPackage));
    book.removeFile(kNavigationPath);
    EXPECT_EQ(failureOf(book), Failure::of(Kind::missingResource));
}

TEST(EPUBNCX, AnEPUB2BookReadsItsNestedNavigationPoints) {
    const auto book = importBook(
        ncxBook(navPoint(u"p1"_s, u" 一 "_s, u"text/ch1.xhtml"_s,
                         navPoint({}, u"節"_s, u"text/ch1.xhtml#s1"_s) + navPoint({}, u"無"_s, u"text/none.xhtml"_s)) +
                navPoint(u"p2"_s, u"二"_s, u"text/ch1.xhtml"_s))
            .setFile(u"OEBPS/text/ch1.xhtml"_s, TestEPUBBuilder::xhtml(u"一"_s, u"<p>前</p><p id=\"s1\">節</p>"_s)));
    ASSERT_TRUE(book.has_value()) << failureName(book.error()).toStdString();
    const auto& toc = book->navigation;
    ASSERT_EQ(toc.size(), 2);
    EXPECT_EQ(toc[0].label, u"一"_s);
    EXPECT_EQ(toc[0].children[0].id, u"OEBPS/toc.ncx/0/0"_s);
    EXPECT_EQ(toc[0].children[0].destination, Destination::position(u"OEBPS/content.opf#ch1"_s, 2));
    EXPECT_EQ(toc[0].children[1].destination, Destination::unavailable(Unavailable::missingResource));
    EXPECT_EQ(toc[1].id, u"OEBPS/toc.ncx/1"_s);
    EXPECT_EQ(book->notices, (QList<EPUBBook::Notice>{{NoticeKind::unresolvedNavigation, kNCXPath}}));
}

TEST(EPUBNCX, NavigationPointsThatBreakTheShapeAreRefused) {
    const QString content = u"<content src=\"text/ch1.xhtml\"/>"_s;
    const QString label = u"<navLabel><text>一</text></navLabel>"_s;
    for (const QString& points : QStringList{
             QString(),
             u"<navPoint>"_s + content + u"</navPoint>"_s,
             u"<navPoint>"_s + label + label + content + u"</navPoint>"_s,
             u"<navPoint>"_s + label + u"</navPoint>"_s,
             u"<navPoint><navLabel><text> </text></navLabel>"_s + content + u"</navPoint>"_s,
             u"<navPoint>"_s + label + u"<content/></navPoint>"_s,
         }) {
        EXPECT_EQ(failureOf(ncxBook(points)), Failure::of(Kind::invalidPackage)) << points.toStdString();
    }
    // Identifiers need only be unique where they are given.
    EXPECT_EQ(failureOf(ncxBook(
                  navPoint(u"p"_s, u"一"_s, u"text/ch1.xhtml"_s, navPoint(u"p"_s, u"二"_s, u"text/ch1.xhtml"_s)))),
              Failure::of(Kind::ambiguousContent));
    EXPECT_EQ(
        failureOf(ncxBook(navPoint({}, u"一"_s, u"text/ch1.xhtml"_s) + navPoint({}, u"二"_s, u"text/ch1.xhtml"_s))),
        std::nullopt);

    TestEPUBBuilder notNCX = ncxBook({});
    notNCX.setFile(kNCXPath, QByteArrayLiteral("<ncx><navMap/></ncx>"));
    EXPECT_EQ(failureOf(notNCX), Failure::of(Kind::invalidXML));
}

TEST(EPUBNavigationLimit, CountsEntriesAtEveryDepthUpToTheLimit) {
    // `count` entries in all: the last top-level entry holds one child.
    const auto navigationOf = [](qsizetype count) {
        QString items;
        for (qsizetype i = 0; i < count - 2; ++i) items += li(QString::number(i), u"text/ch1.xhtml"_s);
        return withNavigation(tocNav(items + li(u"親"_s, u"text/ch1.xhtml"_s, li(u"子"_s, u"text/ch2.xhtml"_s))));
    };
    const auto ncxOf = [](qsizetype count) {
        QString points;
        for (qsizetype i = 0; i < count - 2; ++i) points += navPoint({}, QString::number(i), u"text/ch1.xhtml"_s);
        return ncxBook(points + navPoint({}, u"親"_s, u"text/ch1.xhtml"_s, navPoint({}, u"子"_s, u"text/ch1.xhtml"_s)));
    };
    const Failure limit = Failure::limit(EPUBReader::ResourceLimit::navigation);
    EXPECT_EQ(failureOf(navigationOf(10'000)), std::nullopt);
    EXPECT_EQ(failureOf(navigationOf(10'001)), limit);
    EXPECT_EQ(failureOf(ncxOf(10'000)), std::nullopt);
    EXPECT_EQ(failureOf(ncxOf(10'001)), limit);
}

}  // namespace
}  // namespace tavrine
