// The real extractor bundle, as the worker runs it.
#include "PelmoraMac/Capture/ArticleScriptHost.h"
#include "PelmoraMac/Capture/BrowserSnapshot.h"
#include "PelmoraMac/Capture/internal/ArticleScriptRun.h"
#include "ReaderText/BudouXSegmenter.h"
#include "ReaderText/internal/PhraseText.h"

#include "CaptureTesting.h"
#include "DocBookPages.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QJSEngine>
#include <QRegularExpression>

namespace tavrine {
namespace {
using namespace Qt::StringLiterals;
using test::failureOf;
using test::spansOf;
using Span = ReadingDocument::Span;
using Kind = Span::Kind;

const QString kPolicyFolder = u"/usr/share/doc/debian-policy/"_s;

#define SKIP_WITHOUT_POLICY(path)                                                                             \
    if (!QFile::exists(path)) {                                                                               \
        GTEST_SKIP() << "Debian's debian-policy package is not installed (scripts/install-deps installs it)"; \
    }

// The clipboard conversion of `html`; fails the test unless it is a document.
ReadingDocument clipboard(const QString& html) {
    const ArticleExtraction extraction = extractClipboardHTML(html);
    if (!extraction || !*extraction) {
        ADD_FAILURE() << "no document for " << html.left(200).toStdString() << ": "
                      << (extraction ? "no body" : rawValue(extraction.error()).toStdString());
        return {};
    }
    return **extraction;
}

QString textOf(const ReadingDocument& document, const Span& span) {
    return document.text.sliced(span.start, span.end - span.start);
}

QString readPage(const QString& path) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) return {};
    return QString::fromUtf8(file.readAll());
}

TEST(ArticleExtractor, BlocksAreLinesWithTheirSpans) {
    const ReadingDocument document = clipboard(
        u"<meta charset='utf-8'><h1>Title</h1><p>One <b>bold</b> and\n  <i>slanted</i> <code>x()</code></p>"
        u"<blockquote><p>said</p><blockquote>again</blockquote></blockquote><pre>\n  two\n\tlines</pre><hr>after"_s);
    EXPECT_EQ(document.text, u"Title\nOne bold and slanted x()\nsaid\nagain\n  two\n\tlines\nafter\n"_s);
    EXPECT_EQ(spansOf(document, Kind::heading), (QList<Span>{{Kind::heading, 0, 6, 1}}));
    EXPECT_EQ(textOf(document, spansOf(document, Kind::strong).value(0)), u"bold"_s);
    // An inline element starts after the space that white space before it left.
    EXPECT_EQ(textOf(document, spansOf(document, Kind::emphasis).value(0)), u"slanted"_s);
    EXPECT_EQ(textOf(document, spansOf(document, Kind::code).value(0)), u"x()"_s);
    const QList<Span> quotes = spansOf(document, Kind::quote);
    ASSERT_EQ(quotes.size(), 2);
    EXPECT_EQ(textOf(document, quotes[0]), u"again\n"_s);
    EXPECT_EQ(quotes[0].level, 2);
    EXPECT_EQ(textOf(document, quotes[1]), u"said\nagain\n"_s);
    EXPECT_EQ(quotes[1].level, 1);
    // The line feed right after <pre> belongs to the markup, the others to the text.
    EXPECT_EQ(textOf(document, spansOf(document, Kind::codeBlock).value(0)), u"  two\n\tlines\n"_s);
    EXPECT_TRUE(document.isValid());
}

TEST(ArticleExtractor, ListItemsCarryTheirMarkerAndDepth) {
    const ReadingDocument document =
        clipboard(u"<ol start=3><li>a<ul><li>b<li hidden>gone</ul><li value=9>c<li>d</ol>stray<ul>text<li>e</ul>"_s);
    EXPECT_EQ(document.text, u"3. a\n• b\n9. c\n10. d\nstray\n• e\n"_s);
    const QList<Span> items = spansOf(document, Kind::listItem);
    ASSERT_EQ(items.size(), 5);
    EXPECT_EQ(textOf(document, items[0]), u"• b\n"_s);
    EXPECT_EQ(items[0].level, 2);
    EXPECT_EQ(textOf(document, items[1]), u"3. a\n• b\n"_s);
    EXPECT_EQ(items[1].level, 1);

    // Numbers beyond a million are held at a million; a start that is not a number counts from 1.
    EXPECT_EQ(clipboard(u"<ol start=99999999><li>a<li>b</ol><ol start=' 7'><li>c</ol>"_s).text,
              u"1000000. a\n1000001. b\n1. c\n"_s);
}

struct Conversion {
    QString html;
    QString text;
    QList<Span> spans;  // in the order their elements finish
};

