// Whole imports of books built in memory: the assembled text, links and table of contents, and the
// importer's entry points, limits and failures.
#include "ReaderEPUB/internal/EPUBNotices.h"

#include "EPUBTestSupport.h"
#include "support/RunTask.h"

#include <algorithm>

namespace tavrine {
namespace {
using namespace Qt::StringLiterals;
using namespace test;
using Kind = Failure::Kind;
using NoticeKind = EPUBBook::Notice::Kind;
using Notices = QList<EPUBBook::Notice>;
using Span = ReadingDocument::Span;
using Destination = EPUBBook::Destination;

const QString kSection1 = u"OEBPS/content.opf#ch1"_s;
const QString kSection2 = u"OEBPS/content.opf#ch2"_s;
const QString kNavigationPath = u"OEBPS/nav.xhtml"_s;
const QString kNCXPath = u"OEBPS/toc.ncx"_s;

// Where a link or an entry leads: "<idref of its section>@<offset in the book>", or why it cannot.
QString where(const Destination& destination) {
    const auto* position = destination.asPosition();
    return position ? position->sectionID.section(u'#', 1) + u'@' + QString::number(position->utf16Offset)
                    : rawValue(*destination.unavailableReason());
}

TEST(EPUBBookAssembly, LaysTheDocumentsEndToEndWithOneSectionEach) {
    const auto book =
        importBook(bookWithChapters({{u"ch1"_s, u"<h1>第一</h1><p>1234</p>"_s}, {u"ch2"_s, u"<p>ab<b>cd</b></p>"_s}}));
    ASSERT_TRUE(book.has_value()) << failureName(book.error());
    // Nothing is put between the documents: each ends with its own line feed.
    EXPECT_EQ(book->document.text, u"第一\n1234\nabcd\n"_s);
    EXPECT_EQ(book->document.sections,
              (QList<ReadingDocument::Section>{{kSection1, u"第一"_s, 0, 8}, {kSection2, std::nullopt, 8, 13}}));
    EXPECT_EQ(book->document.spans, (QList<Span>{{Span::Kind::heading, 0, 3, 1},
                                                 {Span::Kind::paragraph, 3, 8, 0},
                                                 {Span::Kind::strong, 10, 12, 0},
                                                 {Span::Kind::paragraph, 8, 13, 0}}));
    EXPECT_TRUE(book->notices.isEmpty());
    EXPECT_TRUE(book->information().isValid(book->document));
}

TEST(EPUBBookAssembly, OneTextLimitHoldsForTheWholeBookAndLongTextsHoldNoCharacterOver256Units) {
    const auto twoChapters = [](const QString& second) {
        return bookWithChapters({{u"ch1"_s, u"<p>123456789</p>"_s}, {u"ch2"_s, u"<p>"_s + second + u"</p>"_s}});
    };
    Limits limits;
    limits.textUTF16 = 20;
    // 10 units and 10 units reach the limit exactly; one more unit in the second document breaks it.
    EXPECT_EQ(failureOf(importBook(twoChapters(u"abcdefghi"_s), limits)), std::nullopt);
    EXPECT_EQ(failureOf(importBook(twoChapters(u"abcdefghij"_s), limits)), exceeded(Limit::textUTF16));

    // One paragraph of `length` units (its line feed included) holding a letter with combining marks
    // that makes a Character of `character` units.
    const auto bookOf = [](qsizetype length, qsizetype character) {
        const QString text = QString(length - character - 1, u'a') + u'e' + QString(character - 1, QChar(0x0301));
        return bookWithChapters({{u"ch1"_s, u"<p>"_s + text + u"</p>"_s}});
    };
    EXPECT_EQ(failureOf(importBook(bookOf(20'000, 257))), std::nullopt);  // short enough not to be inspected
    EXPECT_EQ(failureOf(importBook(bookOf(20'001, 256))), std::nullopt);
    EXPECT_EQ(failureOf(importBook(bookOf(20'001, 257))), exceeded(Limit::graphemeUTF16));
}

TEST(EPUBBookAssembly, OnlyTheFirstDocumentMayBeginWithACombiningMarkAndOnlyTheEPUB3NavigationDocumentBeEmpty) {
    // A section boundary inside a composed character sequence would cut a Character in two.
    EXPECT_EQ(failureOf(importBook(bookWithChapters({{u"ch1"_s, u"<p>a</p>"_s}, {u"ch2"_s, u"<p>\u0301b</p>"_s}}))),
              failure(Kind::ambiguousContent));
    EXPECT_EQ(failureOf(importBook(bookWithChapters({{u"ch1"_s, u"<p>\u0301a</p>"_s}, {u"ch2"_s, u"<p>b</p>"_s}}))),
              std::nullopt);

    // The navigation document in the reading order, holding nothing but its table of contents.
    const QString navigationItemref = u"<itemref idref=\"nav\"/>"_s;
    const auto withNavigation = importBook(bookWithChapters({{u"ch1"_s, u"<p>a</p>"_s}}, {}, navigationItemref));
    ASSERT_TRUE(withNavigation.has_value());
    EXPECT_EQ(withNavigation->document.sections->size(), 1);
    EXPECT_EQ(withNavigation->notices, (Notices{{NoticeKind::omittedNavigation, kNavigationPath}}));
    EXPECT_EQ(failureOf(importBook(bookWithChapters({}, {}, navigationItemref))), failure(Kind::emptyContent));
    const auto blank = bookWithChapters({{u"ch1"_s, u"<p>a</p>"_s}, {u"ch2"_s, u"<p> &#160;</p><hr/>"_s}});
    EXPECT_EQ(failureOf(importBook(blank)), failure(Kind::emptyContent));
    // An EPUB 2 book has no navigation document: a "nav" item there is a document like any other.
    const QString epub2 = manifestItem(u"ncx"_s, u"toc.ncx"_s, u"application/x-dtbncx+xml"_s) +
                          manifestItem(u"nav"_s, u"nav.xhtml"_s, {}, u"nav"_s) +
                          manifestItem(u"ch1"_s, u"text/ch1.xhtml"_s);
    EXPECT_EQ(failureOf(importBook(bookWithPackage(u"2.0"_s, epub2, navigationItemref + u"<itemref idref=\"ch1\"/>"_s,
                                                   u"toc=\"ncx\""_s))),
              failure(Kind::emptyContent));
}

TEST(EPUBBookAssembly, LinksLeadToPositionsOrSayWhyTheyCannot) {
    const auto book =
        importBook(bookWithChapters({{u"ch1"_s, u"<p>本文</p><p id=\"note\">注</p>"_s},
                                     {u"ch2"_s,
                                      u"<p><a href=\"ch1.xhtml#note\">1</a><a href=\"ch1.xhtml\">2</a>"
                                      u"<a href=\"https://example.org/\">3</a><a href=\"../nav.xhtml\">4</a>"
                                      u"<a href=\"none.xhtml\">5</a><a href=\"ch1.xhtml#none\">6</a>"
                                      u"<a href=\"ch1.xhtml?q\">7</a><a href=\"#here\" id=\"here\">8</a></p>"_s}}));
    ASSERT_TRUE(book.has_value()) << failureName(book.error());
    QStringList links;
    for (const EPUBBook::Link& link : book->links) {
        links << book->document.text.mid(link.start, link.end - link.start) + u": "_s + where(link.destination);
    }
    EXPECT_EQ(links,
              (QStringList{u"1: ch1@3"_s, u"2: ch1@0"_s, u"3: externalReference"_s, u"4: excludedResource"_s,
                           u"5: missingResource"_s, u"6: missingAnchor"_s, u"7: invalidReference"_s, u"8: ch2@12"_s}));
    // A link that leads nowhere is no notice: only the table of contents reports such entries.
    EXPECT_TRUE(book->notices.isEmpty());
}

// Each entry of a table of contents, depth first: its id, label and reference, and where it leads.
QStringList entries(const QList<EPUBBook::Navigation>& navigation) {
    QStringList described;
    for (const EPUBBook::Navigation& entry : navigation) {
        described << entry.id + u' ' + entry.label + (entry.reference ? u' ' + *entry.reference : QString()) + u": "_s +
                         where(entry.destination);
        described += entries(entry.children);
    }
    return described;
}

// Two chapters, ch1 with an element "s1", and a navigation document whose body is `body`.
TestEPUBBuilder withNavigation(const QString& body) {
    return bookWithChapters({{u"ch1"_s, u"<p>前</p><p id=\"s1\">節</p>"_s}, {u"ch2"_s, u"<p>二</p>"_s}})
        .setFile(kNavigationPath, TestEPUBBuilder::xhtml(u"目次"_s, body));
}

QString tocNav(const QString& items) {
    return u"<nav epub:type=\"toc\"><ol>"_s + items + u"</ol></nav>"_s;
}

QString li(const QString& label, const QString& href, const QString& children = {}) {
    return u"<li><a href=\"%1\">%2</a>%3</li>"_s.arg(
        href, label, children.isEmpty() ? QString() : u"<ol>"_s + children + u"</ol>"_s);
}

// A book with one chapter, ch1 with an element "s1", whose NCX navMap holds `navPoints`; in EPUB 2 without
// the navigation document the default book has, which an EPUB 3 book keeps in its manifest.
TestEPUBBuilder ncxBook(const QString& navPoints, const QString& version = u"2.0"_s) {
    const bool epub3 = version == u"3.0";
    TestEPUBBuilder book =
        bookWithPackage(version,
                        manifestItem(u"ncx"_s, u"toc.ncx"_s, u"application/x-dtbncx+xml"_s) +
                            manifestItem(u"ch1"_s, u"text/ch1.xhtml"_s) +
                            (epub3 ? manifestItem(u"nav"_s, u"nav.xhtml"_s, {}, u"nav"_s) : QString()),
                        u"<itemref idref=\"ch1\"/>"_s, u"toc=\"ncx\""_s);
    if (!epub3) book.removeFile(kNavigationPath);
    book.setFile(u"OEBPS/text/ch1.xhtml"_s, TestEPUBBuilder::xhtml(u"一"_s, u"<p>前</p><p id=\"s1\">節</p>"_s));
    return book.setFile(kNCXPath, (u"<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
                                   u"<ncx xmlns=\"http://www.daisy.org/z3986/2005/ncx/\" version=\"2005-1\">"
                                   u"<head/><docTitle><text>本</text></docTitle><navMap>"_s +
                                   navPoints + u"</navMap></ncx>"_s)
                                      .toUtf8());
}

QString navPoint(const QString& id, const QString& label, const QString& src, const QString& children = {}) {
    return u"<navPoint%1><navLabel><text>%2</text></navLabel><content src=\"%3\"/>%4</navPoint>"_s.arg(
        id.isEmpty() ? QString() : u" id=\""_s + id + u'"', label, src, children);
}

TEST(EPUBNavigationDocument, EntriesResolveToSectionsAnchorsOrAReasonWithOneNotice) {
    const auto book = importBook(withNavigation(tocNav(
        li(u" 第一 "_s, u"text/ch1.xhtml"_s, li(u"節"_s, u"text/ch1.xhtml#s1"_s) + li(u"無"_s, u"text/ch1.xhtml#x"_s)) +
        u"<li><span>群</span>\n<ol>"_s + li(u"二"_s, u"text/ch2.xhtml"_s) + u"</ol></li>"_s +
        li(u"外"_s, u"http://example.org/"_s))));
    ASSERT_TRUE(book.has_value()) << failureName(book.error());
    EXPECT_EQ(entries(book->navigation),
              (QStringList{u"OEBPS/nav.xhtml/0 第一 text/ch1.xhtml: ch1@0"_s,
                           u"OEBPS/nav.xhtml/0/0 節 text/ch1.xhtml#s1: ch1@2"_s,
                           u"OEBPS/nav.xhtml/0/1 無 text/ch1.xhtml#x: missingAnchor"_s,
                           u"OEBPS/nav.xhtml/1 群: group"_s, u"OEBPS/nav.xhtml/1/0 二 text/ch2.xhtml: ch2@4"_s,
                           u"OEBPS/nav.xhtml/2 外 http://example.org/: externalReference"_s}));
    // However many entries lead nowhere, the navigation document gets one notice; a group is none.
    EXPECT_EQ(book->notices, (Notices{{NoticeKind::unresolvedNavigation, kNavigationPath}}));
}

TEST(EPUBNavigationDocument, OnlyTheOneTableOfContentsNavIsReadAndItsListsMustKeepTheirShape) {
    const QString landmarks =
        u"<nav epub:type=\"landmarks\"><ol>"_s + li(u"表"_s, u"text/ch2.xhtml"_s) + u"</ol></nav>"_s;
    const auto book =
        importBook(withNavigation(landmarks + u"<section><nav epub:type=\"landmarks\ttoc\"><h1>目次</h1><ol>"_s +
                                  li(u"一"_s, u"text/ch1.xhtml"_s) + u"</ol></nav></section>"_s));
    ASSERT_TRUE(book.has_value()) << failureName(book.error());
    ASSERT_EQ(book->navigation.size(), 1);
    EXPECT_EQ(book->navigation[0].label, u"一"_s);

    const QString a = u"<a href=\"text/ch1.xhtml\">一</a>"_s;
    for (const QString& body : QStringList{
             landmarks,
             tocNav(li(u"一"_s, u"text/ch1.xhtml"_s)) + u"<div>"_s + tocNav(li(u"二"_s, u"text/ch2.xhtml"_s)) +
                 u"</div>"_s,
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
        EXPECT_EQ(failureOf(importBook(withNavigation(body))), failure(Kind::invalidPackage)) << body;
    }
    EXPECT_EQ(failureOf(importBook(withNavigation({}).setFile(kNavigationPath, "<html><body><nav/></body></html>"))),
              failure(Kind::invalidXML));
}

TEST(EPUBNavigationDocument, AnEPUB3BookIsNeverReadThroughItsNCX) {
    // A usable NCX beside a navigation document without a table of contents changes nothing.
    TestEPUBBuilder book = ncxBook(navPoint(u"p1"_s, u"一"_s, u"text/ch1.xhtml"_s), u"3.0"_s);
    book.setFile(kNavigationPath,
                 TestEPUBBuilder::xhtml(u"目次"_s, u"<nav epub:type=\"landmarks\"><ol>"_s +
                                                       li(u"一"_s, u"text/ch1.xhtml"_s) + u"</ol></nav>"_s));
    EXPECT_EQ(failureOf(importBook(book)), failure(Kind::invalidPackage));
    EXPECT_EQ(failureOf(importBook(book.removeFile(kNavigationPath))), failure(Kind::missingResource));
}

TEST(EPUBNCX, AnEPUB2BookReadsItsNestedNavigationPoints) {
    const auto book = importBook(
        ncxBook(navPoint(u"p1"_s, u" 一 "_s, u"text/ch1.xhtml"_s,
                         navPoint({}, u"節"_s, u"text/ch1.xhtml#s1"_s) + navPoint({}, u"無"_s, u"text/none.xhtml"_s)) +
                navPoint(u"p2"_s, u"二"_s, u"text/ch1.xhtml"_s)));
    ASSERT_TRUE(book.has_value()) << failureName(book.error());
    EXPECT_EQ(entries(book->navigation), (QStringList{u"OEBPS/toc.ncx/0 一 text/ch1.xhtml: ch1@0"_s,
                                                      u"OEBPS/toc.ncx/0/0 節 text/ch1.xhtml#s1: ch1@2"_s,
                                                      u"OEBPS/toc.ncx/0/1 無 text/none.xhtml: missingResource"_s,
                                                      u"OEBPS/toc.ncx/1 二 text/ch1.xhtml: ch1@0"_s}));
    EXPECT_EQ(book->notices, (Notices{{NoticeKind::unresolvedNavigation, kNCXPath}}));
}

TEST(EPUBNCX, NavigationPointsThatBreakTheShapeOrRepeatAnIdentifierAreRefused) {
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
        EXPECT_EQ(failureOf(importBook(ncxBook(points))), failure(Kind::invalidPackage)) << points;
    }
    // Identifiers need only be unique where they are given.
    EXPECT_EQ(failureOf(importBook(ncxBook(
                  navPoint(u"p"_s, u"一"_s, u"text/ch1.xhtml"_s, navPoint(u"p"_s, u"二"_s, u"text/ch1.xhtml"_s))))),
              failure(Kind::ambiguousContent));
    EXPECT_EQ(failureOf(importBook(
                  ncxBook(navPoint({}, u"一"_s, u"text/ch1.xhtml"_s) + navPoint({}, u"二"_s, u"text/ch1.xhtml"_s)))),
              std::nullopt);
    EXPECT_EQ(failureOf(importBook(ncxBook({}).setFile(kNCXPath, "<ncx><navMap/></ncx>"))), failure(Kind::invalidXML));
}

TEST(EPUBNavigationLimit, CountsEntriesAtEveryDepthUpToTheLimit) {
    // `count` entries in all: the last top-level entry holds one child.
    const auto navigationOf = [](qsizetype count) {
        const QString items = li(u"0"_s, u"text/ch1.xhtml"_s).repeated(count - 2);
        return withNavigation(tocNav(items + li(u"親"_s, u"text/ch1.xhtml"_s, li(u"子"_s, u"text/ch2.xhtml"_s))));
    };
    const auto ncxOf = [](qsizetype count) {
        const QString points = navPoint({}, u"0"_s, u"text/ch1.xhtml"_s).repeated(count - 2);
        return ncxBook(points + navPoint({}, u"親"_s, u"text/ch1.xhtml"_s, navPoint({}, u"子"_s, u"text/ch1.xhtml"_s)));
    };
    EXPECT_EQ(failureOf(importBook(navigationOf(10'000))), std::nullopt);
    EXPECT_EQ(failureOf(importBook(navigationOf(10'001))), exceeded(Limit::navigation));
    EXPECT_EQ(failureOf(importBook(ncxOf(10'000))), std::nullopt);
    EXPECT_EQ(failureOf(importBook(ncxOf(10'001))), exceeded(Limit::navigation));
}

TEST(EPUBReader, LimitsMayBeTightenedButNeverLoosenedAndFailuresNameTheirLimit) {
    EXPECT_TRUE(Limits::standard().isValid());
    for (auto field :
         {&Limits::archiveBytes, &Limits::entries, &Limits::entryBytes, &Limits::expandedBytes, &Limits::xmlBytes,
          &Limits::totalXMLBytes, &Limits::nodes, &Limits::depth, &Limits::textUTF16, &Limits::navigation}) {
        for (const qint64 value : {qint64(0), qint64(-1), Limits::standard().*field + 1}) {
            Limits limits;
            limits.*field = value;
            EXPECT_FALSE(limits.isValid()) << value;
        }
        Limits tight;
        tight.*field = 1;
        EXPECT_TRUE(tight.isValid());
    }
    Limits anyPath;
    anyPath.pathBytes = -5;  // fixed and never examined
    EXPECT_TRUE(anyPath.isValid());
    EXPECT_NE(exceeded(Limit::entries), exceeded(Limit::nodes));
}

TEST(EPUBReader, ImportsOnAWorkerWhatTheSynchronousImportReturnsAndACancelledCallerGetsNoBook) {
    const QByteArray bytes = TestEPUBBuilder().build();
    const auto book = runTask(EPUBReader().read(bytes, CancellationToken()));
    ASSERT_TRUE(book.has_value() && book->has_value());
    EXPECT_EQ(**book, *EPUBReader().readSynchronously(bytes, CancellationToken::none()));

    CancellationToken before;
    before.cancel();
    EXPECT_EQ(runTask(EPUBReader().read(bytes, before)), tl::unexpected(Failure::cancelled()));
    // Cancelled after the import started: it stops at its next check, or its book is dropped. An import
    // that finished on the worker before read() returned completed then, with nothing left to drop.
    CancellationToken during;
    auto running = EPUBReader().read(bytes, during);
    const bool finished = running.isReady();
    during.cancel();
    const auto result = runTask(std::move(running));
    if (!finished) {
        EXPECT_EQ(result, tl::unexpected(Failure::cancelled()));
    }
    // A failure comes back as it is, also to a caller that cancelled since.
    Limits invalid;
    invalid.entries = 0;
    CancellationToken late;
    auto failing = EPUBReader(invalid).read(bytes, late);
    late.cancel();
    EXPECT_EQ(runTask(std::move(failing)), tl::unexpected(failure(Kind::invalidLimits)));
}

TEST(EPUBNotices, KindsFollowTheirNamesAndTheBookSortsByResourceInScalarValueOrderWithoutDuplicates) {
    using enum EPUBBook::Notice::Kind;
    // A document's kinds follow in the order of their names, which is not the order of declaration.
    Notices notices{{missingTitle, std::nullopt}};
    EPUBNotices::appendRendered(notices, rendered("<p hidden=''>h</p><table/><img/>").notices, u"a"_s);
    EXPECT_EQ(notices, (Notices{{missingTitle, std::nullopt},
                                {imagePlaceholder, u"a"_s},
                                {omittedHidden, u"a"_s},
                                {tableFlattened, u"a"_s}}));

    // Book notices first, then by resource: "ch1" before "ch10" before "ch2"; U+3042 before U+FF21
    // before a supplementary character, which UTF-16 code units (surrogates) would put first; an absent
    // resource sorts like an empty one but differs from it.
    const QString kana = u"\u3042"_s, fullwidth = u"\uFF21"_s, emoji = u"\U0001F600"_s;
    const Notices raised{{imagePlaceholder, emoji},       {omittedHidden, u"ch2"_s},     {missingTitle, std::nullopt},
                         {imagePlaceholder, fullwidth},   {imagePlaceholder, u"ch10"_s}, {imagePlaceholder, u"ch2"_s},
                         {imagePlaceholder, kana},        {imagePlaceholder, u"ch1"_s},  {omittedHidden, u"ch2"_s},
                         {missingLanguage, std::nullopt}, {missingTitle, u""_s},         {missingTitle, std::nullopt}};
    QStringList order;
    for (const EPUBBook::Notice& notice : EPUBNotices::finalNotices(raised)) {
        order.append(rawValue(notice.kind) + (notice.resource ? u' ' + *notice.resource : QString()));
    }
    EXPECT_EQ(order, (QStringList{u"missingLanguage"_s, u"missingTitle"_s, u"missingTitle "_s,
                                  u"imagePlaceholder ch1"_s, u"imagePlaceholder ch10"_s, u"imagePlaceholder ch2"_s,
                                  u"omittedHidden ch2"_s, u"imagePlaceholder "_s + kana,
                                  u"imagePlaceholder "_s + fullwidth, u"imagePlaceholder "_s + emoji}));

    // Kinds of one resource are ordered by their names.
    Notices all;
    for (const auto& [kind, name] : EnumTable<NoticeKind>::entries) all.prepend({kind, u"x"_s});
    QStringList names;
    for (const EPUBBook::Notice& notice : EPUBNotices::finalNotices(all)) names.append(rawValue(notice.kind));
    QStringList sorted = names;
    std::sort(sorted.begin(), sorted.end());
    EXPECT_EQ(names, sorted);
    EXPECT_EQ(names.size(), qsizetype(std::size(EnumTable<NoticeKind>::entries)));
}

}  // namespace
}  // namespace tavrine