void expectConversions(std::initializer_list<Conversion> conversions) {
    for (const Conversion& conversion : conversions) {
        const ReadingDocument document = clipboard(conversion.html);
        EXPECT_EQ(document.text, conversion.text) << conversion.html.toStdString();
        EXPECT_EQ(document.spans, conversion.spans) << conversion.html.toStdString();
        EXPECT_TRUE(document.isValid()) << conversion.html.toStdString();
    }
}

Span span(Kind kind, qsizetype start, qsizetype end, qint64 level = 0) {
    return {kind, start, end, level};
}

// The shapes DocBook and Sphinx write in nearly every list: the item's text inside a paragraph.
TEST(ArticleExtractor, AnItemsFirstBlockSharesItsMarkersLine) {
    expectConversions({
        {u"<ul><li><p>first item</p></li></ul>"_s,
         u"• first item\n"_s,
         {span(Kind::paragraph, 2, 13), span(Kind::listItem, 0, 13, 1)}},
        // As DocBook indents it: the white space around the paragraph leaves no space behind.
        {u"<ol>\n  <li class=\"listitem\">\n    <p>\n      one\n    </p>\n  </li>\n  <li><p>two</p></li>\n</ol>"_s,
         u"1. one\n2. two\n"_s,
         {span(Kind::paragraph, 3, 7), span(Kind::listItem, 0, 7, 1), span(Kind::paragraph, 10, 14),
          span(Kind::listItem, 7, 14, 1)}},
        // A paragraph and a nested list, whose own item's paragraph shares that item's marker line.
        {u"<ul><li><p>first</p><ul><li><p>inner</p></li></ul></li></ul>"_s,
         u"• first\n• inner\n"_s,
         {span(Kind::paragraph, 2, 8), span(Kind::paragraph, 10, 16), span(Kind::listItem, 8, 16, 2),
          span(Kind::listItem, 0, 16, 1)}},
        // Only the first block shares the line; inline marks move with the text.
        {u"<ol start=9><li><p>one <b>bold</b></p><p>more</p></li></ol>"_s,
         u"9. one bold\nmore\n"_s,
         {span(Kind::strong, 7, 11), span(Kind::paragraph, 3, 12), span(Kind::paragraph, 12, 17),
          span(Kind::listItem, 0, 17, 1)}},
        // Blocks nested in the first block, a heading, a quote, a list that is the first block, and an
        // empty first block, which ends no line.
        {u"<ul><li><div><section><p>deep</p></section></div></li><li><h3>Head</h3></li>"
         u"<li><blockquote><p>q</p></blockquote></li><li><ol><li>x</li></ol></li><li><p></p><p>y</p></li></ul>"_s,
         u"• deep\n• Head\n• q\n• 1. x\n• y\n"_s,
         {span(Kind::paragraph, 2, 7), span(Kind::listItem, 0, 7, 1), span(Kind::heading, 9, 14, 3),
          span(Kind::listItem, 7, 14, 1), span(Kind::paragraph, 16, 18), span(Kind::quote, 16, 18, 1),
          span(Kind::listItem, 14, 18, 1), span(Kind::listItem, 20, 25, 2), span(Kind::listItem, 18, 25, 1),
          span(Kind::paragraph, 27, 29), span(Kind::listItem, 25, 29, 1)}},
        // A grid as the first block: its first cell on the marker's line.
        {u"<ul><li><table><tr><td>a</td><td>b</td></tr></table></li></ul>"_s,
         u"• a\nb\n"_s,
         {span(Kind::tableCell, 2, 4), span(Kind::tableCell, 4, 6), span(Kind::table, 2, 6, 2),
          span(Kind::listItem, 0, 6, 1)}},
    });
}

TEST(ArticleExtractor, ALineThatEndsRightAfterAMarkerLosesTheMarkersSpace) {
    expectConversions({
        // Empty items, a break, a rule and preformatted text that starts with a line feed (the one
        // right after <pre> belongs to the markup).
        {u"<ul><li></li><li> </li><li><br>x</li><li><hr>y</li><li><pre>\n\nz</pre></li></ul>"_s,
         u"•\n•\n•\nx\n•\ny\n•\nz\n"_s,
         {span(Kind::listItem, 0, 2, 1), span(Kind::listItem, 2, 4, 1), span(Kind::listItem, 4, 8, 1),
          span(Kind::listItem, 8, 12, 1), span(Kind::codeBlock, 14, 16), span(Kind::listItem, 12, 16, 1)}},
        // Spans opened after the marker begin after the line feed that took its space's place.
        {u"<ol><li><p><b><br>x</b></p></li><li><ul><li></li></ul></li></ol>"_s,
         u"1.\nx\n2. •\n"_s,
         {span(Kind::strong, 3, 4), span(Kind::paragraph, 3, 5), span(Kind::listItem, 0, 5, 1),
          span(Kind::listItem, 8, 10, 2), span(Kind::listItem, 5, 10, 1)}},
        // An empty first cell ends the marker's line; its span, and the table's, take that line feed.
        {u"<ol><li><table><tr><td></td><td>b</td></tr></table></li></ol>"_s,
         u"1.\nb\n"_s,
         {span(Kind::tableCell, 2, 3), span(Kind::tableCell, 3, 5), span(Kind::table, 2, 5, 2),
          span(Kind::listItem, 0, 5, 1)}},
        // A line already ended by a break: the table's span starts after it.
        {u"<ul><li><br><table><tr><td></td></tr></table></li></ul>"_s,
         u"•\n\n"_s,
         {span(Kind::tableCell, 2, 3), span(Kind::table, 2, 3, 1), span(Kind::listItem, 0, 3, 1)}},
        // A caption first: the table starts on a line of its own.
        {u"<ul><li><table><caption>c</caption><tr><td></td></tr></table></li></ul>"_s,
         u"• c\n\n"_s,
         {span(Kind::tableCell, 4, 5), span(Kind::table, 4, 5, 1), span(Kind::listItem, 0, 5, 1)}},
    });
    // The marker's space is taken back before the line feed is counted: the text may fill its limit.
    const QString fill(19'997, u'a');
    EXPECT_EQ(clipboard(u"<p>"_s + fill + u"</p><ul><li></li></ul>"_s).text, fill + u"\n•\n"_s);
    EXPECT_EQ(failureOf(extractClipboardHTML(u"<p>"_s + fill + u"a</p><ul><li></li></ul>"_s)), CaptureFailure::tooLong);
}

TEST(ArticleExtractor, PlainTablesAreGridsOfOneLinePerCell) {
    const ReadingDocument grid =
        clipboard(u"<table><caption>Prices</caption><tr><th>item<th>price<tr><td>tea</table>after"_s);
    EXPECT_EQ(grid.text, u"Prices\nitem\nprice\ntea\n\nafter\n"_s);
    const QList<Span> tables = spansOf(grid, Kind::table);
    ASSERT_EQ(tables.size(), 1);
    EXPECT_EQ(textOf(grid, tables[0]), u"item\nprice\ntea\n\n"_s);
    EXPECT_EQ(tables[0].level, 2);
    EXPECT_EQ(spansOf(grid, Kind::tableHeader).size(), 2);
    // The short row is padded with an empty cell.
    EXPECT_EQ(spansOf(grid, Kind::tableCell),
              (QList<Span>{{Kind::tableCell, 18, 22, 0}, {Kind::tableCell, 22, 23, 0}}));

    // Joined cells or text between the rows: read as lines, without a grid.
    for (const QString& html : {u"<table><tr><td colspan=2>a</td></tr><tr><td>b<td>c</table>"_s,
                                u"<table><tr><td>a</td></tr>loose<tr><td>b</td></tr></table>"_s}) {
        const ReadingDocument flat = clipboard(html);
        EXPECT_TRUE(spansOf(flat, Kind::table).isEmpty()) << html.toStdString();
        EXPECT_TRUE(spansOf(flat, Kind::tableCell).isEmpty()) << html.toStdString();
        EXPECT_TRUE(flat.text.contains(u"a\n"_s)) << html.toStdString();
    }
    // A table holding a table is read as lines; the table inside may still be a grid.
    const ReadingDocument nested = clipboard(u"<table><tr><td>a<table><tr><td>b</table></table>"_s);
    EXPECT_EQ(nested.text, u"a\nb\n"_s);
    EXPECT_EQ(spansOf(nested, Kind::table), (QList<Span>{{Kind::table, 2, 4, 1}}));
}

TEST(ArticleExtractor, GridsHaveAtMost32ColumnsAnd2000Cells) {
    auto table = [](int rows, int columns) -> QString {
        QString html = u"<table>"_s;
        for (int row = 0; row < rows; ++row) html += u"<tr>"_s + u"<td>x"_s.repeated(columns);
        return html + u"</table>"_s;
    };
    EXPECT_EQ(spansOf(clipboard(table(1, 32)), Kind::table).value(0).level, 32);
    EXPECT_TRUE(spansOf(clipboard(table(1, 33)), Kind::table).isEmpty());
    EXPECT_EQ(spansOf(clipboard(table(1000, 2)), Kind::table).size(), 1);
    EXPECT_TRUE(spansOf(clipboard(table(667, 3)), Kind::table).isEmpty());
}

TEST(ArticleExtractor, WhiteSpaceCollapsesButNotBetweenEastAsianCharacters) {
    EXPECT_EQ(clipboard(u"<p>日本語の\n文章と\u3000全角\nEnglish  words\n한국어\n문장\n　</p>"_s).text,
              u"日本語の文章と\u3000全角 English words 한국어 문장 \u3000\n"_s);
    // Across elements too; a no-break space is a character, not white space.
    EXPECT_EQ(clipboard(u"<p>東京\n<b>大阪</b> 𠮷野家\n\u00a0x</p>"_s).text, u"東京大阪𠮷野家 \u00a0x\n"_s);
    const ReadingDocument spaced = clipboard(u"<p>東京\n<b>大阪</b></p>"_s);
    EXPECT_EQ(textOf(spaced, spansOf(spaced, Kind::strong).value(0)), u"大阪"_s);
}

// Lines of no-break, figure, narrow and ideographic spaces show nothing: a spacer paragraph is no line at
// all, a table cell of &nbsp; an empty cell, a br's line an empty line; spans follow.
TEST(ArticleExtractor, LinesOfOnlyNoBreakSpacesAreDroppedLikeBlankLines) {
    const ReadingDocument table = clipboard(
        u"<p>before</p><p>&nbsp;</p><p>\u2007\u202f \u3000</p><table><tr><td>&nbsp;<td>a</tr>"
        u"<tr><td><b>&nbsp;&nbsp;</b><td>&nbsp;b&nbsp;</table><p>&nbsp;<br>&nbsp;<br>after</p>"_s);
    EXPECT_EQ(table.text, u"before\n\na\n\n\u00a0b\u00a0\n\n\nafter\n"_s);
    EXPECT_EQ(spansOf(table, Kind::tableCell), (QList<Span>{{Kind::tableCell, 7, 8, 0},
                                                            {Kind::tableCell, 8, 10, 0},
                                                            {Kind::tableCell, 10, 11, 0},
                                                            {Kind::tableCell, 11, 15, 0}}));
    EXPECT_EQ(spansOf(table, Kind::paragraph), (QList<Span>{{Kind::paragraph, 0, 7, 0}, {Kind::paragraph, 15, 23, 0}}));
    // The bold cell's span went with its spaces.
    EXPECT_TRUE(spansOf(table, Kind::strong).isEmpty());
    EXPECT_TRUE(table.isValid());
    // Played, no frame shows nothing.
    const QList<ReadingChunk> chunks = BudouXSegmenter().segment(table.text);
    EXPECT_FALSE(chunks.isEmpty());
    for (const ReadingChunk& chunk : chunks)
        EXPECT_FALSE(internal::showsNothing(chunk.text)) << chunk.text.toStdString();

    const ReadingDocument inline_ = clipboard(u"<p><i>x<br>&nbsp; </i></p><h2>&nbsp;</h2><p>a&nbsp;b</p>"_s);
    EXPECT_EQ(inline_.text, u"x\na\u00a0b\n"_s);
    EXPECT_EQ(spansOf(inline_, Kind::emphasis), (QList<Span>{{Kind::emphasis, 0, 2, 0}}));
    EXPECT_TRUE(spansOf(inline_, Kind::heading).isEmpty());

    // A page of nothing else has no body.
    const auto spacers = extractClipboardHTML(u"<p>&nbsp;</p><table><tr><td>&nbsp;</table><div>\u3000</div>"_s);
    ASSERT_TRUE(spacers);
    EXPECT_FALSE(*spacers);
}

TEST(ArticleExtractor, WhatAPageDoesNotShowGivesNothing) {
    const ReadingDocument document = clipboard(
        u"<script>if (a<b) document.write('<p>script</p>')</script><style>p::after{content:'style'}</style>"
        u"<template><p>template</p></template><noscript>noscript</noscript><p hidden>hidden</p>"
        u"<p style='color: red; display : none'>styled</p><div aria-hidden='true'>aria</div><p>shown"
        u"<img src=x onerror=\"alert('onerror')\" alt='a cat'><img src=y alt=''><button>press</button>"
        u"<select><option>choice</select><ruby>漢<rt>かん</rt></ruby></p>"_s);
    EXPECT_EQ(document.text, u"shown［画像：a cat］漢\n"_s);

    for (const QString& html : {u""_s, u"   \n"_s, u"<script>only()</script>"_s, u"<p hidden>x</p>"_s,
                                u"<!-- a comment -->"_s, u"<img src=x>"_s}) {
        const auto extraction = extractClipboardHTML(html);
        ASSERT_TRUE(extraction) << html.toStdString();
        EXPECT_FALSE(*extraction) << html.toStdString();
    }
}

TEST(ArticleExtractor, BrokenMarkupStillReads) {
    EXPECT_EQ(clipboard(u"<p>one<p>two<div><span>three</div>four</b></p></p><li>five"_s).text,
              u"one\ntwo\nthree\nfour\nfive\n"_s);
    EXPECT_EQ(clipboard(u"<p class=x title='a > b' data-x = \"y\" disabled>attributes</p>"_s).text, u"attributes\n"_s);
    EXPECT_EQ(clipboard(u"&nbsp;&copy;&#x1F600;&#0;&bogus;&amp &lt;p&gt; &notin &notit;"_s).text,
              u"\u00a0©😀\ufffd&bogus;& <p> ¬in ¬it;\n"_s);
    EXPECT_EQ(clipboard(u"a < b <3 </> <!doctype html> <?php x ?> c"_s).text, u"a < b <3 c\n"_s);
    // A tag cut off by the end of the input is dropped.
    EXPECT_EQ(clipboard(u"text<p class=\"never closed"_s).text, u"text\n"_s);
    // Line breaks of any kind are line feeds.
    EXPECT_EQ(clipboard(u"<pre>a\r\nb\rc</pre>"_s).text, u"a\nb\nc\n"_s);
}

TEST(ArticleExtractor, TheLimitsAreTheCapturesLimits) {
    const QString fill(19'999, u'a');
    EXPECT_EQ(clipboard(u"<p>"_s + fill + u"</p>"_s).text.size(), 20'000);
    EXPECT_EQ(failureOf(extractClipboardHTML(u"<p>"_s + fill + u"a</p>"_s)), CaptureFailure::tooLong);
    EXPECT_EQ(failureOf(extractClipboardHTML(QString(2'000'001, u' '))), CaptureFailure::htmlTooLarge);
    // Nesting deeper than any page needs is read flat, not refused.
    const ReadingDocument deep = clipboard(u"<div>"_s.repeated(5'000) + u"deep"_s + u"</div>"_s.repeated(5'000));
    EXPECT_EQ(deep.text, u"deep\n"_s);
}

TEST(ArticleExtractor, AnArticleComesWithItsTitle) {
    const QString paragraph =
        u"<p>This paragraph is long enough, with commas, clauses, and words, to look like the body of an "
        u"article to anyone who reads it, and to Readability too, which wants a few hundred characters.</p>"_s;
    const auto article = extractArticle(
        u"<html><head><title>The headline</title></head><body>"
        u"<nav><a href='/'>Home</a></nav><article>"_s +
        paragraph.repeated(4) + u"</article></body></html>"_s);
    ASSERT_TRUE(article && *article);
    EXPECT_TRUE((*article)->text.startsWith(u"The headline\nThis paragraph"_s))
        << (*article)->text.left(80).toStdString();
    EXPECT_EQ((*article)->spans.first(), (Span{Kind::heading, 0, 13, 1}));
    EXPECT_FALSE((*article)->text.contains(u"Home"_s));
    EXPECT_TRUE((*article)->isValid());

    const auto empty = extractArticle(u"<html><head><title>Nothing</title></head><body></body></html>"_s);
    ASSERT_TRUE(empty);
    EXPECT_FALSE(*empty);
}

// Readability's first look leaves out what sits in a side bar or a comment; finding too little there, it
// starts again from the page as it was, which it gets back from the page's source.
TEST(ArticleExtractor, AnArticleFoundOnlyWhenReadabilityLooksAgain) {
    const QString paragraph =
        u"<p>This paragraph is long enough, with commas, clauses, and words, to look like the body of an "
        u"article to anyone who reads it, and to Readability too, which wants a few hundred characters.</p>"_s;
    const auto article = extractArticle(
        u"<html><head><title>Hidden</title><script type='application/ld+json'>{}</script></head><body>"
        u"<nav><a href='/'>Home</a></nav><div class='comment sidebar'>"_s +
        paragraph.repeated(4) +
        u"<font>Font words</font><script>document.write('Script words')</script></div></body></html>"_s);
    ASSERT_TRUE(article && *article);
    EXPECT_TRUE((*article)->text.startsWith(u"Hidden\nThis paragraph"_s)) << (*article)->text.left(80).toStdString();
    EXPECT_EQ((*article)->text.count(u"This paragraph"_s), 4);
    EXPECT_TRUE((*article)->text.contains(u"Font words"_s));
    EXPECT_FALSE((*article)->text.contains(u"Script words"_s));
    EXPECT_FALSE((*article)->text.contains(u"Home"_s));
}

// An anchor without an address marks a place to link to; its text is the page's own. Manuals in XHTML
// write such anchors empty, and the browser hands each over open to the end of its section.
TEST(ArticleExtractor, AnAnchorWithoutAnAddressIsNoLink) {
    const QList<int> uneven{2, 9, 1, 5, 3};
    const auto written = extractArticle(test::docBookChapter(uneven, false));
    const auto handedOver = extractArticle(test::docBookChapter(uneven, true));
    ASSERT_TRUE(written && *written);
    ASSERT_TRUE(handedOver && *handedOver);
    EXPECT_EQ(**handedOver, **written);
    const QString& text = (*handedOver)->text;
    EXPECT_TRUE(text.startsWith(u"Chapter 3. Tools\nThis chapter describes"_s)) << text.left(200).toStdString();
    for (const QString& seen : {u"3.1. The tool of section 3.1\n"_s, u"Paragraph 9 of section 3.2 tells"_s,
                                u"3.3. The tool of section 3.3\nParagraph 1 of section 3.3"_s,
                                u"Paragraph 3 of section 3.5 tells how tool3.5 reads setting3, with clauses, commas "
                                u"and the reference manual, so that"_s}) {
        EXPECT_TRUE(text.contains(seen)) << seen.toStdString();
    }
    // The navigation's links are still links.
    EXPECT_FALSE(text.contains(u"Prev"_s));

    // Its text keeps its place and its marks, up to its end tag or the next anchor.
    const ReadingDocument anchored =
        clipboard(u"<p><a name='x'>one <b>two</b></a> three <a id='y'>four <a href=''>five</a> six</p>"_s);
    EXPECT_EQ(anchored, clipboard(u"<p>one <b>two</b> three four <a href=''>five</a> six</p>"_s));
    EXPECT_EQ(anchored.text, u"one two three four five six\n"_s);
}

// As the browser hands it over, a chapter longer than a capture takes is refused, as its file is; it does
// not become the few lines that are not inside an anchor.
TEST(ArticleExtractor, AChapterTooLongIsRefusedAlsoAsTheBrowserHandsItOver) {
    const QList<int> sections{20, 80, 5, 40};
    EXPECT_EQ(failureOf(extractArticle(test::docBookChapter(sections, false))), CaptureFailure::tooLong);
    EXPECT_EQ(failureOf(extractArticle(test::docBookChapter(sections, true))), CaptureFailure::tooLong);
}

// Pages nobody here wrote: the Debian Policy Manual's HTML. They are large: the extractor's own time
// limit is the capture's, and a loaded or sanitized build must not turn a slow run into a time-out here
// (capture-bench measures the time).
ArticleExtraction unhurried(const QString& html, const QString& function) {
    const auto source = loadArticleExtractorScript(u"extractor"_s);
    if (!source) return tl::unexpected(source.error());
    return runArticleExtractorSource(*source, html, function, std::chrono::minutes(2));
}
ArticleExtraction articleOfPage(const QString& html) {
    return unhurried(html, u"extractArticle"_s);
}

TEST(ArticleExtractorOnRealPages, TheScopeChapterKeepsItsSectionsAndDropsTheSideBar) {
    const QString path = kPolicyFolder + u"policy.html/ch-scope.html"_s;
    SKIP_WITHOUT_POLICY(path);
    const auto article = articleOfPage(readPage(path));
    ASSERT_TRUE(article && *article) << (article ? "no body" : rawValue(article.error()).toStdString());
    const ReadingDocument& document = **article;
    EXPECT_TRUE(document.isValid());
    bool foundScope = false;
    for (const Span& span : spansOf(document, Kind::heading)) {
        if (span.level == 2 && textOf(document, span).startsWith(u"1.1. Scope"_s)) foundScope = true;
    }
    EXPECT_TRUE(foundScope) << document.text.left(300).toStdString();
    EXPECT_FALSE(document.text.contains(u"Previous topic"_s));
    EXPECT_FALSE(document.text.contains(u"This Page"_s));
}

TEST(ArticleExtractorOnRealPages, TheAutopkgtestPageKeepsItsCodeBlocks) {
    const QString path = kPolicyFolder + u"autopkgtest.html"_s;
    SKIP_WITHOUT_POLICY(path);
    const auto article = articleOfPage(readPage(path));
    ASSERT_TRUE(article && *article);
    bool found = false;
    for (const Span& span : spansOf(**article, Kind::codeBlock)) {
        if (textOf(**article, span).startsWith(u"Tests: fred bill bongo"_s)) found = true;
    }
    EXPECT_TRUE(found);
}

TEST(ArticleExtractorOnRealPages, TheFilesystemStandardIsADocumentOrTooLong) {
    const QString path = kPolicyFolder + u"fhs/fhs-3.0.html"_s;
    SKIP_WITHOUT_POLICY(path);
    const QString html = readPage(path);
    for (const ArticleExtraction& extraction : {articleOfPage(html), unhurried(html, u"extractClipboardHTML"_s)}) {
        if (extraction) {
            ASSERT_TRUE(*extraction);
            EXPECT_TRUE((*extraction)->isValid());
            EXPECT_LE((*extraction)->text.size(), kArticleTextLimit);
        } else {
            EXPECT_EQ(extraction.error(), CaptureFailure::tooLong);
        }
    }
}

// Sphinx writes nearly every list item's text inside a paragraph: no marker is left alone on a line.
TEST(ArticleExtractorOnRealPages, EveryPolicyPageGivesAValidDocumentOrAReason) {
    SKIP_WITHOUT_POLICY(kPolicyFolder + u"policy.html/index.html"_s);
    static const QRegularExpression bareMarker(uR"((?m)^(•|[0-9]+\.) ?$)"_s);
    qsizetype items = 0;
    for (const QString& name : QDir(kPolicyFolder + u"policy.html"_s).entryList({u"*.html"_s}, QDir::Files)) {
        const QString html = readPage(kPolicyFolder + u"policy.html/"_s + name);
        const ArticleExtraction article = articleOfPage(html);
        if (article && *article) {
            EXPECT_TRUE((*article)->isValid()) << name.toStdString();
            EXPECT_FALSE((*article)->text.contains(bareMarker)) << name.toStdString();
            items += spansOf(**article, Kind::listItem).size();
        } else if (!article) {
            EXPECT_EQ(article.error(), CaptureFailure::tooLong) << name.toStdString();
        }
    }
    EXPECT_GT(items, 100);
}

// The members of a stand-in document without elements (the HTML's are looked through for what the page
// masks).
const QString kNoElements =
    u"querySelectorAll: function () { return []; }, getElementsByTagName: function () { return []; }"_s;

// The page script runs in a browser (the browser tests run it there); here it meets stand-ins for the
// page's location, performance and document, and runs as the browser runs it: the script, a line feed
// and the call, the call's value the program's.
class SnapshotScript : public ::testing::Test {
protected:
    QString snapshotOf(const QString& page, bool wantsHTML) {
        const auto script = loadArticleExtractorScript(u"snapshot"_s);
        if (!script) return {};
        const QString program =
            page + u"\n"_s + *script + u"\nRSVPSnapshot.snapshot("_s + (wantsHTML ? u"true"_s : u"false"_s) + u");"_s;
        return m_engine.evaluate(program).toString();
    }

    static BrowserSnapshot decoded(const QString& json) {
        auto snapshot = decodeJsonText<BrowserSnapshot>(json.toUtf8());
        if (!snapshot) ADD_FAILURE() << "not a snapshot: " << json.left(200).toStdString();
        return snapshot.value_or(BrowserSnapshot{});
    }

    static QString pageOf(const QString& html) {
        return u"var location = { href: 'https://example.org/a?b#c' };"
               u"var performance = { timeOrigin: 1712345678901.25 };"
               u"var document = { defaultView: {}, "_s +
               kNoElements + u", documentElement: { outerHTML: "_s + html + u" } };"_s;
    }

    QJSEngine m_engine;
};

TEST_F(SnapshotScript, ReportsTheAddressTheDocumentsTimeOriginAndHTMLUpToTheExtractorsLimit) {
    const BrowserSnapshot snapshot = decoded(snapshotOf(pageOf(u"'<html><body>本文</body></html>'"_s), true));
    EXPECT_EQ(snapshot, (BrowserSnapshot{.status = u"ok"_s,
                                         .url = u"https://example.org/a?b#c"_s,
                                         .documentID = u"1712345678901.25"_s,
                                         .html = u"<html><body>本文</body></html>"_s,
                                         .selection = u""_s}));
    EXPECT_FALSE(decoded(snapshotOf(u""_s, false)).html);

    EXPECT_EQ(decoded(snapshotOf(pageOf(u"'x'.repeat(2000000)"_s), true)).html->size(), 2'000'000);
    const BrowserSnapshot refused = decoded(snapshotOf(pageOf(u"'x'.repeat(2000001)"_s), true));
    EXPECT_EQ(refused.status, u"htmlTooLarge"_s);
    EXPECT_FALSE(refused.html);
    // Without HTML the same page is fine.
    EXPECT_EQ(decoded(snapshotOf(u""_s, false)).status, u"ok"_s);

    // Outside a page.
    QJSEngine bare;
    const auto script = loadArticleExtractorScript(u"snapshot"_s);
    ASSERT_TRUE(script);
    EXPECT_EQ(decoded(bare.evaluate(*script + u"\nRSVPSnapshot.snapshot(true);"_s).toString()).status,
              u"unavailable"_s);
}

// A page whose document has an HTML of its own and these further members: its focused element, its view.
QString pageWith(const QString& members) {
    return u"var location = { href: 'https://example.org/a' };"
           u"var performance = { timeOrigin: 7 };"
           u"var document = { documentElement: { outerHTML: '<p>本文</p>' }, "_s +
           kNoElements + u", "_s + members + u" };"_s;
}

// A view whose document's selection reads as `text`.
QString viewSelecting(const QString& text) {
    return u"defaultView: { getSelection: function () { return { toString: function () { return "_s + text +
           u"; } }; } }"_s;
}

TEST_F(SnapshotScript, TellsWhatIsSelectedAndTheHTMLOnlyWhenNothingIs) {
    const BrowserSnapshot selected =
        decoded(snapshotOf(pageWith(u"activeElement: { localName: 'p' }, "_s + viewSelecting(u"'選択文'"_s)), true));
    EXPECT_EQ(selected.status, u"ok"_s);
    EXPECT_EQ(selected.selection, u"選択文"_s);
    EXPECT_FALSE(selected.html);

    const BrowserSnapshot nothing =
        decoded(snapshotOf(pageWith(u"activeElement: { localName: 'body' }, "_s + viewSelecting(u"''"_s)), true));
    EXPECT_EQ(nothing.selection, u""_s);
    EXPECT_EQ(nothing.html, u"<p>本文</p>"_s);

    // In a focused text area or text field, the part of its value between its selection's ends.
    const QString area =
        u"activeElement: { localName: 'textarea', value: 'abcdef', selectionStart: 1, "
        u"selectionEnd: 4 }, "_s +
        viewSelecting(u"'other'"_s);
    EXPECT_EQ(decoded(snapshotOf(pageWith(area), true)).selection, u"bcd"_s);
    const QString field =
        u"activeElement: { localName: 'INPUT', type: 'Search', value: 'abc', selectionStart: 2, "
        u"selectionEnd: 2 }, "_s +
        viewSelecting(u"'other'"_s);
    // A caret in it, nothing selected: no article is asked for, and the verification sees nothing selected.
    EXPECT_EQ(decoded(snapshotOf(pageWith(field), true)).status, u"noBodyCandidate"_s);
    EXPECT_EQ(decoded(snapshotOf(pageWith(field), false)).selection, u""_s);

    EXPECT_EQ(decoded(snapshotOf(pageWith(u"activeElement: null, "_s + viewSelecting(u"'x'.repeat(20000)"_s)), false))
                  .selection->size(),
              20'000);
    EXPECT_EQ(
        decoded(snapshotOf(pageWith(u"activeElement: null, "_s + viewSelecting(u"'x'.repeat(20001)"_s)), false)).status,
        u"tooLong"_s);
}

// Elements nested `levels` deep in open shadow roots, the innermost `innermost`.
QString nestedIn(int levels, const QString& innermost) {
    QString element = innermost;
    for (int level = 0; level < levels; ++level) {
        element = u"{ localName: 'x-host', shadowRoot: { activeElement: "_s + element + u" } }"_s;
    }
    return element;
}

TEST_F(SnapshotScript, AFocusedPasswordOrMaskedFieldAndAFocusItCannotFollowAreRefused) {
    const QString password =
        u"{ localName: 'input', type: 'PASSWORD', value: 'hunter2', selectionStart: 0, "
        u"selectionEnd: 7 }"_s;
    // A text field and an editing host that the page masks: by the way it draws them, by what it calls them.
    const QString drawn =
        u"{ localName: 'div', isContentEditable: true, ownerDocument: { defaultView: { getComputedStyle: "
        u"function () { return { getPropertyValue: function (name) { return name === '-webkit-text-security' ? "
        u"'disc' : ''; } }; } } } }"_s;
    const QString named =
        u"{ localName: 'input', type: 'text', value: 'hunter2', selectionStart: 0, selectionEnd: 7, "
        u"getAttribute: function (name) { return name === 'autocomplete' ? 'username NEW-password' : null; } }"_s;
    const QString view = viewSelecting(u"'hunter2'"_s);
    const QStringList focusedElements{
        password, drawn, named, nestedIn(1, password),
        u"{ localName: 'iframe', contentDocument: { activeElement: "_s + password + u", "_s + view + u" } }"_s,
        // A frame of another origin, and a focus deeper than 32 levels, cannot be followed.
        u"{ localName: 'iframe', contentDocument: null, contentWindow: {} }"_s, nestedIn(33, u"{ localName: 'p' }"_s)};
    for (const QString& focused : focusedElements) {
        const QString answer = snapshotOf(pageWith(u"activeElement: "_s + focused + u", "_s + view), true);
        EXPECT_EQ(decoded(answer).status, u"protectedField"_s) << focused.left(80).toStdString();
        EXPECT_FALSE(answer.contains(u"hunter2"_s));
        EXPECT_FALSE(decoded(answer).html);
    }
    // 32 levels are followed; a text field without those marks is read.
    const QString field =
        u"{ localName: 'input', type: 'text', value: 'abc', selectionStart: 0, selectionEnd: 2, getAttribute: "
        u"function () { return 'username'; } }"_s;
    EXPECT_EQ(
        decoded(snapshotOf(pageWith(u"activeElement: "_s + nestedIn(32, field) + u", "_s + view), true)).selection,
        u"ab"_s);
    // A frame of the same origin: its own focused element and selection.
    const QString frame =
        u"activeElement: { localName: 'iframe', contentDocument: { activeElement: { localName: "
        u"'p' }, "_s +
        viewSelecting(u"'枠の選択'"_s) + u" } }, "_s + viewSelecting(u"''"_s);
    EXPECT_EQ(decoded(snapshotOf(pageWith(frame), true)).selection, u"枠の選択"_s);
}

}  // namespace
}  // namespace tavrine
